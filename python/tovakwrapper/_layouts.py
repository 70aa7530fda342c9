# SPDX-License-Identifier: MIT
"""The records that cross the library's boundary, as ctypes structures, and
the Shape that Records carry. Nothing here imports the extension, which reads
Shape and MessageMetadata from this module."""
from __future__ import annotations

import ctypes
import operator
from ctypes import POINTER, c_float, c_int32, c_int64, c_uint8, c_uint32, c_uint64
from dataclasses import dataclass, fields
from typing import Any

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
        if name in ('numberedFloatTable', 'pinBankTable'):
            self.__dict__.setdefault('_given_tables', {})[name] = value


RECORDS = POINTER(MessageRecord)
METADATA = POINTER(MessageMetadata)


@dataclass(frozen=True)
class Shape:
    """How long each array of every message is, at least: presence_words
    32-bit presence words, and that many elements in each value array (0 for
    an array the messages do not have)."""
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
            value = getattr(self, f.name)
            if type(value) is bool:
                raise TypeError(f'{f.name} must be an integer, not bool')
            object.__setattr__(self, f.name, operator.index(value))
