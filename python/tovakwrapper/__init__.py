# SPDX-License-Identifier: MIT
"""Python host for tovakWrapper: checked calls made in C, under the GIL.

>>> import numpy, tovakwrapper as tw
>>> from tovakwrapper.simulated import Group
>>> lib = tw.load()                          # the library bundled in the package
>>> command, feedback, info = Group(), Group(first_bit=3), Group(first_bit=5)
>>> lib.initialize(command.meta, feedback.meta, info.meta)
>>> lib.command_set_float(command.records, numpy.float32([0.5, 1.5, 2.5, 3.5]), 2)
>>> lib.feedback_get_float(command.records, 2)
array([0.5, 1.5, 2.5, 3.5], dtype=float32)
>>> lib.command_has(command.records, 'FLOAT', 2)   # Float field 2 present?
array([1, 1, 1, 1], dtype=uint8)

Records hold a copy of the MessageRecords and the Shape of the messages
(presence words, the length of each value array), optionally their message
('command', 'feedback' or 'info'): tw.Records(array, shape, message=None).

Each accessor is a method named after it (miFeedbackGetIoPinInt ->
lib.feedback_get_io_pin_int) taking the C arguments in order less the count;
count and out are keyword-only: setters (records, values, field, *,
count=None), values None setting the presence bits only; getters and queries
(records, field, *, count=None, out=None); numbered floats (..., number,
field, ...), pins (..., pin, bank, ...); has_field (records, bit, ...), an
absolute presence bit. lib.command_has(records, kind, field) asks by kind
and field instead, and lib.presence_bit(message, kind, field) gives the bit;
a kind is a tw.KIND or its name ('FLOAT').

Without out=, a getter returns a new numpy array (float32, float64, int32,
uint32, uint8, uint64, int64; (count, 3) and (count, 4) float32 for Vector3f
and Quaternionf; a structured array of value, tag and padding for IoPinEntry);
without numpy, an array.array, a memoryview of shape (count, 3) or (count, 4),
or a ctypes array of IoPinEntry. out= takes any C-contiguous buffer of the
element type: numpy arrays (structured ones of the same layout too),
array.array, ctypes arrays, memoryviews; tw.Raw(buffer) passes any bytes.

A checked call converts each index once, takes its buffer, then checks, with
no Python code running until the library returns: every index the library
will compute against the records' shape and the tables of the metadata last
passed to initialize(), the buffer's element type, length (values at least
count elements, out exactly count), contiguity, writability, alignment and
that out does not overlap a table. TypeError: a wrong type (a float or bool
as an index, a buffer of another element type, records of another message);
ValueError: out of range, wrong length, not contiguous, read-only out,
misaligned, overlapping; RuntimeError: a call that reads the metadata
(setters, flag getters, numbered-float and pin calls, presence by kind)
before initialize(). Plain getters and has_field read no metadata and work
before it. Nothing is written when a call raises.

lib.calls() returns a CallList: the same methods add checked calls (a getter
returns the out it will fill), and calling the list runs them all in one
native call, checked again first only when initialize() was called or a
table entry they read changed. lib.raw has the 49 functions as ctypes
declarations, unchecked.
"""
from __future__ import annotations

import array
import ctypes
import enum
import os
from typing import Any, Callable, Dict, List, Optional

try:
    from . import _native
except ImportError as error:
    raise ImportError('tovakwrapper._native, the compiled module, is missing: install the package '
                      '(pip install ./python) and import it from there, not from the source '
                      f'tree ({error})') from error
from ._layouts import (IO_PIN_TAG_FLOAT, IO_PIN_TAG_INT, METADATA, RECORDS, HighResAngleEntry,
                       IoPinEntry, MessageMetadata, MessageRecord, MiIoPinValue, MiQuaternionf,
                       MiVector3f, Shape)
from ._native import CallList, Raw, Records

__version__: str = _native.__version__
KIND = enum.IntEnum('KIND', dict(_native.KINDS))  # type: ignore[misc]
KIND.__doc__ = "The field kinds: tw.KIND.FLOAT and tw.KIND['FLOAT'] are both 0."
FUNCTIONS = tuple(row[1] for row in _native.ACCESSORS)  # miCommandSetFloat ... miInfoHasField

# The ctypes type of each element type the accessor list names.
_CTYPES: Dict[str, Any] = {'float': ctypes.c_float, 'double': ctypes.c_double, 'MiVector3f': MiVector3f,
           'MiQuaternionf': MiQuaternionf, 'uint64_t': ctypes.c_uint64,
           'int32_t': ctypes.c_int32, 'uint8_t': ctypes.c_uint8, 'IoPinEntry': IoPinEntry,
           'int64_t': ctypes.c_int64, 'uint32_t': ctypes.c_uint32}
_makers: List[Callable[[int], Any]] = []


def _maker(ctype: str, typecode: Optional[str], width: int, columns: int,
           numpy: Any) -> Callable[[int], Any]:
    """What makes the out of a getter called without one: numpy when it imports."""
    if numpy is not None:
        if typecode is None:
            dtype = numpy.dtype([('value', '<i8'), ('tag', '<u4'), ('padding', '<u4')])
        else:
            dtype = numpy.dtype(typecode)
        return (lambda n: numpy.empty((n, columns), dtype)) if columns else \
            (lambda n: numpy.empty(n, dtype))
    if typecode is None:
        return lambda n: (IoPinEntry * n)()
    if columns:
        return lambda n: memoryview(bytearray(width * max(n, 1))).cast(
            'f', (max(n, 1), columns))[:n]
    return lambda n: array.array(typecode, bytes(width * n))  # type: ignore[arg-type]


def _new(element: int, n: int) -> Any:
    if not _makers:
        numpy: Any = None
        try:
            import numpy
        except ImportError:
            pass
        _makers.extend(_maker(*row, numpy) for row in _native.ELEMENTS)
    return _makers[element](n)


_native._set_allocator(_new)


def _declare(raw: ctypes.CDLL) -> None:
    """The 49 functions' ctypes types, from the accessor list the module was built with."""
    raw.miInitialize.argtypes, raw.miInitialize.restype = [METADATA] * 3, None
    for _, function, _, _, op, entry, element in _native.ACCESSORS:
        pointer: Any = ctypes.POINTER(_CTYPES[_native.ELEMENTS[element][0]])
        head = [RECORDS, pointer] if op == 'SET' else [pointer, RECORDS]
        tail = [ctypes.c_int32, ctypes.c_uint32] if entry else [ctypes.c_uint32]
        getattr(raw, function).argtypes = head + [ctypes.c_uint32] + tail
        getattr(raw, function).restype = None


class Library(_native.Library):
    """The library the module is linked to: a checked method per accessor,
    initialize(), presence_bit(), the presence queries by kind, calls();
    `raw`, the unchecked ctypes functions; `path`, the file loaded."""
    __slots__ = ('raw', 'path')

    def __init__(self) -> None:
        self.path = os.path.realpath(_native.LIBRARY)
        self.raw = ctypes.CDLL(self.path)
        if ctypes.cast(self.raw.miInitialize, ctypes.c_void_p).value != _native.INITIALIZE_ADDRESS:
            raise ImportError(f'{self.path} is not the library tovakwrapper calls')
        _declare(self.raw)

    def __repr__(self) -> str:
        return f'<tovakwrapper.Library {self.path}>'


_library: Optional[Library] = None


def load() -> Library:
    """The library (one per process, as its metadata copies are)."""
    global _library
    if _library is None:
        _library = Library()
    return _library


from . import simulated  # noqa: E402  (it needs Records)

__all__ = ['load', 'Library', 'Records', 'Shape', 'CallList', 'Raw', 'KIND', 'FUNCTIONS',
           'MessageRecord', 'MessageMetadata', 'HighResAngleEntry', 'IoPinEntry', 'MiIoPinValue',
           'MiVector3f', 'MiQuaternionf', 'IO_PIN_TAG_INT', 'IO_PIN_TAG_FLOAT', 'RECORDS',
           'METADATA', 'simulated']
