# SPDX-License-Identifier: MIT
"""Python host for tovakWrapper, through ctypes (standard library only;
numpy arrays are accepted wherever a buffer is). Run it with Debian's
/usr/bin/python3, which has python3-numpy; another python3 may come first on
PATH.

>>> import array, tovakwrapper as tw
>>> from tovakwrapper.simulated import Group
>>> lib = tw.load()                                    # finds libtovakWrapper
>>> command, feedback, info = Group(), Group(first_bit=3), Group(first_bit=5)
>>> lib.initialize(command.meta, feedback.meta, info.meta)
>>> lib.command_set_float(command.records, array.array('f', [0.5, 1.5, 2.5, 3.5]), 2)
>>> lib.feedback_get_float(command.records, 2)
array('f', [0.5, 1.5, 2.5, 3.5])
>>> bit = lib.presence_bit('command', tw.KIND.FLOAT, 2)   # what the has_field calls take
>>> list(lib.command_has_field(command.records, bit))
[1, 1, 1, 1]

Records and shapes
------------------
Every checked call takes a `Records`: an array of MessageRecords (a ctypes
array, or any C-contiguous buffer of whole 96-byte records at an 8-byte
aligned address) together with a `Shape`, the number of presence words and
of elements of each value array that every message has at least. A Records
object cannot be changed: its array, shape, count and address are read-only,
and its buffer stays exported (so it cannot be resized, ctypes.resize()
excepted) while it exists.

Call shapes
-----------
Each accessor is a method named after it (miFeedbackGetIoPinInt ->
lib.feedback_get_io_pin_int), taking the C arguments in the same order, less
the count, which is a keyword (None: every record):

- setters: (records, values, field, count=None); values None sets only the
  presence bits; miCommandSetFlag never reads its values;
- getters and queries: (records, field, count=None, out=None); without out=
  they return a new array.array (or ctypes array for structures);
- numbered floats: (..., number, field, ...); pins: (..., pin, bank, ...);
- has_field: (records, bit, ...), an absolute presence bit, which
  lib.presence_bit(message, kind, field) computes from the metadata last
  passed to initialize(); tw.KIND.FLOAT and tw.KIND['FLOAT'] are both 0.

Element types: float32 (Float, NumberedFloat, IoPinFloat), float64
(HighResAngle), int32 (Enum), uint32 (Led), uint8 (Bool, flags, queries),
uint64 (UInt64), int64 (IoPinInt), and 12-, 16- and 16-byte structures for
Vector3f, Quaternionf and IoPin: ctypes arrays of MiVector3f, MiQuaternionf,
IoPinEntry, numpy structured arrays of the same layout, and (n, 3) or (n, 4)
float32 arrays for the first two. tw.Raw(buffer) passes any buffer's bytes
when their size is a whole number of elements.

Checked, prepared and raw calls
-------------------------------
A checked call reads each argument once and uses only what it read: every
index becomes a plain int (operator.index, then the range check) and that
int is what the library receives; each buffer's export is taken first and
held until the call returns, and its element type, dimensions, length,
contiguity, writability and alignment are checked on that export, whose
address is the one passed. Before the native call it checks every index the
library will compute against the records' shape and the tables of the
metadata last passed to initialize() (value index, table entry plus number
or pin, presence word), that out= does not overlap the records array, and
that initialize() was called, for every call that reads the metadata
(setters, flag getters, numbered-float and pin calls). Types are told by
type(obj), so an object cannot pass for another by overriding __class__;
numpy arrays are recognised without importing numpy.

`.prepare(...)` of any checked call (same arguments) does all of that once
and returns a `Prepared` call: calling it makes the native call again and
returns out (getters) or None. It keeps the ints it converted, so an index
object that changes afterwards (a 0-d numpy array) changes nothing, and it
checks again, with those ints, only what can change: everything after a new
initialize(), the table entry it reads when that entry changed. It holds its
buffer, which therefore cannot be resized (ctypes.resize() excepted), and
its out array when it made one; a read-only values buffer is
read where it is at every call, never copied. Its properties (accessor,
count, number, field, records, buffer, address) say what it passes.

`lib.calls(a, b, ...)` takes prepared calls and returns a `CallList`: one
callable that runs them in order in one native call (miRunCalls of the
companion library libtovakWrapperCalls, found in the same directory as the
main library) and returns the getters' out buffers, in order. It is checked
with the prepared calls' own checks: all of them when it is made (plus that
no getter's out overlaps the records of any call of the list), and again
before a run only when initialize() was called since or a table entry one of
its calls reads changed. It holds its prepared calls and so all their
buffers. A companion library that calls another copy of the main library
than the one loaded (the loader binds it by SONAME) is refused. For a
control-loop step of ten accessors it costs about one raw call
(examples/control_loop.py).

`lib.raw` has the 49 library functions with their C types, unchecked: they
behave as the library does (before miInitialize, setters place presence bits
from base 0 and the table calls are inert).

Errors
------
TypeError: an argument of the wrong type (a float or bool as an index, a
buffer of the wrong element type, a MessageMetadata subclass). ValueError: a
value out of range, a buffer of the wrong length, not C-contiguous,
read-only as out=, misaligned, or out= overlapping the records. RuntimeError:
a call that reads the metadata before initialize(). Each names the argument,
what it is and the rule it breaks. Nothing is written when a call raises.

What the checks take on trust
-----------------------------
Nothing in the process can verify these cheaply, so the host vouches for them:

- that every message's arrays are at least as long as the records' Shape
  says, and that the record pointers point into live memory: a pointer is
  only an address (the message library that filled the records vouches for
  that; the simulated Group builds them so), and the records are not
  re-pointed afterwards through Records.array;
- that out= does not overlap the messages' own storage (their presence words
  and value arrays) and values does not overlap what a setter writes, as the
  library's header requires: those arrays are reached through pointers, and
  checking every record's arrays would cost a pass over all the messages;
- that the metadata's tables stay as long as the c_int32 arrays assigned to
  them (ctypes objects made with from_address can claim any length);
- that the library's metadata copies are those last passed to
  initialize(): a call to lib.raw.miInitialize, or from other native code in
  the process, goes unseen;
- that no other thread calls initialize(), edits a table entry, reassigns a
  numpy array's dtype or calls ctypes.resize() on a buffer between a checked
  call's checks and the end of its native call (the library takes no locks,
  and a lock here would not bind other code; buffers, on the other hand, are
  held so that they cannot be resized meanwhile);
- that ctypes.resize() is not called on a buffer, records array or table
  that a Records, prepared call or call list holds, nor on the ctypes object
  behind a view of one (a memoryview, a numpy array, a Raw): it moves the
  memory whatever exports are held on it, and the object may be reached
  through any chain of views, so only the object itself could tell (the
  same for numpy's unchecked resize(refcheck=False) and .data assignment);
- that out= does not overlap the record array of another Records object
  (the call's own records are checked): every live Records would have to be
  looked at on every call;
- that nobody forges the package's own objects (tuple.__new__(Records, ...))
  or edits its private state.
"""
from . import simulated
from ._layouts import (IO_PIN_TAG_FLOAT, IO_PIN_TAG_INT, KIND, LAYOUT, HighResAngleEntry,
                       IoPinEntry, MessageMetadata, MessageRecord, MiCall, MiIoPinValue,
                       MiQuaternionf, MiVector3f)
from ._library import (FUNCTIONS, METADATA, RECORDS, CallList, Library, Prepared, Raw, Records,
                       Shape, find_library, load)

__version__ = '0.1.0'
__all__ = ['load', 'find_library', 'Library', 'Records', 'Shape', 'Prepared', 'CallList', 'MiCall',
           'Raw', 'MessageRecord',
           'MessageMetadata', 'HighResAngleEntry', 'IoPinEntry', 'MiIoPinValue', 'MiVector3f',
           'MiQuaternionf', 'KIND', 'IO_PIN_TAG_INT', 'IO_PIN_TAG_FLOAT', 'FUNCTIONS', 'RECORDS',
           'METADATA', 'LAYOUT', 'simulated']
