#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Reads ventrac-decode --json output back with Python's JSON parser.

    decode_json_check.py VENTRAC VENTRAC_DECODE EXAMPLES_DIR

1. A message that ventrac writes from the shipped example decodes to the
   values of the example data file, within each element's resolution; the
   values it does not send are missing, the others are not.
2. With a pilot file whose names, units and comments hold quotes,
   backslashes, control characters, valid UTF-8 and bytes that are not UTF-8,
   every line is strict UTF-8 and strict JSON, and the texts read back as
   written, each stray byte as the character of its Latin-1 value.
"""
import json
import math
import os
import subprocess
import sys
import tempfile


def encode(ventrac, folder, pilot, data_name, data, ident):
    with open(os.path.join(os.fsencode(folder), data_name), "wb") as f:
        f.write(data)
    subprocess.run([ventrac, pilot, data_name, ident, b"MOD"], cwd=folder,
                   stdout=subprocess.DEVNULL, check=False)
    return b"HPK_" + data_name


def decode_json(decode, folder, *args):
    run = subprocess.run([decode, "--json", *args], cwd=folder, capture_output=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout.endswith(b"\n")
    # Split on line feeds only: other line breaks may sit inside strings.
    return [json.loads(line.decode("utf-8")) for line in run.stdout.split(b"\n")[:-1]]


def check_example(ventrac, decode, examples, folder):
    pilot = os.path.join(examples, "ship.pilot")
    with open(os.path.join(examples, "ship_obs.txt"), "rb") as f:
        data = f.read()
    scale = {}
    with open(pilot) as f:
        for line in f:
            fields = line.split(";")
            scale[fields[1].strip()] = float(fields[4])
    expected = [line.split() for line in data.decode().splitlines()[1:]]
    hpk = encode(ventrac, folder, pilot, b"ship_obs.txt", data, b"FNZ6042")
    (obs,) = decode_json(decode, folder, pilot, hpk)
    assert (obs["file"], obs["identifier"], obs["mode"], obs["data_type"]) == \
        ("HPK_ship_obs.txt", "FNZ6042", 1, 0), obs
    elements = obs["elements"]
    assert len(elements) == len(expected), len(elements)
    for element, (presence, value) in zip(elements, expected):
        name = element["name"].split("_D")[0].rstrip("0123456789")
        if presence == "0":
            assert not element["valid"] and element["missing"] is True, element
            assert element["value"] is None, element
            continue
        assert element["valid"] and element["missing"] is False, element
        assert abs(element["value"] - float(value)) <= scale[name] / 2, (element, value)
        assert math.isclose(element["conv_value"], float(element["conv_text"]),
                            abs_tol=scale[name]), element


def check_hostile_texts(ventrac, decode, folder):
    name = b'Q"uo\\te\x01\x1f\x7f caf\xc3\xa9 \xe9\xff'
    unit = b'\t\\u"\r'
    comment = b"\xed\xa0\x80 \xf0\x9f\x98\x80 \xc0\xaf \xe2\x80\xa8 end"
    pilot = (b"000000;MODE;4;1;1;0;14;255;NUM;1;0;0;mode;;\n"
             b"001001;" + name + b";8;1;1;0;254;255;" + unit + b";1;0;1;" + comment + b";;\n")
    with open(os.path.join(folder, "odd.pilot"), "wb") as f:
        f.write(pilot)
    hpk = encode(ventrac, folder, b"odd.pilot", b"obs\xff.txt", b"1\n1 42\n", b'A"B\\C')
    (obs,) = decode_json(decode, folder, "--telex", "odd.pilot", hpk)
    assert obs["file"] == "HPK_obs\u00ff.txt", obs["file"]
    assert obs["identifier"] == 'A"B\\C', obs["identifier"]
    (element,) = obs["elements"]
    assert element["name"] == 'Q"uo\\te\x01\x1f\x7f caf\u00e9 \u00e9\u00ff', element["name"]
    assert element["unit"] == '\t\\u"\r', element["unit"]
    assert element["comment"] == "\u00ed\u00a0\u0080 \U0001F600 \u00c0\u00af \u2028 end", \
        element["comment"]
    assert element["value"] == 42 and element["valid"], element
    assert obs["telex"].startswith('  A"B\\C') and obs["telex"].endswith("=\r\r\n"), obs["telex"]


def main():
    ventrac, decode, examples = (os.path.abspath(a) for a in sys.argv[1:4])
    with tempfile.TemporaryDirectory() as folder:
        check_example(ventrac, decode, examples, folder)
        check_hostile_texts(ventrac, decode, folder)
    print("ventrac-decode --json: all lines parse and read back as expected")


if __name__ == "__main__":
    main()
