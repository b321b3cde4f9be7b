# SPDX-License-Identifier: Apache-2.0
"""to_dataframe against the CSV of ventrac-decode. These tests need pandas;
without it they are reported skipped by name (ctest then shows the test
python.dataframe as not run)."""
import io
import math
import subprocess

import pytest

import ventrac

pandas = pytest.importorskip("pandas", reason="pandas is not installed (Debian: python3-pandas)")


def test_to_dataframe_holds_the_rows_and_columns_of_ventrac_decode_csv(programs, ship_pilot,
                                                                       ship_pilot_path, ship_message,
                                                                       tmp_path):
    _, _, hpk, message = ship_message
    other = tmp_path / "other.hpk"
    other.write_bytes(ship_pilot.encode(2, [2027] + [None] * 16 + [0], "X2"))
    files = [hpk, str(tmp_path / "absent.hpk"), str(other)]
    run = subprocess.run([programs["decode"], "--csv", ship_pilot_path, *files],
                         capture_output=True, check=False)
    assert run.returncode == 1  # the absent file
    header = run.stdout.split(b"\n", 1)[0].decode()
    texts = ["file", "identifier", "ident", "code", "name", "unit", "text", "conv_text", "comment"]
    csv = pandas.read_csv(io.BytesIO(run.stdout), dtype={c: str for c in texts},
                          keep_default_na=False, na_values={"value": [""], "conv_value": [""]},
                          float_precision="round_trip")

    frame = ventrac.to_dataframe(ship_pilot.decode_files(files))
    assert list(frame.columns) == header.split(",") == list(ventrac.CSV_COLUMNS)
    assert len(frame) == len(csv) == 26 + 18
    for column in frame.columns:
        if column in ("valid", "missing"):
            assert list(frame[column]) == [bool(v) for v in csv[column]], column
        elif column in ("value", "conv_value"):
            for a, b in zip(frame[column], csv[column]):
                assert (math.isnan(a) and math.isnan(b)) or a == b, column
        else:
            assert list(frame[column]) == list(csv[column]), column
    assert frame["value"].dtype == "float64" and frame["valid"].dtype == "bool"
    # Rows of an observation decoded from memory have no file.
    single = ventrac.to_dataframe(ship_pilot.decode(message))
    assert len(single) == 26 and single["file"].isna().all()
    with pytest.raises(TypeError):
        ventrac.to_dataframe([42])
    assert list(ventrac.to_dataframe([]).columns) == list(ventrac.CSV_COLUMNS)
