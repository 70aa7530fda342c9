#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The batching payoff from an FFI host: one batched call over N messages
against N calls of one message each, through ctypes, in one run.

Both variants call the raw ctypes function with every pointer prepared in
advance, so only the calls themselves are timed. Prints a Markdown table.

    python3 python/bench_batching.py [--repeat 7]
"""
import argparse
import ctypes
import platform
import timeit

import tovakwrapper as tw
from messages import Group


def measure(lib, n, repeat):
    group = Group(count=n)
    lib.initialize(group.meta, group.meta, group.meta)
    out = (ctypes.c_float * n)()
    get = lib.raw.miFeedbackGetFloat
    records = ctypes.cast(group.records, tw.RECORDS)
    size = ctypes.sizeof(tw.MessageRecord)
    base = ctypes.addressof(group.records)
    one_record = [ctypes.cast(base + i * size, tw.RECORDS) for i in range(n)]
    one_out = [ctypes.cast(ctypes.addressof(out) + 4 * i, ctypes.POINTER(ctypes.c_float))
               for i in range(n)]
    out_all = ctypes.cast(out, ctypes.POINTER(ctypes.c_float))

    def batched():
        get(out_all, records, n, 1)

    def one_by_one():
        for i in range(n):
            get(one_out[i], one_record[i], 1, 1)

    loops = max(1, 20000 // n)
    t_batched = min(timeit.repeat(batched, number=loops * 10, repeat=repeat)) / (loops * 10)
    t_single = min(timeit.repeat(one_by_one, number=loops, repeat=repeat)) / loops
    return t_batched, t_single


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--repeat', type=int, default=7)
    args = parser.parse_args()
    lib = tw.load()
    print(f'miFeedbackGetFloat through ctypes; Python {platform.python_version()}, '
          f'{platform.machine()}; best of {args.repeat} runs')
    print()
    print('| messages | one batched call (µs) | one call per message (µs) | ratio |')
    print('|---:|---:|---:|---:|')
    for n in (1, 12, 256, 4096):
        batched, single = measure(lib, n, args.repeat)
        print(f'| {n} | {batched * 1e6:.2f} | {single * 1e6:.1f} | {single / batched:.0f}× |')


if __name__ == '__main__':
    main()
