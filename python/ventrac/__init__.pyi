# SPDX-License-Identifier: Apache-2.0
"""Type stub of the ventrac module (decoding and encoding six-bit ship
weather messages with a pilot file)."""

import os
from typing import Any, Iterable, Iterator, Literal, Mapping, Sequence, overload

__version__: str

#: The columns of to_dataframe(), those of ``ventrac-decode --csv``.
CSV_COLUMNS: tuple[str, ...]

#: The columns every frame of read() and iter_read() starts with:
#: file, identifier, mode, data_type, error; the element columns follow.
TABLE_COLUMNS: tuple[str, ...]

_Text = bytes | bytearray | memoryview | str
_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]

class VentracError(Exception):
    """Base class of every error the module raises on its own."""

class PilotError(VentracError):
    """A pilot file cannot be read, or holds no line."""

class DecodeError(VentracError, ValueError):
    """A message the codec refuses."""

    error: int
    """The codec's error number: 250, 253, 234 or 252."""
    mode: int | None
    """The operating mode read from the message, None when it is too short."""
    index: int | None
    """The message's position in a decode_many / decode_files list."""
    source: str | bytes | None
    """The file name given to decode_files."""
    def __init__(
        self,
        message: str,
        error: int,
        mode: int | None = ...,
        index: int | None = ...,
        source: str | bytes | None = ...,
    ) -> None: ...

class EncodeError(VentracError, ValueError):
    """An observation that cannot be encoded as it would read back."""

    index: int | None
    """The position of the offending value, None when no one value is at fault."""
    def __init__(self, message: str, index: int | None = ...) -> None: ...

class Element:
    """One decoded element."""

    @property
    def ident(self) -> str:
        """"D" and the element's 1-based position in six digits."""
    @property
    def code(self) -> str:
        """The descriptor (class 31 for a delayed replication count)."""
    @property
    def name(self) -> str:
        """The name, with its place in the replication (e.g. "TA_D000-001")."""
    @property
    def unit(self) -> str: ...
    @property
    def value(self) -> float | None:
        """The physical value; None when the element is missing."""
    @property
    def conv_value(self) -> float | None:
        """value * conv_factor + conv_offset; None when the element is missing."""
    @property
    def valid(self) -> bool:
        """The value is usable: neither missing nor outside its plausibility bounds."""
    @property
    def missing(self) -> bool:
        """No value was sent (coded all ones)."""
    @property
    def text(self) -> str:
        """The display text of value, without padding."""
    @property
    def conv_text(self) -> str:
        """The display text of conv_value, without padding."""
    @property
    def comment(self) -> str: ...
    def to_dict(self) -> dict[str, Any]: ...

class Observation:
    """One decoded message."""

    @property
    def identifier(self) -> str: ...
    @property
    def mode(self) -> int: ...
    @property
    def data_type(self) -> int: ...
    @property
    def elements(self) -> tuple[Element, ...]: ...
    @property
    def source(self) -> str | bytes | None:
        """The file name decode_files was given, else None."""
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[Element]: ...
    def __getitem__(self, key: tuple[str, str]) -> float:
        """obs[code, name]: the conv_value of the first element whose trimmed
        descriptor and name, joined, equal code and name trimmed and joined,
        when that element is valid and its pilot flag is not 0; KeyError
        otherwise (also when nothing matches)."""
    def __contains__(self, key: tuple[str, str]) -> bool: ...
    @overload
    def get(self, code: str, name: str) -> float | None: ...
    @overload
    def get(self, code: str, name: str, default: float) -> float: ...
    @overload
    def get(self, code: str, name: str, default: Any) -> Any: ...
    def to_dict(self) -> dict[str, Any]: ...

class Pilot:
    """A parsed pilot file, shared read-only by any number of threads."""

    def __init__(self, path: _Path) -> None:
        """Reads the pilot file; PilotError when it cannot be read or holds no line."""
    @staticmethod
    def from_text(text: str | bytes) -> Pilot:
        """Parses a pilot file held in memory (str as UTF-8)."""
    @property
    def path(self) -> str | bytes | None: ...
    @property
    def line_count(self) -> int: ...
    def decode(
        self, message: _Text, data_types: Mapping[int, int] | None = ...
    ) -> Observation:
        """Decodes one transmitted text (identifier + six-bit characters);
        DecodeError when the codec refuses it."""
    def decode_many(
        self,
        messages: Iterable[_Text],
        jobs: int = ...,
        data_types: Mapping[int, int] | None = ...,
        errors: Literal["return", "raise"] = ...,
    ) -> list[Observation | DecodeError]:
        """Decodes on `jobs` threads (0: every core); results in input order."""
    def decode_files(
        self,
        paths: Iterable[_Path],
        jobs: int = ...,
        data_types: Mapping[int, int] | None = ...,
        errors: Literal["return", "raise"] = ...,
    ) -> list[Observation | DecodeError | OSError]:
        """As decode_many, each file read whole as one transmitted text."""
    def encode(
        self, mode: int, values: Iterable[float | None], identifier: str | bytes
    ) -> bytes:
        """The transmitted text of one observation; EncodeError when a value
        cannot be encoded as it would read back."""
    def encode_many(
        self, observations: Iterable[Mapping[str, Any]], jobs: int = 0
    ) -> list[bytes]:
        """The transmitted texts of observations given by name (the shape of
        ventrac-decode --json), encoded with the interpreter lock released;
        EncodeError, with .index, for the first that cannot be encoded."""

def to_dataframe(
    observations: Observation | Iterable[Observation | BaseException],
) -> Any:
    """A pandas DataFrame, one row per element, with the columns CSV_COLUMNS;
    ImportError when pandas is not installed."""

def read(
    pilot: Pilot | _Path,
    paths: _Path | Iterable[_Path],
    *,
    lines: bool = ...,
    columns: Iterable[str] | None = ...,
    jobs: int = ...,
    errors: Literal["keep", "raise", "skip"] = ...,
    raw: bool = ...,
    data_types: Mapping[int, int] | None = ...,
) -> Any:
    """A pandas DataFrame, one row per message in input order: the columns
    TABLE_COLUMNS (file is FILE, or FILE:LINE with lines=True; mode and
    data_type are Int64; error is "" for a decoded message), then one
    float64 column per element name in order of first appearance, holding
    conv_value (value with raw=True), NaN where missing or implausible.
    columns= keeps only those elements, in that order; a name no line of
    the pilot can give raises KeyError at once. errors: "keep" a row with
    its error, "skip" no row, "raise" DecodeError / OSError / ValueError.
    ImportError when pandas is not installed."""

def iter_read(
    pilot: Pilot | _Path,
    paths: _Path | Iterable[_Path],
    *,
    batch_size: int = ...,
    lines: bool = ...,
    columns: Iterable[str] | None = ...,
    jobs: int = ...,
    errors: Literal["keep", "raise", "skip"] = ...,
    raw: bool = ...,
    data_types: Mapping[int, int] | None = ...,
) -> Iterator[Any]:
    """As read(), in DataFrames of at most batch_size rows, each with the
    element columns of its own messages (all of columns= when given);
    pandas.concat of the batches equals read(). The arguments are checked
    when it is called."""
