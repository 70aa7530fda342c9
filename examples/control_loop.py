#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""One control-loop step of 12 simulated devices, two ways: ten checked calls,
and the same ten as one call list (one native call), with the time per step
of each. With the interpreter of an environment where the package is
installed (the README's pip install):

    venv/bin/python examples/control_loop.py
"""
import time

import numpy

import tovakwrapper as tw
from tovakwrapper.simulated import Group

DEVICES = 12
STEPS = 20000

lib = tw.load()
command = Group(count=DEVICES, message='command')
feedback = Group(first_bit=3, count=DEVICES, message='feedback')
info = Group(first_bit=5, count=DEVICES, message='info')
lib.initialize(command.meta, feedback.meta, info.meta)

# What the step sends, refilled in place each cycle.
speeds = numpy.full(DEVICES, 0.5, numpy.float32)
modes = numpy.full(DEVICES, 2, numpy.int32)
outputs = numpy.ones(DEVICES, numpy.int64)


def step_calls(target, outs):
    """The step's ten calls, made on `target`: the library (each runs now) or
    a call list (each is checked and kept); the getters fill `outs`."""
    target.command_set_float(command.records, speeds, 1)
    target.command_set_enum(command.records, modes, 0)
    target.command_set_io_pin_int(command.records, outputs, 1, 1)
    target.feedback_get_float(feedback.records, 1, out=outs['speed'])
    target.feedback_get_high_res_angle(feedback.records, 0, out=outs['angle'])
    target.feedback_get_vector3f(feedback.records, 0, out=outs['position'])
    target.feedback_get_io_pin_int(feedback.records, 1, 1, out=outs['pin'])
    target.feedback_has(feedback.records, tw.KIND.FLOAT, 1, out=outs['fan'])
    target.info_get_led(info.records, 2, out=outs['led'])
    target.command_get_flag(command.records, 3, out=outs['flag'])


outs = {'speed': numpy.empty(DEVICES, numpy.float32), 'angle': numpy.empty(DEVICES),
        'position': numpy.empty((DEVICES, 3), numpy.float32),
        'pin': numpy.empty(DEVICES, numpy.int64), 'fan': numpy.empty(DEVICES, numpy.uint8),
        'led': numpy.empty(DEVICES, numpy.uint32), 'flag': numpy.empty(DEVICES, numpy.uint8)}
step = lib.calls()
step_calls(step, outs)  # the same ten calls, run by one native call whenever step() is called


def timed(run):
    start = time.perf_counter()
    for _ in range(STEPS):
        run()
    return (time.perf_counter() - start) / STEPS * 1e6


step()
print(f"{DEVICES} devices, one step: speed {outs['speed'][0]}, angle {outs['angle'][0]}, "
      f"pin {outs['pin'][0]}, fan present {outs['fan'][0]}, flag {outs['flag'][0]}")
print(f'10 checked calls: {timed(lambda: step_calls(lib, outs)):6.2f} µs per step')
print(f'one call list:    {timed(step):6.2f} µs per step')
