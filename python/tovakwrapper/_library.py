# SPDX-License-Identifier: MIT
"""Loading the library, the shape-carrying records, and the checked calls.

Every checked call follows one rule: each argument is read once, and only
what was read is used. Index arguments become plain ints (operator.index,
then the range check) and those ints are what the native call receives;
each buffer's export (a memoryview or the ctypes object itself) is taken
first and held until the native call returns, and its format, item size,
dimensions, length, contiguity, writability and alignment are checked on
that export, whose address is the one passed. Types are told by type(obj),
which an object cannot fake (obj.__class__ can be a property).
"""
from __future__ import annotations

import array
import ctypes
import operator
from functools import partial
import os
import platform
import re
import struct
import sys
import sysconfig
from ctypes import (POINTER, c_double, c_float, c_int, c_int32, c_int64, c_ssize_t, c_uint8,
                    c_uint32, c_uint64, c_void_p)
from dataclasses import dataclass, fields
from typing import Any, Callable, Dict, List, Optional, Protocol, SupportsIndex, Tuple

from ._layouts import (HighResAngleEntry, IoPinEntry, MessageMetadata, MessageRecord, MiCall,
                       MiQuaternionf, MiVector3f)

RECORDS = POINTER(MessageRecord)
METADATA = POINTER(MessageMetadata)
_U32 = 0xFFFFFFFF
_Array = ctypes.Array
_addressof = ctypes.addressof
_sizeof = ctypes.sizeof
_from_buffer = ctypes.c_char.from_buffer
_arraytype = array.array

FUNCTIONS = [
    'miCommandSetFloat', 'miCommandGetFloat', 'miFeedbackGetFloat', 'miInfoGetFloat',
    'miCommandSetHighResAngle', 'miCommandGetHighResAngle', 'miFeedbackGetHighResAngle',
    'miInfoGetHighResAngle', 'miCommandGetVector3f', 'miFeedbackGetVector3f',
    'miCommandGetQuaternionf', 'miFeedbackGetQuaternionf', 'miCommandGetUInt64',
    'miFeedbackGetUInt64', 'miCommandSetEnum', 'miCommandGetEnum', 'miFeedbackGetEnum',
    'miInfoGetEnum', 'miCommandSetBool', 'miCommandGetBool', 'miFeedbackGetBool', 'miInfoGetBool',
    'miCommandSetNumberedFloat', 'miCommandGetNumberedFloat', 'miFeedbackGetNumberedFloat',
    'miCommandSetIoPin', 'miCommandGetIoPin', 'miFeedbackGetIoPin', 'miCommandSetIoPinInt',
    'miCommandGetIoPinInt', 'miCommandHasIoPinInt', 'miFeedbackGetIoPinInt',
    'miFeedbackHasIoPinInt', 'miCommandSetIoPinFloat', 'miCommandGetIoPinFloat',
    'miCommandHasIoPinFloat', 'miFeedbackGetIoPinFloat', 'miFeedbackHasIoPinFloat',
    'miCommandSetLed', 'miCommandGetLed', 'miFeedbackGetLed', 'miInfoGetLed', 'miCommandSetFlag',
    'miCommandGetFlag', 'miInfoGetFlag', 'miCommandHasField', 'miFeedbackHasField',
    'miInfoHasField',
]
_NAME = re.compile(r'^mi(Command|Feedback|Info)(Set|Get|Has)(\w+)$')
_COPIES = ('Command', 'Feedback', 'Info')

# ---- element types ----------------------------------------------------------------

_LITTLE = sys.byteorder == 'little'
_SIGNED = (ctypes.c_byte, ctypes.c_short, ctypes.c_int, ctypes.c_long, ctypes.c_longlong)
_UNSIGNED = (ctypes.c_ubyte, ctypes.c_ushort, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulonglong)

def _layout(fmt: str) -> str:
    """A buffer format with field names and native or little-endian byte
    order marks taken out: 'T{(3)<f:v:}' -> '(3)f', 'T{f:x:f:y:f:z:}' -> 'fff'."""
    if fmt.startswith('T{') and fmt.endswith('}'):
        fmt = re.sub(r':[^:]*:', '', fmt[2:-1])
    return fmt.translate({ord('@'): None, ord('='): None, ord('<' if _LITTLE else '>'): None})

class _Element:
    """One element type the library moves, and every buffer spelling of it."""

    def __init__(self, name: str, ctype: Any, chars: str = '', ctypes_types: Tuple[Any, ...] = (),
                 columns: int = 0, typecode: Optional[str] = None, align: int = 0,
                 structures: Tuple[str, ...] = ()):
        self.name = name
        self.ctype = ctype
        self.width = ctypes.sizeof(ctype)
        self.mask = (align or ctypes.alignment(ctype)) - 1  # address bits that must be 0
        self.columns = columns  # (n, columns) float32 arrays are accepted too
        self.typecode = typecode  # of the array.array a getter returns without out=
        prefixes = ('', '@', '=', '<' if _LITTLE else '>')
        self.formats = frozenset(p + c for p in prefixes for c in chars)
        self.typecodes = frozenset(c for c in chars if c in array.typecodes
                                   and array.array(c).itemsize == self.width)
        self.ctypes_types = frozenset(ctypes_types)
        own = memoryview((ctype * 1)()).format
        # Structures with the same members in the same places (a numpy
        # structured dtype of three float32, say) are the same bytes.
        self.structures = frozenset(structures + ((_layout(own),) if own.startswith('T{') else ()))
        self.vectors: set = set()  # numpy dtypes accepted in one dimension so far
        self.known: set = set()  # ctypes array types accepted so far
        if columns:
            self.rule = (f'{name} elements or float32 rows of {columns} (shape (count, '
                         f'{columns}))')
        elif structures or own.startswith('T{'):
            self.rule = f'{name} elements'
        else:
            self.rule = f'a one-dimensional buffer of {name}'

    def new(self, n: int) -> Tuple[Any, Optional[int]]:
        """A zeroed output of n elements and its address."""
        out: Any
        if self.typecode is not None:
            out = array.array(self.typecode, bytes(n * self.width))
            return out, (out.buffer_info()[0] if n else None)
        out = ((c_float * self.columns) * n)() if self.columns else (self.ctype * n)()
        return out, _addressof(out)

def _integers(signed: bool, width: int) -> Tuple[str, Tuple[Any, ...]]:
    types = tuple(t for t in (_SIGNED if signed else _UNSIGNED) if ctypes.sizeof(t) == width)
    chars = ''.join(c for c in ('bhiqln' if signed else 'BHIQLN') if struct.calcsize(c) == width)
    return chars, types

def _integer_element(name: str, signed: bool, ctype: Any) -> _Element:
    chars, types = _integers(signed, ctypes.sizeof(ctype))
    typecode = next(c for c in chars if c in array.typecodes)
    return _Element(name, ctype, chars, types, typecode=typecode)

FLOAT32 = _Element('float32', c_float, 'f', (c_float,), typecode='f')
FLOAT64 = _Element('float64', c_double, 'd', (c_double,), typecode='d')
INT32 = _integer_element('int32', True, c_int32)
INT64 = _integer_element('int64', True, c_int64)
UINT8 = _integer_element('uint8', False, c_uint8)
UINT32 = _integer_element('uint32', False, c_uint32)
UINT64 = _integer_element('uint64', False, c_uint64)
VECTOR3F = _Element('MiVector3f (12-byte structure)', MiVector3f, 'f', (MiVector3f, c_float * 3),
                    columns=3, structures=('(3)f', 'fff'))
QUATERNIONF = _Element('MiQuaternionf (16-byte structure)', MiQuaternionf, 'f',
                       (MiQuaternionf, c_float * 4), columns=4, structures=('(4)f', 'ffff'))
IO_PIN_ENTRY = _Element('IoPinEntry (16-byte structure)', IoPinEntry, '', (IoPinEntry,))

# family: (element, value kind or None, what the array is called in messages)
_FAMILIES: Dict[str, Tuple[_Element, Optional[int], str]] = {
    'Float': (FLOAT32, 0, 'Float'), 'HighResAngle': (FLOAT64, 1, 'HighResAngle'),
    'Vector3f': (VECTOR3F, 2, 'Vector3f'), 'Quaternionf': (QUATERNIONF, 3, 'Quaternionf'),
    'UInt64': (UINT64, 4, 'UInt64'), 'Enum': (INT32, 5, 'Enum'), 'Bool': (UINT8, 6, 'Bool'),
    'NumberedFloat': (FLOAT32, 7, 'NumberedFloat'), 'IoPin': (IO_PIN_ENTRY, 8, 'IoPin'),
    'IoPinInt': (INT64, 8, 'IoPin'), 'IoPinFloat': (FLOAT32, 8, 'IoPin'),
    'Led': (UINT32, 9, 'Led'), 'Flag': (UINT8, None, ''), 'Field': (UINT8, None, ''),
}
_KIND_NAMES = ('Float', 'HighResAngle', 'Vector3f', 'Quaternionf', 'UInt64', 'Enum', 'Bool',
               'NumberedFloat', 'IoPin', 'Led', 'reserved', 'Flag')

class Raw:
    """Marks a buffer whose bytes are passed as they are, whatever its element
    type: its size in bytes must be a whole number of elements (exactly count
    of them for out=, at least count for values).

    >>> import tovakwrapper as tw
    >>> lib = tw.load()
    >>> group = tw.simulated.Group()
    >>> lib.initialize(group.meta, group.meta, group.meta)
    >>> entries = bytearray(16 * 4)              # four IoPinEntry, as plain bytes
    >>> lib.command_set_io_pin(group.records, tw.Raw(entries), 0, 0)
    """
    __slots__ = ('buffer',)

    def __init__(self, buffer: Any):
        self.buffer = buffer

# ---- buffers -----------------------------------------------------------------------

# numpy.ndarray, once one has been seen; numpy itself is never imported. It is
# told by its name and by being a static (non-heap) type, which no Python
# class can be: so a look-alike never reaches the fast path.
_ndarray: Any = None
_HEAP_TYPE = 1 << 9

def _numpy_array(cls: Any) -> bool:
    global _ndarray
    if cls is _ndarray:
        return True
    if (_ndarray is None and cls.__name__ == 'ndarray' and cls.__module__ == 'numpy'
            and not cls.__flags__ & _HEAP_TYPE):
        _ndarray = cls
        return True
    return False

class _PyBuffer(ctypes.Structure):
    _fields_ = [('buf', c_void_p), ('obj', c_void_p), ('len', c_ssize_t), ('itemsize', c_ssize_t),
                ('readonly', c_int), ('ndim', c_int), ('format', c_void_p), ('shape', c_void_p),
                ('strides', c_void_p), ('suboffsets', c_void_p), ('internal', c_void_p)]

_get_buffer = ctypes.pythonapi.PyObject_GetBuffer
_get_buffer.argtypes, _get_buffer.restype = [ctypes.py_object, POINTER(_PyBuffer), c_int], c_int
_release_buffer = ctypes.pythonapi.PyBuffer_Release
_release_buffer.argtypes, _release_buffer.restype = [POINTER(_PyBuffer)], None
_PYBUF_RECORDS_RO = 0x1C  # strides and format, read-only allowed

def _view_address(view: memoryview) -> int:
    """The address of the bytes a held memoryview exports (read-only views
    too, which ctypes' from_buffer refuses). The memoryview stays held by the
    caller, so the address stays valid as long as it does."""
    info = _PyBuffer()
    _get_buffer(view, info, _PYBUF_RECORDS_RO)
    address = info.buf
    _release_buffer(info)
    return address or 0

def _given(obj: Any, view: Optional[memoryview] = None) -> str:
    """How to name a buffer in an error message (from its type and, when
    there is one, its export)."""
    cls = type(obj)
    if cls is array.array:
        return f"an array.array of typecode '{obj.typecode}'"
    if cls.__base__ is _Array:
        return f'a ctypes array of {getattr(cls._type_, "__name__", "?")}'
    if _numpy_array(cls):
        return f'a numpy array of dtype {obj.dtype} and shape {obj.shape}'
    if view is not None:
        shape = f' and shape {view.shape}' if view.ndim != 1 else ''
        return f"a {cls.__name__} of format '{view.format}'{shape}"
    return f'a {cls.__name__}'

def _out(obj: Any, n: int, element: _Element, records: Records) -> Tuple[Optional[int], Any]:
    """(address, export) of `obj` as an output of exactly n elements of
    `element`, not overlapping the records array. The export is taken before
    anything is read and stays referenced by the caller until the native
    call returns, which keeps the buffer from being resized or freed
    meanwhile."""
    cls = type(obj)
    keep: Any
    if cls in element.known:
        # A ctypes array type whose export was checked once: its element type
        # is fixed with the type, and its length is what ctypes allocated
        # (sizeof; len() could be a subclass's own __len__).
        if _sizeof(obj) != n * element.width:
            return _take_view('out', obj, n, element, True, records)
        keep, address = obj, _addressof(obj)
    elif cls is _ndarray:
        try:
            keep = _from_buffer(obj)  # the export: writable and C-contiguous, else it raises
        except (TypeError, ValueError):
            return _take_view('out', obj, n, element, True, records)
        # The array cannot be resized while exported, so what it says of its
        # dtype and shape now is what the export holds.
        if not (obj.ndim == 1 and obj.dtype in element.vectors and obj.shape[0] == n):
            return _take_view('out', obj, n, element, True, records)
        address = _addressof(keep)
    elif cls is _arraytype:
        keep = memoryview(obj)  # from here on the array cannot be resized
        if obj.typecode not in element.typecodes or len(keep) != n or not n:
            return _take_view('out', obj, n, element, True, records)
        address = obj.buffer_info()[0]
    else:
        return _take_view('out', obj, n, element, True, records)
    # At count 0 nothing is written, so neither alignment nor overlap matters
    # (as in _take_view, whatever path a buffer takes).
    if address & element.mask and n:
        raise _misaligned('out', address, element)
    if address < records[4] and records[3] < address + n * element.width and n:
        raise _overlap(address, n * element.width, records)
    return address, keep


def _values(obj: Any, n: int, element: _Element, records: Records) -> Tuple[Optional[int], Any]:
    """(address, export) of `obj` as at least n elements of `element`, to be
    read (a read-only buffer is passed as it is); as _out otherwise."""
    cls = type(obj)
    keep: Any
    if cls in element.known:
        if _sizeof(obj) < n * element.width:
            return _take_view('values', obj, n, element, False, records)
        keep, address = obj, _addressof(obj)
    elif cls is _ndarray:
        try:
            keep = _from_buffer(obj)
        except (TypeError, ValueError):  # read-only, not contiguous or empty
            return _take_view('values', obj, n, element, False, records)
        if not (obj.ndim == 1 and obj.dtype in element.vectors and obj.shape[0] >= n):
            return _take_view('values', obj, n, element, False, records)
        address = _addressof(keep)
    elif cls is _arraytype:
        keep = memoryview(obj)
        if obj.typecode not in element.typecodes or len(keep) < n or not n:
            return _take_view('values', obj, n, element, False, records)
        address = obj.buffer_info()[0]
    else:
        return _take_view('values', obj, n, element, False, records)
    if address & element.mask and n:
        raise _misaligned('values', address, element)
    return address, keep


def _misaligned(name: str, address: int, element: _Element) -> ValueError:
    return ValueError(f'{name} starts at address {address:#x}, which is not a multiple of '
                      f'{element.mask + 1}: {element.name} elements must be aligned to '
                      f'{element.mask + 1} bytes')

def _overlap(address: int, size: int, records: Records) -> ValueError:
    return ValueError(f'out ({size} bytes at {address:#x}) overlaps the records array '
                      f'({records[4] - records[3]} bytes at {records[3]:#x}), which the call '
                      'reads while it writes out')

def _take_view(name: str, obj: Any, n: int, element: _Element, out: bool,
               records: Records) -> Tuple[Optional[int], Any]:
    """The full check of any buffer, on a memoryview taken first and held."""
    cls = type(obj)
    raw = cls is Raw
    try:
        view = memoryview(obj.buffer if raw else obj)  # Raw.buffer is read once, here
    except TypeError:
        what = f'a {type(obj.buffer).__name__} in a Raw' if raw else f'a {cls.__name__}'
        raise TypeError(f'{name} is {what}; this call takes a buffer (numpy array, array.array, '
                        f'ctypes array, memoryview, bytearray) of {element.name}') from None
    if raw:
        if view.nbytes % element.width:
            raise ValueError(f'{name} holds {view.nbytes} bytes, not a whole number of '
                             f'{element.width}-byte {element.name} elements')
        length = view.nbytes // element.width
    else:
        fmt, ndim, itemsize = view.format, view.ndim, view.itemsize
        if ndim == 1 and itemsize == element.width and (
                fmt in element.formats or _layout(fmt) in element.structures):
            length = len(view)
        elif (ndim == 2 and element.columns and (view.shape or (0, 0))[1] == element.columns
              and fmt in FLOAT32.formats and itemsize == 4):
            length = len(view)
        else:
            raise TypeError(f'{name} is {_given(obj, view)}; this call takes {element.rule}')
        if ndim == 1 and _numpy_array(cls):
            element.vectors.add(obj.dtype)  # the fast path takes this dtype from now on
        elif cls.__base__ is _Array:
            element.known.add(cls)  # and this ctypes array type
    if not view.c_contiguous:
        raise ValueError(f'{name} is not C-contiguous; this call takes contiguous elements')
    if length != n if out else length < n:
        rule = 'exactly' if out else 'at least'
        raise ValueError(f'{name} holds {length} elements; it must hold {rule} count = {n}')
    if out and view.readonly:
        raise ValueError(f'{name} is read-only; out= must be writable')
    if not n:
        return None, view
    keep: Any = view
    if view.readonly:
        address = _view_address(view)  # values are only read: passed as they are, not copied
    else:
        keep = _from_buffer(view)
        address = _addressof(keep)
    if address & element.mask:
        raise _misaligned(name, address, element)
    if out and address < records[4] and records[3] < address + n * element.width:
        raise _overlap(address, n * element.width, records)
    return address, keep

# ---- arguments ----------------------------------------------------------------------

def _integer(name: str, value: Any) -> int:
    """`value` as a plain int, converted once."""
    cls = type(value)
    if cls is int:
        return value
    # Python's bool and numpy's bool_ both have __index__; a truth value as
    # an index is almost always a mistake, so both are refused.
    if cls is bool or (cls.__name__ in ('bool_', 'bool') and cls.__module__ == 'numpy'):
        raise TypeError(f'{name} must be an integer, not {cls.__name__}')
    try:
        converted = operator.index(value)
    except TypeError:
        raise TypeError(f'{name} must be an integer, not {cls.__name__}') from None
    return int.__index__(converted)  # a plain int even when __index__ gave a subclass

def _count(count: Any, available: int) -> int:
    if type(count) is not int:
        count = _integer('count', count)
    if not 0 <= count <= available:
        raise ValueError(f'count must be from 0 to {available} (the number of records), not {count}')
    return count

def _uint32(name: str, value: Any) -> int:
    value = _integer(name, value)
    if not 0 <= value <= _U32:
        raise ValueError(f'{name} must be from 0 to {_U32}, not {value}')
    return value

def _int32(name: str, value: Any) -> int:
    value = _integer(name, value)
    if not -2**31 <= value < 2**31:
        raise ValueError(f'{name} must be from {-2**31} to {2**31 - 1}, not {value}')
    return value

# ---- records that know their shape ---------------------------------------------------

@dataclass(frozen=True)
class Shape:
    """How long each array of every message in a Records object is.

    presence_words: number of 32-bit presence words; the others: elements in
    each value array (0 for an array the messages do not have).
    """
    presence_words: int
    floats: int = 0
    high_res_angles: int = 0
    vector3fs: int = 0
    quaternionfs: int = 0
    uint64s: int = 0
    enums: int = 0
    bools: int = 0
    numbered_floats: int = 0
    io_pins: int = 0
    leds: int = 0

    def __post_init__(self) -> None:
        for f in fields(self):
            value = _integer(f.name, getattr(self, f.name))
            # Bit indices wrap at 2^32, so more words than 2^27 are never addressed.
            limit = 2**27 if f.name == 'presence_words' else 2**32
            if not 0 <= value <= limit:
                raise ValueError(f'{f.name} must be from 0 to {limit}, not {value}')
            object.__setattr__(self, f.name, value)

_RECORD_SIZE = ctypes.sizeof(MessageRecord)

class Records(tuple):
    """An array of MessageRecords together with the shape of the messages
    they point to: the checked calls take one of these.

    `records` is a ctypes array of MessageRecord or any C-contiguous buffer
    of whole 96-byte records at an 8-byte aligned address (a read-only one
    is used in place: the library only reads records); `shape` says, for
    every message, how many presence words and how many elements of each
    value array it has, at least. Trusting that is the host's part: the
    checked calls guarantee that no index goes beyond `shape`.

    A Records object cannot be changed: its array, shape, count and address
    are read-only, and the buffer stays exported (so not resizable, but for
    ctypes.resize()) for as
    long as the object exists.

    >>> import tovakwrapper as tw
    >>> array_ = (tw.MessageRecord * 3)()
    >>> records = tw.Records(array_, tw.Shape(presence_words=2, floats=4))
    >>> len(records), records.shape.floats
    (3, 4)
    """
    __slots__ = ()
    # The tuple: array, shape, count, address, end address, the length of each
    # kind's value array, presence words, bits in range, the held export.

    def __new__(cls, records: Any, shape: Shape) -> Records:
        if type(shape) is not Shape:
            raise TypeError(f'shape must be a tovakwrapper.Shape, not {type(shape).__name__}')
        try:
            view = memoryview(records)
        except TypeError:
            raise TypeError('records must be a ctypes array of MessageRecord or a buffer of '
                            f'whole 96-byte records, not {type(records).__name__}') from None
        if not view.c_contiguous:
            raise ValueError('records must be C-contiguous')
        if view.nbytes % _RECORD_SIZE:
            raise ValueError(f'records must hold whole {_RECORD_SIZE}-byte MessageRecords, '
                             f'not {view.nbytes} bytes')
        count = view.nbytes // _RECORD_SIZE
        if count > _U32:
            raise ValueError(f'records must be at most {_U32} records, not {count}')
        held: Any
        if view.readonly:
            address = _view_address(view) if count else 0
            held = (MessageRecord * count).from_address(address) if count else (MessageRecord * 0)()
        else:
            held = (MessageRecord * count).from_buffer(view)
            address = _addressof(held)
        if address % 8:
            raise ValueError(f'records start at address {address:#x}, which is not a multiple '
                             'of 8: MessageRecords must be aligned to 8 bytes')
        limits = (shape.floats, shape.high_res_angles, shape.vector3fs, shape.quaternionfs,
                  shape.uint64s, shape.enums, shape.bools, shape.numbered_floats,
                  shape.io_pins, shape.leds, 0, 0)
        words = shape.presence_words
        return tuple.__new__(cls, (held, shape, count, address, address + count * _RECORD_SIZE,
                                   limits, words, min(32 * words, 2**32), view))

    @property
    def array(self) -> Any:
        """The MessageRecords, as a ctypes array over the records buffer."""
        return self[0]

    @property
    def shape(self) -> Shape:
        """The Shape given at construction."""
        return self[1]

    @property
    def count(self) -> int:  # type: ignore[override]
        """The number of records."""
        return self[2]

    @property
    def address(self) -> int:
        """The address of the first record."""
        return self[3]

    def __len__(self) -> int:
        return self[2]

    def __repr__(self) -> str:
        return f'Records({self.count} messages, {self.shape})'

    def __reduce__(self) -> Any:
        raise TypeError('Records cannot be pickled: they hold addresses')

def _records(records: Any) -> Records:
    raise TypeError('records must be a tovakwrapper.Records (the records with their shape), '
                    f'not {type(records).__name__}')

# ---- what the module knows of the library's metadata copies ------------------------

class _UnknownTable:
    def __init__(self, why: str):
        self.why = why

class _State:
    """The library's three metadata copies, as the module last passed them."""

    def __init__(self) -> None:
        self.epoch = 0  # 0 until initialize(), then one more at every call of it
        self.metadata: Tuple[Any, ...] = ()
        self.base: Tuple[Tuple[int, ...], ...] = ((0,) * 12,) * 3
        self.tables: Tuple[Tuple[Any, ...], ...] = ((None, None),) * 3

_TABLE_FIELDS = ('numberedFloatTable', 'pinBankTable')
_TABLE_NAMES = ('numbered-float table', 'pin-bank table')
_TABLE_OFFSETS = (MessageMetadata.numberedFloatTable.offset, MessageMetadata.pinBankTable.offset)
_BASE_OFFSET = MessageMetadata.base.offset

def _held_table(meta: MessageMetadata, address: int, which: int) -> Any:
    """The table at `address` (read from the metadata's bytes): None for a
    null pointer, _UnknownTable, or (view, given): a plain c_int32 array over
    exactly the bytes of the c_int32 array assigned to the metadata there,
    which the checks read instead of the given object (whose type could
    answer len() and [] as it likes), and that object, kept alive."""
    if not address:
        return None
    field = _TABLE_FIELDS[which]
    given = meta.__dict__.get('_given_tables', {}).get(field)
    cls = type(given)
    if cls.__base__ is _Array and cls._type_ is c_int32 and _addressof(given) == address:
        return (c_int32 * (_sizeof(given) // 4)).from_address(address), given
    return _UnknownTable(f'{field} was not assigned a ctypes array of c_int32, so its length '
                         'is unknown')

def _uninitialized(name: str) -> RuntimeError:
    return RuntimeError(f'{name} reads the metadata: call initialize() first')

def _beyond(name: str, value: int, records: Records, kind: int) -> ValueError:
    limit = records[5][kind]
    if limit == 0:
        return ValueError(f'{name} {value}: these records have no {_KIND_NAMES[kind]} array '
                          '(its length in their Shape is 0)')
    return ValueError(f'{name} must be from 0 to {limit - 1}: these records\' '
                      f'{_KIND_NAMES[kind]} arrays hold {limit} elements (got {value})')

def _field(records: Records, field: Any, kind: int) -> int:
    """A field index as a plain int, within the records' array of `kind`."""
    field = _integer('field', field)
    if not 0 <= field < records[5][kind]:
        raise _beyond('field', field, records, kind)
    return field

def _presence(state: _State, records: Records, copy: int, kind: int, offset: int,
              what: str) -> None:
    """Raises unless presence bit base[kind] + offset (modulo 2^32) of the
    metadata copy lies in the records' presence words."""
    base = state.base[copy][kind]
    bit = (base + offset) & _U32
    if bit >> 5 >= records[6]:
        raise ValueError(f'{what} addresses presence bit {bit} ({_COPIES[copy]} base '
                         f'{_KIND_NAMES[kind]} {base} + {offset & _U32}, modulo 2^32), in presence '
                         f'word {bit >> 5}; these records have {records[6]} presence words')

def _table_entry(state: _State, records: Records, copy: int, which: int, kind: int,
                 presence: Optional[int], a_name: str, a: int, b_name: str,
                 b: int) -> Tuple[Any, int, int]:
    """Checks value index = table[b] + a (and its presence bit, from the
    `presence` copy, when the call sets or reads one). Returns (table, b,
    table[b]), what a prepared call watches; table is None when the pointer
    is null (the library then touches no value and no presence bit)."""
    table = state.tables[copy][which]
    if table is None:
        return None, 0, 0
    where = f"the {_COPIES[copy]} metadata's {_TABLE_NAMES[which]}"
    if type(table) is _UnknownTable:
        raise ValueError(f'{b_name} cannot be checked: {table.why} (in {where}); pass the '
                         'metadata to initialize() with its tables assigned as ctypes arrays '
                         'of c_int32')
    if not b < len(table):
        raise ValueError(f'{b_name} must be from 0 to {len(table) - 1}: {where} has '
                         f'{len(table)} entries (got {b})')
    entry = table[b]
    index = entry + a
    limit = records[5][kind]
    if not 0 <= index < limit:
        raise ValueError(f'{a_name} {a} + {where}[{b}] ({entry}) = {index}: must be from 0 to '
                         f'{limit - 1}, these records\' {_KIND_NAMES[kind]} arrays hold {limit} '
                         'elements')
    if presence is not None:
        _presence(state, records, presence, kind, index,
                  f'{a_name} {a} of {b_name} {b} (value index {index})')
    return table, b, entry

# ---- prepared calls -----------------------------------------------------------------

class Prepared(tuple):
    """A checked call bound once to its records, indices and buffer.

    Calling it (with no arguments) makes the native call again and returns
    the output buffer (getters) or None (setters). Before that it checks
    again, with the ints it converted when prepared, only what can have
    changed: everything, when initialize() was called since; the table entry
    it reads, when that entry changed. It holds its records and its buffer's
    export (so the buffer cannot be resized, but for ctypes.resize()) and the
    out array it made, if any, for as long as it exists, and
    nothing of it can be changed.

    Its properties say what a call list needs: `accessor` (1 to 48, the
    position in tovakwrapper.FUNCTIONS plus 1), `count`, `number` (number
    or pin; 0 for other calls), `field` (field, bank or bit), `records`,
    `buffer` (the values or out buffer, or None) and `address` (of the
    buffer, or None).
    """
    __slots__ = ()
    # The tuple: native function, its arguments, result, accessor, count,
    # number, field, records, buffer address, held export, buffer, re-check
    # (or None when nothing can change), marks [state, epoch, table, index,
    # entry] (or None), the library's state.

    def __call__(self) -> Any:
        marks = self[12]
        if marks is not None and (marks[0].epoch != marks[1] or (
                marks[2] is not None and marks[2][marks[3]] != marks[4])):
            _refresh(self)
        self[0](*self[1])
        return self[2]

    @property
    def accessor(self) -> int:
        return self[3]

    @property
    def count(self) -> int:  # type: ignore[override]
        return self[4]

    @property
    def number(self) -> int:
        return self[5]

    @property
    def field(self) -> int:
        return self[6]

    @property
    def records(self) -> Records:
        return self[7]

    @property
    def address(self) -> Optional[int]:
        return self[8]

    @property
    def buffer(self) -> Any:
        return self[10]

    def stale(self) -> bool:
        """Whether the next call checks again (initialize() was called, or the
        table entry it reads changed, since its last check)."""
        marks = self[12]
        return marks is not None and (marks[0].epoch != marks[1] or (
            marks[2] is not None and marks[2][marks[3]] != marks[4]))

    def refresh(self) -> None:
        """Checks again now, with the converted ints; raises as the call would."""
        if self[12] is not None:
            _refresh(self)

    def __repr__(self) -> str:
        name = FUNCTIONS[self.accessor - 1]
        return (f'<prepared {name} of {self.count} messages, number {self.number}, '
                f'field {self.field}>')

    def __reduce__(self) -> Any:
        raise TypeError('prepared calls cannot be pickled: they hold addresses')

def _refresh(call: Prepared) -> None:
    marks = call[12]
    epoch = marks[0].epoch
    table, index, entry = call[11]()  # raises if no longer safe
    marks[1:] = [epoch, table, index, entry]

def _prepared(state: _State, function: Any, native: Tuple[Any, ...], result: Any,
              accessor: int, n: int, number: int, field: int, records: Records,
              address: Optional[int], keep: Any, buffer: Any,
              recheck: Optional[Callable[[], Tuple[Any, int, int]]],
              watched: Tuple[Any, int, int]) -> Prepared:
    marks = None if recheck is None else [state, state.epoch, *watched]
    if type(keep) is _arraytype:
        keep = memoryview(keep)  # an out made here, returned by every run: not resizable either
    return tuple.__new__(Prepared, (function, native, result, accessor, n, number, field, records,
                                    address, keep, buffer, recheck, marks, state))

class CallList(tuple):
    """Prepared calls run in order by one native call (miRunCalls of
    libtovakWrapperCalls); made by Library.calls(a, b, ...).

    Calling it runs every call exactly as the prepared calls would, one
    after the other, and returns a tuple of the getters' out buffers in
    order. It is checked as they are, with their checks: everything when it
    is made (each prepared call was checked when prepared; the list adds that
    no getter's out overlaps the records array of any call in the list, which
    a later call, or the next run, would read), then again before a run only
    when initialize() was called since or a table entry one of its calls
    reads changed; a call that is no longer safe raises and nothing runs. It
    holds its prepared calls, and so every records array and buffer, for as
    long as it exists.
    """
    __slots__ = ()
    # The tuple: run (miRunCalls), the MiCall array, its address, n, results,
    # prepared calls, those that watch the metadata, [the table entries they
    # were checked against: (table, index, entry)], [epoch checked at], state.

    def __call__(self) -> Tuple[Any, ...]:
        if self[9].epoch != self[8][0]:
            _recheck_list(self)
        else:
            for table, index, entry in self[7][0]:
                if table[index] != entry:
                    _recheck_list(self)
                    break
        self[0](self[2], self[3])
        return self[4]

    @property
    def calls(self) -> Tuple[Prepared, ...]:
        """The prepared calls, in the order they run."""
        return self[5]

    def __len__(self) -> int:
        return self[3]

    def __repr__(self) -> str:
        return f'<call list of {self[3]} calls>'

    def __reduce__(self) -> Any:
        raise TypeError('call lists cannot be pickled: they hold addresses')


def _recheck_list(calls: CallList) -> None:
    """Checks every call that reads the metadata again (raising as it would),
    and that no getter's out overlaps a table of the metadata of now (a later
    call of the list would read what an earlier one wrote there), then notes
    the epoch and the table entries they were checked against."""
    state = calls[9]
    epoch = state.epoch
    for call in calls[6]:
        _refresh(call)
    for i, call in enumerate(calls[5]):
        if call[2] is None or call[8] is None:
            continue
        start, end = call[8], call[8] + _out_size(call)
        for copy, pair in enumerate(state.tables):
            for which, table in enumerate(pair):
                if table is None or type(table) is _UnknownTable:
                    continue
                address = _addressof(table)
                if start < address + _sizeof(table) and address < end:
                    raise ValueError(f'the out of call {i} ({end - start} bytes at {start:#x}) '
                                     f"overlaps the {_COPIES[copy]} metadata's "
                                     f'{_TABLE_NAMES[which]}, which later calls of the list read')
    calls[7][0] = _entries(calls[6])
    calls[8][0] = epoch


def _entries(watched: Tuple[Prepared, ...]) -> Tuple[Tuple[Any, int, int], ...]:
    """The distinct table entries the calls were checked against."""
    seen: Dict[Tuple[int, int], Tuple[Any, int, int]] = {}
    for call in watched:
        table, index, entry = call[12][2:5]
        if table is not None:
            seen.setdefault((id(table), index), (table, index, entry))
    return tuple(seen.values())


def _call_list(state: _State, run: Any, prepared: Tuple[Any, ...]) -> CallList:
    for i, call in enumerate(prepared):
        if type(call) is not Prepared:
            raise TypeError(f'call {i} is a {type(call).__name__}; calls() takes prepared calls '
                            '(from .prepare() of a checked call)')
        if call[13] is not state:
            raise ValueError(f'call {i} was prepared by another library; calls() takes calls '
                             'prepared by this one')
    if len(prepared) > _U32:
        raise ValueError(f'a call list holds at most {_U32} calls, not {len(prepared)}')
    # A getter's out must not overlap the records any call of the list reads.
    for i, call in enumerate(prepared):
        if call[2] is None or call[8] is None:
            continue
        start = call[8]
        end = start + _out_size(call)
        for j, other in enumerate(prepared):
            records = other[7]
            if start < records[4] and records[3] < end:
                raise ValueError(f'the out of call {i} ({end - start} bytes at {start:#x}) '
                                 f'overlaps the records array of call {j}, which the list reads '
                                 'after it is written')
    array_ = (MiCall * len(prepared))()
    for entry, call in zip(array_, prepared):
        entry.accessor, entry.count, entry.number, entry.field = call[3], call[4], call[5], call[6]
        ctypes.memmove(ctypes.addressof(entry) + MiCall.records.offset,
                       struct.pack('=QQ', call[7][3], call[8] or 0), 16)
    results = tuple(call[2] for call in prepared if call[2] is not None)
    watched = tuple(call for call in prepared if call[12] is not None)
    calls = tuple.__new__(CallList, (run, array_, ctypes.addressof(array_), len(prepared), results,
                                     prepared, watched, [()], [-1], state))
    _recheck_list(calls)  # every call against the metadata and tables of now
    return calls


def _out_size(call: Prepared) -> int:
    """Bytes a prepared getter writes to its out."""
    name = FUNCTIONS[call[3] - 1]
    _, operation, family = _NAME.match(name).groups()  # type: ignore[union-attr]
    element = UINT8 if operation == 'Has' else _FAMILIES[family][0]
    return call[4] * element.width


# ---- the checked calls, one function per call shape ---------------------------------
#
# Every shape converts its index arguments once, checks them, takes its
# buffer (_take) and passes exactly what it converted and took. Its
# prepare() does the same once and binds the result in a Prepared, whose
# re-check runs the same check on the same ints. `keep` holds the buffer's
# export until the native call has returned.

class _Accessor:
    """What a shape needs to know of one accessor."""

    def __init__(self, state: _State, name: str, function: Any):
        message, operation, family = _NAME.match(name).groups()  # type: ignore[union-attr]
        self.state = state
        self.name = _snake(name)
        self.number = FUNCTIONS.index(name) + 1
        self.copy = _COPIES.index(message)
        self.setter = operation == 'Set'
        self.element, kind, _ = _FAMILIES[family]
        if operation == 'Has':
            self.element = UINT8
        self.kind = -1 if kind is None else kind
        self.function = function

def _plain_getter(acc: _Accessor) -> Callable[..., Any]:
    """Float, HighResAngle, Vector3f, Quaternionf, UInt64, Enum, Bool, Led
    getters: value index `field`; no metadata."""
    kind, element, function = acc.kind, acc.element, acc.function

    def getter(records: Records, field: SupportsIndex, count: Optional[SupportsIndex] = None,
               out: Any = None) -> Any:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        if type(field) is not int or not 0 <= field < records[5][kind]:
            field = _field(records, field, kind)
        if out is None:
            out, address = element.new(n)
            keep = None
        else:
            address, keep = _out(out, n, element, records)
        function(address, records[3], n, field)
        return out

    def prepare(records: Records, field: SupportsIndex, count: Optional[SupportsIndex] = None,
                out: Any = None) -> Prepared:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        field = _field(records, field, kind)
        if out is None:
            out, address = element.new(n)
            keep = out
        else:
            address, keep = _out(out, n, element, records)
        return _prepared(acc.state, function, (address, records[3], n, field), out, acc.number,
                         n, 0, field, records, address, keep, out, None, (None, 0, 0))
    getter.prepare = prepare  # type: ignore[attr-defined]
    return getter

def _plain_setter(acc: _Accessor) -> Callable[..., Any]:
    """Float, HighResAngle, Enum, Bool, Led setters: value index `field`,
    presence bit Command base[kind] + field."""
    kind, element, function, state, name = acc.kind, acc.element, acc.function, acc.state, acc.name

    def check(records: Records, field: int) -> Tuple[Any, int, int]:
        if not state.epoch:
            raise _uninitialized(name)
        if ((state.base[0][kind] + field) & _U32) >> 5 >= records[6]:
            _presence(state, records, 0, kind, field, f'field {field}')
        return None, 0, 0

    def setter(records: Records, values: Any, field: SupportsIndex,
               count: Optional[SupportsIndex] = None) -> None:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        if type(field) is not int or not 0 <= field < records[5][kind]:
            field = _field(records, field, kind)
        if not state.epoch or ((state.base[0][kind] + field) & _U32) >> 5 >= records[6]:
            check(records, field)
        if values is None:
            address = keep = None
        else:
            address, keep = _values(values, n, element, records)
        function(records[3], address, n, field)

    def prepare(records: Records, values: Any, field: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Prepared:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        field = _field(records, field, kind)
        watched = check(records, field)
        address, keep = (None, None) if values is None else \
            _values(values, n, element, records)
        return _prepared(state, function, (records[3], address, n, field), None, acc.number, n, 0,
                         field, records, address, keep, values, partial(check, records, field),
                         watched)
    setter.prepare = prepare  # type: ignore[attr-defined]
    return setter

def _flag_getter(acc: _Accessor) -> Callable[..., Any]:
    """miCommandGetFlag, miInfoGetFlag: presence bit base[Flag] + field of
    their own metadata copy."""
    element, function, state, name, copy = acc.element, acc.function, acc.state, acc.name, acc.copy

    def check(records: Records, field: int) -> Tuple[Any, int, int]:
        if not state.epoch:
            raise _uninitialized(name)
        _presence(state, records, copy, 11, field, f'field {field}')
        return None, 0, 0

    def getter(records: Records, field: SupportsIndex, count: Optional[SupportsIndex] = None,
               out: Any = None) -> Any:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        field = _uint32('field', field)
        check(records, field)
        if out is None:
            out, address = element.new(n)
            keep = None
        else:
            address, keep = _out(out, n, element, records)
        function(address, records[3], n, field)
        return out

    def prepare(records: Records, field: SupportsIndex, count: Optional[SupportsIndex] = None,
                out: Any = None) -> Prepared:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        field = _uint32('field', field)
        watched = check(records, field)
        if out is None:
            out, address = element.new(n)
            keep = out
        else:
            address, keep = _out(out, n, element, records)
        return _prepared(state, function, (address, records[3], n, field), out, acc.number, n, 0,
                         field, records, address, keep, out, partial(check, records, field), watched)
    getter.prepare = prepare  # type: ignore[attr-defined]
    return getter

def _flag_setter(acc: _Accessor) -> Callable[..., Any]:
    """miCommandSetFlag: presence bit Command base[Flag] + field; `values`
    is never read, so it is not passed."""
    function, state, name = acc.function, acc.state, acc.name

    def check(records: Records, field: int) -> Tuple[Any, int, int]:
        if not state.epoch:
            raise _uninitialized(name)
        _presence(state, records, 0, 11, field, f'field {field}')
        return None, 0, 0

    def setter(records: Records, values: Any, field: SupportsIndex,
               count: Optional[SupportsIndex] = None) -> None:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        field = _uint32('field', field)
        check(records, field)
        function(records[3], None, n, field)

    def prepare(records: Records, values: Any, field: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Prepared:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        field = _uint32('field', field)
        watched = check(records, field)
        return _prepared(state, function, (records[3], None, n, field), None, acc.number, n, 0,
                         field, records, None, None, None, partial(check, records, field), watched)
    setter.prepare = prepare  # type: ignore[attr-defined]
    return setter

def _bit_getter(acc: _Accessor) -> Callable[..., Any]:
    """Has...Field: an absolute presence bit; no metadata."""
    element, function = acc.element, acc.function

    def bit_index(records: Records, bit: Any) -> int:
        bit = _uint32('bit', bit)
        if not bit < records[7]:
            raise ValueError(f'bit must be from 0 to {records[7] - 1}: these records have '
                             f'{records[6]} presence words (got {bit})')
        return bit

    def getter(records: Records, bit: SupportsIndex, count: Optional[SupportsIndex] = None,
               out: Any = None) -> Any:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        if type(bit) is not int or not 0 <= bit < records[7]:
            bit = bit_index(records, bit)
        if out is None:
            out, address = element.new(n)
            keep = None
        else:
            address, keep = _out(out, n, element, records)
        function(address, records[3], n, bit)
        return out

    def prepare(records: Records, bit: SupportsIndex, count: Optional[SupportsIndex] = None,
                out: Any = None) -> Prepared:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        bit = bit_index(records, bit)
        if out is None:
            out, address = element.new(n)
            keep = out
        else:
            address, keep = _out(out, n, element, records)
        return _prepared(acc.state, function, (address, records[3], n, bit), out, acc.number, n, 0,
                         bit, records, address, keep, out, None, (None, 0, 0))
    getter.prepare = prepare  # type: ignore[attr-defined]
    return getter

def _table_names(acc: _Accessor) -> Tuple[str, str, int, int, Optional[int]]:
    """(a name, b name, metadata copy of the table, which table, metadata copy
    of the presence base or None) of a numbered-float or pin accessor.
    Numbered floats and the pin setters and getters address through the
    Feedback metadata's tables; the pin queries through their own copy's."""
    query = acc.element is UINT8
    a_name, b_name = ('number', 'field') if acc.kind == 7 else ('pin', 'bank')
    copy = acc.copy if query else 1
    presence = acc.copy if query else 0 if acc.setter else None
    return a_name, b_name, copy, 0 if acc.kind == 7 else 1, presence

def _table_getter(acc: _Accessor) -> Callable[..., Any]:
    """Numbered-float and pin getters and pin queries: value index
    table[b] + a; the queries also read presence bit base[IoPin] + index."""
    kind, element, function, state, name = acc.kind, acc.element, acc.function, acc.state, acc.name
    a_name, b_name, copy, which, presence = _table_names(acc)

    def check(records: Records, a: int, b: int) -> Tuple[Any, int, int]:
        if not state.epoch:
            raise _uninitialized(name)
        return _table_entry(state, records, copy, which, kind, presence, a_name, a, b_name, b)

    def getter(records: Records, a: SupportsIndex, b: SupportsIndex,
               count: Optional[SupportsIndex] = None, out: Any = None) -> Any:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        a, b = _int32(a_name, a), _uint32(b_name, b)
        check(records, a, b)
        if out is None:
            out, address = element.new(n)
            keep = None
        else:
            address, keep = _out(out, n, element, records)
        function(address, records[3], n, a, b)
        return out

    def prepare(records: Records, a: SupportsIndex, b: SupportsIndex,
                count: Optional[SupportsIndex] = None, out: Any = None) -> Prepared:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        a, b = _int32(a_name, a), _uint32(b_name, b)
        watched = check(records, a, b)
        if out is None:
            out, address = element.new(n)
            keep = out
        else:
            address, keep = _out(out, n, element, records)
        return _prepared(state, function, (address, records[3], n, a, b), out, acc.number, n, a, b,
                         records, address, keep, out, partial(check, records, a, b), watched)
    getter.prepare = prepare  # type: ignore[attr-defined]
    return getter

def _table_setter(acc: _Accessor) -> Callable[..., Any]:
    """Numbered-float and pin setters: value index Feedback table[b] + a,
    presence bit Command base[kind] + index."""
    kind, element, function, state, name = acc.kind, acc.element, acc.function, acc.state, acc.name
    a_name, b_name, copy, which, presence = _table_names(acc)

    def check(records: Records, a: int, b: int) -> Tuple[Any, int, int]:
        if not state.epoch:
            raise _uninitialized(name)
        return _table_entry(state, records, copy, which, kind, presence, a_name, a, b_name, b)

    def setter(records: Records, values: Any, a: SupportsIndex, b: SupportsIndex,
               count: Optional[SupportsIndex] = None) -> None:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        a, b = _int32(a_name, a), _uint32(b_name, b)
        check(records, a, b)
        if values is None:
            address = keep = None
        else:
            address, keep = _values(values, n, element, records)
        function(records[3], address, n, a, b)

    def prepare(records: Records, values: Any, a: SupportsIndex, b: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Prepared:
        if type(records) is not Records:
            records = _records(records)
        n = records[2] if count is None else _count(count, records[2])
        a, b = _int32(a_name, a), _uint32(b_name, b)
        watched = check(records, a, b)
        address, keep = (None, None) if values is None else \
            _values(values, n, element, records)
        return _prepared(state, function, (records[3], address, n, a, b), None, acc.number, n, a,
                         b, records, address, keep, values, partial(check, records, a, b), watched)
    setter.prepare = prepare  # type: ignore[attr-defined]
    return setter

def _shape(name: str) -> Callable[[_Accessor], Callable[..., Any]]:
    _, operation, family = _NAME.match(name).groups()  # type: ignore[union-attr]
    if family == 'Field':
        return _bit_getter
    if family == 'Flag':
        return _flag_setter if operation == 'Set' else _flag_getter
    if family in ('NumberedFloat', 'IoPin', 'IoPinInt', 'IoPinFloat'):
        return _table_setter if operation == 'Set' else _table_getter
    return _plain_setter if operation == 'Set' else _plain_getter

def _snake(name: str) -> str:
    """miCommandSetIoPinInt -> command_set_io_pin_int."""
    return re.sub(r'(?<!^)(?=[A-Z])', '_', name[2:]).lower().replace('u_int64', 'uint64')

def _doc(name: str, operation: str, family: str, args: Tuple[str, ...], element: _Element) -> str:
    message = _NAME.match(name).group(1)  # type: ignore[union-attr]
    whats = {'Field': 'whether presence bit `bit` is set (1 or 0)',
             'Flag': 'flag `field` (1 or 0)',
             'IoPinInt': 'whether pin `pin` of bank `bank` holds a present integer (1 or 0)',
             'IoPinFloat': 'whether pin `pin` of bank `bank` holds a present float (1 or 0)'}
    what = whats[family] if operation == 'Has' or family in ('Field', 'Flag') else \
        f'{family} `{", ".join(args)}`'
    rule = ("\n\ncount=None means every record. Raises ValueError for an index beyond the "
            "records' shape or the tables, or a buffer of the wrong length, alignment or "
            'writability; TypeError for a wrong type')
    reads = operation == 'Set' or family in ('Flag', 'NumberedFloat', 'IoPin', 'IoPinInt',
                                             'IoPinFloat')
    rule += '; RuntimeError before initialize().' if reads else '.'
    if operation == 'Get' or operation == 'Has':
        rule += (' out= must not overlap the records array (checked) nor the messages\' own '
                 'arrays (the host\'s to avoid).')
    if family == 'Field':
        rule += (' Library.presence_bit() turns a kind and field into the absolute bit this '
                 'call takes.')
    if operation == 'Set':
        values = ('`values` is ignored (it may be None).' if family == 'Flag' else
                  f'`values`: {element.name}, at least count elements; None sets only the '
                  'presence bits.')
        what = 'flag `field`' if family == 'Flag' else what
        return f'Sets {what} of `count` Command messages ({name}).\n\n{values}{rule}'
    if element.typecode:
        new = f"a new array.array('{element.typecode}') of count elements"
    elif element.columns:
        new = (f'a new ctypes array of count rows of {element.columns} floats (numpy.asarray '
               f'makes it a (count, {element.columns}) float32 array)')
    else:
        new = f'a new ctypes array of count {element.ctype.__name__}'
    return (f'Reads {what} of `count` {message} messages ({name}).\n\nReturns `out`, filled, '
            f'when given ({element.name}, exactly count elements, writable, C-contiguous); '
            f'otherwise {new}.{rule}')

# Signatures of the checked calls, for type checkers and editors.
class _GetterField(Protocol):
    def __call__(self, records: Records, field: SupportsIndex, count: Optional[SupportsIndex] = None,
                 out: Any = None) -> Any: ...

    def prepare(self, records: Records, field: SupportsIndex, count: Optional[SupportsIndex] = None,
                out: Any = None) -> Prepared: ...

class _GetterBit(Protocol):
    def __call__(self, records: Records, bit: SupportsIndex, count: Optional[SupportsIndex] = None,
                 out: Any = None) -> Any: ...

    def prepare(self, records: Records, bit: SupportsIndex, count: Optional[SupportsIndex] = None,
                out: Any = None) -> Prepared: ...

class _GetterNumberField(Protocol):
    def __call__(self, records: Records, number: SupportsIndex, field: SupportsIndex,
                 count: Optional[SupportsIndex] = None, out: Any = None) -> Any: ...

    def prepare(self, records: Records, number: SupportsIndex, field: SupportsIndex,
                count: Optional[SupportsIndex] = None, out: Any = None) -> Prepared: ...

class _GetterPinBank(Protocol):
    def __call__(self, records: Records, pin: SupportsIndex, bank: SupportsIndex,
                 count: Optional[SupportsIndex] = None, out: Any = None) -> Any: ...

    def prepare(self, records: Records, pin: SupportsIndex, bank: SupportsIndex,
                count: Optional[SupportsIndex] = None, out: Any = None) -> Prepared: ...

class _SetterField(Protocol):
    def __call__(self, records: Records, values: Any, field: SupportsIndex,
                 count: Optional[SupportsIndex] = None) -> None: ...

    def prepare(self, records: Records, values: Any, field: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Prepared: ...

class _SetterNumberField(Protocol):
    def __call__(self, records: Records, values: Any, number: SupportsIndex, field: SupportsIndex,
                 count: Optional[SupportsIndex] = None) -> None: ...

    def prepare(self, records: Records, values: Any, number: SupportsIndex, field: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Prepared: ...

class _SetterPinBank(Protocol):
    def __call__(self, records: Records, values: Any, pin: SupportsIndex, bank: SupportsIndex,
                 count: Optional[SupportsIndex] = None) -> None: ...

    def prepare(self, records: Records, values: Any, pin: SupportsIndex, bank: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Prepared: ...

_MESSAGES = {'command': 0, 'feedback': 1, 'info': 2}

class Library:
    """The loaded library: a checked method per accessor, raw functions in `.raw`.

    >>> import tovakwrapper as tw
    >>> lib = tw.load()
    >>> group = tw.simulated.Group()
    >>> lib.initialize(group.meta, group.meta, group.meta)
    >>> lib.command_set_enum(group.records, array.array('i', [5, 6, 7, 8]), 1)
    >>> lib.info_get_enum(group.records, 1)
    array('i', [5, 6, 7, 8])
    """

    raw: ctypes.CDLL
    command_set_float: _SetterField
    command_get_float: _GetterField
    feedback_get_float: _GetterField
    info_get_float: _GetterField
    command_set_high_res_angle: _SetterField
    command_get_high_res_angle: _GetterField
    feedback_get_high_res_angle: _GetterField
    info_get_high_res_angle: _GetterField
    command_get_vector3f: _GetterField
    feedback_get_vector3f: _GetterField
    command_get_quaternionf: _GetterField
    feedback_get_quaternionf: _GetterField
    command_get_uint64: _GetterField
    feedback_get_uint64: _GetterField
    command_set_enum: _SetterField
    command_get_enum: _GetterField
    feedback_get_enum: _GetterField
    info_get_enum: _GetterField
    command_set_bool: _SetterField
    command_get_bool: _GetterField
    feedback_get_bool: _GetterField
    info_get_bool: _GetterField
    command_set_numbered_float: _SetterNumberField
    command_get_numbered_float: _GetterNumberField
    feedback_get_numbered_float: _GetterNumberField
    command_set_io_pin: _SetterPinBank
    command_get_io_pin: _GetterPinBank
    feedback_get_io_pin: _GetterPinBank
    command_set_io_pin_int: _SetterPinBank
    command_get_io_pin_int: _GetterPinBank
    command_has_io_pin_int: _GetterPinBank
    feedback_get_io_pin_int: _GetterPinBank
    feedback_has_io_pin_int: _GetterPinBank
    command_set_io_pin_float: _SetterPinBank
    command_get_io_pin_float: _GetterPinBank
    command_has_io_pin_float: _GetterPinBank
    feedback_get_io_pin_float: _GetterPinBank
    feedback_has_io_pin_float: _GetterPinBank
    command_set_led: _SetterField
    command_get_led: _GetterField
    feedback_get_led: _GetterField
    info_get_led: _GetterField
    command_set_flag: _SetterField
    command_get_flag: _GetterField
    info_get_flag: _GetterField
    command_has_field: _GetterBit
    feedback_has_field: _GetterBit
    info_has_field: _GetterBit

    def __init__(self, path: Optional[str] = None):
        self.path = path or find_library()
        self.raw = ctypes.CDLL(self.path)
        self._calls: Optional[Tuple[Any, Any]] = None  # the companion library, once loaded
        self._state = _STATES.setdefault(self.raw._handle, _State())
        self.raw.miInitialize.argtypes = [METADATA, METADATA, METADATA]
        self.raw.miInitialize.restype = None
        for name in FUNCTIONS:
            message, operation, family = _NAME.match(name).groups()  # type: ignore[union-attr]
            element = UINT8 if operation == 'Has' else _FAMILIES[family][0]
            pointer = POINTER(element.ctype)
            head: List[Any] = [RECORDS, pointer] if operation == 'Set' else [pointer, RECORDS]
            tail: List[Any] = [c_int32, c_uint32] if family in ('NumberedFloat', 'IoPin', 'IoPinInt',
                                                     'IoPinFloat') else [c_uint32]
            raw = getattr(self.raw, name)
            raw.argtypes, raw.restype = head + [c_uint32] + tail, None
            fast = self.raw._FuncPtr((name, self.raw))  # the same function, with addresses
            fast.argtypes, fast.restype = [c_void_p, c_void_p, c_uint32] + tail, None
            checked = _shape(name)(_Accessor(self._state, name, fast))
            checked.__name__ = _snake(name)
            checked.__qualname__ = f'Library.{_snake(name)}'
            args = {'Field': ('bit',), 'NumberedFloat': ('number', 'field')}.get(
                family, ('pin', 'bank') if family.startswith('IoPin') else ('field',))
            checked.__doc__ = _doc(name, operation, family, args, element)
            prepare = checked.prepare  # type: ignore[attr-defined]
            prepare.__name__, prepare.__qualname__ = 'prepare', f'Library.{_snake(name)}.prepare'
            prepare.__doc__ = (f'{_snake(name)} bound once to its arguments: a Prepared call '
                               '(see tovakwrapper.Prepared).')
            setattr(self, _snake(name), checked)

    def initialize(self, command: MessageMetadata, feedback: MessageMetadata,
                   info: MessageMetadata) -> None:
        """Passes the three metadata records to the library (miInitialize).

        Each must be a tovakwrapper.MessageMetadata itself (not a subclass).
        The library is given a copy of each record's bytes, and the checks
        read the bases and table pointers from that same copy. The library
        keeps reading the tables the records point to, so this object keeps
        those tables alive until the next initialize(). Assign the tables as
        ctypes arrays of c_int32, so that the checked calls know their lengths.
        """
        given = (command, feedback, info)
        for label, meta in zip(('command', 'feedback', 'info'), given):
            if type(meta) is not MessageMetadata:
                raise TypeError(f'{label} must be a tovakwrapper.MessageMetadata (not a subclass), '
                                f'not {type(meta).__name__}')
        # The bytes the library copies, read once: what the checks read is
        # what the library holds.
        copies = tuple(MessageMetadata.from_buffer_copy(meta) for meta in given)
        base = tuple(struct.unpack_from('=12I', copy, _BASE_OFFSET) for copy in copies)
        held = tuple(tuple(_held_table(meta, struct.unpack_from('=Q', copy, offset)[0], which)
                           for which, offset in enumerate(_TABLE_OFFSETS))
                     for meta, copy in zip(given, copies))
        # The checks read the plain views; the given arrays stay referenced.
        tables = tuple(tuple(t[0] if type(t) is tuple else t for t in pair) for pair in held)
        self.raw.miInitialize(*copies)
        state = self._state
        state.metadata, state.base, state.tables = given + copies + (held,), base, tables
        state.epoch += 1

    def calls(self, *prepared: Prepared) -> CallList:
        """One callable that runs the prepared calls in order in one native call
        and returns the getters' out buffers, in order (see CallList).

        Needs the companion library libtovakWrapperCalls beside this one
        (the same directory). Raises TypeError for anything but calls
        prepared by this library, ValueError when a getter's out overlaps
        the records of any call in the list, OSError without the companion.

        >>> import array, tovakwrapper as tw
        >>> lib = tw.load()
        >>> group = tw.simulated.Group()
        >>> lib.initialize(group.meta, group.meta, group.meta)
        >>> step = lib.calls(
        ...     lib.command_set_float.prepare(group.records, array.array('f', [1, 2, 3, 4]), 0),
        ...     lib.command_get_float.prepare(group.records, 0),
        ...     lib.command_get_flag.prepare(group.records, 1))
        >>> step()
        (array('f', [1.0, 2.0, 3.0, 4.0]), array('B', [0, 0, 0, 0]))
        """
        return _call_list(self._state, self._run_calls(), prepared)

    def _run_calls(self) -> Any:
        if self._calls is None:
            directory = os.path.dirname(self.path)
            tried = [os.path.join(directory, name) for name in _CALLS_NAMES]
            path = next((p for p in tried if os.path.isfile(p)), None)
            if path is None:
                raise OSError('call lists need the companion library beside this one; looked for '
                              + ', '.join(tried))
            companion = ctypes.CDLL(path)
            # Its accessors must be this library's own (the loader binds it by
            # SONAME, which another copy of the main library also has).
            theirs = ctypes.cast(companion.miCommandSetFlag, c_void_p).value
            ours = ctypes.cast(self.raw.miCommandSetFlag, c_void_p).value
            if theirs != ours:
                raise OSError(f'{path} calls another copy of libtovakWrapper than {self.path}, '
                              'so it would not see the metadata passed to initialize()')
            run = companion._FuncPtr(('miRunCalls', companion))
            run.argtypes, run.restype = [c_void_p, c_uint32], None
            self._calls = (companion, run)
        return self._calls[1]

    def presence_bit(self, message: str, kind: SupportsIndex, field: SupportsIndex) -> int:
        """The absolute presence bit of field `field` of `kind` (a KIND, e.g.
        tw.KIND.FLOAT) in `message` ('command', 'feedback' or 'info')
        messages: that metadata's base[kind] + field, modulo 2^32, from the
        metadata last passed to initialize(). It is what the has_field calls
        take: lib.feedback_has_field(records, lib.presence_bit('feedback',
        tw.KIND.FLOAT, 2)). For numbered floats and pins, `field` is the
        value index (table entry + number or pin)."""
        if type(message) is not str or message not in _MESSAGES:
            raise ValueError(f"message must be 'command', 'feedback' or 'info', not {message!r}")
        kind = _integer('kind', kind)
        if not 0 <= kind < 12:
            raise ValueError(f'kind must be from 0 to 11 (a tovakwrapper.KIND), not {kind}')
        field = _uint32('field', field)
        if not self._state.epoch:
            raise RuntimeError('presence_bit reads the metadata: call initialize() first')
        return (self._state.base[_MESSAGES[message]][kind] + field) & _U32

_STATES: Dict[int, _State] = {}

# ---- finding the library ------------------------------------------------------------

# The SONAME of the release this module is written for, then the development
# link an uninstalled or -dev install provides.
SONAME = 'libtovakWrapper.so.0.1'
_NAMES = (SONAME, 'libtovakWrapper.so')
# The companion library that runs call lists, looked for beside the main one.
_CALLS_NAMES = ('libtovakWrapperCalls.so.0.1', 'libtovakWrapperCalls.so')

def _triplet() -> str:
    return sysconfig.get_config_var('MULTIARCH') or f'{platform.machine()}-linux-gnu'

def _candidates() -> List[str]:
    # First the copy that `pip install ./python` builds and puts in the package.
    directories = [os.path.dirname(os.path.abspath(__file__))]
    prefixes: List[str] = []
    for prefix in (sys.prefix, os.path.join(os.path.expanduser('~'), '.local'), '/usr/local', '/usr'):
        if prefix not in prefixes:
            prefixes.append(prefix)
    directories += [os.path.join(p, d) for p in prefixes for d in (f'lib/{_triplet()}', 'lib64', 'lib')]
    # Running from the source checkout: its build trees too.
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    if os.path.isfile(os.path.join(root, 'include', 'tovakWrapper.h')):
        directories += [os.path.join(root, 'build', preset)
                        for preset in ('release', 'gcc-O3-native', 'clang-O3-native')]
    return directories

def find_library() -> str:
    """The library's path: $TOVAK_WRAPPER_LIBRARY if set, else the first
    libtovakWrapper.so.0.1 in this package's own directory (where `pip install`
    puts the copy it builds), then in the library directories (lib/<multiarch>,
    lib64, lib) of sys.prefix, ~/.local, /usr/local and /usr, else (from a
    source checkout) in build/release. Raises OSError listing where it looked."""
    explicit = os.environ.get('TOVAK_WRAPPER_LIBRARY')
    if explicit:
        if not os.path.isfile(explicit):
            raise OSError(f'TOVAK_WRAPPER_LIBRARY is {explicit!r}, which is not a file')
        return explicit
    directories = _candidates()
    for directory in directories:
        for name in _NAMES:
            path = os.path.join(directory, name)
            if os.path.isfile(path):
                return path
    raise OSError(f'{SONAME} not found; looked in ' + ', '.join(directories)
                  + '. Install the library into one of them or set TOVAK_WRAPPER_LIBRARY '
                  'to its path.')

_LOADED: Dict[str, Library] = {}

def load(path: Optional[str] = None) -> Library:
    """The library (see find_library), loaded once per path, with its 49
    functions declared and a checked call for each of the 48 accessors."""
    path = os.path.realpath(path or find_library())
    if path not in _LOADED:
        _LOADED[path] = Library(path)
    return _LOADED[path]
