# SPDX-License-Identifier: Apache-2.0
"""ventrac.read and ventrac.iter_read, one row per message, held against
ventrac-decode --json on the same files. These tests need pandas; without
it they are reported skipped (ctest then shows python.dataframe as not
run)."""
import math
import os
import subprocess

import pytest

import ventrac
from conftest import decode_json

pandas = pytest.importorskip("pandas", reason="pandas is not installed (Debian: python3-pandas)")


def expected_frame(objects, key="conv_value", failures=()):
    """The frame read() must give for the JSON objects of ventrac-decode,
    with rows (position, file, mode, error prefix) inserted for the
    messages that failed."""
    columns, rows = [], []
    for o in objects:
        row = {"file": o["file"], "identifier": o["identifier"], "mode": o["mode"],
               "data_type": o["data_type"], "error": ""}
        seen = {}
        for e in o["elements"]:
            repeat = seen.get(e["name"], 0)
            seen[e["name"]] = repeat + 1
            name = e["name"] if repeat == 0 else "%s.%d" % (e["name"], repeat)
            if name not in columns:
                columns.append(name)
            row[name] = math.nan if e[key] is None else e[key]
        rows.append(row)
    for position, file, mode, _ in failures:
        rows.insert(position, {"file": file, "identifier": None, "mode": mode, "data_type": None,
                               "error": None})
    frame = pandas.DataFrame(rows, columns=list(ventrac.TABLE_COLUMNS) + columns)
    frame[columns] = frame[columns].astype("float64")
    return frame.astype({"mode": "Int64", "data_type": "Int64"})


def assert_frames_equal(got, expected):
    assert list(got.columns) == list(expected.columns)
    pandas.testing.assert_frame_equal(got.reset_index(drop=True), expected.reset_index(drop=True),
                                      check_exact=True)


def ship_messages(pilot):
    """Mode 1 and mode 2 messages of the example, with 0 to 3 cloud layers
    (so that they differ in their columns), missing and implausible values."""
    with open(os.path.join(os.environ["VENTRAC_EXAMPLES"], "ship_obs.txt")) as f:
        rows = [line.split() for line in f if line.strip()][1:]
    base = [float(v) if p == "1" else None for p, v in rows]
    out = []
    for i in range(12):
        v = base[:19] + [i % 4] + [3, 8, 600 + 100 * i] * (i % 4)
        v[12] = 330.0 if i == 5 else 260 + i  # above 323.15 K: implausible
        if i % 3 == 0:
            v[13] = None
        mode = 1 + i % 2
        out.append(pilot.encode(mode, v if mode == 1 else v[:17] + v[19:], "S%d" % i))
    return out


@pytest.fixture()
def ship_lines(ship_pilot, tmp_path):
    path = tmp_path / "messages.txt"
    messages = ship_messages(ship_pilot)
    # Blank lines are skipped and a carriage return before the line feed is
    # dropped, but every line counts in the numbering.
    path.write_bytes(b"\n".join(messages[:6]) + b"\n\n \t\n" + b"\r\n".join(messages[6:]) + b"\n")
    return str(path), messages


def test_read_agrees_with_ventrac_decode_json_in_both_modes(programs, ship_pilot, ship_pilot_path,
                                                           ship_lines, tmp_path):
    lines_path, messages = ship_lines
    objects = decode_json(programs, ship_pilot_path, lines_path, options=("--lines",))
    assert {o["mode"] for o in objects} == {1, 2} and len(objects) == 12
    for raw, key in ((False, "conv_value"), (True, "value")):
        got = ventrac.read(ship_pilot, lines_path, lines=True, raw=raw)
        assert_frames_equal(got, expected_frame(objects, key))
    frame = ventrac.read(ship_pilot_path, [lines_path], lines=True, jobs=1)
    assert frame["file"][6] == lines_path + ":9" and frame["TA"][0] == pytest.approx(260 - 273.15)
    assert math.isnan(frame["TA"][5]) and math.isnan(frame["WVHT"][1])  # implausible; not in mode 2
    assert frame.index.equals(pandas.RangeIndex(12))
    assert frame["mode"].dtype == "Int64" and frame["TA"].dtype == "float64"
    # One file a message: the file column is the file's name.
    files = []
    for i, m in enumerate(messages[:4]):
        files.append(str(tmp_path / ("m%d.hpk" % i)))
        with open(files[-1], "wb") as f:
            f.write(m)
    objects = decode_json(programs, ship_pilot_path, *files)
    assert_frames_equal(ventrac.read(ship_pilot, files, jobs=3), expected_frame(objects))


def test_read_agrees_with_ventrac_decode_json_on_generated_pilots(programs, cases, tmp_path):
    """Nested fixed and delayed groups of both kinds: names with their
    replication suffixes, and names that a group of kind 4 repeats."""
    repeated = 0
    for n, case in enumerate(cases):
        pilot_path = tmp_path / ("p%d.pilot" % n)
        pilot_path.write_text(case.pilot)
        pilot = ventrac.Pilot(str(pilot_path))
        message = pilot.encode(case.mode, case.values, case.identifier)
        lines_path = tmp_path / ("m%d.txt" % n)
        lines_path.write_bytes(message + b"\n" + message + b"\n")
        objects = decode_json(programs, str(pilot_path), str(lines_path), options=("--lines",))
        for raw, key in ((False, "conv_value"), (True, "value")):
            got = ventrac.read(pilot, str(lines_path), lines=True, raw=raw)
            assert_frames_equal(got, expected_frame(objects, key))
        repeated += any("." in c for c in got.columns)
    assert repeated > 0  # the cases do repeat names


def failing_input(ship_pilot, tmp_path):
    """A lines file whose mode 2 messages have no data-type code (with
    data_types={1: 10}), with a short line and a line over 1 MiB, then a
    file that does not exist, then a good file."""
    messages = ship_messages(ship_pilot)[:5]
    lines = [messages[0], messages[1], b"short", messages[2], b"A" * (1 << 20) + b"B",
             messages[3], messages[4]]
    first = tmp_path / "batch.txt"
    first.write_bytes(b"\n".join(lines) + b"\n")
    last = tmp_path / "last.txt"
    last.write_bytes(messages[0] + b"\n")
    return [str(first), str(tmp_path / "absent.txt"), str(last)]


def test_failing_messages_in_each_errors_mode(programs, ship_pilot, ship_pilot_path, tmp_path):
    paths = failing_input(ship_pilot, tmp_path)
    table = tmp_path / "types"
    table.write_text("1 10\n")
    run = subprocess.run([programs["decode"], "--json", "--lines", "--datatype", str(table),
                          ship_pilot_path, *paths], capture_output=True, check=False)
    assert run.returncode == 1
    objects = [pandas.io.json.loads(line) for line in run.stdout.decode().splitlines()]
    failed_names = [line.split(": ")[1] for line in run.stderr.decode().splitlines()]
    first = paths[0]
    assert failed_names == [first + ":2", first + ":3", first + ":5", first + ":6", paths[1]]
    types = {1: 10}

    kept = ventrac.read(ship_pilot, paths, lines=True, data_types=types)
    failures = [(1, first + ":2", 2, "error 234"), (2, first + ":3", None, "error 250"),
                (4, first + ":5", None, "longer than 1048576 bytes"),
                (5, first + ":6", 2, "error 234"), (7, paths[1], None, "cannot be opened")]
    expected = expected_frame(objects, failures=failures)
    for position, _, _, why in failures:
        assert kept["error"][position].startswith(why), kept["error"][position]
        expected.loc[position, "error"] = kept["error"][position]
        expected.loc[position, "identifier"] = kept["identifier"][position]
    assert kept["identifier"][1] == "S1" and kept["identifier"][2] == ""
    assert_frames_equal(kept, expected)
    assert kept["data_type"].isna().tolist() == [False, True, True, False, True, True, False, True, False]

    skipped = ventrac.read(ship_pilot, paths, lines=True, data_types=types, errors="skip")
    assert_frames_equal(skipped, expected[expected["error"] == ""])
    assert skipped.index.equals(pandas.RangeIndex(4))

    with pytest.raises(ventrac.DecodeError) as caught:
        ventrac.read(ship_pilot, paths, lines=True, data_types=types, errors="raise")
    e = caught.value
    assert (e.error, e.mode, e.index, e.source) == (234, 2, 1, first + ":2")
    with pytest.raises(ventrac.DecodeError) as caught:
        ventrac.read(ship_pilot, paths, lines=True, errors="raise")
    assert (caught.value.error, caught.value.mode, caught.value.index) == (250, None, 2)
    long_line = tmp_path / "long.txt"
    long_line.write_bytes(ship_messages(ship_pilot)[0] + b"\n" + b"A" * (1 << 20) + b"B\n")
    batches = ventrac.iter_read(ship_pilot, [str(long_line)], lines=True, errors="raise", batch_size=1)
    assert len(next(batches)) == 1
    with pytest.raises(ValueError, match="long.txt:2: longer than"):
        next(batches)
    with pytest.raises(FileNotFoundError) as caught:
        ventrac.read(ship_pilot, paths[1:], lines=True, errors="raise")
    assert caught.value.filename == paths[1]
    # Whole files: an absent one, and one too short to be a message.
    short = tmp_path / "short.hpk"
    short.write_bytes(b"ABC")
    frame = ventrac.read(ship_pilot, [paths[1], str(short)])
    assert frame["error"].str.slice(0, 9).tolist() == ["cannot be", "error 250"]
    assert frame["file"].tolist() == [paths[1], str(short)]
    assert frame.columns.tolist() == list(ventrac.TABLE_COLUMNS)
    with pytest.raises(ValueError):
        ventrac.read(ship_pilot, paths, errors="return")


@pytest.mark.parametrize("errors", ["keep", "skip"])
def test_iter_read_batches_concatenate_to_read(ship_pilot, tmp_path, errors):
    paths = failing_input(ship_pilot, tmp_path)
    options = dict(lines=True, data_types={1: 10}, errors=errors)
    whole = ventrac.read(ship_pilot, paths, **options)
    for size in (1, 2, 3, 100):
        batches = list(ventrac.iter_read(ship_pilot, paths, batch_size=size, jobs=1 + size % 2,
                                         **options))
        assert [len(b) for b in batches[:-1]] == [size] * (len(batches) - 1)
        assert 1 <= len(batches[-1]) <= size
        joined = pandas.concat(batches)
        assert list(joined.columns) == list(whole.columns)
        pandas.testing.assert_frame_equal(joined, whole, check_exact=True)
        if size == 1:
            # Each batch has the columns of its own messages only.
            assert "CLAMT_D000-000" not in batches[0] and "CLAMT_D000-000" in batches[1 if errors == "skip" else 3]
    selected = ["CLBASE_D000-001", "TA", "WVHT"]
    for batch in ventrac.iter_read(ship_pilot, paths, batch_size=2, columns=selected, **options):
        assert list(batch.columns) == list(ventrac.TABLE_COLUMNS) + selected
    assert list(ventrac.iter_read(ship_pilot, [paths[1]], errors="skip")) == []


def test_columns_and_raw(ship_pilot, ship_lines):
    path, _ = ship_lines
    whole = ventrac.read(ship_pilot, path, lines=True)
    raw = ventrac.read(ship_pilot, path, lines=True, raw=True)
    assert raw["TA"].tolist() == pytest.approx((whole["TA"] + 273.15).tolist(), nan_ok=True)
    assert raw["PRES"].tolist() == pytest.approx((whole["PRES"] * 100).tolist(), nan_ok=True)
    # Only the columns asked for, in that order, also one no message has.
    selected = ["CLBASE_D000-002", "TA", "NCLOUD000", "CLBASE_D000-009", "TA.1"]
    frame = ventrac.read(ship_pilot, path, lines=True, columns=selected, raw=True)
    assert list(frame.columns) == list(ventrac.TABLE_COLUMNS) + selected
    for name in selected[:3]:
        pandas.testing.assert_series_equal(frame[name], raw[name])
    assert frame["CLBASE_D000-009"].isna().all() and frame["TA.1"].isna().all()
    assert frame[list(ventrac.TABLE_COLUMNS)].equals(raw[list(ventrac.TABLE_COLUMNS)])
    # A name no line of the pilot can give raises at once, before any file
    # is opened.
    for bad in ("NOPE", "TA_D000", "CLBASE_D00-001", "NCLOUD00", "TA.0", "ta"):
        with pytest.raises(KeyError, match=bad.replace(".", r"\.")):
            ventrac.read(ship_pilot, "/nonexistent", lines=True, columns=[bad])
        with pytest.raises(KeyError):
            ventrac.iter_read(ship_pilot, "/nonexistent", columns=["TA", bad])
    with pytest.raises(TypeError):
        ventrac.read(ship_pilot, path, columns="TA")
    with pytest.raises(ValueError):
        ventrac.iter_read(ship_pilot, path, batch_size=0)


def test_many_messages_on_several_threads_agree_with_ventrac_decode(programs, ship_pilot,
                                                                    ship_pilot_path, tmp_path):
    """Enough messages that every thread decodes some and meets the layouts
    (mode and cloud count) in its own order: the columns and rows are
    still those of ventrac-decode, in input order."""
    with open(os.path.join(os.environ["VENTRAC_EXAMPLES"], "ship_obs.txt")) as f:
        rows = [line.split() for line in f if line.strip()][1:]
    base = [float(v) if p == "1" else None for p, v in rows]
    messages = []
    for i in range(3000):
        clouds = (i * 7 + i // 500) % 5
        v = base[:19] + [clouds] + [3, 8, 100.0 + i] * clouds
        v[12] = 250 + i % 70
        mode = 2 if i % 11 in (3, 4) or i > 2600 else 1
        messages.append(ship_pilot.encode(mode, v if mode == 1 else v[:17] + v[19:], "N%d" % i))
    path = tmp_path / "many.txt"
    path.write_bytes(b"\n".join(messages) + b"\n")
    objects = decode_json(programs, ship_pilot_path, str(path), options=("--lines",))
    expected = expected_frame(objects)
    for jobs in (1, 2, 5):
        assert_frames_equal(ventrac.read(ship_pilot, str(path), lines=True, jobs=jobs), expected)
    batches = list(ventrac.iter_read(ship_pilot, str(path), lines=True, jobs=3, batch_size=700))
    pandas.testing.assert_frame_equal(pandas.concat(batches), expected, check_exact=True)
