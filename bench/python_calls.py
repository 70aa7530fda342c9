#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The cost of the Python host's calls against the raw ctypes call, in one run.

miFeedbackGetFloat over N messages (12 and 4096): the raw ctypes function of
lib.raw, typed, with every pointer made in advance (raw); the same with count 0,
what any ctypes call costs (ctypes floor); the checked call with a numpy
float32 out=, an array.array out= and a ctypes out=; the checked call making
its out (allocating); and N raw calls of one message each (per message).

Then a control-loop step of 10 accessors (3 setters, 7 getters and queries,
array.array and numpy buffers) over 12 and 256 messages: 10 checked calls, the
same 10 as one call list (lib.calls()), and one raw ctypes call of a single
accessor (miFeedbackGetFloat, as above) as the floor of any step through ctypes.

Each statement is timed inline (timeit) in this thread's CPU time; rounds of
about 20 ms interleave the variants, and the best round counts. Run it with
the interpreter of an environment where the package is installed:

    venv/bin/python bench/python_calls.py [--repeat 9]
"""
import argparse
import array
import ctypes
import platform
import time
import timeit

import numpy

import tovakwrapper as tw
from tovakwrapper.simulated import Group


def time_variants(variants, namespace, repeat):
    timers = {name: timeit.Timer(stmt, globals=namespace, timer=time.thread_time)
              for name, stmt in variants.items()}
    numbers = {name: max(1, int(0.02 / (t.timeit(50) / 50))) for name, t in timers.items()}
    best = {}
    for _ in range(repeat):
        for name, t in timers.items():
            seconds = t.timeit(numbers[name]) / numbers[name]
            best[name] = min(best.get(name, seconds), seconds)
    return best


def one_field(lib, n, repeat):
    group = Group(count=n)
    lib.initialize(group.meta, group.meta, group.meta)
    out = (ctypes.c_float * n)()
    size = ctypes.sizeof(tw.MessageRecord)
    namespace = {
        'records': group.records, 'get': lib.feedback_get_float, 'raw': lib.raw.miFeedbackGetFloat,
        'n': n, 'out_numpy': numpy.zeros(n, numpy.float32),
        'out_array': array.array('f', bytes(4 * n)), 'out_ctypes': out,
        'out_pointer': ctypes.cast(out, ctypes.POINTER(ctypes.c_float)),
        'records_pointer': ctypes.cast(group.records.address, tw.RECORDS),
        'one': [(ctypes.cast(ctypes.addressof(out) + 4 * i, ctypes.POINTER(ctypes.c_float)),
                 ctypes.cast(group.records.address + size * i, tw.RECORDS)) for i in range(n)]}
    return time_variants({
        'raw': 'raw(out_pointer, records_pointer, n, 1)',
        'floor': 'raw(out_pointer, records_pointer, 0, 1)',
        'numpy': 'get(records, 1, out=out_numpy)',
        'array': 'get(records, 1, out=out_array)',
        'ctypes': 'get(records, 1, out=out_ctypes)',
        'allocating': 'get(records, 1)',
        'per message': 'for o, r in one: raw(o, r, 1, 1)',
        # What taking each buffer's export costs (a memoryview takes one).
        'numpy export': 'memoryview(out_numpy)', 'array export': 'memoryview(out_array)'},
        namespace, repeat)


def control_step(lib, n, repeat):
    group = Group(count=n)
    lib.initialize(group.meta, group.meta, group.meta)
    r = group.records
    speeds, modes = array.array('f', [0.5] * n), numpy.full(n, 2, numpy.int32)
    pins = array.array('q', [7] * n)
    outs = [numpy.zeros(n, numpy.float32), numpy.zeros(n, numpy.float64),
            numpy.zeros((n, 3), numpy.float32), array.array('q', bytes(8 * n)),
            array.array('B', bytes(n)), numpy.zeros(n, numpy.uint32), array.array('B', bytes(n))]

    def add(target):
        target.command_set_float(r, speeds, 1)
        target.command_set_enum(r, modes, 0)
        target.command_set_io_pin_int(r, pins, 1, 1)
        target.feedback_get_float(r, 1, out=outs[0])
        target.feedback_get_high_res_angle(r, 0, out=outs[1])
        target.feedback_get_vector3f(r, 0, out=outs[2])
        target.feedback_get_io_pin_int(r, 1, 1, out=outs[3])
        target.feedback_has(r, tw.KIND.FLOAT, 1, out=outs[4])
        target.info_get_led(r, 2, out=outs[5])
        target.command_get_flag(r, 3, out=outs[6])
    step = lib.calls()
    add(step)
    out = (ctypes.c_float * n)()
    namespace = {'add': add, 'lib': lib, 'step': step, 'raw': lib.raw.miFeedbackGetFloat, 'n': n,
                 'out_pointer': ctypes.cast(out, ctypes.POINTER(ctypes.c_float)),
                 'records_pointer': ctypes.cast(r.address, tw.RECORDS)}
    return time_variants({'checked': 'add(lib)', 'list': 'step()',
                          'raw': 'raw(out_pointer, records_pointer, n, 1)'}, namespace, repeat)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--repeat', type=int, default=9)
    args = parser.parse_args()
    lib = tw.load()
    print(f'{platform.python_implementation()} {platform.python_version()}, numpy '
          f'{numpy.__version__}, {platform.machine()}; best of {args.repeat} interleaved rounds of '
          '20 ms of thread CPU time; ns per call')
    print()
    print('| messages | raw ctypes | ctypes floor (count 0) | checked, numpy out | checked, '
          'array.array out | checked, ctypes out | checked, allocating | one raw call per '
          'message | numpy ÷ raw | array.array ÷ raw | ctypes ÷ raw | allocating ÷ raw |')
    print('|---:' * 12 + '|')
    verdicts = []

    def target(what, ratio, limit):
        verdicts.append(f'- {what}: {ratio:.2f}× raw (target ≤ {limit}×): '
                        f'{"met" if ratio <= limit + 0.005 else "missed"}')
    for n in (12, 4096):
        t = {k: v * 1e9 for k, v in one_field(lib, n, args.repeat).items()}
        for out in ('numpy', 'array'):
            target(f'checked, {out.replace("array", "array.array")} out, {n} messages',
                   t[out] / t['raw'], 0.2 if n == 12 else 1.0)
        if n == 12:
            export = t['numpy export'] - t['array export']
        print(f"| {n} | {t['raw']:.0f} | {t['floor']:.0f} | {t['numpy']:.0f} | {t['array']:.0f} | "
              f"{t['ctypes']:.0f} | {t['allocating']:.0f} | {t['per message']:.0f} | "
              f"{t['numpy'] / t['raw']:.2f} | {t['array'] / t['raw']:.2f} | "
              f"{t['ctypes'] / t['raw']:.2f} | {t['allocating'] / t['raw']:.2f} |")
    print()
    print('A control-loop step of 10 accessors (3 setters, 7 getters and queries); ns per step')
    print()
    print('| messages | 10 checked calls | one call list of the 10 | one raw ctypes call of one '
          'accessor | list ÷ raw | checked ÷ list |')
    print('|---:' * 6 + '|')
    for n in (12, 256):
        t = {k: v * 1e9 for k, v in control_step(lib, n, args.repeat).items()}
        if n == 12:
            target('call list of 10 accessors, 12 messages', t['list'] / t['raw'], 0.5)
        print(f"| {n} | {t['checked']:.0f} | {t['list']:.0f} | {t['raw']:.0f} | "
              f"{t['list'] / t['raw']:.2f} | {t['checked'] / t['list']:.1f} |")
    print()
    print('Targets, in this run (ratios as printed, rounded to two places):')
    print()
    print('\n'.join(verdicts))
    print()
    print(f'Taking a numpy array\'s buffer export costs {export:.0f} ns more than taking an '
          'array.array\'s (a memoryview of each, in this run): numpy builds the format string '
          'of its export anew each time. That is what separates the numpy and array.array '
          'columns.')


if __name__ == '__main__':
    main()
