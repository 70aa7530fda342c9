# SPDX-License-Identifier: MIT
"""Types of tovakwrapper._native, the extension module built from python/src/native.c.
The accessor methods (the 48 of the accessor list and command_has, feedback_has and
info_has) carry their signatures at run time: help(lib.command_get_float)."""
from typing import Any, Callable, Optional, Tuple

from ._layouts import MessageMetadata, Shape

__version__: str
LIBRARY: str
CALLS_LIBRARY: str
INITIALIZE_ADDRESS: int
# (value, function, method, message, op, takes number or pin, element)
ACCESSORS: Tuple[Tuple[int, str, str, str, str, int, int], ...]
# (C type, array.array typecode or None, width, columns)
ELEMENTS: Tuple[Tuple[str, Optional[str], int, int], ...]
KINDS: Tuple[Tuple[str, int], ...]


class Records:
    shape: Shape
    message: Optional[str]
    count: int
    address: int

    def __init__(self, records: Any, shape: Shape, message: Optional[str] = None) -> None: ...
    def __len__(self) -> int: ...


class Raw:
    buffer: Any

    def __init__(self, buffer: Any) -> None: ...


class _Accessors:
    def __getattr__(self, name: str) -> Callable[..., Any]: ...


class CallList(_Accessors):
    def __call__(self) -> None: ...
    def __len__(self) -> int: ...


class Library(_Accessors):
    def initialize(self, command: MessageMetadata, feedback: MessageMetadata,
                   info: MessageMetadata) -> None: ...
    def presence_bit(self, message: str, kind: Any, field: int) -> int: ...
    def calls(self) -> CallList: ...


def _set_allocator(allocator: Callable[[int, int], Any]) -> None: ...
