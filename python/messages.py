# SPDX-License-Identifier: MIT
"""A small message group allocated with ctypes: the Python counterpart of
the simulated message library, for the tests and the batching benchmark."""
import ctypes

import tovakwrapper as tw

FIELDS = 4  # fields of every kind
PINS = 8    # entries in the numbered-float and pin arrays


class Group:
    """`count` messages, each with storage of its own, their records, and a
    metadata record whose presence bits start at `first_bit`, kind after
    kind, with two numbered-float fields and two pin banks of four."""

    def __init__(self, first_bit=0, count=4):
        self.storage = []
        self.records = (tw.MessageRecord * count)()
        kinds = [('floats', ctypes.c_float), ('highResAngles', tw.HighResAngleEntry),
                 ('vector3fs', tw.MiVector3f), ('quaternionfs', tw.MiQuaternionf),
                 ('uint64s', ctypes.c_uint64), ('enums', ctypes.c_int32), ('bools', ctypes.c_uint8),
                 ('numberedFloats', ctypes.c_float), ('ioPins', tw.IoPinEntry),
                 ('leds', ctypes.c_uint32)]
        for i in range(count):
            message = {'presence': (ctypes.c_uint32 * 8)()}
            self.records[i].presence = message['presence']
            for name, ctype in kinds:
                message[name] = (ctype * (PINS if name in ('numberedFloats', 'ioPins') else FIELDS))()
                setattr(self.records[i], name, message[name])
            self.storage.append(message)
        self.meta = tw.MessageMetadata()
        self.tables = (ctypes.c_int32 * 2)(0, 4)
        for k in range(12):
            self.meta.base[k] = first_bit + k * PINS
        self.meta.numberedFloatTable = self.tables
        self.meta.pinBankTable = self.tables

    def present(self, i, bit):
        return bool(self.storage[i]['presence'][bit >> 5] >> (bit & 31) & 1)
