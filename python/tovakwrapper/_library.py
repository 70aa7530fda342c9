# SPDX-License-Identifier: MIT
"""Loading the library, the shape-carrying records, and the checked calls."""
from __future__ import annotations

import array
import ctypes
import operator
import os
import platform
import re
import struct
import sys
import sysconfig
from ctypes import (POINTER, c_double, c_float, c_int32, c_int64, c_uint8, c_uint32, c_uint64,
                    c_void_p)
from dataclasses import dataclass, fields
from typing import Any, Callable, Dict, List, Optional, Protocol, Set, SupportsIndex, Tuple

from ._layouts import (HighResAngleEntry, IoPinEntry, MessageMetadata, MessageRecord,
                       MiQuaternionf, MiVector3f)

RECORDS = POINTER(MessageRecord)
METADATA = POINTER(MessageMetadata)
_U32 = 0xFFFFFFFF
_Array = ctypes.Array
_NUMPY: List[Any] = [None]  # numpy.ndarray, once one has been seen (numpy is not imported)
_SCOPES: List[Dict[str, Any]] = []  # of the generated calls, which name it _ndarray


class _NoArray:
    """Stands for numpy.ndarray in the generated calls until one is seen."""

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


class _Element:
    """One element type the library moves, and every buffer spelling of it."""

    def __init__(self, name: str, ctype: Any, chars: str = '', ctypes_types: Tuple[Any, ...] = (),
                 columns: int = 0, typecode: Optional[str] = None):
        self.name = name
        self.ctype = ctype
        self.width = ctypes.sizeof(ctype)
        self.columns = columns  # (n, columns) float32 arrays are accepted too
        self.typecode = typecode  # of the array.array a getter returns without out=
        prefixes = ('', '@', '=', '<' if _LITTLE else '>')
        self.formats = frozenset(p + c for p in prefixes for c in chars)
        self.typecodes = frozenset(c for c in chars if c in array.typecodes
                                   and array.array(c).itemsize == self.width)
        self.ctypes_types = frozenset(ctypes_types)
        structure = memoryview((ctype * 1)()).format
        self.structure_format = structure if structure.startswith('T{') else None
        self.dtypes: Dict[Any, int] = {}  # numpy dtypes accepted so far: number of dimensions
        self.vectors: Set[Any] = set()  # those of them accepted in one dimension

    def new(self, n: int) -> Tuple[Any, int]:
        """A zeroed output of n elements and its address."""
        if self.typecode is not None:
            out = array.array(self.typecode, bytes(n * self.width))
            return out, out.buffer_info()[0]
        out = ((c_float * self.columns) * n)() if self.columns else (self.ctype * n)()
        return out, ctypes.addressof(out)


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
VECTOR3F = _Element('MiVector3f (12-byte structure) or float32 rows of 3', MiVector3f, 'f',
                    (MiVector3f, c_float * 3), columns=3)
QUATERNIONF = _Element('MiQuaternionf (16-byte structure) or float32 rows of 4', MiQuaternionf,
                       'f', (MiQuaternionf, c_float * 4), columns=4)
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
    type: its size in bytes must be count times the element width.

    >>> import tovakwrapper as tw
    >>> lib = tw.load()
    >>> group = tw.simulated.Group()
    >>> entries = bytearray(16 * 4)              # four IoPinEntry, as plain bytes
    >>> lib.command_set_io_pin(group.records, tw.Raw(entries), 0, 0)
    """
    __slots__ = ('buffer',)

    def __init__(self, buffer: Any):
        self.buffer = buffer


def _given(obj: Any, view: Optional[memoryview] = None) -> str:
    """How to name the type of a buffer in an error message."""
    if isinstance(obj, array.array):
        return f"an array.array of typecode '{obj.typecode}'"
    if isinstance(obj, ctypes.Array):
        return f'a ctypes array of {getattr(type(obj)._type_, "__name__", "?")}'
    dtype = getattr(obj, 'dtype', None)
    if dtype is not None:
        shape = getattr(obj, 'shape', ())
        return f'a numpy array of dtype {dtype}' + (f' and shape {shape}' if len(shape) != 1 else '')
    if view is not None:
        shape = f' and shape {view.shape}' if view.ndim != 1 else ''
        return f"{type(obj).__name__} of format '{view.format}'{shape}"
    return type(obj).__name__


def _buffer(name: str, obj: Any, n: int, element: _Element, out: bool) -> Tuple[Optional[int], Any]:
    """The address of `obj` as `n` elements of `element` (exactly n for an
    output, at least n for values), and what must be kept referenced while the
    native call runs (it also keeps the buffer from being resized)."""
    cls = obj.__class__
    if cls is array.array:
        if obj.typecode not in element.typecodes:
            raise TypeError(f'{name} is {_given(obj)}; this call takes {element.name}')
        keep: Any = memoryview(obj)
        address, length = obj.buffer_info()
    elif cls.__base__ is _Array:
        if cls._type_ not in element.ctypes_types:
            raise TypeError(f'{name} is {_given(obj)}; this call takes {element.name}')
        keep, address, length = obj, ctypes.addressof(obj), len(obj)
    elif cls is _NUMPY[0]:
        # numpy: the dtype was accepted once by the full check below; the
        # export says whether the array is writable and C-contiguous.
        ndim = element.dtypes.get(obj.dtype)
        if ndim is not None and obj.ndim == ndim and (ndim == 1 or obj.shape[1] == element.columns):
            length = obj.shape[0]
            try:
                keep = ctypes.c_char.from_buffer(obj)
                address = ctypes.addressof(keep)
            except (TypeError, ValueError):  # read-only, not contiguous, or empty
                address, length, keep = _view_address(name, obj, n, element, out)
        else:
            address, length, keep = _view_address(name, obj, n, element, out)
    else:
        address, length, keep = _view_address(name, obj, n, element, out)
    if length != n if out else length < n:
        rule = 'exactly' if out else 'at least'
        raise ValueError(f'{name} holds {length} elements; it must hold {rule} count = {n}')
    return (address if n else None), keep


def _view_address(name: str, obj: Any, n: int, element: _Element,
                  out: bool) -> Tuple[Optional[int], int, Any]:
    """The full check of any buffer: (address, length in elements, what to keep)."""
    cls = obj.__class__
    raw = cls is Raw
    try:
        view = memoryview(obj.buffer if raw else obj)
    except TypeError:
        raise TypeError(f'{name} must be a buffer (numpy array, array.array, ctypes array, '
                        f'memoryview), not {type(obj).__name__}') from None
    if raw:
        if view.nbytes % element.width:
            raise ValueError(f'{name} holds {view.nbytes} bytes, not a whole number of '
                             f'{element.width}-byte elements')
        length = view.nbytes // element.width
    else:
        f, ndim = view.format, view.ndim
        if ndim == 1 and (f in element.formats and view.itemsize == element.width
                          or f == element.structure_format and view.itemsize == element.width):
            length = view.shape[0]
        elif (ndim == 2 and element.columns and view.shape[1] == element.columns
              and f in FLOAT32.formats and view.itemsize == 4):
            length = view.shape[0]
        else:
            raise TypeError(f'{name} is {_given(obj, view)}; this call takes {element.name}')
    if not raw and cls.__name__ == 'ndarray' and cls.__module__ == 'numpy':
        if _NUMPY[0] is None:
            _NUMPY[0] = cls
            for scope in _SCOPES:
                scope['_ndarray'] = cls
        element.dtypes[obj.dtype] = view.ndim  # this dtype and shape are right for `element`
        if view.ndim == 1:
            element.vectors.add(obj.dtype)
    if not view.c_contiguous:
        raise ValueError(f'{name} must be C-contiguous')
    if not view.nbytes:
        return None, length, view
    if view.readonly:
        if out:
            raise ValueError(f'{name} must be writable')
        keep = (ctypes.c_char * view.nbytes).from_buffer_copy(view)  # the library only reads it
    else:
        keep = ctypes.c_char.from_buffer(view)
    return ctypes.addressof(keep), length, keep


# ---- arguments ----------------------------------------------------------------------

def _integer(name: str, value: Any) -> int:
    # Python's bool and numpy's bool_ both have __index__; a truth value as
    # an index is almost always a mistake, so both are refused.
    if isinstance(value, bool) or type(value).__name__ in ('bool_', 'bool'):
        raise TypeError(f'{name} must be an integer, not bool')
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f'{name} must be an integer, not {type(value).__name__}') from None


def _count(count: Any, available: int) -> int:
    if count.__class__ is not int:
        count = _integer('count', count)
    if not 0 <= count <= available:
        raise ValueError(f'count must be from 0 to {available} (the number of records), not {count}')
    return count


def _uint32(name: str, value: int) -> None:
    if not 0 <= value <= _U32:
        raise ValueError(f'{name} must be from 0 to {_U32}, not {value}')


def _int32(name: str, value: int) -> None:
    if not -2**31 <= value < 2**31:
        raise ValueError(f'{name} must be from {-2**31} to {2**31 - 1}, not {value}')


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


class Records:
    """An array of MessageRecords together with the shape of the messages
    they point to: the checked calls take one of these.

    `records` is a ctypes array of MessageRecord or any buffer of whole
    96-byte records (a read-only buffer is copied); `shape` says, for every
    message, how many presence words and how many elements of each value
    array it has, at least. Trusting that is the host's part: the checked
    calls guarantee that no index goes beyond `shape`.

    >>> import tovakwrapper as tw
    >>> array_ = (tw.MessageRecord * 3)()
    >>> records = tw.Records(array_, tw.Shape(presence_words=2, floats=4))
    >>> len(records), records.shape.floats
    (3, 4)
    """
    __slots__ = ('array', 'shape', 'count', 'address', 'limits', 'words', 'bits', '_keep')

    def __init__(self, records: Any, shape: Shape):
        if not isinstance(shape, Shape):
            raise TypeError(f'shape must be a tovakwrapper.Shape, not {type(shape).__name__}')
        size = ctypes.sizeof(MessageRecord)
        if isinstance(records, ctypes.Array) and type(records)._type_ is MessageRecord:
            held: Any = records
        else:
            try:
                view = memoryview(records)
            except TypeError:
                raise TypeError('records must be a ctypes array of MessageRecord or a buffer of '
                                f'whole 96-byte records, not {type(records).__name__}') from None
            if not view.c_contiguous:
                raise ValueError('records must be C-contiguous')
            if view.nbytes % size:
                raise ValueError(f'records must hold whole {size}-byte MessageRecords, '
                                 f'not {view.nbytes} bytes')
            if view.readonly:
                held = (MessageRecord * (view.nbytes // size)).from_buffer_copy(view)
            else:
                held = (MessageRecord * (view.nbytes // size)).from_buffer(view)
        if len(held) > _U32:
            raise ValueError(f'records must be at most {_U32} records, not {len(held)}')
        self.array = held  # the MessageRecords themselves
        self.shape = shape
        self.count = len(held)
        self.address = ctypes.addressof(held)
        self.limits = (shape.floats, shape.high_res_angles, shape.vector3fs, shape.quaternionfs,
                       shape.uint64s, shape.enums, shape.bools, shape.numbered_floats,
                       shape.io_pins, shape.leds, 0, 0)
        self.words = shape.presence_words
        self.bits = min(32 * self.words, 2**32)  # bit indices that are in range
        self._keep = records

    def __len__(self) -> int:
        return self.count

    def __repr__(self) -> str:
        return f'Records({self.count} messages, {self.shape})'


def _records(records: Any) -> Records:
    if isinstance(records, Records):
        return records
    raise TypeError('records must be a tovakwrapper.Records (the records with their shape), '
                    f'not {type(records).__name__}')


# ---- what the module knows of the library's metadata copies ------------------------

class _UnknownTable:
    def __init__(self, why: str):
        self.why = why


class _State:
    """The library's three metadata copies, as the module last passed them."""

    def __init__(self) -> None:
        self.epoch = 0
        self.metadata: Tuple[Any, ...] = ()
        self.base: Tuple[Tuple[int, ...], ...] = ((0,) * 12,) * 3  # all zero when loaded
        self.tables: Tuple[Tuple[Any, Any], ...] = ((None, None),) * 3


_TABLE_FIELDS = ('numberedFloatTable', 'pinBankTable')
_TABLE_NAMES = ('numbered-float table', 'pin-bank table')


def _held_table(meta: MessageMetadata, which: int) -> Any:
    """The table behind one of `meta`'s pointers: None when the pointer is
    null, the c_int32 array it was assigned, or _UnknownTable."""
    field = _TABLE_FIELDS[which]
    address = c_void_p.from_buffer(meta, getattr(MessageMetadata, field).offset).value
    if not address:
        return None
    given = meta.__dict__.get('_given_tables', {}).get(field)
    if (isinstance(given, ctypes.Array) and type(given)._type_ is c_int32
            and ctypes.addressof(given) == address):
        return given
    return _UnknownTable(f'{field} was not assigned a ctypes array of c_int32, so its length '
                         'is unknown')


def _table_index(state: _State, copy: int, which: int, limit: int, kind: str,
                 a_name: str, a: int, b_name: str, b: int) -> Optional[int]:
    """Value index = table[b] + a, checked; None when the table pointer is
    null (the library then touches no value and no presence bit)."""
    _int32(a_name, a)
    table = state.tables[copy][which]
    if table is None:
        _uint32(b_name, b)
        return None
    where = f"the {_COPIES[copy]} metadata's {_TABLE_NAMES[which]}"
    if table.__class__ is _UnknownTable:
        raise ValueError(f'{b_name} cannot be checked: {table.why} (in {where}); pass the '
                         'metadata to initialize() with its tables assigned as ctypes arrays '
                         'of c_int32')
    if not 0 <= b < len(table):
        raise ValueError(f'{b_name} must be from 0 to {len(table) - 1}: {where} has '
                         f'{len(table)} entries (got {b})')
    index = table[b] + a
    if not 0 <= index < limit:
        raise ValueError(f'{a_name} {a} + {where}[{b}] ({table[b]}) = {index}: must be from 0 to '
                         f'{limit - 1}, these records\' {kind} arrays hold {limit} elements')
    return index


def _beyond(name: str, value: int, records: Records, kind: int) -> ValueError:
    limit = records.limits[kind]
    if limit == 0:
        return ValueError(f'{name} {value}: these records have no {_KIND_NAMES[kind]} array '
                          '(its length in their Shape is 0)')
    return ValueError(f'{name} must be from 0 to {limit - 1}: these records\' '
                      f'{_KIND_NAMES[kind]} arrays hold {limit} elements (got {value})')


def _check_presence(state: _State, records: Records, copy: int, kind: int, offset: int,
                    what: str) -> None:
    base = state.base[copy][kind]
    bit = (base + offset) & _U32
    if bit >> 5 >= records.words:
        raise ValueError(f'{what} addresses presence bit {bit} ({_COPIES[copy]} base '
                         f'{_KIND_NAMES[kind]} {base} + {offset & _U32}, modulo 2^32), in presence '
                         f'word {bit >> 5}; these records have {records.words} presence words')


def _checker(state: _State, message: int, operation: str,
             family: str) -> Tuple[Callable[..., Any], Tuple[str, ...], bool, Optional[Tuple[int, int]]]:
    """(check, argument names, depends on metadata, (metadata copy, table) or
    None) for one accessor: check takes the records and the index arguments
    and returns them, validated."""
    element, kind, kind_name = _FAMILIES[family]
    setter = operation == 'Set'
    if family == 'Field':
        def check_bit(records: Records, bit: Any) -> int:
            if bit.__class__ is not int:
                bit = _integer('bit', bit)
            if not 0 <= bit < records.bits:
                _uint32('bit', bit)
                raise ValueError(f'bit must be from 0 to {records.bits - 1}: these records '
                                 f'have {records.words} presence words (got {bit})')
            return bit
        return check_bit, ('bit',), False, None
    if family == 'Flag':
        def check_flag(records: Records, field: Any) -> int:
            if field.__class__ is not int:
                field = _integer('field', field)
            _uint32('field', field)
            _check_presence(state, records, message, 11, field, f'field {field}')
            return field
        return check_flag, ('field',), True, None
    if kind in (7, 8):
        a_name, b_name = ('number', 'field') if kind == 7 else ('pin', 'bank')
        which = 0 if kind == 7 else 1
        # Numbered floats and the pin setters and getters address through the
        # Feedback metadata's tables; the pin queries through their own.
        copy = message if operation == 'Has' else 1
        presence = message if operation == 'Has' else 0 if setter else None

        def check_indexed(records: Records, a: Any, b: Any) -> Tuple[int, int]:
            if a.__class__ is not int:
                a = _integer(a_name, a)
            if b.__class__ is not int:
                b = _integer(b_name, b)
            index = _table_index(state, copy, which, records.limits[kind], kind_name,
                                 a_name, a, b_name, b)
            if presence is not None and index is not None:
                _check_presence(state, records, presence, kind, index,
                                f'{a_name} {a} of {b_name} {b} (value index {index})')
            return a, b
        return check_indexed, (a_name, b_name), True, (copy, which)
    assert kind is not None

    def check_field(records: Records, field: Any) -> int:
        if field.__class__ is not int:
            field = _integer('field', field)
        if not 0 <= field < records.limits[kind]:
            raise _beyond('field', field, records, kind)
        if setter:
            bit = (state.base[0][kind] + field) & _U32
            if bit >> 5 >= records.words:
                _check_presence(state, records, 0, kind, field, f'field {field}')
        return field
    return check_field, ('field',), setter, None


# The checked calls are generated, so that each has its own argument names and
# the common cases (a plain field; a ctypes, array.array or numpy buffer whose
# type was accepted before) run inline; anything else goes to check() and
# _buffer(), which convert what they can and raise with the reason. `keep`
# holds the buffer (or its export, so that it cannot be resized) until the
# native call has returned.
_GETTER = '''
def {name}(records, {args}, count=None, out=None):
    if records.__class__ is not Records:
        records = _records(records)
    n = records.count if count is None else _count(count, records.count)
{index}
    if out is None:
        out, address = element.new(n)
        keep = None
    else:
{out}
    function(address, records.address, n, {args})
    return out
'''
_SETTER = '''
def {name}(records, values, {args}, count=None):
    if records.__class__ is not Records:
        records = _records(records)
    n = records.count if count is None else _count(count, records.count)
{index}
    if values is None or ignore_values:
        address = keep = None
    else:
{values}
    function(records.address, address, n, {args})
'''
_INDEX = '''    {args} = check(records, {args})'''
_PLAIN_INDEX = '''    if (field.__class__ is not int or not 0 <= field < records.limits[{kind}]{presence}):
        field = check(records, field)'''
_PRESENCE = '''
            or ((state.base[0][{kind}] + field) & 0xFFFFFFFF) >> 5 >= records.words'''
_BUFFER = '''        cls = {buf}.__class__
        if (cls is _ndarray and {buf}.dtype in element.vectors and {buf}.ndim == 1
                and {buf}.shape[0] {compare} n):
            try:
                keep = _from_buffer({buf})  # raises unless writable and C-contiguous
                address = _addressof(keep)
            except (TypeError, ValueError):
                address, keep = _buffer('{buf}', {buf}, n, element, {is_out})
        elif cls.__base__ is _Array and cls._type_ in element.ctypes_types and len({buf}) {compare} n:
            keep = {buf}
            address = _addressof(keep)
        elif cls is _array and {buf}.typecode in element.typecodes and len({buf}) {compare} n:
            keep = _memoryview({buf})
            address = {buf}.buffer_info()[0]
        else:
            address, keep = _buffer('{buf}', {buf}, n, element, {is_out})'''


def _snake(name: str) -> str:
    """miCommandSetIoPinInt -> command_set_io_pin_int."""
    return re.sub(r'(?<!^)(?=[A-Z])', '_', name[2:]).lower().replace('u_int64', 'uint64')


def _doc(name: str, operation: str, family: str, args: Tuple[str, ...], element: _Element) -> str:
    message = _NAME.match(name).group(1)  # type: ignore[union-attr]
    what = {'Field': 'whether presence bit `bit` is set (1 or 0)',
            'Flag': 'flag `field` (1 or 0)',
            'IoPinInt': 'whether pin `pin` of bank `bank` holds a present integer (1 or 0)',
            'IoPinFloat': 'whether pin `pin` of bank `bank` holds a present float (1 or 0)'}
    what = what[family] if operation == 'Has' or family in ('Field', 'Flag') else \
        f'{family} `{", ".join(args)}`'
    rule = ("\ncount=None means every record. Raises ValueError for an index beyond the records'"
            ' shape or the tables, TypeError for a wrong element type.')
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
                out: Any = None) -> Callable[[], Any]: ...


class _GetterBit(Protocol):
    def __call__(self, records: Records, bit: SupportsIndex, count: Optional[SupportsIndex] = None,
                 out: Any = None) -> Any: ...

    def prepare(self, records: Records, bit: SupportsIndex, count: Optional[SupportsIndex] = None,
                out: Any = None) -> Callable[[], Any]: ...


class _GetterNumberField(Protocol):
    def __call__(self, records: Records, number: SupportsIndex, field: SupportsIndex,
                 count: Optional[SupportsIndex] = None, out: Any = None) -> Any: ...

    def prepare(self, records: Records, number: SupportsIndex, field: SupportsIndex,
                count: Optional[SupportsIndex] = None, out: Any = None) -> Callable[[], Any]: ...


class _GetterPinBank(Protocol):
    def __call__(self, records: Records, pin: SupportsIndex, bank: SupportsIndex,
                 count: Optional[SupportsIndex] = None, out: Any = None) -> Any: ...

    def prepare(self, records: Records, pin: SupportsIndex, bank: SupportsIndex,
                count: Optional[SupportsIndex] = None, out: Any = None) -> Callable[[], Any]: ...


class _SetterField(Protocol):
    def __call__(self, records: Records, values: Any, field: SupportsIndex,
                 count: Optional[SupportsIndex] = None) -> None: ...

    def prepare(self, records: Records, values: Any, field: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Callable[[], None]: ...


class _SetterNumberField(Protocol):
    def __call__(self, records: Records, values: Any, number: SupportsIndex, field: SupportsIndex,
                 count: Optional[SupportsIndex] = None) -> None: ...

    def prepare(self, records: Records, values: Any, number: SupportsIndex, field: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Callable[[], None]: ...


class _SetterPinBank(Protocol):
    def __call__(self, records: Records, values: Any, pin: SupportsIndex, bank: SupportsIndex,
                 count: Optional[SupportsIndex] = None) -> None: ...

    def prepare(self, records: Records, values: Any, pin: SupportsIndex, bank: SupportsIndex,
                count: Optional[SupportsIndex] = None) -> Callable[[], None]: ...


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
        self._state = _STATES.setdefault(self.raw._handle, _State())
        self.raw.miInitialize.argtypes = [METADATA, METADATA, METADATA]
        self.raw.miInitialize.restype = None
        for name in FUNCTIONS:
            message, operation, family = _NAME.match(name).groups()  # type: ignore[union-attr]
            element = UINT8 if operation == 'Has' else _FAMILIES[family][0]
            pointer = POINTER(element.ctype)
            head = [RECORDS, pointer] if operation == 'Set' else [pointer, RECORDS]
            tail = [c_int32, c_uint32] if family in ('NumberedFloat', 'IoPin', 'IoPinInt',
                                                     'IoPinFloat') else [c_uint32]
            raw = getattr(self.raw, name)
            raw.argtypes, raw.restype = head + [c_uint32] + tail, None
            fast = self.raw._FuncPtr((name, self.raw))  # the same function, with addresses
            fast.argtypes, fast.restype = [c_void_p, c_void_p, c_uint32] + tail, None
            setattr(self, _snake(name), self._checked(name, message, operation, family, element, fast))

    def _checked(self, name: str, message: str, operation: str, family: str,
                 element: _Element, function: Any) -> Callable[..., Any]:
        check, args, dynamic, table = _checker(self._state, _COPIES.index(message), operation, family)
        kind = _FAMILIES[family][1]
        if args == ('field',) and kind is not None:
            index = _PLAIN_INDEX.format(kind=kind, presence=_PRESENCE.format(kind=kind)
                                        if operation == 'Set' else '')
        else:
            index = _INDEX.format(args=', '.join(args))
        source = (_SETTER if operation == 'Set' else _GETTER).format(
            name=_snake(name), args=', '.join(args), index=index,
            out=_BUFFER.format(buf='out', compare='==', is_out=True),
            values=_BUFFER.format(buf='values', compare='>=', is_out=False))
        scope: Dict[str, Any] = dict(Records=Records, _records=_records, _count=_count,
                                     _buffer=_buffer, check=check, element=element,
                                     function=function, ignore_values=family == 'Flag',
                                     state=self._state, _array=array.array, _Array=_Array,
                                     _ndarray=_NUMPY[0] or _NoArray, _memoryview=memoryview,
                                     _addressof=ctypes.addressof,
                                     _from_buffer=ctypes.c_char.from_buffer)
        exec(compile(source, f'<tovakwrapper.{_snake(name)}>', 'exec'), scope)
        _SCOPES.append(scope)
        checked = scope[_snake(name)]
        checked.__doc__ = _doc(name, operation, family, args, element)
        checked.__qualname__ = f'Library.{_snake(name)}'
        checked.prepare = _preparer(self._state, checked.__name__, operation == 'Set', check,
                                    len(args), dynamic, table, element, function,
                                    family == 'Flag')
        return checked

    def initialize(self, command: MessageMetadata, feedback: MessageMetadata,
                   info: MessageMetadata) -> None:
        """Passes the three metadata records to the library (miInitialize).

        The library copies them and keeps reading the tables they point to,
        so this object keeps the three records and their tables alive until
        the next initialize(). Assign the tables as ctypes arrays of c_int32,
        so that the checked calls know their lengths.
        """
        given = (command, feedback, info)
        for label, meta in zip(('command', 'feedback', 'info'), given):
            if not isinstance(meta, MessageMetadata):
                raise TypeError(f'{label} must be a tovakwrapper.MessageMetadata, not '
                                f'{type(meta).__name__}')
        base = tuple(tuple(meta.base) for meta in given)
        tables = tuple((_held_table(meta, 0), _held_table(meta, 1)) for meta in given)
        self.raw.miInitialize(command, feedback, info)
        state = self._state
        state.metadata, state.base, state.tables = given, base, tables
        state.epoch += 1


_STATES: Dict[int, _State] = {}


def _preparer(state: _State, name: str, setter: bool, check: Callable[..., Any], nargs: int,
              dynamic: bool, table: Optional[Tuple[int, int]], element: _Element, function: Any,
              ignore_values: bool) -> Callable[..., Any]:
    def prepare(records: Records, *args: Any, count: Optional[int] = None,
                out: Any = None) -> Callable[[], Any]:
        """A call bound once to its records, arguments and buffer.

        Calling it (with no arguments) makes the native call again and returns
        the output buffer (getters) or None (setters). It checks again only
        what can change between calls: the metadata after initialize() and
        the table entry it reads. It keeps its buffer referenced (and so not
        resizable) for as long as it exists.
        """
        records = _records(records)
        values = None
        if setter:
            if not args:
                raise TypeError(f'{name}.prepare() needs the values buffer after records')
            values, args = args[0], args[1:]
        if len(args) != nargs or (setter and out is not None):
            raise TypeError(f'{name}.prepare() takes records, {"values, " if setter else ""}'
                            f'{nargs} index argument{"s" if nargs > 1 else ""}, count=, '
                            f'{"" if setter else "out="}')
        n = records.count if count is None else _count(count, records.count)
        checked = check(records, *args)
        tail = checked if nargs == 2 else (checked,)
        if setter:
            address, keep = (None, None) if values is None or ignore_values else \
                _buffer('values', values, n, element, False)
            native = (records.address, address, n) + tail
        else:
            if out is None:
                out, address = element.new(n)
                keep = out
            else:
                address, keep = _buffer('out', out, n, element, True)
            native = (address, records.address, n) + tail
        return _bind(state, function, native, out, keep, records, check, args, dynamic, table)
    return prepare


def _bind(state: _State, function: Any, native: Tuple[Any, ...], out: Any, keep: Any,
          records: Records, check: Callable[..., Any], args: Tuple[Any, ...],
          dynamic: bool, copy_which: Optional[Tuple[int, int]]) -> Callable[[], Any]:
    if len(native) == 4:
        a, b, n, c = native
        if not dynamic:
            def run() -> Any:
                function(a, b, n, c)
                return out
            run.keep = (keep, records)  # type: ignore[attr-defined]
            return run
        epoch = [state.epoch]

        def run_checked() -> Any:
            if state.epoch != epoch[0]:
                check(records, *args)  # raises if the new metadata makes it unsafe
                epoch[0] = state.epoch
            function(a, b, n, c)
            return out
        run_checked.keep = (keep, records)  # type: ignore[attr-defined]
        return run_checked
    a, b, n, c, d = native
    # Indexed accessors: the table entry may change between calls.
    assert copy_which is not None
    mark = [state.epoch, _entry(state, copy_which, d)]

    def run_indexed() -> Any:
        if state.epoch != mark[0] or _entry(state, copy_which, d) != mark[1]:
            check(records, *args)
            mark[0], mark[1] = state.epoch, _entry(state, copy_which, d)
        function(a, b, n, c, d)
        return out
    run_indexed.keep = (keep, records)  # type: ignore[attr-defined]
    return run_indexed


def _entry(state: _State, copy_which: Tuple[int, int], index: int) -> Any:
    table = state.tables[copy_which[0]][copy_which[1]]
    if table is None or table.__class__ is _UnknownTable or not 0 <= index < len(table):
        return table
    return table[index]


# ---- finding the library ------------------------------------------------------------

# The SONAME of the release this module is written for, then the development
# link an uninstalled or -dev install provides.
SONAME = 'libtovakWrapper.so.0.1'
_NAMES = (SONAME, 'libtovakWrapper.so')


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
