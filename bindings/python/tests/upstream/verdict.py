# SPDX-License-Identifier: MIT
"""Compares runs of prometheus_client's tests, without and with promfmt
swapped in (their JUnit XML), against the list of documented differences.

Usage: python verdict.py --unswapped XML... --swapped XML... --differences FILE
                         [--suspects OUT]
A test counts as failed unswapped when it failed in any unswapped run (the
environment's doing), and as failed swapped only when it failed in every
swapped run (a test that passes once is flaky, not broken by the swap).
Prints the counts; exits 1 when a test fails only with the swap and is not
listed, or a listed test does not fail. --suspects writes those unlisted
tests' pytest ids, one a line, so that they can be run again."""
import argparse
import sys
import xml.etree.ElementTree as ET


def outcomes(path):
    """{tests/module.py::Class::test: "passed" | "failed" | "skipped"}"""
    result = {}
    for case in ET.parse(path).getroot().iter("testcase"):
        module, _, cls = case.get("classname").rpartition(".")
        name = f"tests/{module.rpartition('.')[2]}.py::{cls}::{case.get('name')}"
        tags = {child.tag for child in case}
        result[name] = ("failed" if tags & {"failure", "error"} else
                        "skipped" if "skipped" in tags else "passed")
    return result


def listed(path):
    """{test: reason} from the differences file."""
    entries = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                test, _, reason = line.strip().partition(" ")
                entries["tests/" + test] = reason.strip()
    return entries


def failed_in(runs, every):
    """Tests failed in every run that ran them (every=True) or in any run."""
    tests = set().union(*runs)
    verdicts = [[run[t] == "failed" for run in runs if t in run] for t in tests]
    return {t for t, v in zip(tests, verdicts) if (all(v) if every else any(v))}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--unswapped", nargs="+", required=True)
    ap.add_argument("--swapped", nargs="+", required=True)
    ap.add_argument("--differences", required=True)
    ap.add_argument("--suspects")
    args = ap.parse_args()
    plain = [outcomes(p) for p in args.unswapped]
    swapped = [outcomes(p) for p in args.swapped]
    known = listed(args.differences)
    if not plain[0] or set(plain[0]) != set(swapped[0]):
        print("the two runs did not run the same tests")
        return 1
    fails_plain = failed_in(plain, every=False)
    fails_swapped = failed_in(swapped, every=True)
    by_swap = fails_swapped - fails_plain
    print(f"prometheus_client's tests: {len(plain[0])} run, "
          f"{sum(o == 'passed' for o in swapped[0].values())} passed swapped, "
          f"{sum(o == 'skipped' for o in swapped[0].values())} skipped, "
          f"{len(fails_plain)} failed unswapped, {len(fails_swapped)} failed swapped, "
          f"{len(known)} listed")
    for test in sorted(fails_plain):
        print(f"  fails unswapped too (not the swap's doing): {test}")
    for test in sorted(by_swap & set(known)):
        print(f"  listed: {test}: {known[test]}")
    bad = sorted(by_swap - set(known))
    stale = sorted(t for t in known if t not in fails_swapped)
    for test in bad:
        print(f"  FAILS ONLY WITH PROMFMT SWAPPED IN: {test}")
    for test in stale:
        print(f"  LISTED BUT DOES NOT FAIL SWAPPED (remove it from the list): {test}")
    if args.suspects:
        with open(args.suspects, "w", encoding="utf-8") as f:
            f.writelines(t + "\n" for t in bad)
    return 1 if bad or stale else 0


if __name__ == "__main__":
    sys.exit(main())
