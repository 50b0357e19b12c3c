#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Mutation run over the library's sources: makes one small change at a
time (a comparison flipped, a constant moved by one, a condition negated,
a call dropped), rebuilds the unit tests and runs them. A mutant that
every test survives is listed: either a test is missing, or the change
does not alter behaviour (it is equivalent, only slower, or unreachable).
A mutant that leaves the built library byte for byte as it was (a branch
the preprocessor drops, sizeof of another element of the same array) is
counted as "same code" and not tested. A survivor listed in
tests/mutation/equivalent.tsv (file, original line, mutated line, why; tab
separated, both lines stripped as printed here) is counted as "equivalent"
and not printed.

    python3 scripts/mutate.py BUILD_DIR [src/FILE.cpp|src/FILE.h ...] [--lines A-B]
        [--sanitized ASAN_BUILD_DIR] [--valgrind] [--recheck EARLIER_OUTPUT]

With --sanitized and --valgrind a survivor of the plain tests meets the
sanitizers and memcheck too, as the whole suite does: a read past an array
or of memory never written is killed there. --recheck tries only the
survivors an earlier run printed.

Headers are mutated as sources are: every file that includes one is rebuilt.

BUILD_DIR is a configured build of this tree with the tests on. Each file
is restored after its mutants, also on Ctrl-C. Not run by CI: each mutant
costs a rebuild, so run it on a copy of the tree while working in another.
"""
import argparse
import hashlib
import os
import pathlib
import re
import signal
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TESTS = ["promfmt_tests", "promfmt_route_tests", "promfmt_alloc_tests"]
# Slow and only about the exported escape: run for rules.cpp alone.
SLOW_TEST = "Escape.RefusesLengthsBeyondInt"
# What the ASan + UBSan build runs (it has no allocation-failure tests).
SANITIZED_TESTS = ["promfmt_tests", "promfmt_route_tests"]
VALGRIND = ["valgrind", "--quiet", "--error-exitcode=99", "--track-origins=no"]

SWAPS = [(" < ", " <= "), (" <= ", " < "), (" > ", " >= "), (" >= ", " > "),
         (" == ", " != "), (" != ", " == "), (" && ", " || "), (" || ", " && "),
         (" + ", " - "), (" - ", " + "), ("true", "false"), ("false", "true"),
         ("++", "--"), ("--", "++")]
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
NEGATION = re.compile(r"!(?!=)")
DROPPABLE = re.compile(r"^\s+(\+\+|--)?[\w:>.\-\[\]*]+(\(.*\)|\+\+|--)?;\s*$")
EQUIVALENT = ROOT / "tests" / "mutation" / "equivalent.tsv"


def equivalent_mutants():
    """(file, original line, mutated line) of each survivor judged equivalent."""
    if not EQUIVALENT.exists():
        return set()
    rows = [line.split("\t") for line in EQUIVALENT.read_text().splitlines()
            if line.strip() and not line.startswith("#")]
    for row in rows:
        source = ROOT / row[0]
        if len(row) != 4:
            print(f"{EQUIVALENT.name}: a row without four fields: {row}", file=sys.stderr)
        elif not source.exists() or row[1] not in (
                line.strip() for line in source.read_text().splitlines()):
            print(f"{EQUIVALENT.name}: a row names no line of {row[0]}: {row[1]}",
                  file=sys.stderr)
    return {tuple(row[:3]) for row in rows if len(row) == 4}


def code_part(line):
    """The line without a trailing comment; None for lines not to mutate."""
    s = line.strip()
    if not s or s.startswith(("//", "#", "*", "/*")):
        return None
    return line.split("//", 1)[0]


def mutants_of(line):
    code = code_part(line)
    if code is None:
        return
    rest = line[len(code):]
    for old, new in SWAPS:
        for m in re.finditer(re.escape(old), code):
            yield f"'{old.strip()}' -> '{new.strip()}'", \
                code[:m.start()] + new + code[m.end():] + rest
    for m in NUMBER.finditer(code):
        n = int(m.group(1))
        for k in {n + 1, max(n - 1, 0)} - {n}:
            yield f"{n} -> {k}", code[:m.start()] + str(k) + code[m.end():] + rest
    for m in NEGATION.finditer(code):
        yield "'!' dropped", code[:m.start()] + code[m.end():] + rest
    if DROPPABLE.match(code) and not code.strip().startswith("return"):
        yield "statement dropped", "\n"


def run(cmd, timeout, env=None):
    try:
        return subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, env=env).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def library_digest(build):
    """A digest of the built library, or None when the build has none."""
    libs = sorted(p for p in build.glob("lib*promfmt*")
                  if p.is_file() and not p.is_symlink())
    return hashlib.sha256(libs[0].read_bytes()).hexdigest() if libs else None


def fails(build, tests, slow, wrapper=()):
    """True when one of the built test programs fails or hangs; the quick
    ones first, and the first failing test ends the run."""
    # As ctest runs them: the huge-size cases expect a null from malloc.
    env = {**os.environ, "ASAN_OPTIONS": "allocator_may_return_null=1"}
    for t in sorted(tests, key=lambda t: t == "promfmt_tests"):
        cmd = [*wrapper, str(build / "tests" / t), "--gtest_brief=1", "--gtest_fail_fast"]
        if t == "promfmt_tests" and not slow:
            cmd.append(f"--gtest_filter=-{SLOW_TEST}")
        if run(cmd, 1200 if wrapper else 120, env) != 0:
            return True
    return False


def killed(build, slow, original_digest, sanitized=None, valgrind=False):
    """True when some test fails (or hangs) against the current sources;
    None when they do not compile, "same" when the library is unchanged.
    A survivor meets the sanitized build's tests next, when there is one,
    then valgrind's memcheck of the unit tests, when asked."""
    if run(["cmake", "--build", str(build), "-j2", "--target", *TESTS], 600) != 0:
        return None  # does not compile: not a mutant
    if original_digest is not None and library_digest(build) == original_digest:
        return "same"
    if fails(build, TESTS, slow):
        return True
    if sanitized is not None:
        if run(["cmake", "--build", str(sanitized), "-j2", "--target", *SANITIZED_TESTS],
               1200) != 0 or fails(sanitized, SANITIZED_TESTS, slow):
            return True
    return bool(valgrind) and fails(build, ["promfmt_tests"], slow, VALGRIND)


def survivors_in(log):
    """{(file, line number): stripped mutated lines} of the SURVIVED rows of
    an earlier run's output."""
    found = {}
    for m in re.finditer(r"^SURVIVED ([^:]+):(\d+): .*?  =>  (.*)$", log.read_text(), re.M):
        found.setdefault((m.group(1), int(m.group(2))), set()).add(m.group(3).strip())
    return found


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("build", type=pathlib.Path)
    ap.add_argument("files", nargs="*")
    ap.add_argument("--lines", help="only lines A-B of each file")
    ap.add_argument("--sanitized", type=pathlib.Path,
                    help="a configured ASan + UBSan build of this tree: survivors run its tests")
    ap.add_argument("--valgrind", action="store_true",
                    help="survivors run the unit tests under valgrind's memcheck too")
    ap.add_argument("--recheck", type=pathlib.Path,
                    help="the output of an earlier run: only its survivors are tried")
    args = ap.parse_args()
    recheck = survivors_in(args.recheck) if args.recheck else None
    # A kill restores the file being mutated, as Ctrl-C does.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    files = [pathlib.Path(f) for f in args.files] or sorted(
        [*(ROOT / "src").glob("*.cpp"), *(ROOT / "src").glob("*.h")])
    lo, hi = (map(int, args.lines.split("-")) if args.lines else (1, 10**9))
    equivalent = equivalent_mutants()
    keys = ["killed", "survived", "equivalent", "same code", "not compiled"]
    total = dict.fromkeys(keys, 0)
    for path in files:
        path = path if path.is_absolute() else ROOT / path
        name = str(path.relative_to(ROOT))
        counts = dict.fromkeys(keys, 0)
        original = path.read_text()
        lines = original.splitlines(keepends=True)
        if run(["cmake", "--build", str(args.build), "-j2", "--target", *TESTS], 600) != 0:
            print(f"{args.build}: the unchanged sources do not build", file=sys.stderr)
            return 1
        original_digest = library_digest(args.build)
        try:
            for i, line in enumerate(lines):
                if not lo <= i + 1 <= hi:
                    continue
                for what, new in mutants_of(line):
                    if recheck is not None and new.strip() not in recheck.get((name, i + 1), ()):
                        continue
                    path.write_text("".join(lines[:i] + [new] + lines[i + 1:]))
                    result = killed(args.build, path.name == "rules.cpp", original_digest,
                                    args.sanitized, args.valgrind)
                    if result is False and (name, line.strip(), new.strip()) in equivalent:
                        result = "equivalent"
                    key = {None: "not compiled", True: "killed", False: "survived",
                           "same": "same code", "equivalent": "equivalent"}[result]
                    counts[key] += 1
                    if result is False:
                        print(f"SURVIVED {name}:{i + 1}: {what}: "
                              f"{line.strip()}  =>  {new.strip()}", flush=True)
        finally:
            path.write_text(original)
        run(["cmake", "--build", str(args.build), "-j2", "--target", *TESTS], 600)
        print(f"{name}: {counts}", flush=True)
        total = {k: total[k] + counts[k] for k in keys}
    print(f"all files: {total}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
