# SPDX-License-Identifier: Apache-2.0
"""Encoding with the Python module: the bytes of the ventrac program, values
read back within half a step, and the values it refuses."""
import math

import pytest

import ventrac
from conftest import assert_agrees_with_json, decode_json, run_ventrac


def test_example_encodes_to_the_bytes_of_the_ventrac_program(ship_pilot, ship_message):
    mode, values, _, message = ship_message
    assert ship_pilot.encode(mode, values, "FNZ6042") == message
    assert ship_pilot.encode(mode, values, b" FNZ6042 ") == message
    assert ship_pilot.encode(mode, tuple(v for v in values), "FNZ6042") == message


def test_generated_round_trips(programs, cases, tmp_path):
    """For every generated case: the module's message is the ventrac
    program's, it decodes as ventrac-decode --json decodes it, and every
    present value comes back within half a resolution step."""
    for n, case in enumerate(cases):
        folder = tmp_path / str(n)
        folder.mkdir()
        pilot_path = folder / "case.pilot"
        pilot_path.write_text(case.pilot)
        pilot = ventrac.Pilot.from_text(case.pilot)
        message = pilot.encode(case.mode, case.values, case.identifier)
        assert message == run_ventrac(programs, str(folder), str(pilot_path), case.mode,
                                      case.values, case.identifier), n
        obs = pilot.decode(message)
        (expected_json,) = decode_json(programs, str(pilot_path), str(folder / "HPK_obs.txt"))
        assert_agrees_with_json(obs, expected_json)
        assert obs.mode == case.mode and obs.identifier == case.identifier.strip()
        assert len(obs) == len(case.expected), n
        for e, (present, value, tolerance) in zip(obs, case.expected):
            if not present:
                assert e.missing and not e.valid and e.value is None, (n, e)
                continue
            assert e.valid and not e.missing, (n, e, value)
            assert abs(e.value - value) <= tolerance * (1 + 1e-9) + 1e-9, (n, e, value)


def test_values_that_cannot_be_encoded_raise_encode_error(ship_pilot, ship_message):
    mode, values, _, _ = ship_message

    def refused(index, value, match):
        v = list(values)
        v[index] = value
        with pytest.raises(ventrac.EncodeError, match=match) as caught:
            ship_pilot.encode(mode, v, "FNZ6042")
        assert caught.value.index == index
        return caught.value

    # YEAR is 0 .. 4094 in steps of 1: 4094.4 still rounds to it, 4094.5
    # would be clipped.
    ship_pilot.encode(mode, [4094.4] + values[1:], "FNZ6042")
    refused(0, 4094.5, "outside the range")
    refused(0, -0.6, "outside the range")
    refused(12, math.nan, "not a finite number")
    refused(12, math.inf, "not a finite number")
    # A count is sent as the repetitions walked: missing reads as 0 layers,
    # 1.5 as 1 (and the values after it move up accordingly).
    v = list(values)
    v[19] = None
    none = ship_pilot.decode(ship_pilot.encode(mode, v[:20], "X"))
    assert len(none) == 20 and none.elements[19].value == 0
    v[19] = 1.5
    layers = ship_pilot.decode(ship_pilot.encode(mode, v[:23], "X"))
    assert layers.elements[19].value == 1 and len(layers) == 23
    assert isinstance(refused(5, 1e300, "LAT"), ValueError)

    with pytest.raises(ventrac.EncodeError, match="27 values given") as caught:
        ship_pilot.encode(mode, values + [1.0], "FNZ6042")
    assert caught.value.index == 26
    for bad_mode in (128, -129, 10**30):
        with pytest.raises(ventrac.EncodeError, match="outside -128"):
            ship_pilot.encode(bad_mode, values, "FNZ6042")
    with pytest.raises(ventrac.EncodeError, match="no line for operating mode 40"):
        ship_pilot.encode(40, values, "FNZ6042")
    with pytest.raises(ventrac.EncodeError, match="longer than 7"):
        ship_pilot.encode(mode, values, "FNZ60421")
    with pytest.raises(TypeError):
        ship_pilot.encode(mode, values[:3] + ["12"] + values[4:], "FNZ6042")
    with pytest.raises(TypeError):
        ship_pilot.encode(1.0, values, "FNZ6042")


def test_fewer_values_leave_the_rest_missing(ship_pilot):
    message = ship_pilot.encode(2, [2026, 12], "AB")
    obs = ship_pilot.decode(message)
    assert [e.value for e in obs.elements[:2]] == [2026, 12]
    # Every value after them is missing: the cloud count among them is sent
    # as the 0 layers walked, and the elements after the group follow.
    assert all(e.missing for e in obs.elements[2:] if not e.code.startswith("031"))
    assert [e.value for e in obs.elements if e.code.startswith("031")] == [0]


def test_elements_with_no_code_for_a_value_refuse_one():
    # Zero bits: the value would read back as missing. max_coded above the
    # width: the top codes would wrap or read as missing.
    pilot = ventrac.Pilot.from_text("000000;MODE;4;1;1;0;14;3;N;1;0;0;m;;\n"
                                    "001001;Z;0;1;1;0;0;3;U;1;0;1;z;;\n"
                                    "001002;W;4;1;1;0;100;3;U;1;0;1;w;;\n")
    assert pilot.decode(pilot.encode(1, [None, 14], "X")).elements[1].value == 14
    with pytest.raises(ventrac.EncodeError, match="no code for a present value") as caught:
        pilot.encode(1, [0, 3], "X")
    assert caught.value.index == 0
    with pytest.raises(ventrac.EncodeError, match="outside the range .* 0.0 to 14.0"):
        pilot.encode(1, [None, 15], "X")


def test_message_too_long_for_the_buffer_raises_encode_error():
    pilot = ventrac.Pilot.from_text("000000;MODE;4;1;1;0;14;3;N;1;0;0;m;;\n"
                                    "101000;N;8;1;1;0;254;3;U;1;0;1;n;;\n"
                                    "001001;W;60;1;1;0;1000;3;U;1;0;1;w;;\n")
    packed = (4 + 8 + 100 * 60 + 7) // 8
    assert len(pilot.encode(1, [100] + [5] * 100, "X")) == 7 + (8 * packed + 5) // 6
    with pytest.raises(ventrac.EncodeError, match="does not fit"):
        pilot.encode(1, [200] + [5] * 200, "X")


def test_count_the_decoder_would_misread_is_refused_by_the_encoder():
    # Steps of 2: a count of 3 would be read back as 4.
    pilot = ventrac.Pilot.from_text("000000;MODE;4;1;1;0;14;3;N;1;0;0;m;;\n"
                                    "101000;N;8;1;2;0;254;3;U;1;0;1;n;;\n"
                                    "001001;W;6;1;1;0;60;3;U;1;0;1;w;;\n")
    assert len(pilot.decode(pilot.encode(1, [4, 1, 2, 3, 4], "X"))) == 5
    with pytest.raises(ventrac.EncodeError, match="error 246") as caught:
        pilot.encode(1, [3, 1, 2, 3], "X")
    assert caught.value.index is None


def test_encode_many_gives_back_what_decode_read(ship_pilot, ship_message, cases):
    mode, values, _, message = ship_message
    mode2 = ship_pilot.encode(2, values[:17] + values[19:], "FNZ6042")
    for m in (message, mode2):
        (again,) = ship_pilot.encode_many([ship_pilot.decode(m).to_dict()])
        assert again == m
    same = 0
    for n, case in enumerate(cases):
        pilot = ventrac.Pilot.from_text(case.pilot)
        m = pilot.encode(case.mode, case.values, case.identifier)
        record = pilot.decode(m).to_dict()
        (again,) = pilot.encode_many([record], jobs=1)
        # Kind '4' counts are not decoded: their elements may be read back
        # into other repetitions, which decode the same.
        assert pilot.decode(again).to_dict() == record, n
        same += again == m
    assert same >= len(cases) - 3


def test_encode_many_on_several_threads_and_its_refusals(ship_pilot, ship_message):
    record = ship_pilot.decode(ship_message[3]).to_dict()
    batch = []
    for i in range(300):
        r = dict(record, identifier="S%d" % i)
        r["elements"] = [dict(e, value=(e["value"] + i % 3 if e["name"] == "DAY" else e["value"]))
                         for e in record["elements"]]
        batch.append(r)
    one = ship_pilot.encode_many(batch, jobs=1)
    assert ship_pilot.encode_many(batch, jobs=3) == one == ship_pilot.encode_many(iter(batch))
    assert [ship_pilot.decode(m).identifier for m in one[:3]] == ["S0", "S1", "S2"]

    def refused(change, match):
        bad = [dict(batch[0]), dict(batch[1])]
        change(bad[1])
        with pytest.raises(ventrac.EncodeError, match=match) as caught:
            ship_pilot.encode_many(bad, jobs=2)
        assert caught.value.index == 1

    refused(lambda r: r.update(mode=40), "no line for operating mode 40")
    refused(lambda r: r.update(elements=[{"code": "012101", "name": "TAA", "value": 1}]), "TAA is not in")
    refused(lambda r: r.update(elements=[{"code": "012101", "name": "TA", "value": "1"}]), "not a number")
    refused(lambda r: r.update(elements=[{"code": "004001", "name": "YEAR", "value": 5000}]), "outside what")
    refused(lambda r: r.update(elements=[{"code": "031001", "name": "NCLOUD000", "value": 300}]), "error 246")
    refused(lambda r: r.update(identifier="FNZ60421"), "longer than 7")
    with pytest.raises(TypeError):
        ship_pilot.encode_many([42])
    with pytest.raises(TypeError):
        ship_pilot.encode_many(record)
    assert ship_pilot.encode_many([]) == []
