# SPDX-License-Identifier: MIT
"""Reads a scrape back with the Prometheus Python client's parser and checks
that every family and sample the writer emitted is there, unchanged.

usage: check_python_parser.py SCRAPE_FILE EXPECTED_FILE
"""
import json
import math
import sys

from prometheus_client.parser import text_string_to_metric_families


def label_text(value):
    """The label value the library writes for one JSON member value."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, str):
        return value.split("\0", 1)[0]
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        return "%.14g" % value
    return ""  # null, array, object


def expected_labels(labels_json):
    if not labels_json.strip():
        return {}
    return {k.split("\0", 1)[0]: label_text(v) for k, v in json.loads(labels_json).items()}


def same_value(want, got):
    if math.isnan(want):
        return math.isnan(got)
    rounded = float("%.14g" % want)
    return rounded == got and math.copysign(1, rounded) == math.copysign(1, got)


def main():
    scrape_path, expected_path = sys.argv[1:3]
    with open(scrape_path, encoding="utf-8") as f:
        text = f.read()
    families = list(text_string_to_metric_families(text))
    samples = [s for fam in families for s in fam.samples]
    docs = {fam.name: fam.documentation for fam in families}

    failures = 0
    checked = 0
    with open(expected_path, encoding="utf-8") as f:
        rows = [json.loads(line) for line in f]
    for row in rows:
        if "family" in row:
            name = row["family"]
            if name.endswith("_total"):  # the parser names counter families without it
                name = name[: -len("_total")]
            want = row["help"] or ""
            if docs.get(name) != want:
                print("help of %s: want %r, got %r" % (name, want, docs.get(name)))
                failures += 1
            continue
        checked += 1
        labels = expected_labels(row["labels"])
        value = float(row["value"])
        ts = row["ts"] / 1000 if row["ts"] > 0 else None
        matches = [s for s in samples if s.name == row["sample"] and s.labels == labels]
        if len(matches) != 1:
            print("sample %s %r: found %d times" % (row["sample"], labels, len(matches)))
            failures += 1
            continue
        got = matches[0]
        if not same_value(value, got.value) or got.timestamp != ts:
            print("sample %s %r: want %r @ %r, got %r @ %r"
                  % (row["sample"], labels, value, ts, got.value, got.timestamp))
            failures += 1
    if checked != len(samples):
        print("parser found %d samples, writer emitted %d" % (len(samples), checked))
        failures += 1
    print("python client parser: %d samples checked, %d failed" % (checked, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
