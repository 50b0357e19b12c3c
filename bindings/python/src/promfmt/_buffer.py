# SPDX-License-Identifier: MIT
"""The ctypes route: a buffer of a shared library the host names, and the
label-value escape."""
import ctypes
import enum
import weakref

from . import _convert as convert
from ._errors import Error
from ._library import default_library, lock


class MetricType(enum.IntEnum):
    """Metric kinds for Buffer.type(); any other 32-bit code writes "untyped"."""
    UNTYPED = 0
    COUNTER = 1
    GAUGE = 2
    HISTOGRAM = 3
    SUMMARY = 4


def _kind(kind):
    if isinstance(kind, str):
        try:
            return MetricType[kind.upper()]
        except KeyError:
            raise Error(f"unknown metric type {kind!r}") from None
    return convert.integer(kind, "metric type", convert.INT32_MIN, convert.INT32_MAX)


class LibraryBuffer:
    """A buffer of a shared library loaded with ctypes, with the same methods
    as promfmt.Buffer. Buffer() gives one when the host names a library
    (Buffer(library=...), load(), $PROMFMT_LIBRARY) or when the compiled
    extension is not there.
    """

    def __init__(self, capacity=0, *, library=None):
        lib = library if library is not None else default_library()
        size = convert.integer(capacity, "capacity", 0, ctypes.c_size_t(-1).value)
        with lock:
            ptr = lib.buffer_create(size)
            if not ptr:
                raise Error(lib.last_error().decode("utf-8", "replace"))
        self._lib = lib
        self._ptr = ptr
        self._finalizer = weakref.finalize(self, lib.buffer_free, ptr)

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __repr__(self):
        state = "closed" if self.closed else f"{len(self)} bytes"
        return f"<promfmt.Buffer {state}>"

    @property
    def closed(self):
        return not self._finalizer.alive

    def close(self):
        """Frees the buffer. Calling it again does nothing."""
        with lock:
            self._finalizer()

    def _handle(self):
        if not self._finalizer.alive:
            raise Error("operation on a closed buffer")
        return self._ptr

    def reset(self):
        """Empties the text but keeps the memory for the next scrape."""
        with lock:
            self._lib.buffer_reset(self._handle())

    def __len__(self):
        """The length of the text in bytes."""
        with lock:
            return self._lib.buffer_len(self._handle())

    def data(self):
        """The text so far, as UTF-8 bytes."""
        with lock:
            ptr = self._handle()
            size = self._lib.buffer_len(ptr)
            return ctypes.string_at(self._lib.buffer_data(ptr), size)

    def text(self):
        """The text so far, as a str."""
        return self.data().decode("utf-8")

    def sample(self, name, value, labels=None, timestamp=None):
        """Appends ``name{labels} value[ timestamp]``.

        labels is a mapping of label names to str, int, float or bool values
        (or JSON text of one object); timestamp is in milliseconds and is
        written only when above 0.
        """
        args = (convert.name(name), convert.labels(labels),
                convert.number(value, "value"), convert.timestamp(timestamp))
        with lock:
            self._lib.check(self._lib.emit_sample, self._handle(), *args)

    def help(self, name, text):
        """Appends ``# HELP name text``."""
        args = (convert.name(name), convert.text(text, "help text"))
        with lock:
            self._lib.check(self._lib.emit_help, self._handle(), *args)

    def type(self, name, kind):
        """Appends ``# TYPE name kind``; kind is a MetricType, its code or its name."""
        args = (convert.name(name), _kind(kind))
        with lock:
            self._lib.check(self._lib.emit_type, self._handle(), *args)

    def gauge(self, name, value, labels=None, help=None):
        """Appends a whole gauge family: HELP (when help is given), TYPE and one sample."""
        self._family(self._lib.emit_gauge, name, value, labels, help)

    def counter(self, name, value, labels=None, help=None):
        """Appends a whole counter family, as gauge() does. No "_total" is added."""
        self._family(self._lib.emit_counter, name, value, labels, help)

    def family(self, name, kind, rows, help=None):
        """Appends HELP (when help is not None), TYPE, then one sample named
        name per row, each (labels, value) or (labels, value, timestamp).
        A refused row raises Error; the lines before it stay."""
        rows = iter(rows)
        if help is not None:
            self.help(name, help)
        self.type(name, kind)
        for row in rows:
            labels, value, ts = _row(row, 2, "(labels, value) or (labels, value, timestamp)")
            self.sample(name, value, labels, ts)

    def samples(self, rows):
        """Appends one sample per row, each (name, labels, value) or
        (name, labels, value, timestamp)."""
        self._handle()
        for row in rows:
            name, labels, value, ts = _row(row, 3, "(name, labels, value) or "
                                                   "(name, labels, value, timestamp)")
            self.sample(name, value, labels, ts)

    def _client_samples(self, samples, held):
        """Appends prometheus_client samples (timestamps in seconds), except
        those whose name is in held: these are returned in a list (or None)."""
        kept = None
        for s in samples:
            if held is not None and s[0] in held:
                kept = kept or []
                kept.append(s)
                continue
            if isinstance(s[1], dict) and not all(isinstance(v, str) for v in s[1].values()):
                raise TypeError("label values must be str")  # the bridge's careful way raises
            self.sample(s[0], s[2], s[1], convert.seconds_timestamp(s[3]) or None)
        return kept

    def _family(self, fn, name, value, labels, help_text):
        args = (convert.name(name), convert.text(help_text, "help text"),
                convert.labels(labels), convert.number(value, "value"))
        with lock:
            self._lib.check(fn, self._handle(), *args)


def _row(row, size, shape):
    if not isinstance(row, (tuple, list)) or len(row) not in (size, size + 1):
        raise TypeError(f"rows must be {shape}, not {type(row).__name__}")
    return tuple(row) + (None,) * (size + 1 - len(row))


def escape_label_value(value, *, library=None):
    """Returns value with backslash, double quote and line feed escaped."""
    lib = library if library is not None else default_library()
    raw = convert.text(value, "label value")
    with lock:
        size = lib.check(lib.escape_label_value, raw, None, 0)
        out = ctypes.create_string_buffer(size + 1)
        lib.check(lib.escape_label_value, raw, out, size + 1)
    return out.raw[:size].decode("utf-8")
