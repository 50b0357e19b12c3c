# SPDX-License-Identifier: MIT
"""How the shared library is found: explicit path, then $PROMFMT_LIBRARY
(never a fallback when it is wrong), then the SONAME through the loader.

Run with PROMFMT_TEST_LIBDIR set to the installed lib directory to also
check that the SONAME resolved to that copy and no other.
"""
import gc
import os
import sys
import unittest
from unittest import mock

import promfmt

LINUX = sys.platform.startswith("linux")


def mapped_library_paths():
    """Files of this process's mappings that are a copy of the library."""
    with open("/proc/self/maps", encoding="utf-8") as maps:
        fields = (line.split() for line in maps)
        return {f[-1] for f in fields if "libvelkaron-prometheus-promfmt" in f[-1]}


@unittest.skipUnless(LINUX, "reads /proc/self/maps")
class LoadingTest(unittest.TestCase):
    def setUp(self):
        patcher = mock.patch.dict(os.environ)
        patcher.start()
        self.addCleanup(patcher.stop)
        os.environ.pop(promfmt.ENV_VAR, None)

    def test_found_by_soname_without_environment(self):
        lib = promfmt.Library()
        self.assertEqual(lib.name, promfmt.SONAME)
        with promfmt.Buffer(library=lib) as buf:
            buf.sample("up", 1)
            self.assertEqual(buf.text(), "up 1\n")
        libdir = os.environ.get("PROMFMT_TEST_LIBDIR")
        if libdir:
            real = os.path.realpath(os.path.join(libdir, promfmt.SONAME))
            self.assertEqual(mapped_library_paths(), {real})

    def test_a_wrong_environment_path_is_an_error_not_a_fallback(self):
        missing = "/nonexistent/dir/libvelkaron-prometheus-promfmt.so.1"
        os.environ[promfmt.ENV_VAR] = missing
        with self.assertRaises(promfmt.Error) as caught:
            promfmt.Library()
        self.assertEqual(str(caught.exception), f"PROMFMT_LIBRARY {missing!r} does not exist")

    def test_explicit_path_wins_over_the_environment(self):
        promfmt.Library()  # make sure one copy is mapped, then find its file
        real = next(iter(mapped_library_paths()))
        os.environ[promfmt.ENV_VAR] = "/nonexistent/env/path.so"
        lib = promfmt.load(real)
        self.assertEqual(lib.name, real)
        with promfmt.Buffer() as buf:  # load() made it the default
            buf.sample("x", 2)
            self.assertEqual(buf.text(), "x 2\n")

    def test_environment_path_is_used_when_it_exists(self):
        promfmt.Library()
        real = next(iter(mapped_library_paths()))
        os.environ[promfmt.ENV_VAR] = real
        self.assertEqual(promfmt.Library().name, real)

    def test_bad_explicit_paths(self):
        cases = [("/nonexistent/lib.so",
                  "promfmt library path '/nonexistent/lib.so' does not exist"),
                 (__file__, "cannot load the promfmt library")]
        for path, message in cases:
            with self.subTest(path=path), self.assertRaisesRegex(promfmt.Error, message):
                promfmt.Library(path)

    def test_a_library_without_the_functions_is_refused(self):
        libc = next(p for p in ("/lib/x86_64-linux-gnu/libc.so.6", "/usr/lib/libc.so.6")
                    if os.path.exists(p)) if LINUX else None
        if libc is None:
            self.skipTest("no libc.so.6 at a known path")
        with self.assertRaisesRegex(promfmt.Error, "is not a promfmt library: "
                                                   "promfmt_buffer_create is missing"):
            promfmt.Library(libc)


class FreeingTest(unittest.TestCase):
    def counting_library(self):
        lib = promfmt.Library()
        freed = []
        real_free = lib.buffer_free

        def free(ptr):
            freed.append(ptr)
            real_free(ptr)
        lib.buffer_free = free
        return lib, freed

    def test_a_dropped_buffer_is_freed_by_the_collector(self):
        lib, freed = self.counting_library()
        buf = promfmt.Buffer(library=lib)
        buf.sample("m", 1)
        del buf
        gc.collect()
        self.assertEqual(len(freed), 1)

    def test_a_closed_buffer_is_freed_once(self):
        lib, freed = self.counting_library()
        with promfmt.Buffer(library=lib) as buf:
            pass
        buf.close()
        del buf
        gc.collect()
        self.assertEqual(len(freed), 1)


if __name__ == "__main__":
    unittest.main()
