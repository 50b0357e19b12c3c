# SPDX-License-Identifier: MIT
"""Checks that every writer of the benchmark is fed the same families: each
writer's output for the small "check" workload is read back with
prometheus_client's text parser, and all must give the same families (names,
help, types, samples with their labels and values) as promfmt's. Byte
identity is reported too, but differing text is no failure (writers render
numbers differently, e.g. Python writes "5.0" for 5).

usage: check_output.py WRITER=FILE ...   (the first one is the reference)
Exits 1 when the families differ.
"""
import sys

from prometheus_client.parser import text_string_to_metric_families


def families(text):
    out = []
    for fam in text_string_to_metric_families(text):
        samples = [(s.name, tuple(sorted(s.labels.items())), s.value) for s in fam.samples]
        out.append((fam.name, fam.documentation, fam.type, samples))
    return out


def main():
    outputs = []
    for arg in sys.argv[1:]:
        writer, path = arg.split("=", 1)
        with open(path, encoding="utf-8") as f:
            outputs.append((writer, f.read()))
    ref_writer, ref_text = outputs[0]
    ref = families(ref_text)
    samples = sum(len(f[3]) for f in ref)
    failed = False
    for writer, text in outputs[1:]:
        same = families(text) == ref
        failed |= not same
        print("output check: %-15s %s as %s (%d families, %d samples), text %s" % (
            writer, "same families" if same else "DIFFERENT families", ref_writer, len(ref),
            samples, "byte-identical" if text == ref_text else "differs"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
