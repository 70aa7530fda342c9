# SPDX-License-Identifier: MIT
"""A property-based test of the checked calls and call lists.

Random sequences of checked calls, call lists (built, then run after what
they were given or what they read has changed), table edits,
re-initializations and hostile arguments run against messages whose every
array sits between guard bytes, and against a pure-Python model of the same
messages written from the addressing rules alone. Every call must either
raise TypeError, ValueError or RuntimeError and change nothing, or change
exactly what the model changes and return what the model returns; the
guards must never change. Well-formed, in-range arguments must be accepted,
and anything else refused.

TOVAK_FUZZ_EXAMPLES sets the number of examples (default 150); the seed is
fixed, so a run is repeatable.
"""
import array
import ctypes
import math
import os
import struct
import unittest

import tovakwrapper as tw

try:
    import numpy
except ImportError:
    numpy = None

try:
    from hypothesis import HealthCheck, Phase, given, seed, settings
    from hypothesis import strategies as st
except ImportError:
    given = None

EXAMPLES = int(os.environ.get('TOVAK_FUZZ_EXAMPLES', '150'))
GUARD = 16
FILL = 0xA5
U32 = 2**32 - 1
TURN = 6.283185307179586
PER_TURN = 0.15915494309189535

# The value kinds a record points to: (Shape attribute, bytes per element in a message).
KINDS = [('floats', 4), ('high_res_angles', 16), ('vector3fs', 12), ('quaternionfs', 16),
         ('uint64s', 8), ('enums', 4), ('bools', 1), ('numbered_floats', 4), ('io_pins', 16),
         ('leds', 4)]
FAMILY_KIND = {'Float': 0, 'HighResAngle': 1, 'Vector3f': 2, 'Quaternionf': 3, 'UInt64': 4,
               'Enum': 5, 'Bool': 6, 'NumberedFloat': 7, 'IoPin': 8, 'IoPinInt': 8,
               'IoPinFloat': 8, 'Led': 9, 'Flag': 11, 'Field': None, 'Kind': None}
# The host's element of each family: (array typecode or None, ctypes type, width).
HOST = {'Float': ('f', ctypes.c_float, 4), 'HighResAngle': ('d', ctypes.c_double, 8),
        'Vector3f': (None, tw.MiVector3f, 12), 'Quaternionf': (None, tw.MiQuaternionf, 16),
        'UInt64': ('Q', ctypes.c_uint64, 8), 'Enum': ('i', ctypes.c_int32, 4),
        'Bool': ('B', ctypes.c_uint8, 1), 'NumberedFloat': ('f', ctypes.c_float, 4),
        'IoPin': (None, tw.IoPinEntry, 16), 'IoPinInt': ('q', ctypes.c_int64, 8),
        'IoPinFloat': ('f', ctypes.c_float, 4), 'Led': ('I', ctypes.c_uint32, 4),
        'Flag': ('B', ctypes.c_uint8, 1), 'Field': ('B', ctypes.c_uint8, 1)}
COPY = {'Command': 0, 'Feedback': 1, 'Info': 2}


class Accessor:
    """One accessor, described from its name; or (miCommandHasKind ...) a
    presence query by kind and field."""

    def __init__(self, name):
        rest = name[2:]
        self.message = next(m for m in COPY if rest.startswith(m))
        rest = rest[len(self.message):]
        self.op, self.family = rest[:3], rest[3:]
        self.name = name
        self.method = ''.join('_' + c.lower() if c.isupper() else c for c in name[2:])[1:] \
            .replace('u_int64', 'uint64').replace('_has_kind', '_has')
        self.kind = FAMILY_KIND[self.family]
        self.setter = self.op == 'Set'
        self.host = HOST['Bool'] if self.op == 'Has' else HOST[self.family]
        self.indexed = self.family in ('NumberedFloat', 'IoPin', 'IoPinInt', 'IoPinFloat', 'Kind')


ACCESSORS = [Accessor(name) for name in tw.FUNCTIONS] + \
    [Accessor(f'mi{m}HasKind') for m in COPY]


class Guarded:
    """`size` bytes between two runs of guard bytes, 16-byte aligned."""

    def __init__(self, payload):
        self.size = len(payload)
        self.block = (ctypes.c_uint8 * (self.size + 2 * GUARD))(*([FILL] * GUARD), *payload,
                                                                 *([FILL] * GUARD))
        self.address = ctypes.addressof(self.block) + GUARD

    def payload(self):
        return ctypes.string_at(self.address, self.size)

    def whole(self):
        return bytes(self.block)


class Hostile:
    """Index objects that behave oddly."""

    class LiesAboutItsClass(int):
        """An int that claims to be a plain int and to lie in every range."""
        __class__ = property(lambda self: int)
        __lt__ = __le__ = __gt__ = __ge__ = lambda self, other: True

    class Drifting:
        """Gives its value once, then something else."""

        def __init__(self, value):
            self.value, self.calls = value, 0

        def __index__(self):
            self.calls += 1
            return self.value if self.calls == 1 else 10**9 + self.calls

    class Refusing:
        def __index__(self):
            raise ValueError('no index here')

    class SubInt(int):
        def __index__(self):
            return 10**12


class World:
    """Messages, records, metadata and the model, drawn from `draw`."""

    def __init__(self, case, lib, draw):
        self.case, self.lib, self.draw = case, lib, draw
        self.words = draw(st.integers(1, 3))
        self.lengths = [draw(st.sampled_from([0, 3, 4, 5, 6, 6])) for _ in KINDS]
        self.messages = []  # per message: [presence Guarded, Guarded per kind]
        self.model = []  # per message: [presence bytearray, bytearray per kind]
        for _ in range(draw(st.integers(1, 3))):
            arrays = [Guarded(draw(st.binary(min_size=4 * self.words, max_size=4 * self.words)))]
            for k, (_, width) in enumerate(KINDS):
                n = self.lengths[k]
                if k == 1:  # angles with finite offsets, so that readings compare exactly
                    entries = [struct.pack('<qfI', draw(st.integers(-2**40, 2**40)),
                                           draw(st.floats(-10, 10, width=32)), 0xDEAD)
                               for _ in range(n)]
                    arrays.append(Guarded(b''.join(entries)))
                else:
                    arrays.append(Guarded(draw(st.binary(min_size=n * width, max_size=n * width))))
            self.messages.append(arrays)
            self.model.append([bytearray(a.payload()) for a in arrays])
        self.order = draw(st.lists(st.integers(0, len(self.messages) - 1), min_size=1, max_size=5))
        array_ = (tw.MessageRecord * len(self.order))()
        for record, m in zip(array_, self.order):
            ctypes.memmove(ctypes.addressof(record),
                           struct.pack('<12Q', *[a.address for a in self.messages[m]], 0), 96)
        self.message = draw(st.sampled_from([None] * 4 + ['command', 'feedback', 'info']))
        self.records = tw.Records(array_, tw.Shape(self.words, *self.lengths), self.message)
        ctypes.memset(array_, 0, ctypes.sizeof(array_))  # the Records hold their own copy
        self.keep = []
        self.sources = []  # the memory behind read-only views
        self.initialize()

    # -- the metadata -------------------------------------------------------------------

    def initialize(self):
        draw = self.draw
        bits = 32 * self.words
        self.base, self.tables, self.blocks, metas = [], [], [], []
        for _ in range(3):
            meta = tw.MessageMetadata()
            # Mostly in range; some near the end of the presence words or
            # wrapping around 2^32 into them.
            base = [draw(st.one_of(st.integers(0, bits - 8), st.integers(0, bits - 8),
                                   st.integers(bits - 8, bits + 4), st.integers(U32 - 6, U32)))
                    for _ in range(12)]
            for k, b in enumerate(base):
                meta.base[k] = b
            meta.opaque0[:] = draw(st.binary(min_size=48, max_size=48))
            meta.opaque3 = draw(st.integers(0, U32))
            tables = []
            for field in ('numberedFloatTable', 'pinBankTable'):
                how = draw(st.sampled_from(['array'] * 10 + ['null', 'pointer']))
                if how == 'null':
                    tables.append(None)
                    continue
                # Inside a block of bytes, which an out= may be made to overlap.
                block = bytearray(2 * GUARD + 12 + 2 * 96)
                table = (ctypes.c_int32 * draw(st.sampled_from([0, 2, 3]))).from_buffer(block, GUARD + 96)
                for i in range(len(table)):
                    table[i] = draw(st.integers(-2, 5))
                self.keep.append(table)
                self.blocks.append(block)
                if how == 'array':
                    setattr(meta, field, table)
                    tables.append(table)
                else:  # a pointer whose table length nobody knows
                    setattr(meta, field, ctypes.cast(table, ctypes.POINTER(ctypes.c_int32)))
                    tables.append('unknown')
            self.base.append(base)
            self.tables.append(tables)
            metas.append(meta)
        if draw(st.integers(0, 9)) == 0:
            # A subclass whose bases say something else than its bytes.
            class Lying(tw.MessageMetadata):
                base = property(lambda self: [0] * 12)
            liar = Lying.from_buffer_copy(metas[0])
            with self.case.assertRaises(TypeError):
                self.lib.initialize(liar, metas[1], metas[2])
        self.lib.initialize(*metas)

    def edit_table(self):
        draw = self.draw
        copy, which = draw(st.integers(0, 2)), draw(st.integers(0, 1))
        table = self.tables[copy][which]
        if isinstance(table, ctypes.Array) and len(table):
            table[draw(st.integers(0, len(table) - 1))] = draw(st.integers(-2, 6))

    def overlaps_a_table(self, start, size):
        return size and any(
            isinstance(t, ctypes.Array) and len(t) and start < ctypes.addressof(t) + 4 * len(t)
            and ctypes.addressof(t) < start + size for pair in self.tables for t in pair)

    # -- arguments ----------------------------------------------------------------------

    def index(self, low, high):
        """(argument, the int the model takes, or None when it must be refused)."""
        draw = self.draw
        value = draw(st.integers(low, high))
        how = draw(st.sampled_from(['int'] * 30 + ['extreme', 'numpy', '0-d', 'bool', 'float',
                                                  'liar', 'drifting', 'refusing', 'subint',
                                                  'none']))
        if how == 'extreme':
            value = draw(st.sampled_from([-2**70, -2**31 - 1, -2**31, 2**31 - 1, 2**31, U32,
                                          2**32, 2**64, 2**70]))
        if how in ('numpy', '0-d') and numpy is not None:
            dtype = numpy.dtype(draw(st.sampled_from(['i1', 'i2', 'i4', 'i8', 'u1', 'u2', 'u4',
                                                      'u8'])))
            info = numpy.iinfo(dtype)
            if not info.min <= value <= info.max:
                value = int(info.max if value > 0 else info.min)
            if how == 'numpy':
                return dtype.type(value), value
            return numpy.array(value, dtype), value
        if how == 'bool':
            if numpy is not None and draw(st.booleans()):
                return numpy.bool_(draw(st.booleans())), None
            return draw(st.booleans()), None
        if how == 'float':
            return float(value), None
        if how == 'liar':
            value = draw(st.sampled_from([value, value, 50_000_000, -2**31 - 5]))
            return Hostile.LiesAboutItsClass(value), value
        if how == 'drifting':
            return Hostile.Drifting(value), value
        if how == 'refusing':
            return Hostile.Refusing(), None
        if how == 'subint':
            return Hostile.SubInt(value), value  # an int subclass is taken as the int it is
        if how == 'none':
            return None, None
        return value, value

    def count(self):
        draw = self.draw
        how = draw(st.integers(0, 5))
        if how < 2:
            return None, len(self.order)  # every record
        if how < 5:
            value = draw(st.integers(0, len(self.order)))
            return value, value
        count, value = self.index(-1, len(self.order) + 1)
        return (None, len(self.order)) if count is None else (count, value)

    def buffer(self, acc, n, out):
        """(buffer, whether it must be accepted, function giving its current
        bytes, guard bytes function or None)."""
        draw = self.draw
        typecode, ctype, width = acc.host
        size = n * width
        if not out:
            size = draw(st.sampled_from([size, size, size + width]))
        payload = self.values_payload(acc, size // width) if not out else bytes(size)
        kinds = ['ctypes'] * 4 + ['raw', 'memoryview', 'wrong length', 'misaligned', 'list',
                                  'resized']
        kinds += ['array'] * 4 if typecode else []
        kinds += ['read-only'] + (['numpy'] * 4 + ['numpy read-only', 'numpy strided',
                                                   'numpy dtype'] if numpy is not None else [])
        if out:
            kinds += ['overlap'] * 2 + ['none'] * 3
        else:
            kinds += ['none'] * 2 + ['numpy read-only'] * 3 * (numpy is not None)
        how = self.how = draw(st.sampled_from(kinds))
        self.span = None
        if how == 'none':
            return None, True, None, None
        if how == 'list':
            return list(payload), False, None, None
        if how == 'array':
            buf = array.array(typecode, payload)
            return buf, True, lambda: bytes(buf), None
        if how == 'resized':  # its export holds more bytes than elements: refused
            buf = (ctype * (size // width))()
            ctypes.resize(buf, ctypes.sizeof(buf) + 64)
            self.keep.append(buf)
            return buf, False, None, None
        if how == 'overlap':  # out over a table of the metadata, or beside one
            block = draw(st.sampled_from(self.blocks)) if self.blocks else bytearray(300)
            start = GUARD + 96 + 8 * draw(st.integers(-(size // 8) - 1, 2))  # 8-byte aligned
            view = memoryview(block)[start:start + size]
            self.span = (ctypes.addressof(ctypes.c_char.from_buffer(block)) + start, size)
            return tw.Raw(view), not self.overlaps_a_table(*self.span), lambda: bytes(view), None
        guarded = bytearray([FILL] * GUARD) + bytearray(payload) + bytearray([FILL] * GUARD)
        self.keep.append(guarded)

        def guards():
            return bytes(guarded[:GUARD]) + bytes(guarded[-GUARD:])

        def current():
            return bytes(guarded[GUARD:GUARD + size])
        if how == 'ctypes':
            buf = (ctype * (size // width)).from_buffer(guarded, GUARD)
            return buf, True, current, guards
        if how == 'raw':
            return tw.Raw(memoryview(guarded)[GUARD:GUARD + size]), True, current, guards
        if how == 'memoryview':
            view = memoryview(guarded)[GUARD:GUARD + size]
            if typecode:
                view = view.cast(typecode)
            elif acc.family != 'IoPin' and size:
                view = view.cast('f', (size // width, width // 4))
            else:
                return tw.Raw(view), True, current, guards
            return view, True, current, guards
        if how == 'wrong length':
            if out:
                wrong = size + width if size < width or draw(st.booleans()) else size - width
            elif n:
                wrong = n * width - width
            else:
                return None, True, None, None
            return tw.Raw(bytearray(wrong)), False, None, None
        if how == 'misaligned':
            if width == 1 or not n:  # nothing is read or written at count 0
                return None, True, None, None
            return (tw.Raw(memoryview(guarded)[GUARD + 1:GUARD + 1 + size]), False, None, None) \
                if draw(st.booleans()) else \
                ((ctype * (size // width)).from_buffer(guarded, GUARD + 2), False, None, None)
        if how == 'read-only':
            data = bytes(payload)
            view = memoryview(data)
            if typecode:
                view = view.cast(typecode)
            return (view if typecode else tw.Raw(view)), not out, lambda: data, None
        if how == 'numpy':
            dtype = {'f': numpy.float32, 'd': numpy.float64, 'Q': numpy.uint64, 'i': numpy.int32,
                     'B': numpy.uint8, 'q': numpy.int64, 'I': numpy.uint32}.get(typecode)
            if dtype is None:
                if acc.family == 'IoPin':  # the structured array of the IoPinEntry layout
                    dtype = [('value', '<i8'), ('tag', '<u4'), ('padding', '<u4')]
                    return numpy.frombuffer(guarded, dtype, size // width, GUARD), True, \
                        current, guards
                columns = width // 4
                if draw(st.booleans()):
                    buf = numpy.frombuffer(guarded, numpy.float32, size // 4, GUARD) \
                        .reshape(size // width, columns)
                else:  # a structured dtype with the same bytes
                    buf = numpy.frombuffer(guarded, [('v', numpy.float32, (columns,))],
                                           size // width, GUARD)
                return buf, True, current, guards
            return numpy.frombuffer(guarded, dtype, size // width, GUARD), True, current, guards
        if how == 'numpy read-only':
            # A read-only view of memory that changes: the values of the
            # moment of each call are the ones to be written.
            source = bytearray(payload)
            if acc.family != 'HighResAngle':  # angles convert: keep them finite
                self.sources.append(source)
            if not typecode:
                view = memoryview(source).toreadonly()
                return tw.Raw(view), not out, lambda: bytes(source), None
            view = numpy.frombuffer(source, typecode)
            view.flags.writeable = False
            return view, not out, lambda: bytes(source), None
        if how == 'numpy strided':
            if size < 2:  # one element is contiguous whatever its stride
                return None, True, None, None
            wide = numpy.zeros(2 * size, numpy.uint8)
            return wide[::2].view(numpy.uint8), False, None, None
        if how == 'numpy dtype':
            other = {1: numpy.int8, 4: numpy.int16, 8: numpy.float16, 12: numpy.int32,
                     16: numpy.float64}[width]
            return numpy.zeros(size // numpy.dtype(other).itemsize, other), False, None, None
        raise AssertionError(how)

    def values_payload(self, acc, n):
        draw = self.draw
        if acc.family == 'HighResAngle':
            return struct.pack(f'<{n}d', *[draw(st.floats(-1e6, 1e6)) for _ in range(n)])
        return draw(st.binary(min_size=n * acc.host[2], max_size=n * acc.host[2]))

    # -- the model ----------------------------------------------------------------------

    def plan(self, acc, n, a, b):
        """The value index, presence bit and table read by accessor `acc`
        with count n and index arguments a (field, bit, number, pin or kind)
        and b (field or bank of the table accessors, field of a query by
        kind): (value index or None, presence word and mask or None, inert),
        or None when the call must be refused."""
        if n is None or not 0 <= n <= len(self.order):
            return None
        if self.message is not None and self.message != acc.message.lower():
            return None
        words, k = self.words, acc.kind
        message = COPY[acc.message]

        def presence(copy, kind, offset):
            bit = (self.base[copy][kind] + offset) & U32
            return None if bit >> 5 >= words else (bit >> 5, 1 << (bit & 31))
        if acc.family == 'Field':
            if a is None or not 0 <= a < 32 * words:
                return None
            return None, (a >> 5, 1 << (a & 31)), False
        if acc.family == 'Kind':
            if a is None or b is None or not 0 <= a < 12:
                return None
            if not (0 <= b < self.lengths[a] if a < 10 else 0 <= b <= U32):
                return None
            where = presence(message, a, b)
            return None if where is None else (None, where, False)
        if acc.family == 'Flag':
            if a is None or not 0 <= a <= U32:
                return None
            where = presence(0 if acc.setter else message, 11, a)
            return None if where is None else (None, where, False)
        if not acc.indexed:
            if a is None or not 0 <= a < self.lengths[k]:
                return None
            if not acc.setter:
                return a, None, False
            where = presence(0, k, a)
            return None if where is None else (a, where, False)
        if a is None or b is None or not -2**31 <= a < 2**31 or not 0 <= b <= U32:
            return None
        query = acc.op == 'Has'
        copy = message if query else 1
        table = self.tables[copy][0 if k == 7 else 1]
        if table is None:
            return None, None, True
        if table == 'unknown' or not b < len(table):
            return None
        index = table[b] + a
        if not 0 <= index < self.lengths[k]:
            return None
        if query or acc.setter:
            where = presence(message if query else 0, k, index & U32)
            return None if where is None else (index, where, False)
        return index, None, False

    def run_model(self, acc, n, plan, values):
        """Applies the call to the model; returns the out bytes of a getter."""
        index, where, inert = plan
        width = KINDS[acc.kind][1] if acc.kind is not None and acc.kind < 10 else 0
        out = bytearray()
        for i in range(n):
            m = self.model[self.order[i]]
            if acc.setter:
                if inert:
                    continue
                if values is not None and acc.family != 'Flag':
                    element = m[1 + acc.kind]
                    host = values[i * acc.host[2]:(i + 1) * acc.host[2]]
                    at = index * width
                    if acc.family == 'HighResAngle':
                        x = struct.unpack('<d', host)[0] * PER_TURN
                        revolutions = int(x) if -2.0**63 <= x < 2.0**63 else -2**63
                        offset = struct.pack('<f', (x - float(revolutions)) * TURN)
                        element[at:at + 12] = struct.pack('<q', revolutions) + offset
                    elif acc.family == 'IoPinInt':
                        element[at:at + 12] = host + struct.pack('<I', 1)
                    elif acc.family == 'IoPinFloat':
                        element[at:at + 4] = host
                        element[at + 8:at + 12] = struct.pack('<I', 2)
                    else:
                        element[at:at + width] = host
                word, mask = where
                value = struct.unpack_from('<I', m[0], 4 * word)[0] | mask
                struct.pack_into('<I', m[0], 4 * word, value)
                continue
            if inert:
                out += bytes(acc.host[2])
                continue
            if acc.family in ('Field', 'Flag', 'Kind'):
                word, mask = where
                out.append(1 if struct.unpack_from('<I', m[0], 4 * word)[0] & mask else 0)
                continue
            element = m[1 + acc.kind][index * width:(index + 1) * width]
            if acc.family == 'HighResAngle':
                revolutions, offset = struct.unpack('<qf', element[:12])
                out += struct.pack('<d', offset + float(revolutions) * TURN)
            elif acc.op == 'Has':
                tag = struct.unpack('<I', element[8:12])[0]
                word, mask = where
                present = struct.unpack_from('<I', m[0], 4 * word)[0] & mask
                out.append(1 if tag == (1 if acc.family == 'IoPinInt' else 2) and present else 0)
            elif acc.family == 'IoPinInt':
                tag = struct.unpack('<I', element[8:12])[0]
                out += element[:8] if tag == 1 else bytes(8)
            elif acc.family == 'IoPinFloat':
                tag = struct.unpack('<I', element[8:12])[0]
                out += element[:4] if tag == 2 else bytes(4)
            else:
                out += element
        return bytes(out)

    def memory(self):
        return [[a.whole() for a in arrays] for arrays in self.messages]

    def expected_memory(self):
        fill = bytes([FILL] * GUARD)
        return [[fill + bytes(a) + fill for a in arrays] for arrays in self.model]

    def tables_now(self):
        return [bytes(block) for block in self.blocks]


def same_readings(acc, got, expected):
    """Angle readings are doubles: a NaN is a NaN whatever its payload."""
    if acc.family != 'HighResAngle' or acc.setter:
        return got == expected
    n = len(expected) // 8
    if len(got) != len(expected):
        return False
    for x, y in zip(struct.unpack(f'<{n}d', got), struct.unpack(f'<{n}d', expected)):
        if not (x == y and math.copysign(1, x) == math.copysign(1, y) or math.isnan(x) and math.isnan(y)):
            return False
    return True


class Fuzz:
    def __init__(self, case, lib, data):
        self.case, self.lib, self.data = case, lib, data
        self.world = World(case, lib, data.draw)
        self.lists = []  # (call list, [entries added])

    def step(self):
        draw = self.data.draw
        what = draw(st.sampled_from(['call'] * 6 + ['add'] * 4 + ['run'] * 4 + ['edit'] * 3
                                    + ['initialize', 'mutate']))
        world = self.world
        if what == 'edit':
            world.edit_table()
        elif what == 'initialize':
            world.initialize()
        elif what == 'mutate':
            self.mutate()
        elif what == 'add':
            if not self.lists or draw(st.integers(0, 3)) == 0:
                self.lists.append((self.lib.calls(), []))
            chosen = draw(st.sampled_from(self.lists))
            for _ in range(draw(st.integers(1, 4))):
                self.call(draw(st.sampled_from(ACCESSORS)), chosen)
        elif what == 'run':
            if self.lists:
                if draw(st.booleans()):
                    world.edit_table()  # so that the list may have to be checked again
                self.run_list(draw(st.sampled_from([c for c in self.lists if c[1]] or self.lists)))
        else:
            self.call(draw(st.sampled_from(ACCESSORS)), None)

    def mutate(self):
        """What call lists were given changes behind them: 0-d index arrays,
        and the memory behind read-only values."""
        draw = self.data.draw
        for _, entries in self.lists:
            for entry in entries:
                for arg in entry['args']:
                    if numpy is not None and type(arg) is numpy.ndarray and arg.ndim == 0:
                        arg[()] = numpy.array(draw(st.integers(-10, 10))).astype(arg.dtype)
        for source in self.world.sources:
            source[:] = bytes((b + 1) & 255 for b in source)

    def arguments(self, acc):
        world = self.world
        count, n = world.count()
        bound = n if n is not None and 0 <= n <= len(world.order) else len(world.order)
        if acc.family == 'Kind':
            a, av = world.index(0, 12) if self.data.draw(st.integers(0, 3)) else \
                (tw.KIND(self.data.draw(st.integers(0, 11))).name, None)
            if type(a) is str:
                av = tw.KIND[a]
            b, bv = world.index(0, 6)
        elif acc.indexed:
            a, av = world.index(-1, 3)
            b, bv = world.index(0, 2)
        elif acc.family == 'Field':
            a, av = world.index(0, 32 * world.words + 2)
            b, bv = None, 0
        else:
            a, av = world.index(0, 5 if acc.family != 'Flag' else 20)
            b, bv = None, 0
        if numpy is not None and self.data.draw(st.booleans()):
            # Indices that can change after a call list took them.
            if type(a) is int and -2**63 <= a < 2**63:
                a = numpy.array(a)
            if type(b) is int and -2**63 <= b < 2**63:
                b = numpy.array(b)
        buffer = world.buffer(acc, bound, not acc.setter)
        return count, n, (a, b), (av, bv), buffer

    def invoke(self, target, acc, count, a, b, buf):
        args = [self.world.records] + ([buf] if acc.setter else []) + [a] + \
            ([b] if acc.indexed else [])
        kwargs = {} if count is None else {'count': count}
        if not acc.setter:
            kwargs['out'] = buf
        return getattr(target, acc.method)(*args, **kwargs)

    def call(self, acc, into):
        """A checked call, or (into a call list) a call added to a list."""
        world = self.world
        count, n, (a, b), (av, bv), (buf, ok, current, guards) = self.arguments(acc)
        plan = world.plan(acc, n, av, bv if acc.indexed else 0)
        accepted = plan is not None and (ok or acc.family == 'Flag' and acc.setter)
        before, tables, guards_before = world.memory(), world.tables_now(), guards and guards()
        target = into[0] if into else self.lib
        try:
            result = self.invoke(target, acc, count, a, b, buf)
        except (TypeError, ValueError, RuntimeError) as error:
            self.case.assertFalse(accepted, f'{acc.method} refused well-formed arguments: {error}')
            self.case.assertEqual(world.memory(), before, f'{acc.method} refused but wrote')
            self.case.assertEqual(world.tables_now(), tables, f'{acc.method} wrote a table')
            return
        self.case.assertTrue(accepted, f'{acc.method} accepted {a!r}, {b!r}, count={count!r}, '
                                       f'buffer {type(buf).__name__} ({world.how}, model: {plan})')
        if into:
            self.case.assertEqual(world.memory(), before, 'adding a call to a list wrote')
            into[1].append({'acc': acc, 'n': n, 'av': av, 'bv': bv, 'args': (a, b),
                            'current': current, 'guards': guards, 'buf': buf, 'result': result,
                            'span': world.span})
            return
        self.check(acc, n, plan, result, buf, current, guards, guards_before)

    def check(self, acc, n, plan, result, buf, current, guards, guards_before):
        world = self.world
        values = None
        if acc.setter and buf is not None and acc.family != 'Flag':
            values = current() if current else None
            self.case.assertIsNotNone(values)
        expected = world.run_model(acc, n, plan, values)
        self.case.assertEqual(world.memory(), world.expected_memory(), f'{acc.method}: messages')
        if guards:
            self.case.assertEqual(guards(), guards_before, f'{acc.method}: out of bounds')
        if not acc.setter:
            got = current() if buf is not None else bytes(result)
            self.case.assertTrue(same_readings(acc, got, expected),
                                 f'{acc.method}: read {got.hex()}, model {expected.hex()}')

    def run_list(self, chosen):
        """A call list runs as a whole or not at all: refused when the model
        refuses any of its calls now, else each call does what the model
        does, in order."""
        step, entries = chosen
        world = self.world
        plans = [world.plan(e['acc'], e['n'], e['av'], e['bv'] if e['acc'].indexed else 0)
                 for e in entries]
        outs_ok = not any(e['span'] and world.overlaps_a_table(*e['span']) for e in entries)
        before, tables = world.memory(), world.tables_now()
        guards = [e['guards']() if e['guards'] else None for e in entries]
        try:
            step()
        except (TypeError, ValueError, RuntimeError) as error:
            self.case.assertTrue(None in plans or not outs_ok, f'a call list refused safe calls: {error}')
            self.case.assertEqual(world.memory(), before, 'a refused call list wrote')
            self.case.assertEqual(world.tables_now(), tables, 'a refused call list wrote a table')
            return
        refused = [(e['acc'].method, e['n'], e['av'], e['bv']) for e, p in zip(entries, plans)
                   if p is None]
        self.case.assertFalse(refused, f'a call list ran calls the model refuses: {refused}')
        for e, plan, guard_before in zip(entries, plans, guards):
            acc = e['acc']
            values = e['current']() if acc.setter and e['buf'] is not None \
                and acc.family != 'Flag' else None
            expected = world.run_model(acc, e['n'], plan, values)
            if not acc.setter:
                got = e['current']() if e['buf'] is not None else bytes(e['result'])
                self.case.assertTrue(same_readings(acc, got, expected),
                                     f'{acc.method} in a call list: read {got.hex()}, '
                                     f'model {expected.hex()}')
            if e['guards']:
                self.case.assertEqual(e['guards'](), guard_before, f'{acc.method}: out of bounds')
        self.case.assertEqual(world.memory(), world.expected_memory(), 'call list: messages')


@unittest.skipIf(given is None, 'hypothesis is not installed (Debian: python3-hypothesis)')
class FuzzTest(unittest.TestCase):
    def test_checked_calls_refuse_or_match_the_model(self):
        lib = tw.load()

        @seed(20261209)
        @settings(max_examples=EXAMPLES, deadline=None, database=None, derandomize=True,
                  phases=[Phase.generate] if os.environ.get("TOVAK_FUZZ_NO_SHRINK") else list(Phase),
                  suppress_health_check=list(HealthCheck))
        @given(st.data())
        def run(data):
            fuzz = Fuzz(self, lib, data)
            for _ in range(data.draw(st.integers(1, 16))):
                fuzz.step()
        run()


if __name__ == '__main__':
    unittest.main()
