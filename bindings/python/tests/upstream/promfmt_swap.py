# SPDX-License-Identifier: MIT
"""A pytest plugin that puts promfmt in prometheus_client's place before
prometheus_client's own tests import it: generate_latest, the WSGI and ASGI
apps, the HTTP server and the aiohttp, Django and Twisted routes.

Text counts as equal when it differs only in the ways promfmt documents: a
value written with 14 significant digits (the numbers are compared), a
timestamp of 0 or below left out. generate_latest's bytes compare so, and
so do assertEqual on texts; assertIn and assertRegex are tried again with
each value written as prometheus_client writes it ("7" as "7.0")."""
import importlib
import math
import unittest

import prometheus_client
from prometheus_client.utils import floatToGoString

import promfmt
import promfmt._careful  # noqa: F401  (holds prometheus_client's own writer before the swap)

# Routes whose frameworks may be missing: swapped when they import.
_ROUTES = {"aiohttp": ("make_aiohttp_handler",), "django": ("PrometheusDjangoView",),
           "twisted": ("MetricsResource",)}


def _swap_routes():
    for route, names in _ROUTES.items():
        try:
            importlib.import_module(route)
        except ImportError:  # the framework is not installed: its tests skip
            continue
        ours = importlib.import_module(f"promfmt.{route}")
        theirs = importlib.import_module(f"prometheus_client.{route}")
        for name in names:
            setattr(theirs, name, getattr(ours, name))


def _sample_parts(line):
    """(series, value, [timestamp]) of a sample line, or None."""
    if line.startswith("#") or " " not in line:
        return None
    end = line.rfind("}") + 1 if "{" in line else line.find(" ")
    value, *ts = line[end:].split()
    if len(ts) > 1 or (ts and not ts[0].lstrip("-").isdigit()):
        return None
    return line[:end], value, [t for t in ts if int(t) > 0]


def _number(text):
    try:
        value = float(text)
    except ValueError:
        return text
    return "NaN" if math.isnan(value) else float("%.14g" % value)


def _key(line):
    parts = _sample_parts(line)
    return line if parts is None else (parts[0], _number(parts[1]), parts[2])


def _text(value):
    if isinstance(value, bytes):
        try:
            return value.decode("utf-8")
        except UnicodeDecodeError:
            return None
    return value if isinstance(value, str) else None


def same_text(a, b):
    """True when two exposition texts differ only in the documented ways."""
    a, b = _text(a), _text(b)
    if a is None or b is None:
        return False
    a, b = a.split("\n"), b.split("\n")
    return len(a) == len(b) and all(_key(x) == _key(y) for x, y in zip(a, b))


def _their_line(line):
    parts = _sample_parts(line)
    if parts is None:
        return line
    try:
        value = floatToGoString(parts[1])
    except ValueError:
        return line
    return " ".join([parts[0] + " " + value] + parts[2])


def as_they_write(text):
    """promfmt's text with each value written as prometheus_client writes it."""
    lines = "\n".join(_their_line(line) for line in _text(text).split("\n"))
    return lines.encode("utf-8") if isinstance(text, bytes) else lines


class Text(bytes):
    """generate_latest's bytes, equal to a text that differs only in the documented ways."""

    def __eq__(self, other):
        return isinstance(other, bytes) and (bytes.__eq__(self, other) or same_text(self, other))

    def __ne__(self, other):
        return not self.__eq__(other)

    __hash__ = bytes.__hash__


def _generate_latest(*args, **kwargs):
    return Text(promfmt.generate_latest(*args, **kwargs))


_original = {name: getattr(unittest.TestCase, name)
             for name in ("assertEqual", "assertIn", "assertNotIn", "assertRegex")}


def _assert_equal(self, first, second, msg=None):
    if not (type(first) is type(second) and isinstance(first, (bytes, str))
            and same_text(first, second)):
        _original["assertEqual"](self, first, second, msg)


def _retried(name, text_at):
    """An assertion tried again on promfmt's text with values as prometheus_client writes them."""
    def check(self, *args, **kwargs):
        try:
            _original[name](self, *args, **kwargs)
        except AssertionError:
            if _text(args[text_at]) is None:
                raise
            args = list(args)
            args[text_at] = as_they_write(args[text_at])
            _original[name](self, *args, **kwargs)
    return check


def _assert_not_in(self, member, container, msg=None):
    _original["assertNotIn"](self, member, container, msg)
    if _text(container) is not None:
        _original["assertNotIn"](self, member, as_they_write(container), msg)


def _swaps():
    """What replaces what, module by module."""
    return {
        "prometheus_client": {"generate_latest": _generate_latest,
                              "make_wsgi_app": promfmt.make_wsgi_app,
                              "make_asgi_app": promfmt.make_asgi_app,
                              "start_http_server": promfmt.start_http_server,
                              "start_wsgi_server": promfmt.start_wsgi_server},
        "prometheus_client.exposition": {"generate_latest": _generate_latest,
                                         "make_wsgi_app": promfmt.make_wsgi_app,
                                         "start_http_server": promfmt.start_http_server,
                                         "start_wsgi_server": promfmt.start_wsgi_server,
                                         "_bake_output": promfmt._exporter._bake_output},
        "prometheus_client.asgi": {"make_asgi_app": promfmt.make_asgi_app},
    }


def pytest_configure(config):
    for module, names in _swaps().items():
        target = importlib.import_module(module)
        for name, value in names.items():
            setattr(target, name, value)
    _swap_routes()
    unittest.TestCase.assertEqual = _assert_equal
    unittest.TestCase.assertIn = _retried("assertIn", 1)
    unittest.TestCase.assertRegex = _retried("assertRegex", 0)
    unittest.TestCase.assertNotIn = _assert_not_in
    prometheus_client.promfmt_swapped = True
