# SPDX-License-Identifier: MIT
"""The ctypes route: finding and loading a shared library the host names
(or the only one there is, where the extension was not built), and calling
into it."""
import ctypes
import os
import sys
import threading

from ._errors import Error

SONAME = "libvelkaron-prometheus-promfmt.so.1"
DLL_NAME = "velkaron-prometheus-promfmt.dll"
DYLIB_NAME = "libvelkaron-prometheus-promfmt.1.dylib"
ENV_VAR = "PROMFMT_LIBRARY"

_BUF = ctypes.c_void_p  # promfmt_buffer_t *
_STR = ctypes.c_char_p
_SIGNATURES = {
    "promfmt_buffer_create": (_BUF, [ctypes.c_size_t]),
    "promfmt_buffer_free": (None, [_BUF]),
    "promfmt_buffer_reset": (None, [_BUF]),
    "promfmt_buffer_data": (ctypes.c_void_p, [_BUF]),
    "promfmt_buffer_len": (ctypes.c_size_t, [_BUF]),
    "promfmt_last_error": (_STR, []),
    "promfmt_escape_label_value": (ctypes.c_int, [_STR, ctypes.c_char_p, ctypes.c_size_t]),
    "promfmt_emit_sample": (ctypes.c_int, [_BUF, _STR, _STR, ctypes.c_double, ctypes.c_int64]),
    "promfmt_emit_help": (ctypes.c_int, [_BUF, _STR, _STR]),
    "promfmt_emit_type": (ctypes.c_int, [_BUF, _STR, ctypes.c_int32]),
    "promfmt_emit_gauge": (ctypes.c_int, [_BUF, _STR, _STR, _STR, ctypes.c_double]),
    "promfmt_emit_counter": (ctypes.c_int, [_BUF, _STR, _STR, _STR, ctypes.c_double]),
}

# The library keeps its last-error text in one block for the whole process.
# Every call into it runs under this lock, and a failing call reads that text
# before letting go, so a Python thread never reads another thread's message.
# The same lock makes a Buffer safe to share between threads.
lock = threading.Lock()


def default_name():
    """The name the platform's loader is asked for when no path is given."""
    if sys.platform == "win32":
        return DLL_NAME
    if sys.platform == "darwin":
        return DYLIB_NAME
    return SONAME


def _existing(path, source):
    if not os.path.exists(path):
        raise Error(f"{source} {path!r} does not exist")
    return path


def resolve(path=None):
    """The explicit path, else $PROMFMT_LIBRARY (which must exist), else the SONAME."""
    if path is not None:
        return _existing(os.fspath(path), "promfmt library path")
    env = os.environ.get(ENV_VAR)
    if env:
        return _existing(env, ENV_VAR)
    return default_name()


class Library:
    """One loaded copy of the shared library, with all twelve functions declared.

    Each function is an attribute named without its "promfmt_" prefix
    (``lib.emit_sample``); call them while holding ``lock``.
    """

    def __init__(self, path=None):
        name = resolve(path)
        try:
            dll = ctypes.CDLL(name)
        except OSError as exc:
            raise Error(f"cannot load the promfmt library {name!r}: {exc}") from exc
        for symbol, (restype, argtypes) in _SIGNATURES.items():
            try:
                fn = getattr(dll, symbol)
            except AttributeError:
                raise Error(f"{name!r} is not a promfmt library: {symbol} is missing") from None
            fn.restype = restype
            fn.argtypes = argtypes
            setattr(self, symbol[len("promfmt_"):], fn)
        self.name = name
        self._dll = dll

    def __repr__(self):
        return f"<promfmt.Library {self.name!r}>"

    def check(self, fn, *args):
        """Calls fn (lock held); a negative result raises Error with the library's message."""
        result = fn(*args)
        if result < 0:
            raise Error(self.last_error().decode("utf-8", "replace"))
        return result


_default = None
_loaded = False


def chosen():
    """True when the host named a library: load() ran or $PROMFMT_LIBRARY is set."""
    return _loaded or bool(os.environ.get(ENV_VAR))


def load(path=None):
    """Loads the library and makes it the one that Buffer() and
    escape_label_value() use by default. Returns the Library."""
    global _default, _loaded
    library = Library(path)
    with lock:
        _default, _loaded = library, True
    return library


def default_library():
    """The default Library, loaded on first use when load() was not called."""
    global _default
    with lock:
        if _default is None:
            _default = Library()
        return _default
