# SPDX-License-Identifier: Apache-2.0
"""Shared fixtures of the Python module's tests: the programs of the build
tree, the shipped example as ventrac encodes it, and generated pilot files
with observations for them.

ctest sets VENTRAC_EXE, VENTRAC_DECODE_EXE, VENTRAC_EXAMPLES and PYTHONPATH
(see python/CMakeLists.txt).
"""
import json
import os
import random
import subprocess

import pytest

import ventrac


def _env(name):
    value = os.environ.get(name)
    if not value:
        pytest.fail(f"{name} is not set: run these tests through ctest")
    return value


@pytest.fixture(scope="session")
def programs():
    return {"ventrac": _env("VENTRAC_EXE"), "decode": _env("VENTRAC_DECODE_EXE")}


@pytest.fixture(scope="session")
def examples():
    return _env("VENTRAC_EXAMPLES")


@pytest.fixture(scope="session")
def ship_pilot_path(examples):
    return os.path.join(examples, "ship.pilot")


@pytest.fixture(scope="session")
def ship_pilot(ship_pilot_path):
    return ventrac.Pilot(ship_pilot_path)


def read_data_file(path):
    """The mode and the values (None where missing) of a data file."""
    with open(path) as f:
        lines = [line.split() for line in f if line.strip()]
    mode = int(lines[0][0])
    return mode, [float(v) if p == "1" else None for p, v in lines[1:]]


def run_ventrac(programs, folder, pilot_path, mode, values, identifier):
    """Writes a data file into `folder`, runs the ventrac program on it and
    returns the content of the HPK file it writes."""
    lines = [str(mode)] + ["0 0" if v is None else f"1 {v!r}" for v in values]
    with open(os.path.join(folder, "obs.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    hpk = os.path.join(folder, "HPK_obs.txt")
    if os.path.exists(hpk):
        os.remove(hpk)
    subprocess.run([programs["ventrac"], pilot_path, "obs.txt", identifier, "0"], cwd=folder,
                   stdout=subprocess.DEVNULL, check=False)
    with open(hpk, "rb") as f:
        return f.read()


def decode_json(programs, pilot_path, *files, options=()):
    """ventrac-decode --json on `files`: one dict per file."""
    run = subprocess.run([programs["decode"], "--json", *options, pilot_path, *files],
                         capture_output=True, check=False)
    assert run.returncode == 0, run.stderr
    return [json.loads(line) for line in run.stdout.decode("utf-8").splitlines()]


@pytest.fixture(scope="session")
def ship_message(programs, ship_pilot_path, examples, tmp_path_factory):
    """The example observation as the ventrac program encodes it: (mode,
    values, HPK file path, its bytes)."""
    folder = tmp_path_factory.mktemp("ship")
    mode, values = read_data_file(os.path.join(examples, "ship_obs.txt"))
    message = run_ventrac(programs, str(folder), ship_pilot_path, mode, values, "FNZ6042")
    return mode, values, str(folder / "HPK_obs.txt"), message


def assert_agrees_with_json(obs, expected):
    """An Observation against the object ventrac-decode --json printed for
    the same message: every member equal; values where the JSON has them
    (valid elements), an implausible element's value kept by the module
    where the JSON has null."""
    got = obs.to_dict()
    assert (got["identifier"], got["mode"], got["data_type"]) == \
        (expected["identifier"], expected["mode"], expected["data_type"])
    assert len(got["elements"]) == len(expected["elements"])
    for mine, theirs in zip(got["elements"], expected["elements"]):
        for key in ("ident", "code", "name", "unit", "valid", "missing", "text", "conv_text",
                    "comment"):
            assert mine[key] == theirs[key], (key, mine, theirs)
        for key in ("value", "conv_value"):
            if theirs[key] is not None:
                assert mine[key] == theirs[key], (key, mine, theirs)
            elif mine["missing"]:
                assert mine[key] is None, (key, mine)
            else:
                assert not mine["valid"] and isinstance(mine[key], float), (key, mine)


# ---- generated pilot files and observations ---------------------------------

ALL_MODES = 0x7FFFFFFF


class Case:
    """A generated pilot file, an observation for it and the entries the
    decoder must give back: (valid, value, tolerance) each, in order."""

    def __init__(self, pilot, mode, values, expected, identifier):
        self.pilot, self.mode, self.values = pilot, mode, values
        self.expected, self.identifier = expected, identifier


def make_case(rng):
    """Plain elements of 3 to 31 bits with decimal and binary resolutions,
    fixed and delayed groups of both kinds, nested two deep, and lines of
    another mode that the operating mode skips."""
    serial = iter(range(10_000))
    scales = (0.01, 0.1, 0.5, 1, 2, 10)

    def plain():
        nbits = rng.randint(3, 31)
        scale = rng.choice(scales)
        return {"kind": "plain", "nbits": nbits, "scale": scale,
                "reference": rng.randint(-1000, 1000) * scale,
                "max": (1 << nbits) - 2 - rng.randint(0, 1),
                "code": "0%05d" % rng.randint(10000, 99999), "name": "E%d" % next(serial)}

    def group(depth):
        nbits = rng.randint(3, 8)
        return {"kind": rng.choice(("fixed", "delayed", "delayed")),
                "group": "4" if rng.randint(0, 2) == 0 else "1", "nbits": nbits, "scale": 1,
                "reference": 0, "max": (1 << nbits) - 2, "reps": rng.randint(1, 3),
                "children": items(depth + 1, 3), "name": "G%d" % next(serial)}

    def items(depth, budget):
        return [group(depth) if depth < 2 and rng.randint(0, 9) >= 7 else plain()
                for _ in range(rng.randint(1, budget))]

    def count_lines(nodes):
        return sum(1 + count_lines(n.get("children", [])) for n in nodes)

    def line(n, code, mask):
        return (f"{code};{n['name']};{n['nbits']};1;{n['scale']!r};{n['reference']!r};"
                f"{n['max']};{mask};U;1;0;1;{n['name']} comment;;\n")

    def write(nodes, out, top):
        for n in nodes:
            if top and rng.randint(0, 4) == 0:
                out.append(line(plain(), "012345", 1 << 4))  # mode 5 only
            if n["kind"] == "plain":
                out.append(line(n, n["code"], ALL_MODES))
                continue
            reps = n["reps"] if n["kind"] == "fixed" else 0
            out.append(line(n, "%s%02d%03d" % (n["group"], count_lines(n["children"]), reps),
                            ALL_MODES))
            write(n["children"], out, False)

    values, expected = [], []

    def walk(nodes, times):
        for _ in range(times):
            for n in nodes:
                if n["kind"] == "plain":
                    if rng.randint(0, 5) == 0:
                        values.append(None)
                        expected.append((False, None, 0))
                        continue
                    step = rng.randint(1, min(n["max"] - 1, 1 << 30))
                    jitter = rng.randint(-450, 450) / 1000
                    value = n["reference"] + (step + jitter) * n["scale"]
                    values.append(value)
                    expected.append((True, value, n["scale"] / 2))
                    continue
                count = n["reps"]
                if n["kind"] == "delayed":
                    count = rng.randint(0, 3)
                    values.append(count)
                    if n["group"] == "1":
                        expected.append((True, count, 0))
                walk(n["children"], count)

    nodes = items(0, 12)
    lines = ["000000;MODE;5;1;1;0;30;%d;NUMERIC;1;0;0;mode;;\n" % ALL_MODES]
    write(nodes, lines, True)
    walk(nodes, 1)
    identifier = rng.choice(("FNZ6042", "AB", " X1 ", "7"))
    return Case("".join(lines), rng.randint(1, 3), values, expected, identifier)


@pytest.fixture(scope="session")
def cases():
    rng = random.Random(20261207)
    return [make_case(rng) for _ in range(40)]
