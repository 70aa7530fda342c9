# SPDX-License-Identifier: MIT
"""The records that cross the library's boundary, as ctypes structures."""
from __future__ import annotations

import ctypes
import enum
from ctypes import POINTER, c_float, c_int32, c_int64, c_uint8, c_uint32, c_uint64
from typing import Any, Dict, Tuple


class KIND(enum.IntEnum):
    """The field kinds, in the order that indexes a record's value arrays and
    the metadata's bases: ``tw.KIND.FLOAT`` and ``tw.KIND['FLOAT']`` are both 0."""
    FLOAT = 0
    HIGH_RES_ANGLE = 1
    VECTOR3F = 2
    QUATERNIONF = 3
    UINT64 = 4
    ENUM = 5
    BOOL = 6
    NUMBERED_FLOAT = 7
    IO_PIN = 8
    LED = 9
    RESERVED = 10
    FLAG = 11

IO_PIN_TAG_INT = 1
IO_PIN_TAG_FLOAT = 2


class MiVector3f(ctypes.Structure):
    _fields_ = [('v', c_float * 3)]


class MiQuaternionf(ctypes.Structure):
    _fields_ = [('q', c_float * 4)]


class HighResAngleEntry(ctypes.Structure):
    _fields_ = [('revolutions', c_int64), ('offset', c_float), ('padding', c_uint32)]


class MiIoPinValue(ctypes.Union):
    _fields_ = [('asInt', c_int64), ('asFloat', c_float), ('bytes', c_uint8 * 8)]


class IoPinEntry(ctypes.Structure):
    _fields_ = [('value', MiIoPinValue), ('tag', c_uint32), ('padding', c_uint32)]


class MessageRecord(ctypes.Structure):
    _fields_ = [('presence', POINTER(c_uint32)), ('floats', POINTER(c_float)),
                ('highResAngles', POINTER(HighResAngleEntry)),
                ('vector3fs', POINTER(MiVector3f)), ('quaternionfs', POINTER(MiQuaternionf)),
                ('uint64s', POINTER(c_uint64)), ('enums', POINTER(c_int32)),
                ('bools', POINTER(c_uint8)), ('numberedFloats', POINTER(c_float)),
                ('ioPins', POINTER(IoPinEntry)), ('leds', POINTER(c_uint32)),
                ('reserved', ctypes.c_void_p)]


class MiCall(ctypes.Structure):
    """One accessor call of a call list (libtovakWrapperCalls)."""
    _fields_ = [('accessor', c_uint32), ('count', c_uint32), ('number', c_int32),
                ('field', c_uint32), ('records', POINTER(MessageRecord)),
                ('buffer', ctypes.c_void_p)]


_TABLES = ('numberedFloatTable', 'pinBankTable')


class MessageMetadata(ctypes.Structure):
    """Where one kind of message keeps its presence bits.

    Assign each table as a ctypes array of c_int32, so that the checked calls
    know its length: ``meta.pinBankTable = (ctypes.c_int32 * 2)(0, 4)``.
    The metadata remembers the array it was given (and keeps it alive).
    """
    _fields_ = [('opaque0', c_uint8 * 48), ('base', c_uint32 * 12),
                ('numberedFloatTable', POINTER(c_int32)), ('opaque1', c_uint64),
                ('pinBankTable', POINTER(c_int32)), ('opaque2', c_uint64), ('opaque3', c_uint32)]

    def __setattr__(self, name: str, value: Any) -> None:
        super().__setattr__(name, value)
        if name in _TABLES:
            self.__dict__.setdefault('_given_tables', {})[name] = value


# The sizes and offsets the library's header fixes; checked at import.
LAYOUT: Dict[str, Tuple[int, Dict[str, int]]] = {
    'MiVector3f': (12, {}),
    'MiQuaternionf': (16, {}),
    'HighResAngleEntry': (16, {'revolutions': 0, 'offset': 8, 'padding': 12}),
    'IoPinEntry': (16, {'value': 0, 'tag': 8, 'padding': 12}),
    'MessageRecord': (96, {'presence': 0, 'floats': 8, 'highResAngles': 16, 'vector3fs': 24,
                           'quaternionfs': 32, 'uint64s': 40, 'enums': 48, 'bools': 56,
                           'numberedFloats': 64, 'ioPins': 72, 'leds': 80, 'reserved': 88}),
    'MiCall': (32, {'accessor': 0, 'count': 4, 'number': 8, 'field': 12, 'records': 16,
                    'buffer': 24}),
    'MessageMetadata': (136, {'base': 48, 'numberedFloatTable': 96, 'opaque1': 104,
                              'pinBankTable': 112, 'opaque2': 120, 'opaque3': 128}),
}


def _check_layouts() -> None:
    for name, (size, offsets) in LAYOUT.items():
        cls = globals()[name]
        if ctypes.sizeof(cls) != size:
            raise ImportError(f'{name} is {ctypes.sizeof(cls)} bytes here, not {size}')
        for field, offset in offsets.items():
            if getattr(cls, field).offset != offset:
                raise ImportError(f'{name}.{field} is at {getattr(cls, field).offset}, not {offset}')


_check_layouts()
