# SPDX-License-Identifier: MIT
"""Turning Python values into the C arguments the library takes."""
import json
import math
import numbers
import operator
from collections.abc import Mapping

from ._errors import Error

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1


def text(value, what):
    """A str as NUL-terminated UTF-8 bytes; None stays None (the C NULL).

    A NUL character is refused: C would silently cut the text there.
    """
    if value is None:
        return None
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a str, not {type(value).__name__}")
    if "\0" in value:
        raise Error(f"{what} contains a NUL character")
    return value.encode("utf-8")


def number(value, what):
    """A sample value as a C double."""
    if not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a real number, not {type(value).__name__}")
    return float(value)


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


def _label_value(key, value):
    # bool before Integral: True is an Integral too, but JSON true is written "true".
    if isinstance(value, (str, bool)):
        if isinstance(value, str) and "\0" in value:
            raise Error(f"label {key!r}: value contains a NUL character")
        return value
    if isinstance(value, numbers.Integral):
        return str(int(value))  # every digit, whatever the size
    if isinstance(value, numbers.Real):
        if not math.isfinite(value):
            raise Error(f"label {key!r}: value {value!r} is not finite "
                        "(JSON has no inf or nan)")
        return float(value)
    raise Error(f"label {key!r}: a {type(value).__name__} cannot be a label value "
                "(use str, int, float or bool)")


def _label_key(key):
    if not isinstance(key, str):
        raise Error(f"label name {key!r} is not a str")
    if "\0" in key:
        raise Error(f"label name {key!r} contains a NUL character")
    return key


def labels(value):
    """The labels argument as the library's JSON text (UTF-8 bytes), or None.

    A mapping is written as a JSON object by this binding; a str or bytes is
    taken as JSON text already and passed on unchanged.
    """
    if value is None:
        return None
    if isinstance(value, str):
        return text(value, "labels JSON")
    if isinstance(value, (bytes, bytearray)):
        if b"\0" in value:
            raise Error("labels JSON contains a NUL byte")
        return bytes(value)
    if not isinstance(value, Mapping):
        raise TypeError(f"labels must be a mapping or JSON text, not {type(value).__name__}")
    members = {_label_key(k): _label_value(k, v) for k, v in value.items()}
    return json.dumps(members, ensure_ascii=False, allow_nan=False,
                      separators=(",", ":")).encode("utf-8")
