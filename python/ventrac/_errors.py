# SPDX-License-Identifier: Apache-2.0
"""The exceptions of the ventrac module.

The compiled extension raises these classes (and returns DecodeError and
OSError instances in place of observations from decode_many and
decode_files), so they live in plain Python, where they can be subclassed and
pickled as usual.
"""


class VentracError(Exception):
    """Base class of every error the ventrac module raises on its own."""


class PilotError(VentracError):
    """A pilot file cannot be read, or holds no line."""


class DecodeError(VentracError, ValueError):
    """A message the codec refuses.

    Attributes:
        error: the codec's error number: 250 (a message shorter than 8
            characters), 253 (the pilot file has no line for the message's
            operating mode), 234 (the operating mode has no data-type code)
            or 252 (more than 1024 decoded elements).
        mode: the operating mode read from the message, or None when the
            message is too short to hold one.
        index: the message's position in the list given to decode_many or
            decode_files, or None for decode.
        source: the file name given to decode_files, or None.
    """

    def __init__(self, message, error, mode=None, index=None, source=None):
        super().__init__(message)
        self.error = error
        self.mode = mode
        self.index = index
        self.source = source

    def __reduce__(self):
        return (type(self), (self.args[0], self.error, self.mode, self.index, self.source))


class EncodeError(VentracError, ValueError):
    """An observation that cannot be encoded with the pilot file: a value
    that is not a finite number or lies outside its element's range, more
    values than the operating mode takes, an operating mode outside -128 to
    127 or without a line in the pilot file, an identifier longer than 7
    characters, or a message that would pass 1024 packed bytes.

    Attributes:
        index: the position of the offending value, or None when the fault
            is not one value's.
    """

    def __init__(self, message, index=None):
        super().__init__(message)
        self.index = index

    def __reduce__(self):
        return (type(self), (self.args[0], self.index))
