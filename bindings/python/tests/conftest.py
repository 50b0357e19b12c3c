# SPDX-License-Identifier: MIT
"""Every behaviour test runs on both routes: the compiled extension, and
ctypes over the shared library installed under $PROMFMT_TEST_LIBDIR (the
route for a host's own build, and for platforms without the extension)."""
import os

import pytest

import promfmt

LIBDIR = os.environ.get("PROMFMT_TEST_LIBDIR")


@pytest.fixture(scope="session")
def installed_library():
    if not LIBDIR:
        pytest.skip("PROMFMT_TEST_LIBDIR names no installed library")
    return promfmt.Library(os.path.join(LIBDIR, promfmt.SONAME))


@pytest.fixture(params=["native", "ctypes"])
def route(request):
    """The keyword arguments that pick a route for Buffer() and escape_label_value()."""
    if request.param == "native":
        assert promfmt.NATIVE, "the compiled extension did not import"
        return {}
    return {"library": request.getfixturevalue("installed_library")}


@pytest.fixture
def new_buffer(route):
    def make(capacity=0):
        buf = promfmt.Buffer(capacity, **route)
        assert isinstance(buf, promfmt.LibraryBuffer) == bool(route)
        return buf
    return make
