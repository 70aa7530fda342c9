#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The cost of the Python host's calls against the raw ctypes call, in one run.

miFeedbackGetFloat over N messages, five ways: the raw ctypes function with
every pointer prepared in advance (raw); the checked call with a preallocated
out= (checked); the checked call allocating its output (allocating); a
prepared call (prepared); and N raw calls of one message each (per message);
and, when numpy imports, the checked call with a numpy out=. Prints a Markdown
table (best of --repeat rounds of each).

    PYTHONPATH=python /usr/bin/python3 python/bench_batching.py [--repeat 7]
"""
import argparse
import ctypes
import platform
import sys
import timeit

import tovakwrapper as tw
from tovakwrapper.simulated import Group

try:
    import numpy
except ImportError:
    numpy = None

COUNTS = (1, 12, 256, 4096)


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

    def allocating():
        checked(records, 1)

    def one_by_one():
        for i in range(n):
            get(one_out[i], one_record[i], 1, 1)

    variants = {'raw': raw, 'checked': checked_out, 'allocating': allocating, 'prepared': prepared,
                'per message': one_by_one}
    if numpy is not None:
        out_numpy = numpy.zeros(n, numpy.float32)
        variants['numpy'] = lambda: checked(records, 1, out=out_numpy)
    # Each measurement lasts about 20 ms; rounds interleave the variants, so
    # that drift in a shared machine hits them all alike; the best round counts.
    numbers = {name: max(1, int(0.02 / (timeit.timeit(call, number=20) / 20)))
               for name, call in variants.items()}
    result = {}
    for _ in range(repeat):
        for name, call in variants.items():
            t = timeit.timeit(call, number=numbers[name]) / numbers[name]
            result[name] = min(result.get(name, t), t)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--repeat', type=int, default=7)
    args = parser.parse_args()
    lib = tw.load()
    print(f'miFeedbackGetFloat through ctypes; {platform.python_implementation()} '
          f'{platform.python_version()} ({sys.executable}), {platform.machine()}; '
          f'best of {args.repeat} interleaved rounds of 20 ms; times in µs per call')
    print()
    extra = numpy is not None
    print('| messages | raw | checked, out= | checked, allocating | prepared | one raw call per '
          'message | checked ÷ raw | prepared ÷ raw | per message ÷ raw |'
          + (' checked, numpy out= | numpy ÷ raw |' if extra else ''))
    print('|---:' * (11 if extra else 9) + '|')
    for n in COUNTS:
        t = measure(lib, n, args.repeat)
        raw = t['raw']
        print(f"| {n} | {raw * 1e6:.2f} | {t['checked'] * 1e6:.2f} | {t['allocating'] * 1e6:.2f} | "
              f"{t['prepared'] * 1e6:.2f} | {t['per message'] * 1e6:.1f} | {t['checked'] / raw:.2f} | "
              f"{t['prepared'] / raw:.2f} | {t['per message'] / raw:.0f} |"
              + (f" {t['numpy'] * 1e6:.2f} | {t['numpy'] / raw:.2f} |" if extra else ''))

if __name__ == '__main__':
    main()
