# SPDX-License-Identifier: MIT
"""Turning Python values into the C arguments the library takes (the ctypes
route; the extension does the same checks in C, with the same messages)."""
import json
import math
import numbers
import operator

from ._errors import Error

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1


def _encoded(value, what):
    try:
        raw = value.encode("utf-8")
    except UnicodeEncodeError:
        raise Error(f"{what} cannot be encoded as UTF-8 (lone surrogate)") from None
    if b"\0" in raw:
        raise Error(f"{what} contains a NUL character")
    return raw


def text(value, what):
    """A str as NUL-terminated UTF-8 bytes; None stays None (the C NULL).

    A NUL character is refused: C would silently cut the text there.
    """
    if value is None:
        return None
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a str, not {type(value).__name__}")
    return _encoded(value, what)


def name(value):
    """A metric name: a str, never None."""
    if not isinstance(value, str):
        raise TypeError(f"name must be a str, not {type(value).__name__}")
    return _encoded(value, "name")


def number(value, what):
    """A sample value as a C double."""
    if not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a real number, not {type(value).__name__}")
    try:
        return float(value)
    except OverflowError:
        raise Error(f"{what} is too large for a double") from None


def integer(value, what, low, high):
    """An integer argument, checked against the C type's range."""
    result = operator.index(value)
    if not low <= result <= high:
        raise Error(f"{what} {result} is out of range")
    return result


def timestamp(value):
    """Milliseconds since the epoch; None or 0 writes no timestamp."""
    if value is None:
        return 0
    return integer(value, "timestamp", INT64_MIN, INT64_MAX)


def seconds_timestamp(value):
    """A prometheus_client timestamp (seconds) as whole milliseconds."""
    if value is None:
        return 0
    ms = math.trunc(float(value) * 1000.0)
    if not -9.2e18 < ms < 9.2e18:
        raise Error(f"timestamp {value!r} is out of range")
    return ms


def _label_value(key, value):
    # The extension's order: bool before integers (True is an int too, but
    # JSON true is written "true"), then whatever has __index__, then
    # whatever has __float__.
    if isinstance(value, str):
        _encoded(value, f"label {key!r}: value")
        return value
    if isinstance(value, bool):
        return value
    if hasattr(type(value), "__index__"):
        try:
            return str(operator.index(value))  # every digit, whatever the size
        except ValueError:
            raise Error(f"label {key!r}: integer value has too many digits") from None
    if hasattr(type(value), "__float__"):
        number = float(value)
        if not math.isfinite(number):
            raise Error(f"label {key!r}: value {value!r} is not finite "
                        "(JSON has no inf or nan)")
        return number
    raise Error(f"label {key!r}: a {type(value).__name__} cannot be a label value "
                "(use str, int, float or bool)")


def _label_key(key):
    if not isinstance(key, str):
        raise Error(f"label name {key!r} is not a str")
    _encoded(key, f"label name {key!r}")
    return key


def _pairs(value):
    if isinstance(value, (list, tuple)):
        for pair in value:
            if not isinstance(pair, (list, tuple)) or len(pair) != 2:
                raise TypeError(f"labels pairs must be (name, value), not {type(pair).__name__}")
        return value
    if hasattr(value, "items"):
        return list(value.items())
    raise TypeError("labels must be a mapping, a sequence of pairs or JSON text, "
                    f"not {type(value).__name__}")


def labels(value):
    """The labels argument as the library's JSON text (UTF-8 bytes), or None.

    A mapping or a sequence of (name, value) pairs is written as a JSON
    object by this binding; a str or bytes is taken as JSON text already.
    """
    if value is None:
        return None
    if isinstance(value, str):
        return text(value, "labels JSON")
    if isinstance(value, (bytes, bytearray)):
        if b"\0" in value:
            raise Error("labels JSON contains a NUL byte")
        return bytes(value)
    members = ",".join(json.dumps(_label_key(k), ensure_ascii=False) + ":" +
                       json.dumps(_label_value(k, v), ensure_ascii=False)
                       for k, v in _pairs(value))
    return ("{" + members + "}").encode("utf-8")
