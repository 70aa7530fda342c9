# SPDX-License-Identifier: MIT
"""Tests of the Python host: layouts against the C header, every accessor
family through the checked wrappers, and the errors bad input raises."""
import array
import ctypes
import os
import re
import unittest

import tovakwrapper as tw
from messages import Group

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'include', 'tovakWrapper.h')
N = 4  # messages per group


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


class FamiliesTest(unittest.TestCase):
    def setUp(self):
        self.lib = tw.load()
        self.command, self.feedback, self.info = Group(0), Group(3), Group(5)
        self.lib.initialize(self.command.meta, self.feedback.meta, self.info.meta)
        self.g = self.command

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
        self.assertEqual(list(v[3].v), [3, 3.5, -3])
        self.assertEqual(list(q[2].q), [1, 2, 3, 2])
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
        raw = bytearray(bytes(self.g.records))  # the same records, as plain bytes
        self.lib.command_set_enum(raw, array.array('i', [9, 9]), 0, count=2)
        self.assertEqual([self.g.storage[i]['enums'][0] for i in range(N)], [9, 9, 0, 0])
        self.assertEqual(len(self.lib.command_get_enum(raw, 0, count=0)), 0)

    def test_numpy_buffers_when_available(self):
        try:
            import numpy
        except ImportError:
            self.skipTest('numpy is not installed')
        self.lib.command_set_float(self.g.records, numpy.arange(N, dtype=numpy.float32), 1)
        self.assertEqual(list(self.lib.command_get_float(self.g.records, 1)), [0, 1, 2, 3])


class BadInputTest(unittest.TestCase):
    def setUp(self):
        self.lib = tw.load()
        self.g = Group()
        self.lib.initialize(self.g.meta, self.g.meta, self.g.meta)
        self.before = [bytes(m['floats']) + bytes(m['presence']) for m in self.g.storage]

    def assertUntouched(self):
        self.assertEqual([bytes(m['floats']) + bytes(m['presence']) for m in self.g.storage],
                         self.before)

    def assertRaisesNaming(self, error, word, call, *args, **kwargs):
        with self.assertRaises(error) as caught:
            call(*args, **kwargs)
        self.assertIn(word, str(caught.exception))
        self.assertUntouched()

    def test_short_values_buffer(self):
        self.assertRaisesNaming(ValueError, 'values', self.lib.command_set_float, self.g.records,
                                array.array('f', [1, 2, 3]), 0)

    def test_wrong_element_size(self):
        self.assertRaisesNaming(ValueError, 'values', self.lib.command_set_float, self.g.records,
                                array.array('d', [1, 2, 3, 4]), 0)
        self.assertRaisesNaming(ValueError, 'values', self.lib.command_set_io_pin_int,
                                self.g.records, array.array('i', [1] * 8), 0, 0)

    def test_records_not_whole(self):
        self.assertRaisesNaming(ValueError, 'records', self.lib.command_set_float,
                                bytes(self.g.records)[:-1], array.array('f', [1] * N), 0)
        self.assertRaisesNaming(ValueError, 'records', self.lib.feedback_get_float, bytearray(95), 0)

    def test_count_beyond_the_records(self):
        self.assertRaisesNaming(ValueError, 'count', self.lib.command_set_float, self.g.records,
                                array.array('f', [1] * 8), 0, count=N + 1)

    def test_arguments_out_of_range_or_of_the_wrong_type(self):
        self.assertRaisesNaming(ValueError, 'field', self.lib.command_set_float, self.g.records, None, -1)
        self.assertRaisesNaming(ValueError, 'pin', self.lib.command_get_io_pin_int, self.g.records, 2**31, 0)
        self.assertRaisesNaming(TypeError, 'field', self.lib.command_get_float, self.g.records, 1.0)
        self.assertRaisesNaming(TypeError, 'values', self.lib.command_set_float, self.g.records, [1.0] * N, 0)
        with self.assertRaises(TypeError):
            self.lib.initialize(self.g.meta, None, self.g.meta)


class ReadmeTest(unittest.TestCase):
    """The README's snippets are the ones that run."""
    README = os.path.join(os.path.dirname(HEADER), '..', 'README.md')

    def blocks(self, language):
        with open(self.README) as readme:
            return re.findall(rf'```{language}\n(.*?)```', readme.read(), re.S)

    def test_python_snippet_runs(self):
        (snippet,) = self.blocks('python')
        exec(compile(snippet, 'README.md', 'exec'), {})

    def test_cmake_snippet_is_the_consumer_ci_builds(self):
        (snippet,) = self.blocks('cmake')
        consumer = os.path.join(os.path.dirname(HEADER), '..', 'tests', 'consumer', 'CMakeLists.txt')
        with open(consumer) as f:
            self.assertIn(snippet, f.read())


if __name__ == '__main__':
    unittest.main()
