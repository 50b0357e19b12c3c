# SPDX-License-Identifier: MIT
"""Which route a buffer takes: the compiled extension, or ctypes over a
shared library the host names (or the only route, where the extension was
not built)."""
from . import _buffer, _library

try:
    from . import _native
except ImportError:  # no compiled module for this platform: ctypes only
    _native = None

NATIVE = _native is not None
"""True when the compiled extension is there."""


def _wants_library(library):
    return library is not None or _library.chosen()


if NATIVE:
    class Buffer(_native.Buffer):
        __doc__ = _native.Buffer.__doc__
        __module__ = "promfmt"
        __slots__ = ()

        def __new__(cls, capacity=0, *, library=None):
            # A library named by the host (argument, load() or
            # $PROMFMT_LIBRARY) wins over the compiled-in one.
            if _wants_library(library):
                return _buffer.LibraryBuffer(capacity, library=library)
            return super().__new__(cls, capacity)

    def escape_label_value(value, *, library=None):
        """Returns value with backslash, double quote and line feed escaped."""
        if _wants_library(library):
            return _buffer.escape_label_value(value, library=library)
        return _native.escape_label_value(value)
else:
    Buffer = _buffer.LibraryBuffer
    escape_label_value = _buffer.escape_label_value
