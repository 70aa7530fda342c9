#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes AngleCases.inc: expected bit patterns for the high-resolution angle
conversion, computed independently of the library with Python's own IEEE 754
double arithmetic (each operation rounded on its own, never fused) and
struct's round-to-nearest conversion to binary32; NaNs by their own rule,
from the bits (see narrowed_nan and widened_nan).

Run from this folder:  /usr/bin/python3 make_angle_cases.py > AngleCases.inc
The output is deterministic (fixed seed); commit it with the script.
"""
import math
import random
import struct
from fractions import Fraction

TURNS_PER_RADIAN = struct.unpack('<d', bytes.fromhex('83c8c96d305fc43f'))[0]
RADIANS_PER_TURN = struct.unpack('<d', bytes.fromhex('182d4454fb211940'))[0]
assert TURNS_PER_RADIAN == 0.15915494309189535
assert RADIANS_PER_TURN == 6.283185307179586
INT64_MIN = -2**63


def d2b(x):
    return struct.unpack('<Q', struct.pack('<d', x))[0]


def b2d(b):
    return struct.unpack('<d', struct.pack('<Q', b))[0]


def to_f32_bits(x):
    """Rounds a double to the nearest binary32, overflowing to infinity."""
    try:
        return struct.unpack('<I', struct.pack('<f', x))[0]
    except OverflowError:
        return 0xFF800000 if x < 0 else 0x7F800000


def f32_from_bits(b):
    return struct.unpack('<f', struct.pack('<I', b))[0]


# NaNs follow a rule of their own, computed here from the bits rather than by
# Python's arithmetic (which is the host's hardware): a NaN angle is stored as
# the quiet float NaN with its sign and the leading 23 bits of its payload, and
# a NaN offset, signalling or quiet, reads back as the quiet double NaN with its
# sign and its payload in the leading bits.
def is_f32_nan(bits):
    return bits & 0x7F800000 == 0x7F800000 and bits & 0x007FFFFF != 0


def narrowed_nan(bits):
    """Binary32 bits of the NaN offset stored for the NaN angle `bits`."""
    return (bits >> 32 & 0x80000000) | 0x7FC00000 | (bits >> 29 & 0x007FFFFF)


def widened_nan(bits):
    """Binary64 bits of the NaN read back from the NaN offset `bits`."""
    return (bits & 0x80000000) << 32 | 0x7FF8000000000000 | (bits & 0x007FFFFF) << 29


assert narrowed_nan(0x7FF0000000000001) == 0x7FC00000
assert narrowed_nan(0xFFF4000000ABCDEF) == 0xFFE00000
assert widened_nan(0x7F800001) == 0x7FF8000020000000
assert widened_nan(0xFFC00000) == 0xFFF8000000000000


def store(v):
    if math.isnan(v):
        return INT64_MIN, narrowed_nan(d2b(v))
    x = v * TURNS_PER_RADIAN
    if not math.isnan(x) and -2.0**63 <= x < 2.0**63:
        rev = int(x)  # truncates toward zero
    else:
        rev = INT64_MIN
    offset = (x - float(rev)) * RADIANS_PER_TURN
    return rev, to_f32_bits(offset)


def load(rev, offset_bits):
    """Binary64 bits of the angle read back from an entry."""
    if is_f32_nan(offset_bits):
        return widened_nan(offset_bits)
    whole = float(rev) * RADIANS_PER_TURN
    return d2b(f32_from_bits(offset_bits) + whole)


def stored_offset(v):
    """The double offset the setter computes, before rounding to float."""
    x = v * TURNS_PER_RADIAN
    rev = int(x) if not math.isnan(x) and -2.0**63 <= x < 2.0**63 else INT64_MIN
    return (x - float(rev)) * RADIANS_PER_TURN


FLT_MAX = float.fromhex('0x1.fffffep127')
FLT_OVERFLOW_MIDPOINT = float.fromhex('0x1.ffffffp127')  # halfway to 2**128


def f32_bits_near_overflow(d):
    """Binary32 bits of a double with |d| >= 2**127, rounded to nearest, ties
    to even, by integer arithmetic: binary32 values there are k * 2**104
    with 2**23 <= k < 2**24, and k == 2**24 is infinity."""
    k, rest = divmod(Fraction(abs(d)) / 2**104, 1)
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and k % 2):
        k += 1
    bits = 0x7F800000 if k >= 2**24 else (254 << 23) | (int(k) - 2**23)
    return bits | (0x80000000 if d < 0 else 0)


def landing(target, accept):
    """The input nearest `target` whose offset satisfies accept(offset)."""
    down = up = target
    for _ in range(4096):
        for v in (down, up):
            if accept(stored_offset(v)):
                return v
        down, up = math.nextafter(down, 0.0), math.nextafter(up, math.inf)
    raise AssertionError(f'no input near {target.hex()}')


def overflow_inputs():
    """Out-of-range angles whose offset lands at the largest float, between
    it and the midpoint above it (rounds down to the largest float), on the
    midpoint (ties to even: infinity) and past it; both signs."""
    fmax, mid = FLT_MAX, FLT_OVERFLOW_MIDPOINT
    values = [
        landing(fmax, lambda o: o == fmax),
        landing(fmax, lambda o: fmax < o < mid),                     # just above
        landing((fmax + mid) / 2, lambda o: fmax < o < mid),         # halfway up
        landing(mid, lambda o: fmax < o < mid),                      # just below
        landing(mid, lambda o: o == mid),
        landing(mid, lambda o: o > mid),                             # just above
        landing(2.0**128, lambda o: o >= 2.0**128),
    ]
    values += [-v for v in values]
    for v in values:
        offset = stored_offset(v)
        assert abs(offset) >= 2.0**127 and to_f32_bits(offset) == f32_bits_near_overflow(offset), v
    return values


def named_inputs():
    two_pi = RADIANS_PER_TURN
    big = 2.0**63 * two_pi
    values = [
        two_pi, 1.0, 7.0, -7.0, math.pi, -math.pi, 0.0, -0.0,
        math.nextafter(two_pi, 0.0), math.nextafter(two_pi, math.inf),
        -math.nextafter(two_pi, 0.0), 2 * two_pi, 3 * two_pi, 1000 * two_pi,
        1e-300, 5e-324, -5e-324, 2.2250738585072009e-308, 2.2250738585072014e-308,
        1e6, -1e6, 1e15, 2.0**53, 1e18, -1e18, big, -big,
        math.nextafter(big, 0.0), math.nextafter(-big, 0.0), 1e300, -1e300,
        1.7976931348623157e308, -1.7976931348623157e308, math.inf, -math.inf,
        0.5, 3.0, 6.0, 6.2831, 6.28318, 6.283185, 6.2831853,
    ]
    # Offsets just below a turn that round up to the float nearest 2*pi.
    v = two_pi
    for _ in range(6):
        v = math.nextafter(v, 0.0)
        values.append(v)
        values.append(-v)
    values += overflow_inputs()
    bits = [d2b(x) for x in values]
    # NaNs: quiet, quiet with a payload, signalling with a payload, negative.
    bits += [0x7FF8000000000000, 0x7FF8DEADBEEF1234, 0x7FF0000000000001,
             0x7FF4000000ABCDEF, 0xFFF8000000000000, 0xFFFC0000DEAD0000]
    return bits


def sweep_inputs(rng):
    """One value of random sign and mantissa for every finite exponent."""
    bits = []
    for exponent in range(0, 2047):
        sign = rng.getrandbits(1)
        mantissa = rng.getrandbits(52)
        bits.append((sign << 63) | (exponent << 52) | mantissa)
    return bits


def host_entries():
    """Entries as a host might write them, not as the setter would."""
    return [(2, to_f32_bits(7.0)), (-3, to_f32_bits(-20.0)), (0, 0x7F800000),
            (INT64_MIN, 0x7FC00000), (INT64_MIN, 0), (2**63 - 1, 0), (1, 0x80000000),
            (-1, 0x80000001), (5, 0x7F7FFFFF), (123456789, to_f32_bits(-1.5)),
            # NaN offsets: signalling, both signs, a few payloads, and one quiet;
            # all read back as quiet NaNs.
            (0, 0x7F800001), (0, 0xFF800001), (7, 0x7FA5A5A5), (-3, 0xFFBFFFFF),
            (INT64_MIN, 0x7F812345), (1, 0xFFC00001)]


def main():
    rng = random.Random(20261208)
    print('// SPDX-License-Identifier: MIT')
    print('// Generated by make_angle_cases.py; do not edit.')
    print('// Needs <cstdint> (or <stdint.h>).')
    print('struct AngleCase {  // a double stored as revolutions and offset, and read back')
    print('    uint64_t input;')
    print('    int64_t revolutions;')
    print('    uint32_t offset;')
    print('    uint64_t readBack;')
    print('};')
    print('struct StoredAngleCase {  // an entry as a host wrote it, and its read-back')
    print('    int64_t revolutions;')
    print('    uint32_t offset;')
    print('    uint64_t readBack;')
    print('};')
    print('// {input bits, revolutions, offset bits, read-back bits}')
    print('static const AngleCase kNamedAngleCases[] = {')
    for b in named_inputs():
        rev, off = store(b2d(b))
        print(f'    {{0x{b:016X}u, INT64_C({rev}), 0x{off:08X}u, 0x{load(rev, off):016X}u}},'
              .replace('INT64_C(-9223372036854775808)', 'INT64_MIN'))
    print('};')
    print('static const AngleCase kSweepAngleCases[] = {')
    for b in sweep_inputs(rng):
        rev, off = store(b2d(b))
        print(f'    {{0x{b:016X}u, INT64_C({rev}), 0x{off:08X}u, 0x{load(rev, off):016X}u}},'
              .replace('INT64_C(-9223372036854775808)', 'INT64_MIN'))
    print('};')
    print('// {revolutions, offset bits, read-back bits}')
    print('static const StoredAngleCase kHostEntryCases[] = {')
    for rev, off in host_entries():
        print(f'    {{INT64_C({rev}), 0x{off:08X}u, 0x{load(rev, off):016X}u}},'
              .replace('INT64_C(-9223372036854775808)', 'INT64_MIN'))
    print('};')


if __name__ == '__main__':
    main()
