#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""One control-loop step of 12 simulated devices, two ways: ten separate
prepared calls, and the same ten as one call list (one native call), with
the time per step of each.

    TOVAK_WRAPPER_LIBRARY=build/release/libtovakWrapper.so PYTHONPATH=python \\
        /usr/bin/python3 examples/control_loop.py
"""
import array
import time

import tovakwrapper as tw
from tovakwrapper.simulated import Group

DEVICES = 12
STEPS = 2000

lib = tw.load()
command, feedback, info = Group(count=DEVICES), Group(3, DEVICES), Group(5, DEVICES)
lib.initialize(command.meta, feedback.meta, info.meta)

# What the step sends and where it reads into: buffers made once.
speeds = array.array('f', [0.5] * DEVICES)
modes = array.array('i', [2] * DEVICES)
outputs = array.array('q', [1] * DEVICES)
fan_bit = lib.presence_bit('feedback', tw.KIND.FLOAT, 1)
step_calls = [
    lib.command_set_float.prepare(command.records, speeds, 1),
    lib.command_set_enum.prepare(command.records, modes, 0),
    lib.command_set_io_pin_int.prepare(command.records, outputs, 1, 1),
    lib.feedback_get_float.prepare(feedback.records, 1),
    lib.feedback_get_high_res_angle.prepare(feedback.records, 0),
    lib.feedback_get_vector3f.prepare(feedback.records, 0),
    lib.feedback_get_io_pin_int.prepare(feedback.records, 1, 1),
    lib.feedback_has_field.prepare(feedback.records, fan_bit),
    lib.info_get_led.prepare(info.records, 2),
    lib.command_get_flag.prepare(command.records, 3),
]
step = lib.calls(*step_calls)  # the same ten calls, run by one native call


def separately():
    for call in step_calls:
        call()


def timed(run):
    start = time.perf_counter()
    for _ in range(STEPS):
        run()
    return (time.perf_counter() - start) / STEPS * 1e6


speed, angle, position, pin, fan, led, flag = step()
print(f'{DEVICES} devices, one step: speed {speed[0]}, angle {angle[0]}, pin {pin[0]}, '
      f'fan present {fan[0]}, flag {flag[0]}')
print(f'10 prepared calls: {timed(separately):6.2f} µs per step')
print(f'one call list:     {timed(step):6.2f} µs per step')
