# SPDX-License-Identifier: MIT
"""A minimal ctypes wrapper of the promfmt shared library.

    from promfmt import Buffer
    with Buffer() as buf:
        buf.gauge("temp_celsius", "Temperature.", {"room": "b"}, 21.5)
        print(buf.text(), end="")

The library is looked up in PROMFMT_LIBRARY, then by its usual names.
Failures raise PromfmtError with the library's message.
"""
import ctypes
import ctypes.util
import json
import os

_NAMES = ["libvelkaron-prometheus-promfmt.so.1", "libvelkaron-prometheus-promfmt.so",
          "velkaron-prometheus-promfmt.dll", "libvelkaron-prometheus-promfmt.dylib"]

UNTYPED, COUNTER, GAUGE, HISTOGRAM, SUMMARY = range(5)


def _load():
    path = os.environ.get("PROMFMT_LIBRARY")
    for name in [path] + _NAMES if path else _NAMES:
        try:
            return ctypes.CDLL(name)
        except OSError:
            continue
    raise OSError("promfmt library not found; set PROMFMT_LIBRARY")


_lib = _load()
_buf = ctypes.c_void_p
_str = ctypes.c_char_p
_sigs = {
    "promfmt_buffer_create": (_buf, [ctypes.c_size_t]),
    "promfmt_buffer_free": (None, [_buf]),
    "promfmt_buffer_reset": (None, [_buf]),
    "promfmt_buffer_data": (ctypes.c_void_p, [_buf]),
    "promfmt_buffer_len": (ctypes.c_size_t, [_buf]),
    "promfmt_last_error": (_str, []),
    "promfmt_escape_label_value": (ctypes.c_int, [_str, ctypes.c_char_p, ctypes.c_size_t]),
    "promfmt_emit_sample": (ctypes.c_int, [_buf, _str, _str, ctypes.c_double, ctypes.c_int64]),
    "promfmt_emit_help": (ctypes.c_int, [_buf, _str, _str]),
    "promfmt_emit_type": (ctypes.c_int, [_buf, _str, ctypes.c_int32]),
    "promfmt_emit_gauge": (ctypes.c_int, [_buf, _str, _str, _str, ctypes.c_double]),
    "promfmt_emit_counter": (ctypes.c_int, [_buf, _str, _str, _str, ctypes.c_double]),
}
for _name, (_res, _args) in _sigs.items():
    _fn = getattr(_lib, _name)
    _fn.restype = _res
    _fn.argtypes = _args


class PromfmtError(Exception):
    """A call failed; the message is the library's last-error text."""


def _b(text):
    return None if text is None else text.encode("utf-8")


def _labels(labels):
    if labels is None or isinstance(labels, str):
        return _b(labels)
    return json.dumps(labels).encode("utf-8")


def _check(rc):
    if rc != 0:
        raise PromfmtError(_lib.promfmt_last_error().decode("utf-8", "replace"))


def escape_label_value(text):
    raw = _b(text)
    n = _lib.promfmt_escape_label_value(raw, None, 0)
    if n < 0:
        _check(n)
    out = ctypes.create_string_buffer(n + 1)
    _check(0 if _lib.promfmt_escape_label_value(raw, out, n + 1) == n else -1)
    return out.value.decode("utf-8")


class Buffer:
    """One output buffer. Not thread-safe; use one per thread."""

    def __init__(self, capacity=0):
        self._ptr = _lib.promfmt_buffer_create(capacity)
        if not self._ptr:
            raise PromfmtError(_lib.promfmt_last_error().decode())

    def close(self):
        if self._ptr:
            _lib.promfmt_buffer_free(self._ptr)
            self._ptr = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def reset(self):
        _lib.promfmt_buffer_reset(self._ptr)

    def text(self):
        """The text so far, copied into a Python string."""
        n = _lib.promfmt_buffer_len(self._ptr)
        return ctypes.string_at(_lib.promfmt_buffer_data(self._ptr), n).decode("utf-8")

    def sample(self, name, labels=None, value=0.0, timestamp=0):
        _check(_lib.promfmt_emit_sample(self._ptr, _b(name), _labels(labels), value, timestamp))

    def help(self, name, text):
        _check(_lib.promfmt_emit_help(self._ptr, _b(name), _b(text)))

    def type(self, name, kind):
        _check(_lib.promfmt_emit_type(self._ptr, _b(name), kind))

    def gauge(self, name, help_text, labels, value):
        _check(_lib.promfmt_emit_gauge(self._ptr, _b(name), _b(help_text), _labels(labels), value))

    def counter(self, name, help_text, labels, value):
        _check(_lib.promfmt_emit_counter(self._ptr, _b(name), _b(help_text), _labels(labels),
                                         value))
