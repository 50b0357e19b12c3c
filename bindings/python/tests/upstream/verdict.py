# SPDX-License-Identifier: MIT
"""Compares two runs of prometheus_client's tests, without and with promfmt
swapped in (their JUnit XML), against the list of documented differences.

Usage: python verdict.py UNSWAPPED.xml SWAPPED.xml differences.txt
Prints the counts and every test that fails only because of the swap;
exits 1 when one of them is not listed, or when a listed test passes."""
import sys
import xml.etree.ElementTree as ET


def outcomes(path):
    """{module::Class::test: "passed" | "failed" | "skipped"}"""
    result = {}
    for case in ET.parse(path).getroot().iter("testcase"):
        module, _, cls = case.get("classname").rpartition(".")
        name = f"{module.rpartition('.')[2]}.py::{cls}::{case.get('name')}"
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
                entries[test] = reason.strip()
    return entries


def main(plain_xml, swapped_xml, differences):
    plain, swapped, known = outcomes(plain_xml), outcomes(swapped_xml), listed(differences)
    if not plain or set(plain) != set(swapped):
        print("the two runs did not run the same tests")
        return 1
    failed = lambda run: {t for t, o in run.items() if o == "failed"}
    by_swap = failed(swapped) - failed(plain)
    print(f"prometheus_client's tests: {len(plain)} run, "
          f"{sum(o == 'passed' for o in swapped.values())} passed swapped, "
          f"{sum(o == 'skipped' for o in swapped.values())} skipped, "
          f"{len(failed(plain))} failed unswapped, {len(failed(swapped))} failed swapped, "
          f"{len(known)} listed")
    for test in sorted(failed(plain)):
        print(f"  fails unswapped too (not the swap's doing): {test}")
    for test in sorted(by_swap & set(known)):
        print(f"  listed: {test}: {known[test]}")
    bad = sorted(by_swap - set(known))
    stale = sorted(t for t in known if swapped.get(t) != "failed")
    for test in bad:
        print(f"  FAILS ONLY WITH PROMFMT SWAPPED IN: {test}")
    for test in stale:
        print(f"  LISTED BUT DOES NOT FAIL SWAPPED (remove it from the list): {test}")
    return 1 if bad or stale else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
