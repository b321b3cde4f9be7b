# SPDX-License-Identifier: Apache-2.0
"""Files of messages read into pandas DataFrames, one row per message and
one column per element (ventrac.read and ventrac.iter_read).

The rows and columns are built by the compiled reader (ventrac._ventrac._Reader)
on several threads without the interpreter lock, as NumPy arrays; this
module wraps them in DataFrames.
"""
import os

from ._ventrac import Pilot, _Reader

#: The columns every frame of read() and iter_read() starts with, before
#: the element columns.
TABLE_COLUMNS = ("file", "identifier", "mode", "data_type", "error")

_ERRORS = ("keep", "raise", "skip")


def _pandas():
    try:
        import pandas
    except ImportError as e:
        raise ImportError(
            "ventrac.read needs pandas, which is not installed for this Python "
            "(on Debian: apt-get install python3-pandas)"
        ) from e
    return pandas


def _reader(pilot, paths, lines, columns, jobs, errors, raw, data_types):
    if errors not in _ERRORS:
        raise ValueError("errors must be 'keep', 'raise' or 'skip', not %r" % (errors,))
    if not isinstance(pilot, Pilot):
        pilot = Pilot(pilot)
    if isinstance(paths, (str, bytes, os.PathLike)):
        paths = [paths]
    if columns is not None:
        if isinstance(columns, (str, bytes)):
            raise TypeError("columns must be a list of element names, not one name")
        columns = list(columns)
    return _Reader(pilot, list(paths), bool(lines), columns, bool(raw), jobs, data_types, errors)


def _frame(pandas, batch):
    (start, names, matrix, files, identifiers, mode, mode_na, data_type, data_type_na,
     failures) = batch
    rows = len(files)
    index = pandas.RangeIndex(start, start + rows)
    # The element values as one block, each column contiguous: no copy.
    frame = pandas.DataFrame(matrix.T, index=index, columns=names, copy=False)
    integer = pandas.arrays.IntegerArray
    head = (
        ("file", files),
        ("identifier", identifiers),
        ("mode", integer(mode, mode_na)),
        ("data_type", integer(data_type, data_type_na)),
        ("error", failures),
    )
    for place, (name, values) in enumerate(head):
        frame.insert(place, name, values, allow_duplicates=True)
    return frame


def read(pilot, paths, *, lines=False, columns=None, jobs=0, errors="keep", raw=False,
         data_types=None):
    """Reads files of messages into a pandas DataFrame, one row per message
    in input order.

    pilot: a Pilot, or the name of a pilot file. paths: a file name or a
    list of them. Each file is one message (the content of an HPK file), or
    with lines=True each line of each file is one message (a carriage
    return before the line feed is dropped, blank lines are skipped), as
    ``ventrac-decode`` and ``ventrac-decode --lines`` read them.

    Columns, in this order (TABLE_COLUMNS, then the elements):

    - file: the file name, or FILE:LINE with lines=True (the names
      ``ventrac-decode --lines`` gives);
    - identifier (str), mode and data_type (pandas Int64, <NA> where a
      failed message did not give them);
    - error: "" for a message that decoded, else why it did not (the text
      of the DecodeError, or why the file or line could not be read);
    - one float64 column per element name, named as the decoder names it,
      with its place in the replication (e.g. "CLBASE_D000-001"): the
      element's conv_value (its value with raw=True), NaN where the element
      is missing or implausible, and where the message has no such element.
      The element columns come in the order of their first appearance,
      message by message in input order; a name that one message gives
      again (an element repeated in a group of kind 4) gives the columns
      NAME.1, NAME.2, ... for its later occurrences.

    columns: a list of element names: only these element columns, in this
    order, each present even where no message has it. A name that no line
    of the pilot file can give (in any mode, with any replication suffix)
    raises KeyError before anything is read.

    errors: what a message that cannot be decoded, a file that cannot be
    read or a line longer than 1 MiB gives: "keep" a row with its error and
    NaN elements; "skip" no row; "raise" raises the first in input order:
    DecodeError (its .index counts the messages from 0, its .source is the
    file column), OSError for a file, ValueError for a too long line.

    jobs: decoding threads (0: one per core); the result does not depend on
    it. data_types: the data-type codes by mode, as for Pilot.decode.

    The decoding and the building of the columns run without the
    interpreter lock. The result's index counts the rows from 0. Raises
    ImportError when pandas is not installed.
    """
    pandas = _pandas()
    reader = _reader(pilot, paths, lines, columns, jobs, errors, raw, data_types)
    return _frame(pandas, reader.next_batch(0, True))


def iter_read(pilot, paths, *, batch_size=65536, lines=False, columns=None, jobs=0,
              errors="keep", raw=False, data_types=None):
    """As read(), a batch of at most batch_size rows at a time: returns an
    iterator of DataFrames, so that inputs larger than memory can be read.
    Only one batch and one chunk of messages are held at a time.

    Each batch's index goes on from the previous one's, and each batch has
    the element columns of its own messages (or, with columns=, exactly
    those), in the order of their first appearance: pandas.concat(batches)
    equals read() on the same input (a column a batch lacks is NaN there).
    Every batch but the last has batch_size rows; there is no batch at all
    when no row is left.

    The arguments are checked (and KeyError raised for columns) when
    iter_read is called, before the first batch is read.
    """
    if isinstance(batch_size, bool) or not isinstance(batch_size, int):
        raise TypeError("batch_size must be an int")
    if batch_size < 1:
        raise ValueError("batch_size must be 1 or more, not %d" % batch_size)
    pandas = _pandas()
    reader = _reader(pilot, paths, lines, columns, jobs, errors, raw, data_types)

    def batches():
        while True:
            batch = reader.next_batch(batch_size)
            if batch is None:
                return
            yield _frame(pandas, batch)

    return batches()
