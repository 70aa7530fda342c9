# SPDX-License-Identifier: MIT
"""Tests of the Python host: layouts and the accessor list against the C
headers, the library the module calls, every accessor family, what getters
return, one grouped test per fault class the checked calls must stop, call
lists, and the examples in the docs. Run with the interpreter of an
environment where the package is installed (pip install ./python)."""
import array
import contextlib
import ctypes
import doctest
import gc
import io
import math
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import textwrap
import unittest
import weakref

import tovakwrapper as tw
from tovakwrapper.simulated import Group

try:
    import numpy
except ImportError:
    numpy = None

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
HEADER = os.path.join(ROOT, 'include', 'tovakWrapper.h')
N = 4  # messages per group
needs_numpy = unittest.skipIf(numpy is None, 'numpy is not installed')


def run_python(code, **env):
    """Runs `code` in a new interpreter (this one), returning its stdout."""
    result = subprocess.run([sys.executable, '-c', textwrap.dedent(code)], capture_output=True,
                            text=True, env=dict(os.environ, **env), timeout=120)
    if result.returncode:
        raise AssertionError(result.stderr)
    return result.stdout


class LayoutTest(unittest.TestCase):
    def test_python_layouts_match_the_header(self):
        with open(HEADER) as header:
            text = header.read()
        sizes = re.findall(r'MI_LAYOUT_CHECK\(sizeof\((\w+)\) == (\d+)', text)
        offsets = re.findall(r'MI_LAYOUT_CHECK\(offsetof\((\w+), (\w+)\) == (\d+)', text)
        self.assertGreater(len(offsets), 20)
        for name, size in sizes:
            if hasattr(tw, name):
                self.assertEqual(ctypes.sizeof(getattr(tw, name)), int(size), name)
        for name, field, offset in offsets:
            if hasattr(tw, name):
                self.assertEqual(getattr(getattr(tw, name), field).offset, int(offset),
                                 f'{name}.{field}')

    def test_raw_functions_follow_the_accessor_list(self):
        with open(os.path.join(ROOT, 'include', 'tovakWrapperAccessors.h')) as header:
            listed = re.findall(r'X\(\s*\d+,\s*\w+,\s*(\w+),', header.read())
        self.assertEqual(tw.FUNCTIONS, tuple(listed))
        lib = tw.load()
        self.assertEqual([t.__name__ for t in lib.raw.miFeedbackGetIoPinInt.argtypes],
                         ['LP_c_long', 'LP_MessageRecord', 'c_uint', 'c_int', 'c_uint'])
        self.assertEqual(lib.raw.miCommandSetFloat.argtypes[1]._type_, ctypes.c_float)
        with self.assertRaises(ctypes.ArgumentError):
            lib.raw.miCommandSetFloat(1, 2, 3, 4)


class LibraryTest(unittest.TestCase):
    """The version is the header's, and the library the module calls is the
    one it names: the bundled neighbour, or whatever the loader was told."""

    def test_version_and_bundled_library(self):
        with open(HEADER) as header:
            version = '.'.join(re.findall(r'#define TOVAKWRAPPER_VERSION_\w+ (\d+)', header.read()))
        self.assertEqual(tw.__version__, version)
        major, minor, _ = version.split('.')
        lib = tw.load()
        package = os.path.dirname(os.path.realpath(tw.__file__))
        soname = f'libtovakWrapper.so.{major}.{minor}' if major == '0' else f'libtovakWrapper.so.{major}'
        self.assertEqual(lib.path, os.path.join(package, soname))
        with open('/proc/self/maps') as maps:
            mapped = maps.read()
        self.assertIn(lib.path, mapped)
        self.assertIn(os.path.join(package, soname.replace('Wrapper', 'WrapperCalls')), mapped)

    def test_the_loader_decides_and_the_module_says_so(self):
        # The library is the loader's to find: TOVAK_WRAPPER_LIBRARY means
        # nothing now, and LD_LIBRARY_PATH, which comes before $ORIGIN, brings
        # another copy; the call lists' companion then calls that same copy.
        lib = tw.load()
        with tempfile.TemporaryDirectory() as directory:
            for path in (lib.path, tw._native.CALLS_LIBRARY):
                shutil.copy(path, directory)
            with open(os.path.join(directory, 'libtovakWrapper.so'), 'w') as decoy:
                decoy.write('not a library')
            code = '''
                import tovakwrapper as tw
                from tovakwrapper.simulated import Group
                lib = tw.load()
                g = Group(first_bit=40)
                lib.initialize(g.meta, g.meta, g.meta)
                step = lib.calls()
                step.command_set_flag(g.records, None, 1)
                step()
                print(lib.path, lib.raw._name, g.present(0, 40 + 11 * 8 + 1))
            '''
            out = run_python(code, LD_LIBRARY_PATH=directory,
                             TOVAK_WRAPPER_LIBRARY='libtovakWrapper.so').split()
            copy = os.path.join(os.path.realpath(directory), os.path.basename(lib.path))
            self.assertEqual(out, [copy, copy, 'True'])


class Case(unittest.TestCase):
    def setUp(self):
        self.lib = tw.load()
        self.command, self.feedback, self.info = Group(0), Group(3), Group(5)
        self.lib.initialize(self.command.meta, self.feedback.meta, self.info.meta)
        self.g = self.command

    def memory(self, group=None):
        return [b''.join(bytes(a) for a in m.values()) for m in (group or self.g).storage]

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
        v = self.lib.feedback_get_vector3f(self.g.records, 1, out=(tw.MiVector3f * N)())
        q = self.lib.command_get_quaternionf(self.g.records, 1, out=((ctypes.c_float * 4) * N)())
        u = self.lib.feedback_get_uint64(self.g.records, 1, out=array.array('Q', [0] * N))
        self.assertEqual(list(v[3].v), [3, 3.5, -3])
        self.assertEqual(list(q[2]), [1, 2, 3, 2])
        self.assertEqual(list(u), [2**64 - 1 - i for i in range(N)])

    def test_high_resolution_angles(self):
        values = array.array('d', [1.0, 6.283185307179586, -7.0, 100.0])
        self.lib.command_set_high_res_angle(self.g.records, values, 0)
        self.assertEqual([self.g.storage[i]['highResAngles'][0].revolutions for i in range(N)],
                         [0, 1, -1, 15])
        out = self.lib.info_get_high_res_angle(self.g.records, 0, out=array.array('d', [0] * N))
        self.assertEqual(out[:2], array.array('d', [1.0, 6.283185307179586]))
        self.assertAlmostEqual(out[2], -7.0, delta=1e-6)

    def test_numbered_floats_through_the_feedback_table(self):
        self.feedback.tables[1] = 5  # field 1 starts at 5 for numbered floats
        self.lib.command_set_numbered_float(self.g.records, array.array('f', [1, 2, 3, 4]), -1, 1)
        self.assertEqual([self.g.storage[i]['numberedFloats'][4] for i in range(N)], [1, 2, 3, 4])
        got = self.lib.feedback_get_numbered_float(self.g.records, -1, 1, out=array.array('f', [0] * N))
        self.assertEqual(list(got), [1, 2, 3, 4])
        self.assertTrue(self.g.present(0, self.g.meta.base[7] + 4))

    def test_io_pins_of_every_kind(self):
        self.lib.command_set_io_pin_int(self.g.records, array.array('q', [-5, 6, 7, 8]), 1, 1)
        out = array.array('q', [0] * N)
        self.assertEqual(list(self.lib.command_get_io_pin_int(self.g.records, 1, 1, out=out)), [-5, 6, 7, 8])
        self.assertEqual(bytes(self.lib.command_has_io_pin_int(self.g.records, 1, 1, out=bytearray(N))), b'\1' * N)
        self.assertEqual(bytes(self.lib.command_has_io_pin_float(self.g.records, 1, 1, out=bytearray(N))), bytes(N))
        self.lib.command_set_io_pin_float(self.g.records, array.array('f', [0.5] * N), 2, 0)
        got = self.lib.feedback_get_io_pin_float(self.g.records, 2, 0, out=array.array('f', [0] * N))
        self.assertEqual(list(got), [0.5] * N)
        entries = (tw.IoPinEntry * N)()
        for e in entries:
            e.value.asInt, e.tag, e.padding = 42, 7, 9
        self.lib.command_set_io_pin(self.g.records, entries, 3, 0)
        got = self.lib.feedback_get_io_pin(self.g.records, 3, 0, out=(tw.IoPinEntry * N)())
        self.assertEqual([(e.value.asInt, e.tag, e.padding) for e in got], [(42, 7, 9)] * N)

    def test_flags_and_presence(self):
        self.lib.command_set_flag(self.g.records, None, 3)
        self.assertEqual(bytes(self.lib.command_get_flag(self.g.records, 3, out=bytearray(N))), b'\1' * N)
        self.assertEqual(bytes(self.lib.info_get_flag(self.g.records, 3, out=bytearray(N))), bytes(N))
        bit = self.lib.presence_bit('command', 'FLAG', 3)
        self.assertEqual(bit, self.g.meta.base[11] + 3)
        self.assertEqual(bytes(self.lib.command_has_field(self.g.records, bit, out=bytearray(N))), b'\1' * N)
        self.assertEqual(bytes(self.lib.command_has(self.g.records, tw.KIND.FLAG, 3, out=bytearray(N))), b'\1' * N)
        self.assertEqual(bytes(self.lib.feedback_has(self.g.records, 'FLAG', 3, out=bytearray(N))), bytes(N))

    def test_count_and_byte_records(self):
        records = tw.Records(bytes(self.g.array), self.g.records.shape)  # from read-only bytes
        self.lib.command_set_enum(records, array.array('i', [9, 9]), 0, count=2)
        self.assertEqual([self.g.storage[i]['enums'][0] for i in range(N)], [9, 9, 0, 0])
        self.assertEqual(len(self.lib.command_get_enum(records, 0, count=0)), 0)


class ResultTest(Case):
    """What a numerical user expects: one kind of result, keyword-only count and out."""

    @needs_numpy
    def test_getters_without_out_return_numpy_arrays(self):
        expected = {'float': ('float32', (N,)), 'high_res_angle': ('float64', (N,)),
                    'vector3f': ('float32', (N, 3)), 'quaternionf': ('float32', (N, 4)),
                    'uint64': ('uint64', (N,)), 'enum': ('int32', (N,)), 'bool': ('uint8', (N,)),
                    'led': ('uint32', (N,)), 'flag': ('uint8', (N,))}
        for family, (dtype, shape) in expected.items():
            got = getattr(self.lib, f'command_get_{family}')(self.g.records, 0)
            self.assertEqual((type(got), str(got.dtype), got.shape), (numpy.ndarray, dtype, shape))
        pins = self.lib.feedback_get_io_pin(self.g.records, 0, 0)
        self.assertEqual(pins.dtype.names, ('value', 'tag', 'padding'))
        self.assertEqual(self.lib.feedback_get_io_pin_int(self.g.records, 0, 0).dtype, numpy.int64)

    def test_without_numpy_array_array_and_memoryviews(self):
        out = run_python('''
            import sys
            sys.modules['numpy'] = None
            import tovakwrapper as tw
            from tovakwrapper.simulated import Group
            lib, g = tw.load(), Group()
            lib.initialize(g.meta, g.meta, g.meta)
            for got in (lib.feedback_get_float(g.records, 0), lib.feedback_get_vector3f(g.records, 0),
                        lib.feedback_get_quaternionf(g.records, 0, count=0),
                        lib.feedback_get_io_pin(g.records, 0, 0)):
                print(type(got).__name__, getattr(got, 'shape', len(got)))
        ''')
        self.assertEqual(out.split('\n')[:4], ['array 4', 'memoryview (4, 3)', 'memoryview (0, 4)',
                                               'IoPinEntry_Array_4 4'])

    def test_count_and_out_are_keyword_only(self):
        self.assertRefused(TypeError, ['takes 2 positional arguments but 3', 'keyword-only'],
                           self.lib.feedback_get_float, self.g.records, 0, bytearray(16))
        self.assertRefused(TypeError, ["unexpected keyword argument 'out'"],
                           self.lib.command_set_float, self.g.records, None, 0, out=bytearray(16))
        self.assertRefused(TypeError, ["unexpected keyword argument 'field'"],
                           self.lib.feedback_get_float, self.g.records, field=0)
        self.lib.command_set_float(self.g.records, None, 2, count=1)
        self.assertEqual(bytes(self.lib.command_has(self.g.records, 'FLOAT', 2, out=bytearray(N))),
                         b'\1\0\0\0')

    def test_kinds_by_name_and_presence_queries(self):
        self.lib.command_set_led(self.feedback.records, None, 1)
        bit = self.lib.presence_bit('command', 'LED', 1)
        self.assertEqual(bit, self.lib.presence_bit('command', tw.KIND.LED, 1))
        self.assertEqual(bit, self.command.meta.base[9] + 1)
        # has_field takes an absolute bit: a field number asks about another bit.
        self.assertEqual(bytes(self.lib.feedback_has_field(self.feedback.records, 1, out=bytearray(N))), bytes(N))
        self.assertEqual(bytes(self.lib.feedback_has_field(self.feedback.records, bit, out=bytearray(N))), b'\1' * N)
        self.assertRefused(ValueError, ["kind 'led' is not the name"], self.lib.presence_bit,
                           'command', 'led', 1)
        self.assertRefused(ValueError, ["message must be 'command'"], self.lib.presence_bit,
                           'Command', 0, 0)
        self.assertRefused(ValueError, ['field must be from 0 to 3', "Led arrays hold 4"],
                           self.lib.info_has, self.g.records, 'LED', 4)


class FaultTest(Case):
    """One test per class of fault the checked calls refuse before the
    native call; each checks that nothing was written."""

    def test_index_beyond_the_shape(self):
        floats = array.array('f', [1] * N)
        for field in (4, 64, 2**32, -1, 2**70):
            self.assertRefused(ValueError, ['field', 'Float', '4 elements'],
                               self.lib.command_set_float, self.g.records, floats, field)
            self.assertRefused(ValueError, ['field'], self.lib.feedback_get_float,
                               self.g.records, field)
        self.assertRefused(ValueError, ['count must be from 0 to 4', 'not 5'],
                           self.lib.command_set_float, self.g.records, array.array('f', [1] * 8), 0,
                           count=N + 1)
        narrow = tw.Records(self.g.array, tw.Shape(presence_words=8, floats=4))
        self.assertRefused(ValueError, ['field 0 is out of range', 'no Led array'],
                           self.lib.command_get_led, narrow, 0)
        empty = tw.Records(bytearray(), self.g.records.shape)
        self.assertRefused(ValueError, ['count must be from 0 to 0 (these records are empty)'],
                           self.lib.command_get_led, empty, 0, count=1)

    def test_table_derived_index_beyond_the_array(self):
        self.feedback.tables[1] = 6  # bank 1 now starts at pin 6 of 8
        self.assertRefused(ValueError, ['pin 2', '= 8', 'hold 8'],
                           self.lib.command_set_io_pin_int, self.g.records,
                           array.array('q', [1] * N), 2, 1)
        self.assertRefused(ValueError, ['pin -1', '= -1'], self.lib.feedback_get_io_pin,
                           self.g.records, -1, 0)
        self.assertRefused(ValueError, ['bank must be from 0 to 1', 'pin-bank table has 2 entries'],
                           self.lib.command_get_io_pin_float, self.g.records, 0, 2)
        self.assertRefused(ValueError, ['number 3', '= 9'], self.lib.command_get_numbered_float,
                           self.g.records, 3, 1)
        self.assertRefused(ValueError, ['pin must be from -2147483648'], self.lib.command_get_io_pin,
                           self.g.records, 2**31, 0)
        self.command.tables[0] = 8  # the Command queries read the Command table
        self.assertRefused(ValueError, ["Command metadata's pin-bank table"],
                           self.lib.command_has_io_pin_int, self.g.records, 0, 0)
        self.assertEqual(len(self.lib.feedback_has_io_pin_int(self.g.records, 0, 0)), N)
        # An empty table: no bank fits, and the message says so.
        empty = Group()
        empty.meta.pinBankTable = (ctypes.c_int32 * 0)()
        self.lib.initialize(empty.meta, empty.meta, empty.meta)
        self.assertRefused(ValueError, ["bank 0 is out of range: the Feedback metadata's "
                                        'pin-bank table is empty'],
                           self.lib.feedback_get_io_pin_int, self.g.records, 0, 0)
        # A table given only as a pointer has no known length: refused.
        unknown = Group()
        unknown.meta.pinBankTable = ctypes.cast(unknown.tables, ctypes.POINTER(ctypes.c_int32))
        self.lib.initialize(unknown.meta, unknown.meta, unknown.meta)
        self.assertRefused(ValueError, ['bank cannot be checked', 'pinBankTable'],
                           self.lib.feedback_get_io_pin_int, self.g.records, 0, 0)
        # No table at all: the library touches nothing, so the call goes through.
        self.lib.initialize(tw.MessageMetadata(), tw.MessageMetadata(), tw.MessageMetadata())
        out = bytearray(b'x' * 8 * N)
        self.lib.feedback_get_io_pin_int(self.g.records, 5, 1, out=tw.Raw(out))
        self.assertEqual(out, bytes(8 * N))

    def test_presence_word_beyond_the_presence_array(self):
        far = Group(first_bit=200)  # kind k starts at bit 200 + 8k; 8 words hold 256 bits
        self.lib.initialize(far.meta, far.meta, far.meta)
        self.assertRefused(ValueError, ['presence bit 275', 'word 8', '8 presence words'],
                           self.lib.command_set_led, self.g.records, None, 3)
        self.assertRefused(ValueError, ['presence'], self.lib.command_set_flag, self.g.records, None, 0)
        self.assertRefused(ValueError, ['presence'], self.lib.command_set_io_pin_int,
                           self.g.records, None, 0, 1)
        self.assertRefused(ValueError, ['presence'], self.lib.info_has, self.g.records, 'LED', 3)
        self.assertRefused(ValueError, ['bit must be from 0 to 255'], self.lib.info_has_field,
                           self.g.records, 256)
        self.lib.command_set_float(self.g.records, None, 0)  # bit 200 is in word 6: fine
        # The bit index wraps modulo 2^32: base 2^32 - 2 + field 3 is bit 1.
        wrap = Group(first_bit=2**32 - 2)
        self.lib.initialize(wrap.meta, wrap.meta, wrap.meta)
        self.lib.command_set_float(self.g.records, None, 3)
        self.assertTrue(all(self.g.present(i, 1) for i in range(N)))

    def test_metadata_tables_are_kept_alive(self):
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

    def test_records_keep_the_messages_of_a_ctypes_source_alive(self):
        # A ctypes array of records keeps the arrays assigned to its pointers
        # alive; Records made from it must too, once it is dropped or re-pointed.
        group = Group()
        floats = weakref.ref(group.storage[0]['floats'])
        records = group.records
        group.array[0].floats = (ctypes.c_float * 4)()
        del group
        gc.collect()
        self.assertIsNotNone(floats())
        self.lib.command_set_float(records, array.array('f', [1, 2, 3, 4]), 0)
        self.assertEqual(floats()[0], 1)
        del records
        gc.collect()
        self.assertIsNone(floats())

    def test_element_type_mismatch(self):
        cases = [('command_set_float', array.array('i', [1] * N), "format 'i'", 'float32'),
                 ('command_set_enum', array.array('f', [1] * N), "format 'f'", 'int32'),
                 ('command_set_high_res_angle', array.array('q', [1] * N), "format 'q'", 'float64'),
                 ('command_set_float', bytearray(16), "format 'B'", 'float32'),
                 ('command_set_led', (ctypes.c_int32 * N)(), "format '<i'", 'uint32'),
                 ('command_set_bool', array.array('b', [1] * N), "format 'b'", 'uint8'),
                 ('command_set_bool', (ctypes.c_char * N)(), "format '<c'", 'uint8'),
                 ('command_set_float', [1.0] * N, 'list', 'buffer')]
        if numpy is not None:
            cases += [('command_set_bool', numpy.ones(N, numpy.bool_), "format '?'", 'uint8'),
                      ('command_set_float', numpy.ones(N, '>f4'), "format '>f'", 'float32'),
                      ('command_set_float', numpy.ones((N, 1), 'f4'), 'shape (4, 1)', 'one-dim')]
        for name, values, given, expected in cases:
            self.assertRefused(TypeError, ['values', given, expected],
                               getattr(self.lib, name), self.g.records, values, 0)
        # A structure passes only for what it is: names with ':' cannot fake one.
        Fake = type('Fake', (ctypes.Structure,), {'_fields_': [('a:f:b', ctypes.c_int32),
                                                              ('c', ctypes.c_float), ('d', ctypes.c_float)]})
        self.assertEqual(ctypes.sizeof(Fake), 12)
        self.assertRefused(TypeError, ['out', 'MiVector3f'], self.lib.feedback_get_vector3f,
                           self.g.records, 0, out=(Fake * N)())
        self.assertRefused(TypeError, ['out', 'IoPinEntry'], self.lib.feedback_get_io_pin,
                           self.g.records, 0, 0, out=(tw.MiQuaternionf * N)())
        # ctypes writes a union of any size as 'B': a 12-byte one followed by
        # a uint32 makes 16 bytes with the tag at 12, not at IoPinEntry's 8.
        Wide = type('Wide', (ctypes.Union,), {'_fields_': [('b', ctypes.c_uint8 * 12)]})
        Shifted = type('Shifted', (ctypes.Structure,), {'_fields_': [('value', Wide),
                                                                     ('tag', ctypes.c_uint32)]})
        self.assertEqual((ctypes.sizeof(Shifted), Shifted.tag.offset), (16, 12))
        self.assertRefused(TypeError, ['out', "format 'T{B:value:<I:tag:}'", 'IoPinEntry'],
                           self.lib.feedback_get_io_pin, self.g.records, 0, 0, out=(Shifted * N)())
        # An exporter's own refusal is kept as the cause of the call's.
        if numpy is not None:
            with self.assertRaisesRegex(TypeError, 'out is a ndarray') as refused:
                self.lib.feedback_get_float(self.g.records, 0,
                                            out=numpy.zeros(N, 'datetime64[s]'))
            self.assertIsInstance(refused.exception.__cause__, ValueError)
        # Raw bytes pass only when asked for, and then by size.
        self.assertRefused(ValueError, ['values', '15 bytes', '4-byte float32'],
                           self.lib.command_set_float, self.g.records, tw.Raw(bytearray(15)), 0)
        self.lib.command_set_io_pin(self.g.records, tw.Raw(bytes(range(16)) * N), 0, 0)
        self.assertEqual(bytes(self.g.storage[3]['ioPins'][0]), bytes(range(16)))

    @needs_numpy
    def test_structured_numpy_arrays_of_the_record_layouts(self):
        pins = numpy.zeros(N, [('value', '<i8'), ('tag', '<u4'), ('padding', '<u4')])
        pins['value'], pins['tag'], pins['padding'] = [10, 20, 30, 40], 1, 5
        self.lib.command_set_io_pin(self.g.records, pins, 1, 0)
        got = self.lib.feedback_get_io_pin(self.g.records, 1, 0, out=numpy.zeros_like(pins))
        self.assertEqual(got.tobytes(), pins.tobytes())
        self.assertEqual(list(self.lib.feedback_get_io_pin_int(self.g.records, 1, 0)), [10, 20, 30, 40])
        unnamed_padding = numpy.dtype({'names': ['value', 'tag'], 'formats': ['<i8', '<u4'],
                                       'offsets': [0, 8], 'itemsize': 16})
        self.lib.feedback_get_io_pin(self.g.records, 1, 0, out=numpy.zeros(N, unnamed_padding))
        rows = numpy.zeros(N, [('v', numpy.float32, (3,))])  # the same 12 bytes as MiVector3f
        self.g.storage[2]['vector3fs'][1].v[:] = [1, 2, 3]
        self.lib.command_get_vector3f(self.g.records, 1, out=rows)
        self.assertEqual(rows['v'][2].tolist(), [1, 2, 3])

    def test_buffer_length_contiguity_and_writability(self):
        self.assertRefused(ValueError, ['values holds 3 elements', 'at least count = 4'],
                           self.lib.command_set_float, self.g.records, array.array('f', [1] * 3), 0)
        self.assertRefused(ValueError, ['out holds 5 elements', 'exactly count = 4'],
                           self.lib.feedback_get_float, self.g.records, 0, out=array.array('f', [0] * 5))
        self.assertRefused(ValueError, ['not C-contiguous'], self.lib.feedback_get_float,
                           self.g.records, 0, out=memoryview(array.array('f', [0] * 8))[::2])
        self.assertRefused(ValueError, ['out is read-only'], self.lib.feedback_get_bool,
                           self.g.records, 0, out=bytes(N))
        self.lib.command_set_bool(self.g.records, bytes([7] * N), 0)  # read-only values are fine
        self.assertEqual([self.g.storage[i]['bools'][0] for i in range(N)], [7] * N)
        # A ctypes array grown with ctypes.resize() exports more bytes than it
        # has elements: as out, as values and as records it is refused.
        grown = (ctypes.c_float * N)()
        ctypes.resize(grown, 4 * N + 4096)
        self.assertRefused(ValueError, ['exports 4112 bytes', 'ctypes.resize'],
                           self.lib.feedback_get_float, self.g.records, 0, out=grown)
        self.assertRefused(ValueError, ['ctypes.resize'], self.lib.command_set_float,
                           self.g.records, grown, 0)
        records = (tw.MessageRecord * N).from_buffer_copy(self.g.array)
        ctypes.resize(records, ctypes.sizeof(records) + 96)
        with self.assertRaisesRegex(ValueError, 'records exports 480 bytes'):
            tw.Records(records, self.g.records.shape)

    def test_misaligned_buffers(self):
        def misaligned(ctype, offset):
            return (ctype * N).from_buffer(bytearray(ctypes.sizeof(ctype) * N + 8), offset)
        self.assertRefused(ValueError, ['out starts at', 'not a multiple of 8', 'float64'],
                           self.lib.command_get_high_res_angle, self.g.records, 0,
                           out=misaligned(ctypes.c_double, 1))
        self.assertRefused(ValueError, ['values', 'multiple of 4'], self.lib.command_set_float,
                           self.g.records, misaligned(ctypes.c_float, 2), 0)
        self.assertRefused(ValueError, ['out', 'multiple of 8', 'IoPinEntry'],
                           self.lib.command_get_io_pin, self.g.records, 0, 0,
                           out=tw.Raw(memoryview(bytearray(16 * N + 4))[4:]))
        self.lib.command_get_io_pin(self.g.records, 0, 0, count=0, out=tw.Raw(memoryview(bytearray(5))[1:1]))

    def test_out_cannot_overlap_the_records_or_a_table(self):
        # Records are the module's own copy: the array they were made from
        # can change, and what the calls pass cannot be written through out=.
        records = self.g.records
        self.g.array[0].floats = ctypes.cast(0, ctypes.POINTER(ctypes.c_float))
        self.lib.command_set_float(records, array.array('f', [1] * N), 0)
        self.assertEqual(self.g.storage[0]['floats'][0], 1)
        self.assertRefused(ValueError, ['out is read-only'], self.lib.feedback_get_bool,
                           records, 0, count=2, out=memoryview(records)[:2])
        self.assertRefused(ValueError, ["out overlaps the Feedback metadata's", 'table'],
                           self.lib.feedback_get_enum, records, 0, count=2, out=self.feedback.tables)

    def test_index_arguments(self):
        floats = array.array('f', [1] * N)
        refused = [True, 1.0, '1']
        if numpy is not None:
            refused.append(numpy.bool_(True))
            self.lib.command_set_float(self.g.records, floats, numpy.int8(1), count=numpy.uint64(2))
            self.lib.command_set_float(self.g.records, floats, numpy.array(1))
        for index in refused:
            self.assertRefused(TypeError, ['field must be an integer'], self.lib.command_set_float,
                               self.g.records, floats, index)
            self.assertRefused(TypeError, ['count must be an integer'], self.lib.command_set_float,
                               self.g.records, floats, 0, count=index)

        class Index:  # __index__ is called exactly once, and before anything is checked
            calls = 0

            def __init__(self, action=None):
                self.action = action

            def __index__(self):
                Index.calls += 1
                if self.action:
                    self.action()
                return 1 if Index.calls == 1 else 10**9
        self.lib.command_set_float(self.g.records, floats, Index())
        self.assertEqual(Index.calls, 1)
        # A finalizer that runs then, triggered by the conversion, and moves
        # a table entry is seen by the checks, which come after it.
        holder = [type('Held', (), {})()]
        weakref.finalize(holder[0], self.feedback.tables.__setitem__, 1, 100)
        Index.calls = 0
        self.assertRefused(ValueError, ['pin 1 + ', '(100) = 101'], self.lib.command_set_io_pin_int,
                           self.g.records, array.array('q', [1] * N), 1, Index(holder.clear))

    def test_signal_handlers_cannot_act_between_check_and_call(self):
        # A handler moves a table entry out of range and back, again and
        # again, while checked setters run: each call either sees the entry
        # out of range and refuses, or writes inside the pin arrays, whose
        # guard bytes must never change.
        guard, pins = b'\xa5' * 4096, 8
        blocks = [bytearray(16 * pins) + bytearray(guard) for _ in range(N)]
        array_ = (tw.MessageRecord * N)()
        words = (ctypes.c_uint32 * (8 * N))()
        for i, block in enumerate(blocks):
            array_[i].ioPins = ctypes.cast((ctypes.c_char * len(block)).from_buffer(block),
                                           ctypes.POINTER(tw.IoPinEntry))
            array_[i].presence = ctypes.cast(ctypes.byref(words, 32 * i), ctypes.POINTER(ctypes.c_uint32))
        records = tw.Records(array_, tw.Shape(presence_words=8, io_pins=pins))
        table = self.feedback.tables
        values = array.array('q', range(N))

        flips = [0]

        def flip(signum, frame):
            table[1] = 100 if table[1] == 4 else 4
            flips[0] += 1
        previous = signal.signal(signal.SIGALRM, flip)
        signal.setitimer(signal.ITIMER_REAL, 0.0001, 0.0001)
        refused = written = 0
        try:
            while flips[0] < 500:
                try:
                    self.lib.command_set_io_pin_int(records, values, 1, 1)
                    written += 1
                except ValueError:
                    refused += 1
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
            signal.signal(signal.SIGALRM, previous)
            table[1] = 4
        self.assertGreater(refused, 0)
        self.assertGreater(written, 0)
        self.assertTrue(all(block[16 * pins:] == guard for block in blocks))

    def test_an_interrupted_initialize_leaves_library_and_checks_agreeing(self):
        # Exceptions raised by a signal handler at any point of initialize()
        # and around it: afterwards the bit the checks compute is the bit the
        # library sets, every time.
        near, far = Group(first_bit=0), Group(first_bit=100)
        probe = Group()

        class Interrupt(Exception):
            pass
        armed = [True]

        def interrupt(signum, frame):
            if armed[0]:
                armed[0] = False
                raise Interrupt

        def library_bit():
            self.lib.raw.miCommandSetFloat(ctypes.cast(probe.records.address, tw.RECORDS), None, 1, 0)
            bits = [b for b in range(256) if probe.present(0, b)]
            ctypes.memset(probe.storage[0]['presence'], 0, 32)
            return bits
        previous = signal.signal(signal.SIGALRM, interrupt)
        signal.setitimer(signal.ITIMER_REAL, 0.00005, 0.00005)
        interrupted = 0
        try:
            for k in range(3000):
                meta = (near if k % 2 else far).meta
                try:
                    try:
                        armed[0] = True
                        self.lib.initialize(meta, meta, meta)
                    finally:
                        armed[0] = False
                except Interrupt:
                    interrupted += 1
                self.assertEqual(library_bit(), [self.lib.presence_bit('command', 'FLOAT', 0)])
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
            signal.signal(signal.SIGALRM, previous)
        self.assertGreater(interrupted, 0)

    def test_calls_that_read_the_metadata_before_initialize(self):
        out = run_python('''
            import array
            import tovakwrapper as tw
            from tovakwrapper.simulated import Group
            lib, g = tw.load(), Group()
            f4 = array.array('f', [1] * 4)
            calls = [(lib.command_set_float, (g.records, f4, 0)),
                     (lib.command_set_flag, (g.records, None, 0)),
                     (lib.command_get_flag, (g.records, 0)), (lib.info_get_flag, (g.records, 0)),
                     (lib.command_get_numbered_float, (g.records, 0, 0)),
                     (lib.command_set_io_pin_float, (g.records, f4, 0, 0)),
                     (lib.feedback_has_io_pin_int, (g.records, 0, 0)),
                     (lib.feedback_has, (g.records, 'FLOAT', 0)),
                     (lib.calls().command_set_led, (g.records, None, 0)),
                     (lib.presence_bit, ('command', 0, 0))]
            for call, args in calls:
                try:
                    call(*args)
                    print('accepted', call.__name__)
                except RuntimeError as error:
                    assert 'call initialize() first' in str(error), error
            assert not any(any(m['presence']) for m in g.storage)
            print(len(lib.command_get_float(g.records, 0)), len(lib.info_has_field(g.records, 3)))
        ''')
        self.assertEqual(out, f'{N} {N}\n')

    def test_records_of_another_message(self):
        command = Group(message='command')
        self.assertEqual(command.records.message, 'command')
        self.assertRefused(TypeError, ['feedback_get_float takes feedback records, not command'],
                           self.lib.feedback_get_float, command.records, 0)
        self.assertRefused(TypeError, ['info_has takes info records'], self.lib.info_has,
                           command.records, 'FLOAT', 0)
        self.assertRefused(TypeError, ['takes command records, not feedback'],
                           self.lib.calls().command_set_float, Group(message='feedback').records,
                           None, 0)
        self.lib.command_get_float(command.records, 0)
        with self.assertRaisesRegex(ValueError, "message must be 'command', 'feedback', 'info'"):
            tw.Records(command.array, command.records.shape, 'Command')
        with self.assertRaisesRegex(TypeError, 'records must be a tovakwrapper.Records'):
            self.lib.command_get_float(command.array, 0)


class CallListTest(Case):
    def test_a_call_list_is_its_calls_in_one_native_call(self):
        def add(target, group, values, out):
            r = group.records
            return [target.command_set_float(r, values, 1),
                    target.command_set_io_pin_int(r, array.array('q', [4, 5, 6, 7]), 1, 1),
                    target.command_set_flag(r, None, 2),
                    target.command_get_float(r, 1, out=out),
                    target.feedback_get_io_pin_int(r, 1, 1, out=array.array('q', [0] * N)),
                    target.command_has_io_pin_int(r, 1, 1, out=bytearray(N)),
                    target.command_has(r, 'FLAG', 2, out=bytearray(N)),
                    target.command_get_flag(r, 2, count=0, out=bytearray())]
        one, listed = Group(), Group()  # the same calls, one by one and as one list
        self.lib.initialize(one.meta, one.meta, one.meta)
        values = array.array('f', [1, 2, 3, 4])
        expected = add(self.lib, one, values, array.array('f', [0] * N))
        step = self.lib.calls()
        outs = add(step, listed, values, array.array('f', [0] * N))
        self.assertEqual(len(step), 8)
        self.assertEqual(bytes(outs[3]), bytes(N * 4))  # nothing runs before the list is called
        self.assertIsNone(step())
        self.assertEqual([bytes(x) for x in outs if x is not None],
                         [bytes(x) for x in expected if x is not None])
        self.assertEqual(self.memory(listed), self.memory(one))
        with self.assertRaises(BufferError):  # it holds its buffers
            values.append(0)
        # Checked again when a table entry it reads changes, or after initialize().
        one.tables[1] = 7
        before = self.memory(listed)
        with self.assertRaisesRegex(ValueError, r'pin 1 \+ .* = 8'):
            step()
        self.assertEqual(self.memory(listed), before)
        one.tables[1] = 4
        step()
        far = Group(first_bit=250)
        self.lib.initialize(far.meta, far.meta, far.meta)
        with self.assertRaisesRegex(ValueError, 'presence'):
            step()
        self.lib.initialize(one.meta, one.meta, one.meta)
        step()
        # A list refused once is checked in full again at its next run.
        single = self.lib.calls()
        single.command_set_io_pin_int(listed.records, array.array('q', [1] * N), 1, 1)
        for entry in (7, 9):
            one.tables[1] = entry
            with self.assertRaisesRegex(ValueError, rf'pin 1 \+ .* = {entry + 1}'):
                single()
        self.assertEqual(self.memory(listed), before)
        one.tables[1] = 4
        # Refused when added, and then not added.
        with self.assertRaisesRegex(ValueError, "out overlaps the Command metadata's"):
            step.feedback_get_enum(listed.records, 0, count=2, out=one.tables)
        self.assertEqual(len(step), 8)
        self.assertIsNone(self.lib.calls()())


class SimulatedDevicesTest(unittest.TestCase):
    def test_step_answers_as_the_cpp_devices_do(self):
        """simulated.step follows sim::step's rules bit for bit: what is
        echoed and marked, nothing else touched, and positions whose
        expected bits are what the C++ devices compute from the same input."""
        lib, step = tw.load(), tw.simulated.step
        command = Group(count=12, message='command')
        # The demo's speeds and Feedback first bit.
        feedback = Group(first_bit=5, count=12, message='feedback')
        lib.initialize(command.meta, feedback.meta, feedback.meta)
        lib.command_set_float(command.records, array.array('f', [3 * i - 16 for i in range(12)]), 0)
        pins = (tw.IoPinEntry * 12)()
        for i, pin in enumerate(pins):  # every byte of an entry its own
            pin.value.bytes[:] = range(8 * i + 1, 8 * i + 9)
            pin.tag, pin.padding = 0xFFFFFFF0 + i, 0xA0 + i
        lib.command_set_io_pin(command.records, pins, 1, 1)  # entry 4 + 1
        for m in feedback.storage:
            m['highResAngles'][0].padding = 0xC0FFEE
        sent = [bytes(a) for m in command.storage for a in m.values()]
        for _ in range(3):
            step(command, feedback)
        self.assertEqual([bytes(a) for m in command.storage for a in m.values()], sent)
        fb = feedback.meta.base
        marked = {fb[0], fb[1], fb[8] + 5, fb[11]}  # Float 0, HighResAngle 0, the pin, flag 0
        for i, m in enumerate(feedback.storage):
            self.assertEqual({b for b in range(256) if feedback.present(i, b)}, marked, i)
            self.assertEqual(bytes(m['ioPins'][5]), bytes(pins[i]))
            speed = bytes(command.storage[i]['floats'])[:4]
            self.assertEqual(bytes(m['floats']), speed + bytes(12))
            self.assertEqual(m['highResAngles'][0].padding, 0xC0FFEE)
            untouched = [m[n] for n in ('vector3fs', 'quaternionfs', 'uint64s', 'enums', 'bools',
                                        'numberedFloats', 'leds')]
            self.assertFalse(any(b''.join(map(bytes, untouched)) + bytes(m['highResAngles'])[16:] +
                                 bytes(m['ioPins'])[:80] + bytes(m['ioPins'])[96:]), i)

        def angles(group):
            return [(a.revolutions, struct.unpack('<I', struct.pack('<f', a.offset))[0])
                    for a in (m['highResAngles'][0] for m in group.storage)]

        read = lib.feedback_get_high_res_angle(feedback.records, 0, out=array.array('d', [0] * 12))
        self.assertEqual([angles(feedback)[i] + (read[i],) for i in (0, 5, 11)],
                         [(-2, 0x3F10FDB0, -11.999999650308879),
                          (-1, 0x40B10FDB, -0.74999982515443975),
                          (2, 0x3E3C0940, 12.749999650308879)])
        # The edges: NaN (no move), +inf (clamped to 64 rad/s), a move that
        # rounds to a whole turn, revolutions wrapping, offsets out of [0, 2 pi)
        # starting again (NaN; 2 pi as a float itself).
        command, feedback = Group(count=6), Group(first_bit=5, count=6)
        starts = [(5, 1.0), (0, 0.0), (0, 0.0), (2**63 - 1, 6.0), (7, math.nan),
                  (3, tw.simulated.TURN)]
        for c, f, speed, (turns, offset) in zip(command.storage, feedback.storage,
                                                 [math.nan, math.inf, -1e-8, 4, 2, -3], starts):
            c['floats'][0], c['presence'][0] = speed, 1
            f['highResAngles'][0].revolutions, f['highResAngles'][0].offset = turns, offset
        step(command, feedback)
        self.assertEqual(angles(feedback), [(5, 0x3F800000), (2, 0x405BC092), (0, 0),
                                            (-2**63, 0x3F378128), (0, 0x3F000000),
                                            (-1, 0x40B10FDB)])
        far = Group(first_bit=250, count=6)  # kind k from bit 250 + 8k: beyond 8 words
        with self.assertRaisesRegex(ValueError, r'Feedback presence bit \d+ is beyond the 8'):
            step(command, far)
        self.assertFalse(any(b''.join(bytes(a) for m in far.storage for a in m.values())))


class DocumentationTest(unittest.TestCase):
    README = os.path.join(ROOT, 'README.md')
    GUIDE = os.path.join(ROOT, 'docs', 'python.md')
    INSTALL = os.path.join(ROOT, 'docs', 'install.md')

    def blocks(self, language, path):
        with open(path) as text:
            return re.findall(rf'```{language}\n(.*?)```', text.read(), re.S)

    def test_python_snippets_run(self):
        """Every snippet runs, and one the guide shows the output of (a text
        block after it, before the next code block) prints exactly that."""
        shown = 0
        for path in (self.README, self.GUIDE):
            with open(path) as text:
                found = re.findall(r'```python\n(.*?)```((?:(?!```).)*```text\n(.*?)```)?',
                                   text.read(), re.S)
            self.assertTrue(found, path)
            for snippet, follows, output in found:
                printed = io.StringIO()
                with contextlib.redirect_stdout(printed):
                    exec(compile(snippet, path, 'exec'), {})
                if follows:
                    self.assertEqual(printed.getvalue(), output, path)
                    shown += 1
        self.assertGreater(shown, 0)

    def test_docstring_examples_run(self):
        for module in (tw, tw.simulated):
            result = doctest.testmod(module, verbose=False)
            self.assertGreater(result.attempted, 0, module.__name__)
            self.assertEqual(result.failed, 0, module.__name__)

    def test_cmake_snippet_is_the_consumer_ci_builds(self):
        (snippet,) = [b for b in self.blocks('cmake', self.INSTALL) if 'find_package' in b]
        with open(os.path.join(ROOT, 'tests', 'consumer', 'CMakeLists.txt')) as f:
            # The consumer asks for the version of the sources beside it.
            built = f.read().replace('${TOVAK_VERSION}', '.'.join(tw.__version__.split('.')[:2]))
        self.assertIn(snippet, built)


if __name__ == '__main__':
    unittest.main()
