# SPDX-License-Identifier: Apache-2.0
"""ventrac: decode and encode ship weather observations packed in six-bit
text messages, with the pilot file that describes them.

    >>> import ventrac
    >>> pilot = ventrac.Pilot("examples/ship.pilot")
    >>> obs = pilot.decode(open("HPK_ship_obs.txt", "rb").read())
    >>> obs.identifier, obs.mode, obs["012101", "TA"]
    ('FNZ6042', 1, 12.200000000000045)

Pilot reads a pilot file once; its decode, decode_many, decode_files and
encode methods may be called from any number of threads. decode_many and
decode_files decode on several threads with the interpreter lock released.
to_dataframe turns observations into a pandas DataFrame, one row per element;
read and iter_read read files of messages into DataFrames, one row per
message and one column per element.
"""

from ._errors import DecodeError, EncodeError, PilotError, VentracError
from ._ventrac import Element, Observation, Pilot, __version__
from ._table import TABLE_COLUMNS, iter_read, read

__all__ = [
    "CSV_COLUMNS",
    "DecodeError",
    "Element",
    "EncodeError",
    "Observation",
    "Pilot",
    "PilotError",
    "TABLE_COLUMNS",
    "VentracError",
    "iter_read",
    "read",
    "to_dataframe",
    "__version__",
]

# Shown as ventrac.X in tracebacks and reprs, where users import them from.
for _cls in (DecodeError, EncodeError, PilotError, VentracError, Element, Observation, Pilot):
    _cls.__module__ = __name__
del _cls

#: The columns of to_dataframe(), those of ``ventrac-decode --csv``.
CSV_COLUMNS = (
    "file",
    "identifier",
    "mode",
    "data_type",
    "ident",
    "code",
    "name",
    "unit",
    "valid",
    "value",
    "conv_value",
    "text",
    "conv_text",
    "comment",
    "missing",
)


def to_dataframe(observations):
    """Returns a pandas DataFrame with one row per decoded element.

    ``observations`` is an Observation or an iterable of them, such as the
    list decode_many or decode_files returns; the exceptions such a list
    holds in place of messages that did not decode give no row, as
    ``ventrac-decode --csv`` gives none for them.

    The columns are those of ``ventrac-decode --csv`` (CSV_COLUMNS): file
    (the source file name, None for messages decoded from memory),
    identifier, mode, data_type, ident, code, name, unit, valid (bool),
    value and conv_value (float, NaN where the element is not valid, as the
    CSV leaves them empty), text, conv_text, comment and missing (bool: no
    value was sent).

    Raises ImportError when pandas is not installed.
    """
    try:
        import pandas
    except ImportError as e:
        raise ImportError(
            "ventrac.to_dataframe needs pandas, which is not installed for this "
            "Python (on Debian: apt-get install python3-pandas)"
        ) from e
    if isinstance(observations, Observation):
        observations = [observations]
    columns = {name: [] for name in CSV_COLUMNS}
    nan = float("nan")
    for obs in observations:
        if isinstance(obs, BaseException):
            continue
        if not isinstance(obs, Observation):
            raise TypeError(
                "to_dataframe takes observations, not %s" % type(obs).__name__
            )
        head = (obs.source, obs.identifier, obs.mode, obs.data_type)
        for e in obs.elements:
            for name, v in zip(("file", "identifier", "mode", "data_type"), head):
                columns[name].append(v)
            valid = e.valid
            columns["ident"].append(e.ident)
            columns["code"].append(e.code)
            columns["name"].append(e.name)
            columns["unit"].append(e.unit)
            columns["valid"].append(valid)
            columns["missing"].append(e.missing)
            columns["value"].append(e.value if valid else nan)
            columns["conv_value"].append(e.conv_value if valid else nan)
            columns["text"].append(e.text)
            columns["conv_text"].append(e.conv_text)
            columns["comment"].append(e.comment)
    frame = pandas.DataFrame(columns, columns=list(CSV_COLUMNS))
    return frame.astype(
        {"mode": "int64", "data_type": "int64", "valid": "bool", "missing": "bool",
         "value": "float64", "conv_value": "float64"}
    )
