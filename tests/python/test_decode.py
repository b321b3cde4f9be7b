# SPDX-License-Identifier: Apache-2.0
"""Decoding with the Python module, held against ventrac-decode."""
import math
import os
import subprocess

import pytest

import ventrac
from conftest import assert_agrees_with_json, decode_json


def test_example_agrees_with_the_json_of_ventrac_decode(programs, ship_pilot, ship_pilot_path,
                                                        ship_message):
    _, _, hpk, message = ship_message
    (expected,) = decode_json(programs, ship_pilot_path, hpk)
    obs = ship_pilot.decode(message)
    assert_agrees_with_json(obs, expected)
    # The same message as str, and read from its file.
    assert ship_pilot.decode(message.decode("latin-1")).to_dict() == obs.to_dict()
    (from_file,) = ship_pilot.decode_files([hpk])
    assert from_file.source == hpk
    assert from_file.to_dict() == dict(obs.to_dict(), file=hpk)
    assert [e.name for e in obs] == [e["name"] for e in expected["elements"]]
    assert len(obs) == 26 and obs.elements[9].missing and obs.elements[9].value is None


def test_decode_with_data_types_agrees_with_ventrac_decode(programs, ship_pilot, ship_pilot_path,
                                                           ship_message, tmp_path):
    _, _, hpk, message = ship_message
    table = tmp_path / "types"
    table.write_text("1 10\n2 20\n")
    (expected,) = decode_json(programs, ship_pilot_path, hpk, options=("--datatype", str(table)))
    obs = ship_pilot.decode(message, data_types={1: 10, 2: 20})
    assert obs.data_type == expected["data_type"] == 10
    assert ship_pilot.decode(message, data_types={-1: -7}).data_type == -7
    with pytest.raises(ventrac.DecodeError) as caught:
        ship_pilot.decode(message, data_types={2: 20})
    assert (caught.value.error, caught.value.mode) == (234, 1)
    for bad, kind in (({1: 128}, ValueError), ({"1": 2}, TypeError), ([1, 2], TypeError),
                      ({m: 0 for m in range(33)}, ValueError)):
        with pytest.raises(kind):
            ship_pilot.decode(message, data_types=bad)


LOOKUPS = [
    ("012101", "TA"),             # found, valid
    (" 012101 ", "TA "),          # blanks trimmed on both sides
    ("0121", "01TA"),             # descriptor and name compared joined
    ("010061", "PTEND3H"),        # missing: not usable
    ("031001", "NCLOUD000"),      # a delayed count keeps an entry
    ("020013", "CLBASE_D000-001"),  # the second cloud layer
    ("999999", "NOPE"),           # absent
]


def test_lookups_agree_with_ventrac_decode_get(programs, ship_pilot, ship_pilot_path, ship_message):
    _, _, hpk, message = ship_message
    args = [programs["decode"]]
    for code, name in LOOKUPS:
        args += ["--get", code, name]
    run = subprocess.run(args + [ship_pilot_path, hpk], capture_output=True, text=True, check=True)
    obs = ship_pilot.decode(message)
    got = []
    for key in LOOKUPS:
        assert (key in obs) == (obs.get(*key) is not None)
        try:
            got.append(repr(obs[key]))
        except KeyError:
            got.append("NA")
    assert [g if g == "NA" else float(g) for g in got] == \
        [line if line == "NA" else float(line) for line in run.stdout.split()]
    assert got[0] == got[1] != "NA" and got[3] == got[6] == "NA"
    assert obs.get("010061", "PTEND3H", -1.0) == -1.0
    with pytest.raises(TypeError):
        obs["012101"]


def _ship_messages(ship_pilot, ship_message, count):
    """`count` messages: the example in modes 1 and 2 with varied values,
    some missing, some implausible (air temperature above 323.15 K), and
    every 7th one too short to decode."""
    _, values, _, _ = ship_message
    out = []
    for i in range(count):
        v = list(values)
        v[0] = 2000 + i % 90
        v[12] = 250 + (i % 800) / 10
        if i % 5 == 0:
            v[13] = None
        mode = 1 + i % 2
        message = ship_pilot.encode(mode, v if mode == 1 else v[:17] + v[19:], "S%d" % i)
        out.append(message[:5] if i % 7 == 3 else message)
    return out


def test_decode_many_on_several_threads_equals_one_thread_and_decode(ship_pilot, ship_message):
    messages = _ship_messages(ship_pilot, ship_message, 300)
    one = ship_pilot.decode_many(messages, jobs=1)
    for jobs in (2, 3, 0):
        many = ship_pilot.decode_many(messages, jobs=jobs)
        assert len(many) == len(messages)
        for a, b in zip(one, many):
            if isinstance(a, ventrac.DecodeError):
                assert (type(b), b.error, b.index) == (type(a), a.error, a.index)
            else:
                assert a.to_dict() == b.to_dict()
    failures = [r for r in one if isinstance(r, ventrac.DecodeError)]
    assert [f.index for f in failures] == [i for i in range(300) if i % 7 == 3]
    assert all(f.error == 250 and f.mode is None for f in failures)
    for i in (0, 1, 2, 4, 151):
        assert one[i].to_dict() == ship_pilot.decode(messages[i]).to_dict()
        assert one[i].identifier == "S%d" % i


def test_decode_many_errors_return_or_raise(ship_pilot, ship_message):
    message = ship_message[3]
    batch = [message, b"FNZ", bytearray(message), memoryview(message)]
    results = ship_pilot.decode_many(batch, jobs=2)
    assert isinstance(results[1], ventrac.DecodeError) and results[1].index == 1
    assert results[0].to_dict() == results[2].to_dict() == results[3].to_dict()
    with pytest.raises(ventrac.DecodeError) as caught:
        ship_pilot.decode_many(batch, errors="raise")
    assert (caught.value.error, caught.value.index) == (250, 1)
    assert ship_pilot.decode_many([], jobs=0) == []
    with pytest.raises(ValueError):
        ship_pilot.decode_many(batch, errors="ignore")
    with pytest.raises(ValueError):
        ship_pilot.decode_many(batch, jobs=-1)
    with pytest.raises(TypeError):
        ship_pilot.decode_many(message)
    with pytest.raises(TypeError):
        ship_pilot.decode_many([message, 42])
    with pytest.raises(ValueError):
        ship_pilot.decode_many(["FNZ6042\u20ac\u20ac"])


def test_decode_files_reads_each_file_whole(ship_pilot, ship_message, tmp_path):
    message = ship_message[3]
    paths = []
    for i, content in enumerate((message, b"", message + b"\n", b"1234567")):
        path = tmp_path / ("m%d.hpk" % i)
        path.write_bytes(content)
        paths.append(path)
    paths.append(tmp_path / "absent.hpk")
    results = ship_pilot.decode_files(paths, jobs=2)
    assert results[0].source == str(paths[0])
    assert results[0].to_dict() == dict(ship_pilot.decode(message).to_dict(), file=str(paths[0]))
    assert results[1].error == 250 and results[3].error == 250
    assert results[1].source == str(paths[1])
    # A line feed after the message is one more six-bit character (zero bits
    # past the last field): the observation is the same.
    assert results[2].to_dict()["elements"] == results[0].to_dict()["elements"]
    assert isinstance(results[4], FileNotFoundError)
    assert results[4].filename == str(paths[4])
    with pytest.raises(FileNotFoundError):
        ship_pilot.decode_files([paths[0], paths[4]], errors="raise")
    with pytest.raises(ValueError):
        ship_pilot.decode_files(["a\0b"])


def test_refused_messages_raise_decode_error_with_the_codec_number():
    header = "000000;MODE;4;1;1;0;14;%d;NUMERIC;1;0;0;mode;;\n"
    body = "001001;X;8;1;1;0;254;%d;U;1;0;1;x;;\n"
    both = ventrac.Pilot.from_text(header % 3 + body % 3)
    message = both.encode(1, [7], "ID")
    # Mode 1 has no line in a pilot file made for mode 2 only.
    other = ventrac.Pilot.from_text((header % 2 + body % 2).encode())
    with pytest.raises(ventrac.DecodeError) as caught:
        other.decode(message)
    assert (caught.value.error, caught.value.mode, caught.value.index) == (253, 1, None)
    assert "253" in str(caught.value)
    with pytest.raises(ventrac.DecodeError) as caught:
        both.decode(b"ID")
    assert (caught.value.error, caught.value.mode) == (250, None)
    assert isinstance(caught.value, ValueError)
    # A delayed group of 5 one-bit elements repeated 254 times: more than
    # 1024 decoded entries.
    big = ventrac.Pilot.from_text(header % 3 + "105000;N;8;1;1;0;254;3;U;1;0;1;n;;\n"
                                  + "001001;B;1;1;1;0;0;3;U;1;0;1;b;;\n" * 5)
    message = big.encode(1, [254] + [0] * (254 * 5), "ID")
    with pytest.raises(ventrac.DecodeError) as caught:
        big.decode(message)
    assert caught.value.error == 252


def test_pilot_errors_give_the_reason(tmp_path):
    with pytest.raises(ventrac.PilotError, match="No such file"):
        ventrac.Pilot(tmp_path / "absent.pilot")
    empty = tmp_path / "empty.pilot"
    empty.write_bytes(b"")
    with pytest.raises(ventrac.PilotError, match="no line"):
        ventrac.Pilot(empty)
    with pytest.raises(ventrac.PilotError):
        ventrac.Pilot.from_text("")
    assert issubclass(ventrac.PilotError, ventrac.VentracError)


def test_texts_read_as_utf8_else_latin1_as_the_json_does(programs, tmp_path):
    pilot_text = ("000000;MODE;4;1;1;0;14;3;NUMERIC;1;0;0;mode;;\n"
                  "001001;T\u00e9\xe9;8;1;0.5;0;254;3;\u00b0C;1;0;1;q\"\\\x01;;\n")
    raw = pilot_text.encode("utf-8").replace(b"\xc3\xa9\xc3\xa9", b"\xc3\xa9\xe9")
    path = tmp_path / "odd.pilot"
    path.write_bytes(raw)
    pilot = ventrac.Pilot(str(path))
    assert pilot.path == str(path) and pilot.line_count == 2
    message = pilot.encode(1, [10.5], "ID")
    hpk = tmp_path / "m.hpk"
    hpk.write_bytes(message)
    (expected,) = decode_json(programs, str(path), str(hpk))
    obs = pilot.decode(message)
    assert_agrees_with_json(obs, expected)
    assert obs.elements[0].name == "T\u00e9\u00e9" and obs.elements[0].unit == "\u00b0C"
    assert math.isclose(obs.elements[0].value, 10.5)
    assert repr(obs).startswith("<Observation ID mode 1")
    assert os.fspath(path) in repr(pilot)
