# SPDX-License-Identifier: MIT
"""Which route a buffer takes, and how the ctypes route finds a shared
library: explicit path, then $PROMFMT_LIBRARY (never a fallback when it is
wrong), then the SONAME through the loader."""
import gc
import os
import subprocess
import sys

import pytest

import promfmt
from conftest import LIBDIR

needs_libdir = pytest.mark.skipif(not LIBDIR, reason="PROMFMT_TEST_LIBDIR is not set")


def mapped_library_paths():
    """Files of this process's mappings that are a copy of the shared library."""
    with open("/proc/self/maps", encoding="utf-8") as maps:
        fields = (line.split() for line in maps)
        return {f[-1] for f in fields if "libvelkaron-prometheus-promfmt" in f[-1]}


@pytest.fixture(autouse=True)
def clean_state(monkeypatch):
    monkeypatch.delenv(promfmt.ENV_VAR, raising=False)
    monkeypatch.setattr(promfmt._library, "_loaded", False)
    monkeypatch.setattr(promfmt._library, "_default", None)


def installed():
    return os.path.realpath(os.path.join(LIBDIR, promfmt.SONAME))


def test_the_extension_is_the_default_and_needs_no_shared_library():
    # In a process of its own, so no other test has loaded a library yet.
    code = ("import promfmt, test_loading as t; buf = promfmt.Buffer(); buf.sample('up', 1); "
            "print(type(buf) is promfmt.Buffer, buf.text() == 'up 1\\n', "
            "t.mapped_library_paths())")
    env = dict(os.environ, PYTHONPATH=os.path.dirname(__file__))
    out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True,
                         text=True, check=True).stdout
    assert promfmt.NATIVE
    assert out.strip() == "True True set()"


@needs_libdir
@pytest.mark.parametrize("how", ["argument", "load", "environment"])
def test_a_library_the_host_names_takes_the_ctypes_route(monkeypatch, how):
    kwargs = {}
    if how == "argument":
        kwargs["library"] = promfmt.Library(installed())
    elif how == "load":
        promfmt.load(installed())
    else:
        monkeypatch.setenv(promfmt.ENV_VAR, installed())
    with promfmt.Buffer(**kwargs) as buf:
        assert isinstance(buf, promfmt.LibraryBuffer)
        buf.sample("x", 2, {"a": "b"})
        assert buf.text() == 'x{a="b"} 2\n'
    assert promfmt.escape_label_value('"', **kwargs) == '\\"'
    assert installed() in mapped_library_paths()


@needs_libdir
def test_found_by_soname_through_the_loader():
    # In a process of its own: the loader reads LD_LIBRARY_PATH at start-up.
    code = ("import promfmt, test_loading as t; lib = promfmt.Library(); "
            "buf = promfmt.Buffer(library=lib); buf.sample('up', 1); "
            "print(lib.name, buf.text() == 'up 1\\n', t.mapped_library_paths())")
    env = dict(os.environ, LD_LIBRARY_PATH=LIBDIR, PYTHONPATH=os.path.dirname(__file__))
    out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True,
                         text=True, check=True).stdout
    assert out.strip() == f"{promfmt.SONAME} True {{{installed()!r}}}"


def test_a_wrong_environment_path_is_an_error_not_a_fallback(monkeypatch):
    missing = "/nonexistent/dir/libvelkaron-prometheus-promfmt.so.1"
    monkeypatch.setenv(promfmt.ENV_VAR, missing)
    with pytest.raises(promfmt.Error) as caught:
        promfmt.Buffer()
    assert str(caught.value) == f"PROMFMT_LIBRARY {missing!r} does not exist"


@needs_libdir
def test_explicit_path_wins_over_the_environment(monkeypatch):
    monkeypatch.setenv(promfmt.ENV_VAR, "/nonexistent/env/path.so")
    assert promfmt.load(installed()).name == installed()
    with promfmt.Buffer() as buf:
        buf.sample("x", 2)
        assert buf.text() == "x 2\n"


@pytest.mark.parametrize("path,message", [
    ("/nonexistent/lib.so", "promfmt library path '/nonexistent/lib.so' does not exist"),
    (__file__, "cannot load the promfmt library"),
    ("/lib/x86_64-linux-gnu/libc.so.6", "is not a promfmt library: promfmt_buffer_create")])
def test_bad_explicit_paths(path, message):
    if not os.path.exists(path) and "nonexistent" not in path:
        pytest.skip(f"no {path}")
    with pytest.raises(promfmt.Error, match=message):
        promfmt.Library(path)


@needs_libdir
def test_a_dropped_library_buffer_is_freed_once():
    lib = promfmt.Library(installed())
    freed = []
    real_free = lib.buffer_free
    lib.buffer_free = lambda ptr: (freed.append(ptr), real_free(ptr))
    buf = promfmt.Buffer(library=lib)
    buf.sample("m", 1)
    del buf
    with promfmt.Buffer(library=lib) as buf:
        pass
    buf.close()
    del buf
    gc.collect()
    assert len(freed) == 2
