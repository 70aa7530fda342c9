#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the differential fuzzer's seed corpus: for every accessor, a run
that initializes sane metadata and calls it over twelve messages (with
values, for setters), plus seeds for calls before initialization, a count of
0, a table edit, angles at the edges of the conversion, and call lists. The
input format is described in DifferentialFuzzer.cpp; the accessors and their
order are read from the accessor list, include/tovakWrapperAccessors.h.

Run from this folder:  python3 make_seeds.py [FOLDER]   (default: corpus)
"""
import os
import random
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ACCESSORS = os.path.join(HERE, '..', 'include', 'tovakWrapperAccessors.h')
# Bytes per element of each element type the list names.
WIDTHS = {'float': 4, 'double': 8, 'MiVector3f': 12, 'MiQuaternionf': 16, 'uint64_t': 8,
          'int64_t': 8, 'int32_t': 4, 'uint32_t': 4, 'uint8_t': 1, 'IoPinEntry': 16}
with open(ACCESSORS) as header:
    ENTRIES = re.findall(r'^    X\(\s*(\d+),(.*?)\)(?: \\)?$', header.read(), re.M)
# (name, operation, element width), in the order of the call values 1, 2, ...
FUNCTIONS = []
for value, rest in ENTRIES:
    _, function, _, _, op, _, _, _, element = (field.strip() for field in rest.split(','))
    assert int(value) == len(FUNCTIONS) + 1, (value, function)
    FUNCTIONS.append((function, op, WIDTHS[element]))
COUNT = len(FUNCTIONS)
INITIALIZE, EDIT_TABLE, CALL_LIST = COUNT, COUNT + 1, COUNT + 2
UNKNOWN_ZERO, UNKNOWN_U32 = COUNT, COUNT + 1  # call-list choices naming no accessor
MESSAGES, ELEMENTS, TABLE_LENGTH = 12, 8, 4


def header(rng, messages=MESSAGES):
    out = struct.pack('<Q', rng.getrandbits(64))
    out += bytes([messages, 5, 0])          # 6 storages: records i and i+6 alias
    out += bytes([3, ELEMENTS - 1, TABLE_LENGTH - 1])  # 4 presence words
    return out


def initialize():
    out = bytes([INITIALIZE])
    for table in range(6):                  # small entries, one negative
        for e in range(TABLE_LENGTH):
            out += bytes([1, 1]) if (table, e) == (3, 3) else bytes([0, e])
    for which in range(3):                  # bases 8k + which: all bits in 4 words
        for k in range(12):
            out += bytes([0, 8 * k + which])
        out += bytes([0xFF])                # both tables present
    return out


def index_of(name):
    return next(i for i, f in enumerate(FUNCTIONS) if f[0] == name)


def call(index, rng, count=MESSAGES, values=True):
    _, op, width = FUNCTIONS[index]
    flags = (1 if values else 0) | (1 << 2)     # aim at an element
    out = bytes([index, count, 0, flags, rng.randrange(ELEMENTS), rng.randrange(TABLE_LENGTH)])
    if op == 'SET' and values:
        out += bytes(rng.getrandbits(8) for _ in range(count * width))
    return out


# Angles at the edges of the conversion: exactly 2^63 turns (out of range:
# INT64_MIN revolutions), exactly -2^63 turns (in range) and their
# neighbours, NaNs (quiet, negative, signalling, with payload), infinities.
ANGLE_RANGE_EDGES = [
    0x440921FB54442D18, 0xC40921FB54442D18, 0x440921FB54442D17, 0xC40921FB54442D19,
    0x7FF8000000000000, 0xFFF8000000000000, 0x7FF0000000000001, 0x7FF4DEADBEEF0001,
    0x7FF0000000000000, 0xFFF0000000000000, 0x0000000000000000, 0x401921FB54442D18,
]
# Angles whose float offset lands on the largest float, between it and the
# midpoint to 2^128 (rounds down), on the midpoint and past it (infinity).
ANGLE_OFFSET_OVERFLOW = [
    0x47EFFFFFE0000000, 0x47EFFFFFE0000001, 0x47EFFFFFE8000000, 0x47EFFFFFEFFFFFFF,
    0x47EFFFFFF0000000, 0x47EFFFFFF0000001, 0xC7EFFFFFE0000001, 0xC7EFFFFFEFFFFFFF,
    0xC7EFFFFFF0000000, 0xC7EFFFFFF0000001, 0x47F0000000000000, 0xC7F0000000000000,
]


def angle_calls(rng, bits):
    """Sets the angles given as bit patterns in one call, then reads them
    back through the three getters."""
    set_index = index_of('miCommandSetHighResAngle')
    field = rng.randrange(ELEMENTS)
    out = bytes([set_index, len(bits), 0, 1 | (1 << 2), field, 0])
    out += b''.join(struct.pack('<Q', b) for b in bits)
    for name in ('miCommandGetHighResAngle', 'miFeedbackGetHighResAngle', 'miInfoGetHighResAngle'):
        out += bytes([index_of(name), len(bits), 0, 1 << 2, field, 0])
    return out


def main(folder):
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(20261208)
    seeds = {}
    for i, (name, op, _) in enumerate(FUNCTIONS):
        seeds[name] = header(rng) + initialize() + call(i, rng)
        if op == 'SET':
            seeds[name + '-null-values'] = header(rng) + initialize() + call(i, rng, values=False)
    seeds['before-initialize'] = header(rng) + b''.join(call(i, rng) for i in range(COUNT))
    seeds['count-zero'] = header(rng) + initialize() + b''.join(
        call(i, rng, count=0) for i in range(COUNT))
    # 1030 messages (byte 246: past the getters' read-ahead threshold) and
    # calls over all of them (count byte 250).
    seeds['large-count'] = header(rng, messages=246) + initialize() + b''.join(
        call(i, rng, count=250, values=False) for i in range(COUNT))
    # A numbered-float getter, the Feedback numbered-float table's entry 2
    # edited, the getter again.
    get = index_of('miCommandGetNumberedFloat')
    seeds['table-edit'] = (header(rng) + initialize() + call(get, rng) + bytes([EDIT_TABLE, 2, 2])
                           + struct.pack('<i', 5) + call(get, rng))
    seeds['angle-range-edges'] = header(rng) + initialize() + angle_calls(rng, ANGLE_RANGE_EDGES)
    seeds['angle-offset-overflow'] = header(rng) + initialize() + angle_calls(rng, ANGLE_OFFSET_OVERFLOW)
    # Call lists: every accessor once over lists of 16; values naming no
    # accessor (0, a u32 just past the last value and one of 0x101) between a
    # setter and a getter of the same field; an empty list, and an empty NULL
    # list.
    lists = b''
    for first in range(0, COUNT, 16):
        chosen = range(first, min(first + 16, COUNT))
        lists += bytes([CALL_LIST, len(chosen)]) + b''.join(call(i, rng) for i in chosen)
    seeds['call-lists'] = header(rng) + initialize() + lists
    seeds['call-list-unknown-values'] = (
        header(rng) + initialize() + bytes([CALL_LIST, 5]) + call(0, rng) + bytes([UNKNOWN_ZERO])
        + bytes([UNKNOWN_U32]) + struct.pack('<I', COUNT + 1) + bytes([UNKNOWN_U32 + 6])
        + struct.pack('<I', 0x101) + call(1, rng) + bytes([CALL_LIST, 0, CALL_LIST, 17]))
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
    print(f'{len(seeds)} seeds in {folder}')


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, 'corpus'))
