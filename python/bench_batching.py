#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The cost of the Python host's calls against the raw ctypes call, in one run.

miFeedbackGetFloat over N messages: the raw ctypes function with every
pointer prepared in advance (raw); the checked call with a preallocated ctypes
out= (checked) and with an array.array out= (array); the checked call
allocating its output (allocating); a prepared call (prepared); N raw calls of
one message each (per message); and, when numpy imports, the checked call with
a numpy out=. Prints a Markdown table (best of --repeat rounds of each, timed
in this thread's CPU time, so that time the thread spends descheduled on a
shared machine is not counted).

Then a control-loop step of 10 accessors (3 setters, 7 getters) over 12 and
256 messages, four ways: 10 checked calls, 10 prepared calls, one call list
(lib.calls) of the 10 prepared calls, and one raw ctypes call of a single
accessor (miFeedbackGetFloat, as above) as the floor of any step.

    PYTHONPATH=python /usr/bin/python3 python/bench_batching.py [--repeat 7]
"""
import argparse
import array
import ctypes
import platform
import sys
import time
import timeit

import tovakwrapper as tw
from tovakwrapper.simulated import Group

try:
    import numpy
except ImportError:
    numpy = None

COUNTS = (1, 12, 256, 4096)


def clock(call, number):
    """Seconds of this thread's CPU time for `number` calls."""
    return timeit.Timer(call, timer=time.thread_time).timeit(number=number)


def measure(lib, n, repeat):
    group = Group(count=n)
    lib.initialize(group.meta, group.meta, group.meta)
    records = group.records
    out = (ctypes.c_float * n)()
    get = lib.raw.miFeedbackGetFloat
    pointer = ctypes.cast(records.array, tw.RECORDS)
    out_all = ctypes.cast(out, ctypes.POINTER(ctypes.c_float))
    size = ctypes.sizeof(tw.MessageRecord)
    one_record = [ctypes.cast(records.address + i * size, tw.RECORDS) for i in range(n)]
    one_out = [ctypes.cast(ctypes.addressof(out) + 4 * i, ctypes.POINTER(ctypes.c_float))
               for i in range(n)]
    checked = lib.feedback_get_float
    prepared = checked.prepare(records, 1, out=out)

    def raw():
        get(out_all, pointer, n, 1)

    def checked_out():
        checked(records, 1, out=out)

    out_array = array.array('f', bytes(4 * n))

    def checked_array():
        checked(records, 1, out=out_array)

    def allocating():
        checked(records, 1)

    def one_by_one():
        for i in range(n):
            get(one_out[i], one_record[i], 1, 1)

    variants = {'raw': raw, 'checked': checked_out, 'array': checked_array,
                'allocating': allocating, 'prepared': prepared, 'per message': one_by_one}
    if numpy is not None:
        out_numpy = numpy.zeros(n, numpy.float32)
        variants['numpy'] = lambda: checked(records, 1, out=out_numpy)
    return time_variants(variants, repeat)


STEP_COUNTS = (12, 256)


def step_variants(lib, n):
    """The four ways of running one control-loop step over n messages."""
    group = Group(count=n)
    lib.initialize(group.meta, group.meta, group.meta)
    r = group.records
    speeds = array.array('f', [0.5] * n)
    modes = array.array('i', [2] * n)
    pins = array.array('q', [7] * n)
    outs = [array.array('f', bytes(4 * n)), array.array('d', bytes(8 * n)),
            (tw.MiVector3f * n)(), array.array('q', bytes(8 * n)), array.array('B', bytes(n)),
            array.array('I', bytes(4 * n)), array.array('B', bytes(n))]
    bit = lib.presence_bit('feedback', tw.KIND.FLOAT, 1)

    def checked():
        lib.command_set_float(r, speeds, 1)
        lib.command_set_enum(r, modes, 0)
        lib.command_set_io_pin_int(r, pins, 1, 1)
        lib.feedback_get_float(r, 1, out=outs[0])
        lib.feedback_get_high_res_angle(r, 0, out=outs[1])
        lib.feedback_get_vector3f(r, 0, out=outs[2])
        lib.feedback_get_io_pin_int(r, 1, 1, out=outs[3])
        lib.feedback_has_field(r, bit, out=outs[4])
        lib.info_get_led(r, 2, out=outs[5])
        lib.command_get_flag(r, 3, out=outs[6])

    prepared = [lib.command_set_float.prepare(r, speeds, 1),
                lib.command_set_enum.prepare(r, modes, 0),
                lib.command_set_io_pin_int.prepare(r, pins, 1, 1),
                lib.feedback_get_float.prepare(r, 1, out=outs[0]),
                lib.feedback_get_high_res_angle.prepare(r, 0, out=outs[1]),
                lib.feedback_get_vector3f.prepare(r, 0, out=outs[2]),
                lib.feedback_get_io_pin_int.prepare(r, 1, 1, out=outs[3]),
                lib.feedback_has_field.prepare(r, bit, out=outs[4]),
                lib.info_get_led.prepare(r, 2, out=outs[5]),
                lib.command_get_flag.prepare(r, 3, out=outs[6])]

    def ten_prepared():
        for call in prepared:
            call()

    get = lib.raw.miFeedbackGetFloat
    pointer = ctypes.cast(r.array, tw.RECORDS)
    out = (ctypes.c_float * n)()
    out_all = ctypes.cast(out, ctypes.POINTER(ctypes.c_float))

    def raw():
        get(out_all, pointer, n, 1)
    return {'checked': checked, 'prepared': ten_prepared, 'list': lib.calls(*prepared),
            'raw': raw}


def time_variants(variants, repeat):
    # Each measurement lasts about 20 ms; rounds interleave the variants, so
    # that drift in a shared machine hits them all alike; the best round counts.
    numbers = {name: max(1, int(0.02 / (clock(call, 20) / 20))) for name, call in variants.items()}
    result = {}
    for _ in range(repeat):
        for name, call in variants.items():
            t = clock(call, numbers[name]) / numbers[name]
            result[name] = min(result.get(name, t), t)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--repeat', type=int, default=7)
    args = parser.parse_args()
    lib = tw.load()
    print(f'miFeedbackGetFloat through ctypes; {platform.python_implementation()} '
          f'{platform.python_version()} ({sys.executable}), {platform.machine()}; '
          f'best of {args.repeat} interleaved rounds of 20 ms of thread CPU time; times in µs per call')
    print()
    extra = numpy is not None
    print('| messages | raw | checked, out= | checked, array.array out= | checked, allocating | '
          'prepared | one raw call per message | checked ÷ raw | array.array ÷ raw | prepared ÷ raw '
          '| per message ÷ raw |' + (' checked, numpy out= | numpy ÷ raw |' if extra else ''))
    print('|---:' * (13 if extra else 11) + '|')
    for n in COUNTS:
        t = measure(lib, n, args.repeat)
        raw = t['raw']
        print(f"| {n} | {raw * 1e6:.2f} | {t['checked'] * 1e6:.2f} | {t['array'] * 1e6:.2f} | "
              f"{t['allocating'] * 1e6:.2f} | {t['prepared'] * 1e6:.2f} | {t['per message'] * 1e6:.1f} | "
              f"{t['checked'] / raw:.2f} | {t['array'] / raw:.2f} | {t['prepared'] / raw:.2f} | "
              f"{t['per message'] / raw:.0f} |"
              + (f" {t['numpy'] * 1e6:.2f} | {t['numpy'] / raw:.2f} |" if extra else ''))
    print()
    print('A control-loop step of 10 accessors (3 setters, 7 getters, array.array and ctypes '
          'buffers); times in µs per step')
    print()
    print('| messages | 10 checked calls | 10 prepared calls | one call list | one raw call of one '
          'accessor | list ÷ raw | prepared ÷ list | checked ÷ list |')
    print('|---:' * 8 + '|')
    for n in STEP_COUNTS:
        t = time_variants(step_variants(lib, n), args.repeat)
        print(f"| {n} | {t['checked'] * 1e6:.2f} | {t['prepared'] * 1e6:.2f} | "
              f"{t['list'] * 1e6:.2f} | {t['raw'] * 1e6:.2f} | {t['list'] / t['raw']:.2f} | "
              f"{t['prepared'] / t['list']:.1f} | {t['checked'] / t['list']:.1f} |")


if __name__ == '__main__':
    main()
