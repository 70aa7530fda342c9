#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Bring your own messages, in Python: the message library of
examples/own_messages.c (one Command and one Feedback kind, the same layout,
presence-bit numbering and tables) over storage this example allocates
itself with numpy, described to tovakwrapper and driven through the package's
checked calls. docs/messages.md walks through both. It checks that every
value and presence bit lands where its own numbering says, prints what the C
example prints, and exits with 1 if a value is not where it should be. With
the interpreter of an environment where the package is installed (the
README's pip install):

    venv/bin/python examples/own_messages.py
"""
import ctypes

import numpy

import tovakwrapper as tw

DEVICES = 3

# The element types of the library's value arrays that these messages use,
# as numpy types with C's layout: a pin entry (an integer or a float in the
# same 8 bytes, then its tag) and a high-resolution angle.
PIN = numpy.dtype({'names': ['as_int', 'as_float', 'tag', 'padding'],
                   'formats': ['<i8', '<f4', '<u4', '<u4'], 'offsets': [0, 0, 8, 12],
                   'itemsize': 16}, align=True)
ANGLE = numpy.dtype([('revolutions', '<i8'), ('offset', '<f4'), ('padding', '<u4')], align=True)

# A Command message: the fields of each kind in one array, in field order,
# and one presence word, enough for its 15 presence bits. A numpy structured
# type with align=True lays it out as C lays out examples/own_messages.c's
# struct Command.
COMMAND = numpy.dtype([
    ('presence', '<u4', (1,)),
    ('floats', '<f4', (2,)),    # Float 0 speed (rad/s), Float 1 torque limit (N m)
    ('enums', '<i4', (1,)),     # Enum 0 mode
    ('numbered', '<f4', (5,)),  # numbered-float field 0, gains P I D: elements 0-2;
                                # field 1, filter: elements 3-4
    ('pins', PIN, (6,)),        # pin bank 0, digital outputs: entries 0-3;
                                # bank 1, analog outputs: entries 4-5
], align=True)                  # and Flag 0, enable: a presence bit, no value

# A Feedback message, the same way.
FEEDBACK = numpy.dtype([
    ('presence', '<u4', (1,)),
    ('floats', '<f4', (2,)),    # Float 0 speed, Float 1 current (A)
    ('angles', ANGLE, (1,)),    # HighResAngle 0 position
    ('numbered', '<f4', (5,)),  # the same numbered-float fields: the gains in use
    ('pins', PIN, (6,)),        # the same banks: bank 1 holds the analog inputs
], align=True)                  # and Flag 0, fault

# The presence bits, in this library's own order: the first bit of each
# kind's run. Field f of a kind is its first bit + f; numbered-float element e
# and pin entry e likewise.
COMMAND_ENABLE_BIT = 0      # bit 0: Flag 0
COMMAND_FLOAT_BITS = 1      # bits 1-2: Float 0-1
COMMAND_ENUM_BITS = 3       # bit 3: Enum 0
COMMAND_NUMBERED_BITS = 4   # bits 4-8: numbered-float elements 0-4
COMMAND_PIN_BITS = 9        # bits 9-14: pin entries 0-5
FEEDBACK_FLOAT_BITS = 0     # bits 0-1: Float 0-1
FEEDBACK_ANGLE_BITS = 2     # bit 2: HighResAngle 0
FEEDBACK_NUMBERED_BITS = 3  # bits 3-7: numbered-float elements 0-4
FEEDBACK_PIN_BITS = 8       # bits 8-13: pin entries 0-5
FEEDBACK_FAULT_BIT = 14     # bit 14: Flag 0

# Where each numbered-float field and each pin bank starts: an element of the
# array, and as many bits after the kind's first bit. Both kinds use these.
# ctypes int32 arrays, so that the checked calls know their length.
NUMBERED_STARTS = (ctypes.c_int32 * 2)(0, 3)  # gains, filter
BANK_STARTS = (ctypes.c_int32 * 2)(0, 4)      # digital outputs, analog

# The message library's storage: one structured array per kind, zeroed. The
# records point into it: keep it alive, and never resize it.
commands = numpy.zeros(DEVICES, COMMAND)
feedback = numpy.zeros(DEVICES, FEEDBACK)

# The record pointer (a MessageRecord field) for each array of each kind of
# message. Pointers to kinds the message does not have stay NULL; no accessor
# of those kinds is ever called on it.
COMMAND_ARRAYS = {'presence': 'presence', 'floats': 'floats', 'enums': 'enums',
                  'numberedFloats': 'numbered', 'ioPins': 'pins'}
FEEDBACK_ARRAYS = {'presence': 'presence', 'floats': 'floats', 'highResAngles': 'angles',
                   'numberedFloats': 'numbered', 'ioPins': 'pins'}
POINTER_TYPES = dict(tw.MessageRecord._fields_)


def records_of(messages, arrays):
    """A record per message: where it keeps its presence words and its value
    arrays, each pointer set to the address of the message's array."""
    records = (tw.MessageRecord * len(messages))()
    for i, record in enumerate(records):
        message = messages.ctypes.data + i * messages.itemsize
        for pointer, field in arrays.items():
            address = message + messages.dtype.fields[field][1]
            setattr(record, pointer, ctypes.cast(address, POINTER_TYPES[pointer]))
    return records


# The records, with the shape of the messages they point to: the presence
# words and the length of each value array (0, a kind they do not have). Every
# index a checked call computes is checked against it.
command_records = tw.Records(records_of(commands, COMMAND_ARRAYS),
                             tw.Shape(presence_words=1, floats=2, enums=1, numbered_floats=5,
                                      io_pins=6), 'command')
feedback_records = tw.Records(records_of(feedback, FEEDBACK_ARRAYS),
                              tw.Shape(presence_words=1, floats=2, high_res_angles=1,
                                       numbered_floats=5, io_pins=6), 'feedback')

failures = 0


def check(ok, what, device):
    global failures
    if not ok:
        print(f'FAILED: {what}, device {device}')
        failures += 1


lib = tw.load()
speed = numpy.float32([1.5, -2.0, 0.25])
gain_i = numpy.float32([0.5, 0.75, 1.0])
mode = numpy.int32([1, 2, 1])
output = numpy.int64([1, 0, 1])

# The metadata: each kind's first presence bit, and the tables.
command_meta, feedback_meta, info_meta = (tw.MessageMetadata() for _ in range(3))
command_meta.base[tw.KIND.FLAG] = COMMAND_ENABLE_BIT
command_meta.base[tw.KIND.FLOAT] = COMMAND_FLOAT_BITS
command_meta.base[tw.KIND.ENUM] = COMMAND_ENUM_BITS
command_meta.base[tw.KIND.NUMBERED_FLOAT] = COMMAND_NUMBERED_BITS
command_meta.base[tw.KIND.IO_PIN] = COMMAND_PIN_BITS
command_meta.numberedFloatTable = NUMBERED_STARTS
command_meta.pinBankTable = BANK_STARTS
feedback_meta.base[tw.KIND.FLOAT] = FEEDBACK_FLOAT_BITS
feedback_meta.base[tw.KIND.HIGH_RES_ANGLE] = FEEDBACK_ANGLE_BITS
feedback_meta.base[tw.KIND.NUMBERED_FLOAT] = FEEDBACK_NUMBERED_BITS
feedback_meta.base[tw.KIND.IO_PIN] = FEEDBACK_PIN_BITS
feedback_meta.base[tw.KIND.FLAG] = FEEDBACK_FAULT_BIT
feedback_meta.numberedFloatTable = NUMBERED_STARTS
feedback_meta.pinBankTable = BANK_STARTS
# The bytes tovakWrapper never reads are this library's own.
command_meta.opaque0[:8] = b'Command\0'
feedback_meta.opaque0[:9] = b'Feedback\0'
# No Info messages here: info_meta stays zeroed.
lib.initialize(command_meta, feedback_meta, info_meta)

# Command: five fields of all three messages, one call each. Numbered
# floats take (number, field) and pins (pin, bank), in that order.
lib.command_set_float(command_records, speed, 0)            # speed
lib.command_set_enum(command_records, mode, 0)              # mode
lib.command_set_numbered_float(command_records, gain_i, 1, 0)  # gain I
lib.command_set_io_pin_int(command_records, output, 2, 0)   # output 2
lib.command_set_flag(command_records, None, 0)              # enable
# Queries: "Float 1 present?" takes the bit itself; pins, (pin, bank).
torque_set = lib.command_has_field(command_records, COMMAND_FLOAT_BITS + 1)
output_set = lib.command_has_io_pin_int(command_records, 2, 0)
# A field the messages do not have is refused, and nothing is written.
before = commands.tobytes()
try:
    lib.command_set_float(command_records, speed, 2)  # Float 2: the shape says 2 floats
    check(False, 'Float 2 refused', 0)
except ValueError:
    check(commands.tobytes() == before, 'nothing written by a refused call', 0)

print(f'Command messages, after 5 setter calls and 2 queries over all {DEVICES}:')
print('device  speed  mode  gain I  output 2  presence  torque limit set')
expected = (1 << COMMAND_ENABLE_BIT | 1 << (COMMAND_FLOAT_BITS + 0) | 1 << (COMMAND_ENUM_BITS + 0)
            | 1 << (COMMAND_NUMBERED_BITS + NUMBERED_STARTS[0] + 1)
            | 1 << (COMMAND_PIN_BITS + BANK_STARTS[0] + 2))
for i, c in enumerate(commands):
    pin = c['pins'][BANK_STARTS[0] + 2]
    print(f"{i:6d} {c['floats'][0]:6.2f} {c['enums'][0]:5d} "
          f"{c['numbered'][NUMBERED_STARTS[0] + 1]:7.2f} {pin['as_int']:9d}    "
          f"0x{c['presence'][0]:04x}  {'yes' if torque_set[i] else 'no'}")
    check(c['floats'][0] == speed[i] and c['enums'][0] == mode[i], 'speed and mode', i)
    check(c['numbered'][1] == gain_i[i], 'gain I at element 0 + 1', i)
    check(pin['as_int'] == output[i] and pin['tag'] == tw.IO_PIN_TAG_INT,
          'output 2 at entry 0 + 2', i)
    check(c['presence'][0] == expected, "presence bits by this library's numbering", i)
    check(not torque_set[i] and output_set[i], 'torque limit absent, output 2 present', i)

# The devices answer: the message library fills the Feedback messages it
# receives, marking each field present by its own numbering. Device 1
# reports a fault and no analog input.
for i, f in enumerate(feedback):
    f['angles'][0]['revolutions'] = i  # i whole turns and 0.5 rad
    f['angles'][0]['offset'] = 0.5
    f['numbered'][NUMBERED_STARTS[0] + 1] = commands[i]['numbered'][NUMBERED_STARTS[0] + 1]
    f['presence'][0] |= (1 << FEEDBACK_ANGLE_BITS
                         | 1 << (FEEDBACK_NUMBERED_BITS + NUMBERED_STARTS[0] + 1))
    if i == 1:
        f['presence'][0] |= 1 << FEEDBACK_FAULT_BIT
    else:
        f['pins'][BANK_STARTS[1] + 0]['as_float'] = 1.25 * (i + 1)
        f['pins'][BANK_STARTS[1] + 0]['tag'] = tw.IO_PIN_TAG_FLOAT
        f['presence'][0] |= 1 << (FEEDBACK_PIN_BITS + BANK_STARTS[1] + 0)

# Feedback: three fields, a pin's presence and a flag, one call each.
position = lib.feedback_get_high_res_angle(feedback_records, 0)
gain_in_use = lib.feedback_get_numbered_float(feedback_records, 1, 0)  # gain I
analog = lib.feedback_get_io_pin_float(feedback_records, 0, 1)         # analog 0
has_analog = lib.feedback_has_io_pin_float(feedback_records, 0, 1)
fault = lib.feedback_has_field(feedback_records, FEEDBACK_FAULT_BIT)

print(f'\nFeedback messages, read with 5 calls over all {DEVICES}:')
print('device  position  gain I  analog 0  fault')
for i in range(DEVICES):
    analog_text = f'{analog[i]:.2f}' if has_analog[i] else '-'
    print(f"{i:6d} {position[i]:9.4f} {gain_in_use[i]:7.2f} {analog_text:>9}  "
          f"{'yes' if fault[i] else 'no'}")
    check(position[i] == 0.5 + i * 6.283185307179586, 'position', i)
    check(gain_in_use[i] == gain_i[i], 'gain I in use', i)
    check(has_analog[i] == (i != 1) and fault[i] == (i == 1), 'analog input and fault', i)
    check(not has_analog[i] or analog[i] == numpy.float32(1.25 * (i + 1)), 'analog input', i)
print('\n' + ("Some values were not where this library's numbering puts them." if failures else
              "Every value and presence bit is where this library's numbering puts it."))
raise SystemExit(1 if failures else 0)
