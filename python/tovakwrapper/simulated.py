# SPDX-License-Identifier: MIT
"""A small message group allocated with ctypes, to try the library with, and
simulated devices that answer: the Python counterpart of the simulated
message library of the C++ tests (sim/MessageSim.hpp), step() included.

>>> from tovakwrapper.simulated import Group
>>> group = Group(first_bit=3, count=2, message='feedback')
>>> len(group.records), group.records.shape.floats, group.meta.base[0], group.meta.base[1]
(2, 4, 3, 11)
"""
from __future__ import annotations

import ctypes
import math
import struct
from typing import Any, Dict, List, Optional, Tuple

from ._layouts import (HighResAngleEntry, IoPinEntry, MessageMetadata, MessageRecord, MiQuaternionf,
                       MiVector3f, Shape)
from ._native import Records

FIELDS = 4  # fields of every kind, flags included
PINS = 8    # entries in the numbered-float and pin arrays; presence bits per kind
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
    of `message` when given); and `meta`, their metadata record.

    `first_bit` is the presence bit of the first field of the first kind
    (Float field 0), and each kind's run of bits starts PINS bits after the
    previous one: base[k] = first_bit + 8k (so Float field f has bit
    first_bit + f, flag f bit first_bit + 88 + f). Every kind has FIELDS
    fields (flags included), and two numbered-float fields and two pin banks
    of four, whose tables are `tables`, {0, 4}."""

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


# ---- Simulated devices: sim::step of sim/MessageSim.hpp, rule for rule ------


def _f32(x: float) -> float:
    """`x` rounded to single precision. The sum, difference or product of two
    single-precision values, computed in double and then rounded so, is the
    single-precision operation's result bit for bit (double carries more than
    twice float's 24 bits plus two), as the C++ devices compute it."""
    return float(struct.unpack('<f', struct.pack('<f', x))[0])


STEP_SECONDS = 0.25            # sim::kStepSeconds: one control-loop step
MAX_SPEED = 64.0               # sim::kMaxSpeed, rad/s
TURN = _f32(2 * math.pi)       # sim::kTurn: 2 pi rounded to single precision, 6.2831855
FLAG = 11                      # the kind index of flags
# The kinds echoed, by storage name and kind index: Float, Enum, Bool,
# NumberedFloat, IoPin, Led.
ECHOED: Tuple[Tuple[str, int], ...] = (('floats', 0), ('enums', 5), ('bools', 6),
                                       ('numberedFloats', 7), ('ioPins', 8), ('leds', 9))


def _has(presence: Any, bit: int) -> bool:
    return bool(presence[bit >> 5] >> (bit & 31) & 1)


def _mark(presence: Any, bit: int) -> None:
    presence[bit >> 5] |= 1 << (bit & 31)


def _check_bits(group: Group, bits: List[int], what: str) -> None:
    words = min((len(m['presence']) for m in group.storage), default=WORDS)
    for bit in bits:
        if bit >= 32 * words:
            raise ValueError(f'step: the {what} presence bit {bit} is beyond the {words} '
                             'presence words of those messages')


def step(command: Group, feedback: Group) -> None:
    """Plays the devices for one control-loop step of STEP_SECONDS, as the
    C++ sim::step does, bit for bit: device i reads Command message
    command.storage[i] (never changing it) and answers in Feedback message
    feedback.storage[i]; the devices are the positions both groups have.
    "C has (k, e)" means that the Command message's presence bit
    command.meta.base[k] + e is set, "mark (k, e)" sets the Feedback
    message's bit feedback.meta.base[k] + e. For each device, in this order:

    1. Echo: for each kind k of Float, Enum, Bool, NumberedFloat, IoPin and
       Led, and each element e both messages have: if C has (k, e), the
       Feedback element e becomes the Command's, bit for bit (a pin's whole
       16 bytes), and mark (k, e).
    2. Position: speed s = the Command's Float 0 if C has (Float, 0), else 0;
       a NaN counts as 0; s is clamped to [-MAX_SPEED, MAX_SPEED]. In the
       Feedback's HighResAngle 0: if the offset is not within [0, TURN),
       revolutions and offset start again at 0. offset = offset + s * 0.25,
       in single precision, the product and the sum each rounded on its own;
       then, until 0 <= offset < TURN, offset -= TURN and revolutions += 1,
       or offset += TURN and revolutions -= 1 (an int64, wrapping). Mark
       (HighResAngle, 0); the padding is kept.
    3. Heartbeat: the Feedback's flag 0 (bit feedback.meta.base[11]) flips.

    Nothing else is read or written. ValueError, and nothing changes, if one
    of those presence bits is beyond the messages' presence words.

    >>> import array, tovakwrapper as tw
    >>> lib = tw.load()
    >>> command, feedback = Group(message='command'), Group(first_bit=3, message='feedback')
    >>> lib.initialize(command.meta, feedback.meta, feedback.meta)
    >>> lib.command_set_float(command.records, array.array('f', [1, -1, 8, 100]), 0)  # speeds
    >>> for _ in range(3):
    ...     step(command, feedback)
    ...     angle = lib.feedback_get_high_res_angle(feedback.records, 0).tolist()
    ...     speed = lib.feedback_get_float(feedback.records, 0).tolist()
    ...     print([round(x, 4) for x in angle], speed,
    ...           lib.feedback_has(feedback.records, 'FLAG', 0).tolist())
    [0.25, -0.25, 2.0, 16.0] [1.0, -1.0, 8.0, 100.0] [1, 1, 1, 1]
    [0.5, -0.5, 4.0, 32.0] [1.0, -1.0, 8.0, 100.0] [0, 0, 0, 0]
    [0.75, -0.75, 6.0, 48.0] [1.0, -1.0, 8.0, 100.0] [1, 1, 1, 1]
    """
    cb, fb = list(command.meta.base), list(feedback.meta.base)
    devices = min(len(command.storage), len(feedback.storage))
    if devices == 0:
        return
    c0, f0 = command.storage[0], feedback.storage[0]
    counts = [(k, min(len(c0[name]), len(f0[name]))) for name, k in ECHOED]
    last = [(cb[k] + n - 1, fb[k] + n - 1) for k, n in counts if n]  # the highest echoed bits
    speed_bit = [cb[0]] if len(c0['floats']) else []
    angle_bit = [fb[1]] if len(f0['highResAngles']) else []
    _check_bits(command, [c for c, _ in last] + speed_bit, 'Command')
    _check_bits(feedback, [f for _, f in last] + angle_bit + [fb[FLAG]], 'Feedback')
    for i in range(devices):
        c, f = command.storage[i], feedback.storage[i]
        # 1. Echo.
        for name, k in ECHOED:
            source, target = c[name], f[name]
            size = ctypes.sizeof(source) // len(source) if len(source) else 0
            for e in range(min(len(source), len(target))):
                if _has(c['presence'], cb[k] + e):
                    ctypes.memmove(ctypes.addressof(target) + e * size,
                                   ctypes.addressof(source) + e * size, size)
                    _mark(f['presence'], fb[k] + e)
        # 2. Position.
        if len(f['highResAngles']):
            speed = 0.0
            if len(c['floats']) and _has(c['presence'], cb[0]):
                speed = c['floats'][0]
            if math.isnan(speed):
                speed = 0.0
            speed = -MAX_SPEED if speed < -MAX_SPEED else MAX_SPEED if MAX_SPEED < speed else speed
            angle = f['highResAngles'][0]
            if not (angle.offset >= 0.0 and angle.offset < TURN):
                angle.revolutions, angle.offset = 0, 0.0
            moved = _f32(speed * STEP_SECONDS)
            offset = _f32(angle.offset + moved)
            turns = angle.revolutions
            while True:
                if offset >= TURN:
                    offset, turns = _f32(offset - TURN), turns + 1
                elif offset < 0.0:
                    offset, turns = _f32(offset + TURN), turns - 1
                else:
                    break
            angle.revolutions = (turns + 2**63) % 2**64 - 2**63
            angle.offset = offset
            _mark(f['presence'], fb[1])
        # 3. Heartbeat (a Group has flags).
        f['presence'][fb[FLAG] >> 5] ^= 1 << (fb[FLAG] & 31)
