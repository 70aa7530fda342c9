# SPDX-License-Identifier: MIT
"""A small message group allocated with ctypes, to try the library with: the
Python counterpart of the simulated message library of the C++ tests.

>>> from tovakwrapper.simulated import Group
>>> group = Group(first_bit=3, count=2, message='feedback')
>>> len(group.records), group.records.shape.floats, group.meta.base[0]
(2, 4, 3)
"""
from __future__ import annotations

import ctypes
from typing import Any, Dict, List, Optional, Tuple

from ._layouts import (HighResAngleEntry, IoPinEntry, MessageMetadata, MessageRecord, MiQuaternionf,
                       MiVector3f, Shape)
from ._native import Records

FIELDS = 4  # fields of every kind
PINS = 8    # entries in the numbered-float and pin arrays
WORDS = 8   # presence words per message

SHAPE = Shape(presence_words=WORDS, floats=FIELDS, high_res_angles=FIELDS, vector3fs=FIELDS,
              quaternionfs=FIELDS, uint64s=FIELDS, enums=FIELDS, bools=FIELDS,
              numbered_floats=PINS, io_pins=PINS, leds=FIELDS)
KINDS: List[Tuple[str, Any]] = [
    ('floats', ctypes.c_float), ('highResAngles', HighResAngleEntry), ('vector3fs', MiVector3f),
    ('quaternionfs', MiQuaternionf), ('uint64s', ctypes.c_uint64), ('enums', ctypes.c_int32),
    ('bools', ctypes.c_uint8), ('numberedFloats', ctypes.c_float), ('ioPins', IoPinEntry),
    ('leds', ctypes.c_uint32)]


class Group:
    """`count` messages, each with storage of its own; `array`, their
    MessageRecords; `records`, a tovakwrapper.Records of them (shape SHAPE,
    of `message` when given); and `meta`, a metadata record whose presence
    bits start at `first_bit`, kind after kind, with two numbered-float
    fields and two pin banks of four (`tables`, {0, 4})."""

    def __init__(self, first_bit: int = 0, count: int = 4, message: Optional[str] = None):
        self.storage: List[Dict[str, Any]] = []
        self.array = (MessageRecord * count)()
        for i in range(count):
            message_storage: Dict[str, Any] = {'presence': (ctypes.c_uint32 * WORDS)()}
            self.array[i].presence = message_storage['presence']
            for name, ctype in KINDS:
                length = PINS if name in ('numberedFloats', 'ioPins') else FIELDS
                message_storage[name] = (ctype * length)()
                setattr(self.array[i], name, message_storage[name])
            self.storage.append(message_storage)
        self.records = Records(self.array, SHAPE, message)
        self.meta = MessageMetadata()
        self.tables = (ctypes.c_int32 * 2)(0, 4)
        for k in range(12):
            self.meta.base[k] = first_bit + k * PINS
        self.meta.numberedFloatTable = self.tables
        self.meta.pinBankTable = self.tables

    def present(self, i: int, bit: int) -> bool:
        """Whether presence bit `bit` of message `i` is set."""
        return bool(self.storage[i]['presence'][bit >> 5] >> (bit & 31) & 1)
