# SPDX-License-Identifier: MIT
"""Python host for tovakWrapper, through ctypes (standard library only;
numpy arrays are accepted wherever a buffer is).

>>> import array, tovakwrapper as tw
>>> from tovakwrapper.simulated import Group
>>> lib = tw.load()                                    # finds libtovakWrapper
>>> command, feedback, info = Group(), Group(first_bit=3), Group(first_bit=5)
>>> lib.initialize(command.meta, feedback.meta, info.meta)
>>> lib.command_set_float(command.records, array.array('f', [0.5, 1.5, 2.5, 3.5]), 2)
>>> lib.feedback_get_float(command.records, 2)
array('f', [0.5, 1.5, 2.5, 3.5])

Checked calls take a `Records` (message records plus the `Shape` of the
messages) and check, before the native call, every index the library will
compute against that shape and against the tables of the metadata last
passed to `initialize()`, and every buffer's element type and length. Each
also has `.prepare(...)`, a call bound once to its records, indices and
buffer. The raw functions are in `lib.raw` (e.g. `lib.raw.miCommandSetFloat`).

What the checks take on trust, because nothing in the process can verify it:

- that every message's arrays are at least as long as the records' `Shape`
  says (the message library that filled the records vouches for that; the
  simulated `Group` builds them so), and that the records are not re-pointed
  afterwards through `Records.array`;
- that the library's metadata copies are those last passed to this module's
  `initialize()`: a call to `lib.raw.miInitialize`, or from other native code
  in the process, goes unseen;
- that no other thread calls `initialize()` or edits a table between a checked
  call's checks and its native call (the library itself takes no locks
  either; buffers, on the other hand, are held so that they cannot be resized
  meanwhile).
"""
from . import simulated
from ._layouts import (IO_PIN_TAG_FLOAT, IO_PIN_TAG_INT, KIND, LAYOUT, HighResAngleEntry,
                       IoPinEntry, MessageMetadata, MessageRecord, MiIoPinValue, MiQuaternionf,
                       MiVector3f)
from ._library import (FUNCTIONS, METADATA, RECORDS, Library, Prepared, Raw, Records, Shape,
                       find_library, load)

__version__ = '0.1.0'
__all__ = ['load', 'find_library', 'Library', 'Records', 'Shape', 'Prepared', 'Raw', 'MessageRecord',
           'MessageMetadata', 'HighResAngleEntry', 'IoPinEntry', 'MiIoPinValue', 'MiVector3f',
           'MiQuaternionf', 'KIND', 'IO_PIN_TAG_INT', 'IO_PIN_TAG_FLOAT', 'FUNCTIONS', 'RECORDS',
           'METADATA', 'LAYOUT', 'simulated']
