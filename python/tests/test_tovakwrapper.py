# SPDX-License-Identifier: MIT
"""Tests of the Python host: layouts against the C header, every accessor
family through the checked calls, one grouped test per fault class the
checked calls must stop, prepared calls, and the examples in the docs."""
import array
import contextlib
import ctypes
import doctest
import gc
import io
import os
import re
import shutil
import sys
import sysconfig
import tempfile
import unittest

import tovakwrapper as tw
import tovakwrapper._library
from tovakwrapper.simulated import Group

try:
    import numpy
except ImportError:
    numpy = None

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
HEADER = os.path.join(ROOT, 'include', 'tovakWrapper.h')
N = 4  # messages per group
needs_numpy = unittest.skipIf(numpy is None, 'numpy is not installed')


class LayoutTest(unittest.TestCase):
    def test_python_layouts_match_the_header(self):
        with open(HEADER) as header:
            text = header.read()
        sizes = re.findall(r'MI_LAYOUT_CHECK\(sizeof\((\w+)\) == (\d+)', text)
        offsets = re.findall(r'MI_LAYOUT_CHECK\(offsetof\((\w+), (\w+)\) == (\d+)', text)
        self.assertGreater(len(offsets), 20)
        for name, size in sizes:
            if name == 'void':
                continue
            self.assertEqual(ctypes.sizeof(getattr(tw, name)), int(size), name)
        for name, field, offset in offsets:
            self.assertEqual(getattr(getattr(tw, name), field).offset, int(offset), f'{name}.{field}')

    def test_every_function_has_declared_types(self):
        lib = tw.load()
        self.assertEqual(len(tw.FUNCTIONS), 48)
        self.assertEqual(len(set(tw.FUNCTIONS)), 48)
        for name in tw.FUNCTIONS + ['miInitialize']:
            function = getattr(lib.raw, name)
            self.assertIsNotNone(function.argtypes, name)
            self.assertIsNone(function.restype, name)
        with self.assertRaises(ctypes.ArgumentError):
            lib.raw.miCommandSetFloat(1, 2, 3, 4)


class FindLibraryTest(unittest.TestCase):
    def test_searches_the_environment_prefix_and_names_what_it_tried(self):
        library = os.path.realpath(tw.load().path)
        saved = sys.prefix, os.environ.pop('TOVAK_WRAPPER_LIBRARY', None)
        with tempfile.TemporaryDirectory() as prefix:
            directory = os.path.join(prefix, 'lib', sysconfig.get_config_var('MULTIARCH') or '')
            os.makedirs(directory)
            os.symlink(library, os.path.join(directory, tw._library.SONAME))
            try:
                sys.prefix = prefix
                self.assertEqual(tw.find_library(), os.path.join(directory, tw._library.SONAME))
                os.environ['TOVAK_WRAPPER_LIBRARY'] = os.path.join(prefix, 'nothing.so')
                with self.assertRaisesRegex(OSError, 'TOVAK_WRAPPER_LIBRARY.*nothing.so'):
                    tw.find_library()
            finally:
                sys.prefix = saved[0]
                os.environ.pop('TOVAK_WRAPPER_LIBRARY')
                if saved[1] is not None:
                    os.environ['TOVAK_WRAPPER_LIBRARY'] = saved[1]


class Case(unittest.TestCase):
    def setUp(self):
        self.lib = tw.load()
        self.command, self.feedback, self.info = Group(0), Group(3), Group(5)
        self.lib.initialize(self.command.meta, self.feedback.meta, self.info.meta)
        self.g = self.command

    def memory(self):
        return [b''.join(bytes(a) for a in m.values()) for m in self.g.storage]

    def assertRefused(self, error, words, call, *args, **kwargs):
        """The call raises `error` whose message holds every one of `words`,
        and no message changed."""
        before = self.memory()
        with self.assertRaises(error) as caught:
            call(*args, **kwargs)
        for word in words:
            self.assertIn(word, str(caught.exception))
        self.assertEqual(self.memory(), before)


class FamiliesTest(Case):
    def test_plain_values_round_trip_bit_for_bit(self):
        cases = [('float', array.array('f', [1.5, -0.0, 3.25, 1e-40])),
                 ('enum', array.array('i', [-1, 7, 2**31 - 1, -2**31])),
                 ('bool', bytearray([0, 1, 2, 255])),
                 ('led', array.array('I', [0xDEADBEEF, 0, 1, 0xFFFFFFFF]))]
        for family, values in cases:
            getattr(self.lib, f'command_set_{family}')(self.g.records, values, 2)
            for kind in ('command', 'feedback', 'info'):
                out = getattr(self.lib, f'{kind}_get_{family}')(self.g.records, 2)
                self.assertEqual(bytes(out), bytes(values), (family, kind))
            bit = self.g.meta.base[tw.KIND[family.upper()]] + 2
            self.assertTrue(all(self.g.present(i, bit) for i in range(N)), family)

    def test_vector_quaternion_uint64_getters(self):
        for i in range(N):
            self.g.storage[i]['vector3fs'][1].v[:] = [i, i + 0.5, -i]
            self.g.storage[i]['quaternionfs'][1].q[:] = [1, 2, 3, i]
            self.g.storage[i]['uint64s'][1] = 2**64 - 1 - i
        v = self.lib.feedback_get_vector3f(self.g.records, 1)
        q = self.lib.command_get_quaternionf(self.g.records, 1)
        u = self.lib.feedback_get_uint64(self.g.records, 1)
        self.assertEqual(list(v[3]), [3, 3.5, -3])
        self.assertEqual(list(q[2]), [1, 2, 3, 2])
        self.assertEqual(list(u), [2**64 - 1 - i for i in range(N)])

    def test_high_resolution_angles(self):
        values = array.array('d', [1.0, 6.283185307179586, -7.0, 100.0])
        self.lib.command_set_high_res_angle(self.g.records, values, 0)
        self.assertEqual([self.g.storage[i]['highResAngles'][0].revolutions for i in range(N)],
                         [0, 1, -1, 15])
        out = self.lib.info_get_high_res_angle(self.g.records, 0)
        self.assertEqual(out[0], 1.0)
        self.assertEqual(out[1], 6.283185307179586)
        self.assertAlmostEqual(out[2], -7.0, delta=1e-6)

    def test_numbered_floats_through_the_feedback_table(self):
        self.feedback.tables[1] = 5  # field 1 starts at 5 for numbered floats
        self.lib.command_set_numbered_float(self.g.records, array.array('f', [1, 2, 3, 4]), -1, 1)
        self.assertEqual([self.g.storage[i]['numberedFloats'][4] for i in range(N)], [1, 2, 3, 4])
        self.assertEqual(list(self.lib.feedback_get_numbered_float(self.g.records, -1, 1)), [1, 2, 3, 4])
        self.assertTrue(self.g.present(0, self.g.meta.base[7] + 4))

    def test_io_pins_of_every_kind(self):
        self.lib.command_set_io_pin_int(self.g.records, array.array('q', [-5, 6, 7, 8]), 1, 1)
        self.assertEqual(list(self.lib.command_get_io_pin_int(self.g.records, 1, 1)), [-5, 6, 7, 8])
        self.assertEqual(list(self.lib.command_has_io_pin_int(self.g.records, 1, 1)), [1] * N)
        self.assertEqual(list(self.lib.command_has_io_pin_float(self.g.records, 1, 1)), [0] * N)
        self.lib.command_set_io_pin_float(self.g.records, array.array('f', [0.5] * N), 2, 0)
        self.assertEqual(list(self.lib.feedback_get_io_pin_float(self.g.records, 2, 0)), [0.5] * N)
        entries = (tw.IoPinEntry * N)()
        for e in entries:
            e.value.asInt, e.tag, e.padding = 42, 7, 9
        self.lib.command_set_io_pin(self.g.records, entries, 3, 0)
        got = self.lib.feedback_get_io_pin(self.g.records, 3, 0)
        self.assertEqual([(e.value.asInt, e.tag, e.padding) for e in got], [(42, 7, 9)] * N)

    def test_flags_and_presence(self):
        self.lib.command_set_flag(self.g.records, None, 3)
        self.assertEqual(list(self.lib.command_get_flag(self.g.records, 3)), [1] * N)
        self.assertEqual(list(self.lib.info_get_flag(self.g.records, 3)), [0] * N)
        bit = self.g.meta.base[11] + 3
        self.assertEqual(list(self.lib.command_has_field(self.g.records, bit)), [1] * N)
        self.assertEqual(list(self.lib.feedback_has_field(self.g.records, bit + 1)), [0] * N)

    def test_count_and_raw_byte_records(self):
        raw = tw.Records(bytes(self.g.records.array), self.g.records.shape)  # copied
        self.lib.command_set_enum(raw, array.array('i', [9, 9]), 0, count=2)
        self.assertEqual([self.g.storage[i]['enums'][0] for i in range(N)], [9, 9, 0, 0])
        self.assertEqual(len(self.lib.command_get_enum(raw, 0, count=0)), 0)


class FaultTest(Case):
    """One test per class of fault the checked calls refuse before the
    native call; each checks that nothing was written."""

    def test_index_beyond_the_shape(self):
        floats = array.array('f', [1] * N)
        for field in (4, 64, 100000, 2**32, -1):
            self.assertRefused(ValueError, ['field', 'Float', '4 elements'],
                               self.lib.command_set_float, self.g.records, floats, field)
            self.assertRefused(ValueError, ['field'], self.lib.feedback_get_float,
                               self.g.records, field)
        self.assertRefused(ValueError, ['field', 'Vector3f'], self.lib.command_get_vector3f,
                           self.g.records, 4)
        self.assertRefused(ValueError, ['count', 'from 0 to 4'], self.lib.command_set_float,
                           self.g.records, array.array('f', [1] * 8), 0, count=N + 1)
        narrow = Group()
        narrow.records = tw.Records(narrow.records.array, tw.Shape(presence_words=8, floats=4))
        self.assertRefused(ValueError, ['no Led array'], self.lib.command_get_led, narrow.records, 0)

    def test_table_derived_index_beyond_the_array(self):
        self.feedback.tables[1] = 6  # bank 1 now starts at pin 6 of 8
        self.assertRefused(ValueError, ['pin 2', '= 8', 'from 0 to 7'],
                           self.lib.command_set_io_pin_int, self.g.records,
                           array.array('q', [1] * N), 2, 1)
        self.assertRefused(ValueError, ['pin -1', '= -1'], self.lib.feedback_get_io_pin,
                           self.g.records, -1, 0)
        self.assertRefused(ValueError, ['bank', "Feedback metadata's pin-bank table has 2"],
                           self.lib.command_get_io_pin_float, self.g.records, 0, 2)
        self.assertRefused(ValueError, ['number 3', '= 9'], self.lib.command_get_numbered_float,
                           self.g.records, 3, 1)
        self.assertRefused(ValueError, ['pin', '-2147483648'], self.lib.command_get_io_pin,
                           self.g.records, 2**31, 0)
        # The Command queries read the Command metadata's own table.
        self.command.tables[0] = 8
        self.assertRefused(ValueError, ["Command metadata's pin-bank table"],
                           self.lib.command_has_io_pin_int, self.g.records, 0, 0)
        self.assertEqual(len(self.lib.feedback_has_io_pin_int(self.g.records, 0, 0)), N)
        # A table given only as a pointer has no known length: refused.
        unknown = Group()
        unknown.meta.pinBankTable = ctypes.cast(unknown.tables, ctypes.POINTER(ctypes.c_int32))
        self.lib.initialize(unknown.meta, unknown.meta, unknown.meta)
        self.assertRefused(ValueError, ['bank cannot be checked', 'pinBankTable'],
                           self.lib.feedback_get_io_pin_int, self.g.records, 0, 0)
        # No table at all: the library touches nothing, so the call goes through.
        self.lib.initialize(tw.MessageMetadata(), tw.MessageMetadata(), tw.MessageMetadata())
        self.assertEqual(list(self.lib.feedback_get_io_pin_int(self.g.records, 5, 1)), [0] * N)

    def test_presence_word_beyond_the_presence_array(self):
        far = Group(first_bit=200)  # kind k starts at bit 200 + 8k; 8 words hold 256 bits
        self.lib.initialize(far.meta, far.meta, far.meta)
        self.assertRefused(ValueError, ['presence bit 275', 'word 8', '8 presence words'],
                           self.lib.command_set_led, self.g.records, None, 3)
        self.assertRefused(ValueError, ['presence'], self.lib.command_set_flag, self.g.records, None, 0)
        self.assertRefused(ValueError, ['presence'], self.lib.command_set_io_pin_int,
                           self.g.records, None, 0, 1)
        self.assertRefused(ValueError, ['bit', 'from 0 to 255'], self.lib.info_has_field,
                           self.g.records, 256)
        self.lib.command_set_float(self.g.records, None, 0)  # bit 200 is in word 6: fine
        # The bit index wraps modulo 2^32: base 2^32 - 2 + field 3 is bit 1.
        wrap = Group(first_bit=2**32 - 2)
        self.lib.initialize(wrap.meta, wrap.meta, wrap.meta)
        self.lib.command_set_float(self.g.records, None, 3)
        self.assertTrue(all(self.g.present(i, 1) for i in range(N)))

    def test_metadata_lifetime(self):
        def initialize_with_temporaries():
            command, feedback = Group(), Group()
            feedback.tables[1] = 2
            self.lib.initialize(command.meta, feedback.meta, Group().meta)
        initialize_with_temporaries()
        gc.collect()
        for _ in range(3):  # churn the allocator over the freed memory, if it had been freed
            [(ctypes.c_int32 * 2)(-10**9, 10**9) for _ in range(1000)]
        self.lib.command_set_io_pin_int(self.g.records, array.array('q', [7] * N), 1, 1)
        self.assertEqual([self.g.storage[i]['ioPins'][3].value.asInt for i in range(N)], [7] * N)
        self.assertEqual(list(self.lib.feedback_get_io_pin_int(self.g.records, 1, 1)), [7] * N)

    def test_element_type_mismatch(self):
        cases = [('command_set_float', array.array('i', [1] * N), "typecode 'i'", 'float32'),
                 ('command_set_enum', array.array('f', [1] * N), "typecode 'f'", 'int32'),
                 ('command_set_high_res_angle', array.array('q', [1] * N), "typecode 'q'", 'float64'),
                 ('command_set_float', bytearray(16), "format 'B'", 'float32'),
                 ('command_set_led', (ctypes.c_int32 * N)(), 'c_int', 'uint32'),
                 ('command_set_bool', array.array('b', [1] * N), "typecode 'b'", 'uint8'),
                 ('command_set_float', [1.0] * N, 'list', 'buffer')]
        if numpy is not None:
            cases += [('command_set_float', numpy.ones(N, numpy.int32), 'int32', 'float32'),
                      ('command_set_enum', numpy.ones(N, numpy.float32), 'float32', 'int32'),
                      ('command_set_bool', numpy.ones(N, numpy.bool_), 'bool', 'uint8'),
                      ('command_set_float', numpy.ones(N, '>f4'), '>f4', 'float32')]
        for name, values, given, expected in cases:
            self.assertRefused(TypeError, ['values', given, expected],
                               getattr(self.lib, name), self.g.records, values, 0)
        self.assertRefused(TypeError, ['values', 'int64'], self.lib.command_set_io_pin_int,
                           self.g.records, array.array('d', [1] * N), 0, 0)
        self.assertRefused(TypeError, ['out', 'IoPinEntry'], self.lib.feedback_get_io_pin,
                           self.g.records, 0, 0, out=(ctypes.c_int64 * (2 * N))())
        # Raw bytes pass only when asked for, and then by size.
        self.assertRefused(ValueError, ['values', '15 bytes'], self.lib.command_set_float,
                           self.g.records, tw.Raw(bytearray(15)), 0)
        self.lib.command_set_float(self.g.records, tw.Raw(bytes(range(16))), 0)
        self.assertEqual(bytes(self.g.storage[1]['floats'])[:4], bytes(range(4, 8)))

    @needs_numpy
    def test_numpy_integers_as_indices(self):
        self.feedback.tables[1] = numpy.int32(4)
        self.lib.command_set_io_pin_int(self.g.records, numpy.arange(N, dtype=numpy.int64),
                                        numpy.int16(1), numpy.uint64(1))
        self.assertEqual(list(self.lib.command_get_io_pin_int(self.g.records, numpy.int64(1),
                                                              numpy.uint8(1), count=numpy.intp(2))),
                         [0, 1])
        self.lib.command_set_float(self.g.records, numpy.ones(N, numpy.float32), numpy.uint32(3))
        self.assertRefused(ValueError, ['field'], self.lib.command_set_float, self.g.records,
                           None, numpy.int64(4))
        self.assertRefused(TypeError, ['field', 'float64'], self.lib.command_get_float,
                           self.g.records, numpy.float64(1))
        self.assertRefused(TypeError, ['field', 'bool'], self.lib.command_get_float,
                           self.g.records, True)
        self.assertRefused(TypeError, ['field', 'bool'], self.lib.command_get_float,
                           self.g.records, numpy.bool_(True))

    def test_out_of_each_kind(self):
        self.lib.command_set_float(self.g.records, array.array('f', [1, 2, 3, 4]), 1)
        expected = [1.0, 2.0, 3.0, 4.0]
        outs = [array.array('f', [0] * N), (ctypes.c_float * N)(),
                memoryview(bytearray(4 * N)).cast('f')]
        if numpy is not None:
            outs.append(numpy.zeros(N, numpy.float32))
        for out in outs:
            self.assertIs(self.lib.feedback_get_float(self.g.records, 1, out=out), out)
            self.assertEqual(list(out), expected, type(out))
        for i in range(N):
            self.g.storage[i]['vector3fs'][0].v[:] = [i, 10 * i, 100 * i]
        rows = [[i, 10 * i, 100 * i] for i in range(N)]
        vector_outs = [(tw.MiVector3f * N)(), (ctypes.c_float * 3 * N)()]
        if numpy is not None:
            vector_outs.append(numpy.zeros((N, 3), numpy.float32))
            self.assertEqual(numpy.asarray(self.lib.command_get_vector3f(self.g.records, 0)).tolist(), rows)
        for out in vector_outs:
            self.lib.command_get_vector3f(self.g.records, 0, out=out)
            self.assertEqual([list(getattr(r, 'v', r)) for r in out], rows, type(out))
        wrong = [(ValueError, ['out', 'holds 3', 'exactly']), (ValueError, ['out', 'writable']),
                 (TypeError, ['out', 'float32'])]
        for out, (error, words) in zip([array.array('f', [0] * 3), memoryview(bytes(16)).cast('f'),
                                        (ctypes.c_float * 4 * N)()], wrong):
            self.assertRefused(error, words, self.lib.feedback_get_float, self.g.records, 1, out=out)
        if numpy is not None:
            self.assertRefused(ValueError, ['out', 'C-contiguous'], self.lib.feedback_get_float,
                               self.g.records, 1, out=numpy.zeros(2 * N, numpy.float32)[::2])
            self.assertRefused(TypeError, ['out', 'shape (4, 4)'], self.lib.feedback_get_vector3f,
                               self.g.records, 1, out=numpy.zeros((N, 4), numpy.float32))


class PreparedTest(Case):
    def test_prepared_calls_check_again_what_can_change(self):
        out = array.array('f', [0] * N)
        get = self.lib.feedback_get_numbered_float.prepare(self.g.records, 1, 1, out=out)
        values = array.array('f', [5, 6, 7, 8])
        put = self.lib.command_set_numbered_float.prepare(self.g.records, values, 1, 1)
        put()
        self.assertIs(get(), out)
        self.assertEqual(list(out), [5, 6, 7, 8])
        values[0] = 9
        put()
        self.assertEqual(get()[0], 9)
        self.feedback.tables[1] = 7  # now index 8: beyond the 8 numbered floats
        self.assertRefused(ValueError, ['number 1', '= 8'], get)
        self.feedback.tables[1] = 4
        far = Group(first_bit=250)
        self.lib.initialize(self.command.meta, far.meta, far.meta)
        set_flag = self.lib.command_set_flag.prepare(self.g.records, None, 3)
        self.lib.initialize(far.meta, far.meta, far.meta)
        self.assertRefused(ValueError, ['presence'], set_flag)
        with self.assertRaises(BufferError):  # the prepared call holds the buffer in place
            values.append(1.0)
        self.assertEqual(list(self.lib.command_get_float.prepare(self.g.records, 0)()), [0] * N)


class HostileInputTest(Case):
    """One test per way an adversarial caller could make the checks look at
    one thing while the native call uses another."""

    @needs_numpy
    def test_prepared_calls_keep_the_ints_they_converted(self):
        pin = numpy.array(3)  # a 0-d array: its __index__ reads the array each time
        values = array.array('q', [1, 2, 3, 4])
        call = self.lib.command_set_io_pin_int.prepare(self.g.records, values, pin, 1)
        call()
        pin[()] = -1000
        self.feedback.tables[1] = 1001  # -1000 + 1001 would pass; 3 + 1001 must not
        self.assertRefused(ValueError, ['pin 3', '(1001) = 1004'], call)
        self.feedback.tables[1] = 4
        call()
        self.assertEqual([self.g.storage[i]['ioPins'][7].value.asInt for i in range(N)], [1, 2, 3, 4])

        class Drifting:  # a different index at every conversion
            calls = 0

            def __index__(self):
                Drifting.calls += 1
                return 1 if Drifting.calls == 1 else 10**6
        self.lib.command_set_float(self.g.records, array.array('f', [1] * N), Drifting())
        self.assertEqual(Drifting.calls, 1)
        self.assertEqual(call.number, 3)
        self.assertEqual((call.accessor, call.count, call.field), (tw.FUNCTIONS.index(
            'miCommandSetIoPinInt') + 1, N, 1))

    def test_records_and_prepared_calls_cannot_be_changed(self):
        records = self.g.records
        for name, value in [('count', 100000), ('shape', tw.Shape(1)), ('address', 0),
                            ('array', None), ('limits', ()), ('anything', 1)]:
            with self.assertRaises(AttributeError, msg=name):
                setattr(records, name, value)
        call = self.lib.feedback_get_float.prepare(records, 1)
        for name in ('field', 'count', 'records', 'address', 'buffer', 'anything'):
            with self.assertRaises(AttributeError, msg=name):
                setattr(call, name, 1)
        self.assertEqual(len(records), N)
        misaligned = memoryview(bytearray(96 * N + 8))[4:4 + 96 * N]
        with self.assertRaisesRegex(ValueError, 'records start at address .* multiple of 8'):
            tw.Records(misaligned, records.shape)

    def test_types_are_told_by_type_not_by_class(self):
        class LiesAboutItsClass(int):
            """An int of 50 000 000 that claims to be a plain int in range."""
            __class__ = property(lambda self: int)  # type: ignore[assignment]
            __lt__ = __le__ = __gt__ = __ge__ = lambda self, other: True
        self.assertRefused(ValueError, ['field', '50000000'], self.lib.command_get_float,
                           self.g.records, LiesAboutItsClass(50_000_000))
        self.assertRefused(ValueError, ['pin', '50000000'], self.lib.command_get_io_pin,
                           self.g.records, LiesAboutItsClass(50_000_000), 0)

        class ClaimsToBeAnArray(bytearray):  # a Python class passing for array.array or numpy
            @property
            def __class__(self):
                return array.array
            typecode, ndim, shape = 'f', 1, (N,)
        ClaimsToBeAnArray.__module__, ClaimsToBeAnArray.__name__ = 'numpy', 'ndarray'
        self.assertRefused(TypeError, ['out', "format 'B'", 'float32'], self.lib.command_get_float,
                           self.g.records, 0, out=ClaimsToBeAnArray(4))
        self.assertRefused(TypeError, ['records must be a tovakwrapper.Records'],
                           self.lib.command_get_float, (self.g.records,), 0)

    def test_buffers_are_held_before_they_are_measured(self):
        # At every line the checked call runs, in turn, something tries to
        # shrink the buffer, as another thread could (the native call
        # releases the GIL). Either the call sees the shrunk buffer and
        # refuses it, or the buffer can no longer shrink: never both.
        package = os.path.dirname(tovakwrapper._library.__file__)
        cases = [(self.lib.feedback_get_float, lambda: array.array('f', [0] * N), 'pop'),
                 (self.lib.feedback_get_bool, lambda: bytearray(N), 'pop')]
        for getter, make, shrink in cases:
            for k in range(1, 40):
                out, seen = make(), [0]

                def line(frame, event, arg):
                    if event == 'line':
                        seen[0] += 1
                        if seen[0] == k:
                            with contextlib.suppress(BufferError):
                                getattr(out, shrink)()
                    return line

                def call(frame, event, arg):
                    name = frame.f_code.co_filename
                    return line if name.startswith(package) or 'tovakwrapper' in name else None
                sys.settrace(call)
                try:
                    getter(self.g.records, 1, out=out)
                except ValueError as error:
                    self.assertIn('must hold exactly', str(error))
                else:
                    self.assertEqual(len(out), N, (getter.__name__, k))
                finally:
                    sys.settrace(None)

    @needs_numpy
    def test_read_only_values_are_read_where_they_are(self):
        source = numpy.arange(N, dtype=numpy.float32)
        view = source[:]
        view.flags.writeable = False
        put = self.lib.command_set_float.prepare(self.g.records, view, 0)
        put()
        source[:] = [9, 8, 7, 6]
        put()
        self.assertEqual(list(self.lib.command_get_float(self.g.records, 0)), [9, 8, 7, 6])
        self.lib.command_set_enum(self.g.records, memoryview(bytes(range(16))).cast('i'), 1)
        self.assertEqual(bytes(self.lib.command_get_enum(self.g.records, 1)), bytes(range(16)))

    def test_misaligned_buffers(self):
        def misaligned(ctype, offset):
            return (ctype * N).from_buffer(bytearray(ctypes.sizeof(ctype) * N + 8), offset)
        self.assertRefused(ValueError, ['out', 'multiple of 8', 'float64'],
                           self.lib.command_get_high_res_angle, self.g.records, 0,
                           out=misaligned(ctypes.c_double, 1))
        self.assertRefused(ValueError, ['values', 'multiple of 4'], self.lib.command_set_float,
                           self.g.records, misaligned(ctypes.c_float, 2), 0)
        self.assertRefused(ValueError, ['out', 'multiple of 8', 'IoPinEntry'],
                           self.lib.command_get_io_pin, self.g.records, 0, 0,
                           out=tw.Raw(memoryview(bytearray(16 * N + 4))[4:]))
        if numpy is not None:
            self.assertRefused(ValueError, ['out', 'multiple of 8'],
                               self.lib.command_get_high_res_angle, self.g.records, 0,
                               out=numpy.frombuffer(bytearray(8 * N + 1), numpy.float64, N, 1))

    def test_out_overlapping_the_records(self):
        records = self.g.records
        before = bytes(records.array)
        overlapping = [(ctypes.c_float * N).from_buffer(records.array, 96),
                       memoryview(records.array).cast('B')[8:8 + 4 * N].cast('f'),
                       tw.Raw(memoryview(records.array).cast('B')[-2:])]
        if numpy is not None:
            overlapping.append(numpy.frombuffer(records.array, numpy.float32, N, 92))
        for out in overlapping:
            n = 2 if type(out) is tw.Raw else N
            self.assertRefused(ValueError, ['overlaps the records array'],
                               self.lib.feedback_get_float if n == N else self.lib.feedback_get_bool,
                               records, 1, count=n, out=out)
        self.assertEqual(bytes(records.array), before)

    def test_initialize_reads_the_bytes_the_library_copies(self):
        class Lying(tw.MessageMetadata):
            base = property(lambda self: [0] * 12)  # its bytes say otherwise
        far = Group(first_bit=250)
        with self.assertRaisesRegex(TypeError, 'feedback must be a tovakwrapper.MessageMetadata'):
            self.lib.initialize(self.command.meta, Lying.from_buffer_copy(far.meta), self.info.meta)
        # Bases written behind ctypes' back are what the library gets, and
        # so what the checks use.
        far = Group()
        ctypes.memmove(ctypes.addressof(far.meta) + tw.MessageMetadata.base.offset,
                       (ctypes.c_uint32 * 12)(*[300] * 12), 48)
        self.lib.initialize(far.meta, far.meta, far.meta)
        self.assertRefused(ValueError, ['presence bit 301', 'word 9'], self.lib.command_set_float,
                           self.g.records, None, 1)
        # So is a table pointer that is not the c_int32 array the metadata was given.
        other = (ctypes.c_int32 * 2)(0, 100)
        far = Group()
        ctypes.memmove(ctypes.addressof(far.meta) + tw.MessageMetadata.pinBankTable.offset,
                       ctypes.byref(ctypes.c_void_p(ctypes.addressof(other))), 8)
        self.lib.initialize(far.meta, far.meta, far.meta)
        self.assertRefused(ValueError, ['bank cannot be checked'], self.lib.command_get_io_pin,
                           self.g.records, 0, 1)

    def test_metadata_calls_before_initialize(self):
        with tempfile.TemporaryDirectory() as directory:
            copy = os.path.join(directory, 'libtovakWrapperCopy.so')
            with open(tw.load().path, 'rb') as source, open(copy, 'wb') as target:
                target.write(source.read())
            lib = tw.Library(copy)  # a second copy of the library, never initialized
        g = self.g
        f4 = array.array('f', [1] * N)
        reading = [(lib.command_set_float, (g.records, f4, 0)), (lib.command_set_flag, (g.records, None, 0)),
                   (lib.command_get_flag, (g.records, 0)), (lib.info_get_flag, (g.records, 0)),
                   (lib.command_get_numbered_float, (g.records, 0, 0)),
                   (lib.command_set_io_pin_float, (g.records, f4, 0, 0)),
                   (lib.feedback_has_io_pin_int, (g.records, 0, 0)),
                   (lib.command_set_float.prepare, (g.records, f4, 0))]
        for call, args in reading:
            self.assertRefused(RuntimeError, ['call initialize() first'], call, *args)
        with self.assertRaisesRegex(RuntimeError, 'initialize'):
            lib.presence_bit('command', tw.KIND.FLOAT, 0)
        self.assertEqual(len(lib.command_get_float(g.records, 0)), N)
        self.assertEqual(len(lib.info_has_field(g.records, 3)), N)
        lib.raw.miCommandSetFloat(ctypes.cast(g.records.array, tw.RECORDS), None, 0, 0)

    def test_error_messages_say_what_is_wrong(self):
        if numpy is not None:
            for out in (numpy.zeros((), numpy.float32), numpy.zeros((N, 1), numpy.float32)):
                self.assertRefused(TypeError, [f'shape {out.shape}', 'one-dimensional'],
                                   self.lib.feedback_get_float, self.g.records, 0, out=out)
            rows = numpy.zeros(N, [('v', numpy.float32, (3,))])  # the same 12 bytes as MiVector3f
            self.g.storage[2]['vector3fs'][1].v[:] = [1, 2, 3]
            self.lib.command_get_vector3f(self.g.records, 1, out=rows)
            self.assertEqual(rows['v'][2].tolist(), [1, 2, 3])
        with self.assertRaisesRegex(TypeError, r"prepare\(\) got an unexpected keyword argument 'out'"):
            self.lib.command_set_float.prepare(self.g.records, None, 0, out=bytearray(N))

    def test_presence_bit_helper(self):
        self.lib.command_set_float(self.g.records, None, 2)
        self.assertEqual(self.lib.presence_bit('command', tw.KIND.FLOAT, 2), 2)
        self.assertEqual(self.lib.presence_bit('feedback', tw.KIND['LED'], 1), 3 + 9 * 8 + 1)
        bit = self.lib.presence_bit('command', tw.KIND.FLOAT, 2)
        self.assertEqual(list(self.lib.command_has_field(self.g.records, bit)), [1] * N)
        with self.assertRaisesRegex(ValueError, "message must be 'command'"):
            self.lib.presence_bit('Command', 0, 0)


class CallListTest(Case):
    def test_a_call_list_is_its_prepared_calls_in_one_native_call(self):
        def step_calls(group, values, outs):
            lib, r = self.lib, group.records
            return [lib.command_set_float.prepare(r, values, 1),
                    lib.command_set_io_pin_int.prepare(r, array.array('q', [4, 5, 6, 7]), 1, 1),
                    lib.command_set_flag.prepare(r, None, 2),
                    lib.command_get_float.prepare(r, 1, out=outs[0]),
                    lib.feedback_get_io_pin_int.prepare(r, 1, 1),
                    lib.command_has_io_pin_int.prepare(r, 1, 1),
                    lib.command_get_flag.prepare(r, 2)]
        one, listed = Group(), Group()  # the same calls, one by one and as one list
        self.lib.initialize(one.meta, one.meta, one.meta)
        values = array.array('f', [1, 2, 3, 4])
        separate = step_calls(one, values, [array.array('f', [0] * N)])
        expected = [call() for call in separate]
        step = self.lib.calls(*step_calls(listed, values, [array.array('f', [0] * N)]))
        got = step()
        self.assertEqual([bytes(x) for x in got], [bytes(x) for x in expected if x is not None])
        self.assertEqual([b''.join(bytes(a) for a in m.values()) for m in listed.storage],
                         [b''.join(bytes(a) for a in m.values()) for m in one.storage])
        self.assertEqual([c.accessor for c in step.calls][:2], [1, 29])
        with self.assertRaises(BufferError):  # it holds its buffers
            values.append(0)
        # Checked again when a table entry it reads changes, or after initialize().
        one.tables[1] = 7
        self.assertRefused(ValueError, ['pin 1', '= 8'], step)
        one.tables[1] = 4
        step()
        far = Group(first_bit=250)
        self.lib.initialize(far.meta, far.meta, far.meta)
        with self.assertRaisesRegex(ValueError, 'presence'):
            step()
        self.lib.initialize(one.meta, one.meta, one.meta)
        step()
        # Refused when made: anything but prepared calls; a getter's out over
        # the records of another call of the list.
        with self.assertRaisesRegex(TypeError, 'call 1 is a function'):
            self.lib.calls(separate[0], self.lib.command_get_float)
        inside = (ctypes.c_float * N).from_buffer(listed.records.array, 96)
        with self.assertRaisesRegex(ValueError, 'out of call 1 .* records array of call 0'):
            self.lib.calls(self.lib.command_get_float.prepare(listed.records, 0),
                           self.lib.command_get_float.prepare(one.records, 0, out=inside))
        self.assertEqual(self.lib.calls()(), ())


class ObjectsThatLieTest(Case):
    """What a caller's own objects say about themselves is never what the
    checks go by: ctypes subclasses with their own len() or [], tables,
    the outputs a prepared call makes, a companion of another library."""

    def test_lengths_and_tables_are_read_from_the_bytes(self):
        class Liar(ctypes.Array):  # claims more elements than it holds
            _type_, _length_ = ctypes.c_float, 1
            claim = 1

            def __len__(self):
                return Liar.claim
        self.lib.command_get_float(self.g.records, 0, count=1, out=Liar())
        Liar.claim = N
        self.assertRefused(ValueError, ['holds 1 elements'], self.lib.command_get_float,
                           self.g.records, 0, out=Liar())

        class Table(ctypes.Array):  # shows entries other than its bytes
            _type_, _length_ = ctypes.c_int32, 2

            def __getitem__(self, i):
                return (0, 4)[i]
        table = Table()
        ctypes.memmove(table, (ctypes.c_int32 * 2)(0, 100000), 8)
        self.g.meta.pinBankTable = table
        self.lib.initialize(self.g.meta, self.g.meta, self.g.meta)
        self.assertRefused(ValueError, ['100000'], self.lib.command_set_io_pin_int,
                           self.g.records, array.array('q', [1] * N), 0, 1)

    def test_prepared_outputs_are_held_and_list_outputs_spare_the_tables(self):
        read = self.lib.command_get_float.prepare(self.g.records, 0)
        with self.assertRaises(BufferError):
            read().extend(array.array('f', [0.0]))
        self.lib.command_set_enum(self.g.records, array.array('i', [0, 100000, 0, 0]), 0)
        with self.assertRaisesRegex(ValueError, "out of call 0 .* metadata.s .* table"):
            self.lib.calls(self.lib.command_get_enum.prepare(self.g.records, 0, count=2,
                                                            out=self.g.tables),
                           self.lib.command_set_io_pin_int.prepare(
                               self.g.records, array.array('q', [-1] * N), 0, 1))
        self.assertEqual(list(self.g.tables), [0, 4])

    def test_companion_of_another_copy_is_refused(self):
        directory = tempfile.mkdtemp()
        try:
            source = os.path.dirname(self.lib.path)
            for name in ('libtovakWrapper.so.0.1', 'libtovakWrapperCalls.so.0.1'):
                shutil.copy(os.path.join(source, name), directory)
            other = tw.Library(os.path.join(directory, 'libtovakWrapper.so.0.1'))
            other.initialize(self.g.meta, self.g.meta, self.g.meta)
            with self.assertRaisesRegex(OSError, 'another copy'):
                other.calls(other.command_set_flag.prepare(self.g.records, None, 0))
        finally:
            shutil.rmtree(directory)


class DocumentationTest(unittest.TestCase):
    README = os.path.join(ROOT, 'README.md')
    INSTALL = os.path.join(ROOT, 'docs', 'install.md')

    def blocks(self, language, path=README):
        with open(path) as readme:
            return re.findall(rf'```{language}\n(.*?)```', readme.read(), re.S)

    def test_readme_python_snippets_run(self):
        snippets = self.blocks('python')
        self.assertTrue(snippets)
        for snippet in snippets:
            if 'import numpy' in snippet and numpy is None:
                continue
            with contextlib.redirect_stdout(io.StringIO()):
                exec(compile(snippet, 'README.md', 'exec'), {})

    def test_docstring_examples_run(self):
        for module in (tw, tovakwrapper._library, tw.simulated):
            result = doctest.testmod(module, verbose=False)
            self.assertGreater(result.attempted, 0, module.__name__)
            self.assertEqual(result.failed, 0, module.__name__)

    def test_cmake_snippet_is_the_consumer_ci_builds(self):
        (snippet,) = [block for block in self.blocks('cmake', self.INSTALL) if 'find_package' in block]
        with open(os.path.join(ROOT, 'tests', 'consumer', 'CMakeLists.txt')) as f:
            self.assertIn(snippet, f.read())


if __name__ == '__main__':
    unittest.main()
