#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Twelve simulated devices through three control-loop steps, then the time
one step's eight library calls take two ways: as eight checked calls, and as
one call list (one native call). Each step the host sets three Command
fields, each with one call over the messages, the devices answer
(tovakwrapper.simulated.step, the rules in docs/messages.md), and the host
reads five Feedback fields and presence bits, again one call each. The
example checks that what it prints moves as those rules say, and exits with 1
if not. With the interpreter of an environment where the package is
installed (the README's pip install):

    venv/bin/python examples/control_loop.py
"""
import math
import sys
import time

import numpy

import tovakwrapper as tw
from tovakwrapper import simulated
from tovakwrapper.simulated import Group

DEVICES = 12
STEPS = 3
TIMED = 20000  # steps timed each way

lib = tw.load()
# Twelve messages of each kind. first_bit is the presence bit of a group's
# first field (Float 0); the bits of each next kind start 8 further on.
command = Group(count=DEVICES, message='command')
feedback = Group(first_bit=5, count=DEVICES, message='feedback')
lib.initialize(command.meta, feedback.meta, tw.MessageMetadata())  # no Info messages here
# Any selection of messages makes records: here the even devices' Commands.
even = tw.Records((tw.MessageRecord * (DEVICES // 2))(*command.array[::2]), command.records.shape,
                  'command')

# What each step sends, refilled in place.
speeds = numpy.float32([3 * i - 16 for i in range(DEVICES)])  # rad/s
outputs = numpy.zeros(DEVICES, numpy.int64)
leds = numpy.zeros(DEVICES // 2, numpy.uint32)


def send(target):
    """The step's Command calls, on `target`: the library (each runs now) or a
    call list (each is checked and kept)."""
    target.command_set_float(command.records, speeds, 0)  # speed: the devices move by it
    target.command_set_io_pin_int(command.records, outputs, 1, 1)  # pin 1 of bank 1: echoed
    target.command_set_led(even, leds, 0)  # LED 0 of the even devices only: echoed


def read(target, outs):
    """The step's Feedback calls, filling `outs`."""
    target.feedback_get_high_res_angle(feedback.records, 0, out=outs['position'])
    target.feedback_get_io_pin_int(feedback.records, 1, 1, out=outs['echo'])
    target.feedback_has(feedback.records, tw.KIND.FLAG, 0, out=outs['beat'])
    target.feedback_get_led(feedback.records, 0, out=outs['led'])
    target.feedback_has(feedback.records, tw.KIND.LED, 0, out=outs['has led'])


outs = {'position': numpy.empty(DEVICES), 'echo': numpy.empty(DEVICES, numpy.int64),
        'beat': numpy.empty(DEVICES, numpy.uint8), 'led': numpy.empty(DEVICES, numpy.uint32),
        'has led': numpy.empty(DEVICES, numpy.uint8)}
seconds = simulated.STEP_SECONDS
print(f"""{DEVICES} simulated devices, {STEPS} control-loop steps of {seconds} s. Each step:
  lib.command_set_float           sets Float 0, the speed, of all {DEVICES} Command messages
  lib.command_set_io_pin_int      sets pin 1 of bank 1 ("out"), new every step, of all {DEVICES}
  lib.command_set_led             sets LED 0 of the {DEVICES // 2} even devices' messages only
  simulated.step                  the devices answer in their Feedback messages
  lib.feedback_get_high_res_angle reads HighResAngle 0, the position: speed x {seconds} s a step
  lib.feedback_get_io_pin_int     reads pin 1 of bank 1 ("echo"): the device echoes "out"
  lib.feedback_has (FLAG 0)       reads the heartbeat flag ("beat"), which the devices flip
  lib.feedback_get_led            reads LED 0, with lib.feedback_has (LED 0): "-" when it is
                                  not present, as on the odd devices, never commanded
"turns" is the whole turns the Feedback message stores beside an offset within the turn.
""")
print(f"{'step':>4} {'device':>6} {'speed':>6} {'position':>9} {'turns':>5} {'out':>5} {'echo':>5} "
      f"{'beat':>4} {'led':>6}")
failures = []
last = None
for step in range(1, STEPS + 1):
    outputs[:] = 100 * step + numpy.arange(DEVICES)
    leds[:] = (0xFF0000, 0x00FF00, 0x0000FF)[step - 1]  # a colour per step: red, green, blue
    send(lib)
    simulated.step(command, feedback)
    read(lib, outs)
    for i in range(DEVICES):
        position, turns = outs['position'][i], feedback.storage[i]['highResAngles'][0].revolutions
        led = f"{outs['led'][i]:06x}" if outs['has led'][i] else '-'
        print(f"{step:4} {i:6} {speeds[i]:6.2f} {position:9.4f} {turns:5} {outputs[i]:5} "
              f"{outs['echo'][i]:5} {outs['beat'][i]:4} {led:>6}")
        if (abs(position - speeds[i] * seconds * step) > 1e-5
                or turns != math.floor(position / (2 * math.pi)) or outs['echo'][i] != outputs[i]
                or outs['beat'][i] != step % 2
                or led != (f'{leds[0]:06x}' if i % 2 == 0 else '-')):
            failures.append(f'step {step}, device {i}')
    now = (outs['position'].copy(), outs['echo'].copy())
    if last is not None and any((a == b).any() for a, b in zip(now, last)):
        failures.append(f'step {step}: a position or an echo did not move')
    last = now
if failures:
    sys.exit('not as the simulated devices are documented to answer: ' + ', '.join(failures))

step_list = lib.calls()
send(step_list)
read(step_list, outs)  # the same eight calls, run by one native call whenever step_list() is called


def timed(run):
    start = time.perf_counter()
    for _ in range(TIMED):
        run()
    return (time.perf_counter() - start) / TIMED * 1e6


def checked_calls():
    send(lib)
    read(lib, outs)


print(f'\nThe eight calls of a step (the devices left out), {DEVICES} messages each:')
print(f'8 checked calls: {timed(checked_calls):6.2f} µs per step')
print(f'one call list:   {timed(step_list):6.2f} µs per step')
