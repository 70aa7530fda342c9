# SPDX-License-Identifier: MIT
"""Python host for tovakWrapper, through ctypes (standard library only).

    import tovakwrapper as tw
    lib = tw.load()                          # finds libtovakWrapper
    lib.initialize(command_meta, feedback_meta, info_meta)
    lib.command_set_float(records, array('f', [...]), field=3)
    speeds = lib.feedback_get_float(records, field=3)      # array('f')

`records` is any buffer holding whole 96-byte MessageRecords (a ctypes array
of MessageRecord, a bytearray, a numpy array). Values are any buffer whose
item size is the element width (or 1, for raw bytes). Every wrapper checks
its buffers before the native call and raises ValueError naming the argument,
so the library is never handed a buffer it would overrun. Getters return
freshly allocated outputs: array.array for numbers, ctypes arrays for
MiVector3f, MiQuaternionf and IoPinEntry.

The raw functions are there too, with their argument types declared:
lib.raw.miCommandSetFloat(...).
"""
import array
import ctypes
import ctypes.util
import os
import re
from ctypes import POINTER, c_double, c_float, c_int32, c_int64, c_uint8, c_uint32, c_uint64

__all__ = ['load', 'Library', 'MessageRecord', 'MessageMetadata', 'HighResAngleEntry',
           'IoPinEntry', 'MiVector3f', 'MiQuaternionf', 'KIND', 'IO_PIN_TAG_INT',
           'IO_PIN_TAG_FLOAT']

KIND = dict(FLOAT=0, HIGH_RES_ANGLE=1, VECTOR3F=2, QUATERNIONF=3, UINT64=4, ENUM=5, BOOL=6,
            NUMBERED_FLOAT=7, IO_PIN=8, LED=9, RESERVED=10, FLAG=11)
IO_PIN_TAG_INT = 1
IO_PIN_TAG_FLOAT = 2


# ---- record layouts -----------------------------------------------------------

class MiVector3f(ctypes.Structure):
    _fields_ = [('v', c_float * 3)]


class MiQuaternionf(ctypes.Structure):
    _fields_ = [('q', c_float * 4)]


class HighResAngleEntry(ctypes.Structure):
    _fields_ = [('revolutions', c_int64), ('offset', c_float), ('padding', c_uint32)]


class MiIoPinValue(ctypes.Union):
    _fields_ = [('asInt', c_int64), ('asFloat', c_float), ('bytes', c_uint8 * 8)]


class IoPinEntry(ctypes.Structure):
    _fields_ = [('value', MiIoPinValue), ('tag', c_uint32), ('padding', c_uint32)]


class MessageRecord(ctypes.Structure):
    _fields_ = [('presence', POINTER(c_uint32)), ('floats', POINTER(c_float)),
                ('highResAngles', POINTER(HighResAngleEntry)),
                ('vector3fs', POINTER(MiVector3f)), ('quaternionfs', POINTER(MiQuaternionf)),
                ('uint64s', POINTER(c_uint64)), ('enums', POINTER(c_int32)),
                ('bools', POINTER(c_uint8)), ('numberedFloats', POINTER(c_float)),
                ('ioPins', POINTER(IoPinEntry)), ('leds', POINTER(c_uint32)),
                ('reserved', ctypes.c_void_p)]


class MessageMetadata(ctypes.Structure):
    _fields_ = [('opaque0', c_uint8 * 48), ('base', c_uint32 * 12),
                ('numberedFloatTable', POINTER(c_int32)), ('opaque1', c_uint64),
                ('pinBankTable', POINTER(c_int32)), ('opaque2', c_uint64), ('opaque3', c_uint32)]


# The sizes and offsets the library's header fixes; checked at import.
LAYOUT = {
    'MiVector3f': (12, {}),
    'MiQuaternionf': (16, {}),
    'HighResAngleEntry': (16, {'revolutions': 0, 'offset': 8, 'padding': 12}),
    'IoPinEntry': (16, {'value': 0, 'tag': 8, 'padding': 12}),
    'MessageRecord': (96, {'presence': 0, 'floats': 8, 'highResAngles': 16, 'vector3fs': 24,
                           'quaternionfs': 32, 'uint64s': 40, 'enums': 48, 'bools': 56,
                           'numberedFloats': 64, 'ioPins': 72, 'leds': 80, 'reserved': 88}),
    'MessageMetadata': (136, {'base': 48, 'numberedFloatTable': 96, 'opaque1': 104,
                              'pinBankTable': 112, 'opaque2': 120, 'opaque3': 128}),
}


def _check_layouts():
    for name, (size, offsets) in LAYOUT.items():
        cls = globals()[name]
        if ctypes.sizeof(cls) != size:
            raise ImportError(f'{name} is {ctypes.sizeof(cls)} bytes here, not {size}')
        for field, offset in offsets.items():
            if getattr(cls, field).offset != offset:
                raise ImportError(f'{name}.{field} is at {getattr(cls, field).offset}, not {offset}')


_check_layouts()

# ---- the 49 functions ------------------------------------------------------------

RECORDS = POINTER(MessageRecord)
METADATA = POINTER(MessageMetadata)

# Element of each family: (ctypes type, array typecode or None for structures).
_ELEMENTS = {
    'Float': (c_float, 'f'), 'HighResAngle': (c_double, 'd'), 'Vector3f': (MiVector3f, None),
    'Quaternionf': (MiQuaternionf, None), 'UInt64': (c_uint64, 'Q'), 'Enum': (c_int32, 'i'),
    'Bool': (c_uint8, 'B'), 'Led': (c_uint32, 'I'), 'Flag': (c_uint8, 'B'),
    'Field': (c_uint8, 'B'), 'NumberedFloat': (c_float, 'f'), 'IoPin': (IoPinEntry, None),
    'IoPinInt': (c_int64, 'q'), 'IoPinFloat': (c_float, 'f'),
}
_INDEXED = {'NumberedFloat', 'IoPin', 'IoPinInt', 'IoPinFloat'}
_NAME = re.compile(r'^mi(Command|Feedback|Info)(Set|Get|Has)(\w+)$')

FUNCTIONS = [
    'miCommandSetFloat', 'miCommandGetFloat', 'miFeedbackGetFloat', 'miInfoGetFloat',
    'miCommandSetHighResAngle', 'miCommandGetHighResAngle', 'miFeedbackGetHighResAngle',
    'miInfoGetHighResAngle', 'miCommandGetVector3f', 'miFeedbackGetVector3f',
    'miCommandGetQuaternionf', 'miFeedbackGetQuaternionf', 'miCommandGetUInt64',
    'miFeedbackGetUInt64', 'miCommandSetEnum', 'miCommandGetEnum', 'miFeedbackGetEnum',
    'miInfoGetEnum', 'miCommandSetBool', 'miCommandGetBool', 'miFeedbackGetBool', 'miInfoGetBool',
    'miCommandSetNumberedFloat', 'miCommandGetNumberedFloat', 'miFeedbackGetNumberedFloat',
    'miCommandSetIoPin', 'miCommandGetIoPin', 'miFeedbackGetIoPin', 'miCommandSetIoPinInt',
    'miCommandGetIoPinInt', 'miCommandHasIoPinInt', 'miFeedbackGetIoPinInt',
    'miFeedbackHasIoPinInt', 'miCommandSetIoPinFloat', 'miCommandGetIoPinFloat',
    'miCommandHasIoPinFloat', 'miFeedbackGetIoPinFloat', 'miFeedbackHasIoPinFloat',
    'miCommandSetLed', 'miCommandGetLed', 'miFeedbackGetLed', 'miInfoGetLed', 'miCommandSetFlag',
    'miCommandGetFlag', 'miInfoGetFlag', 'miCommandHasField', 'miFeedbackHasField',
    'miInfoHasField',
]


def _element(operation, family):
    """(ctypes type, typecode) of an accessor's values or output."""
    return (c_uint8, 'B') if operation == 'Has' else _ELEMENTS[family]


def _signature(name):
    """(operation, family, argtypes) of an accessor, from its name."""
    _, operation, family = _NAME.match(name).groups()
    element = POINTER(_element(operation, family)[0])
    if operation == 'Set':
        head = [RECORDS, element, c_uint32]
    else:
        head = [element, RECORDS, c_uint32]
    tail = [c_int32, c_uint32] if family in _INDEXED else [c_uint32]
    return operation, family, head + tail


def _snake(name):
    """miCommandSetIoPinInt -> command_set_io_pin_int."""
    return re.sub(r'(?<!^)(?=[A-Z])', '_', name[2:]).lower().replace('u_int64', 'uint64')


_LIBRARY_NAMES = ('libtovakWrapper.so.0', 'libtovakWrapper.so', 'tovakWrapper.dll',
                  'libtovakWrapper.dylib')


def find_library():
    """The library's path: $TOVAK_WRAPPER_LIBRARY, an installed copy, or a build tree."""
    explicit = os.environ.get('TOVAK_WRAPPER_LIBRARY')
    if explicit:
        return explicit
    found = ctypes.util.find_library('tovakWrapper')
    if found:
        return found
    here = os.path.dirname(os.path.abspath(__file__))
    candidates = [os.path.join(prefix, lib, name)
                  for prefix in ('/usr/local', '/usr') for lib in ('lib', 'lib64')
                  for name in _LIBRARY_NAMES]
    candidates += [os.path.join(here, '..', 'build', preset, name)
                   for preset in ('release', 'gcc-O3-native', 'clang-O3-native')
                   for name in _LIBRARY_NAMES]
    for path in candidates:
        if os.path.exists(path):
            return os.path.normpath(path)
    raise OSError('libtovakWrapper not found: set TOVAK_WRAPPER_LIBRARY to its path')


# ---- buffer checks ------------------------------------------------------------------

def _integer(name, value, low, high):
    if not isinstance(value, int) or isinstance(value, bool):
        raise TypeError(f'{name} must be an int, not {type(value).__name__}')
    if not low <= value <= high:
        raise ValueError(f'{name} must be from {low} to {high}, not {value}')
    return value


def _u32(name, value):
    return _integer(name, value, 0, 2**32 - 1)


def _i32(name, value):
    return _integer(name, value, -2**31, 2**31 - 1)


def _bytes_of(name, obj):
    """A contiguous byte view of a buffer-protocol object."""
    try:
        view = memoryview(obj)
    except TypeError:
        raise TypeError(f'{name} must support the buffer protocol, not {type(obj).__name__}') from None
    if not view.c_contiguous:
        raise ValueError(f'{name} must be a contiguous buffer')
    return view


def _address(view, keep):
    """Address of a buffer's first byte; read-only buffers are copied."""
    raw = view.cast('B') if view.format != 'B' or view.ndim != 1 else view
    if raw.readonly:
        holder = (ctypes.c_char * max(raw.nbytes, 1)).from_buffer_copy(raw.tobytes() or b'\0')
    else:
        holder = (ctypes.c_char * raw.nbytes).from_buffer(raw) if raw.nbytes else ctypes.c_char()
    keep.append(holder)
    return ctypes.addressof(holder)


class Library:
    """The loaded library: raw functions in .raw, checked wrappers as methods."""

    def __init__(self, path=None):
        self.path = path or find_library()
        self.raw = ctypes.CDLL(self.path)
        self.raw.miInitialize.argtypes = [METADATA, METADATA, METADATA]
        self.raw.miInitialize.restype = None
        for name in FUNCTIONS:
            operation, family, argtypes = _signature(name)
            function = getattr(self.raw, name)
            function.argtypes = argtypes
            function.restype = None
            setattr(self, _snake(name), self._wrap(name, operation, family, function))

    def initialize(self, command, feedback, info):
        for name, m in (('command', command), ('feedback', feedback), ('info', info)):
            if not isinstance(m, MessageMetadata):
                raise TypeError(f'{name} must be a MessageMetadata, not {type(m).__name__}')
        self.raw.miInitialize(ctypes.byref(command), ctypes.byref(feedback), ctypes.byref(info))

    @staticmethod
    def _records(records, count, keep):
        view = _bytes_of('records', records)
        size = ctypes.sizeof(MessageRecord)
        if view.nbytes % size:
            raise ValueError(f'records must hold whole {size}-byte MessageRecords, '
                             f'not {view.nbytes} bytes')
        available = view.nbytes // size
        count = available if count is None else _u32('count', count)
        if count > available:
            raise ValueError(f'count {count} exceeds the {available} records given')
        pointer = ctypes.cast(_address(view, keep), RECORDS) if count else None
        return pointer, count

    @staticmethod
    def _values(values, count, ctype, keep):
        width = ctypes.sizeof(ctype)
        view = _bytes_of('values', values)
        allowed = {width, 1}
        if ctype in (MiVector3f, MiQuaternionf):
            allowed.add(4)  # a flat buffer of float components
        if view.itemsize not in allowed:
            raise ValueError(f'values has {view.itemsize}-byte items; this field takes '
                             f'{width}-byte elements')
        if view.nbytes < count * width:
            raise ValueError(f'values holds {view.nbytes // width} elements of {width} bytes, '
                             f'fewer than count {count}')
        return ctypes.cast(_address(view, keep), POINTER(ctype))

    def _wrap(self, name, operation, family, function):
        ctype, typecode = _element(operation, family)
        if family in _INDEXED:
            first, second = ('pin', 'bank') if family.startswith('IoPin') else ('number', 'field')

            def arguments(a, b):
                return [_i32(first, a), _u32(second, b)]
            shape = f'{first}, {second}'
        else:
            third = 'bit' if family == 'Field' else 'field'

            def arguments(a):
                return [_u32(third, a)]
            shape = third

        if operation == 'Set':
            def call(records, values, *args, count=None):
                keep = []
                pointer, n = self._records(records, count, keep)
                v = None if values is None else self._values(values, n, ctype, keep)
                function(pointer, v, n, *arguments(*args))
            call.__doc__ = f'{name}: (records, values or None, {shape}, count=None)'
        else:
            def call(records, *args, count=None):
                keep = []
                pointer, n = self._records(records, count, keep)
                if typecode is None:
                    out = (ctype * n)()
                    address = ctypes.cast(out, POINTER(ctype))
                else:
                    out = array.array(typecode, bytes(n * ctypes.sizeof(ctype)))
                    address = ctypes.cast(_address(memoryview(out), keep), POINTER(ctype))
                function(address, pointer, n, *arguments(*args))
                return out
            call.__doc__ = f'{name}: (records, {shape}, count=None) -> new output of count elements'
        call.__name__ = _snake(name)
        return call


def load(path=None):
    """Loads the library (see find_library) and declares its 49 functions."""
    return Library(path)
