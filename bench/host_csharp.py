# SPDX-License-Identifier: MIT
"""The C# binding's section of the benchmark report: the scrapes written
through the binding under Mono (bindings/csharp/bench/ScrapeBench.cs), one
writer per form of labels, beside promfmt's own C++ figures from the same
rounds, with the managed bytes each allocated per sample and the C# target.

The managed bytes are an extra key of the writers' result files, which
report.py does not keep: they are read again from the results directory,
the first argument of report.py."""
import glob
import json
import os
import sys

WRITERS = [
    ("csharp", "C# binding, labels as KeyValuePair arrays"),
    ("csharp_dict", "C# binding, labels as Dictionary"),
    ("csharp_json", "C# binding, labels as JSON text"),
]
LABELS = (0, 1, 3, 10, 64, 256)


def managed_bytes(directory):
    """(writer, workload) -> the largest bytes_per_sample over the rounds."""
    worst = {}
    for path in glob.glob(os.path.join(directory, "r*-csharp*.json")):
        with open(path) as f:
            data = json.load(f)
        for r in data["results"]:
            key = (data["writer"], r["workload"])
            worst[key] = max(worst.get(key, 0.0), r.get("bytes_per_sample", 0.0))
    return worst


def results_directory():
    args = [a for a in sys.argv[1:] if not a.startswith("-")]
    return args[0] if args and os.path.isdir(args[0]) else None


def standard_table(out, res, cell, allocated):
    rows = []
    for w, name in WRITERS:
        r = res.ratio(w, "promfmt", "standard")
        b = allocated.get((w, "standard"))
        rows.append([name, cell(res, w, "standard"), "%.2f×" % r[0] if r else "—",
                     "%.2f" % b if b is not None else "—"])
    out.table("C# binding under Mono: standard scrape (1000 families × 10 samples × 3 labels)",
              ["writer", "CPU ns/sample, median [min–max]", "÷ promfmt (C++)",
               "managed bytes/sample (worst round)"], rows)


def labels_table(out, res, cell):
    writers = [w for w, _ in WRITERS if res.has(w)]
    rows = []
    for n in LABELS:
        wl = "labels_random/%d" % n
        if any(res.values(w, wl) for w in writers):
            rows.append([n, cell(res, "promfmt", wl)] + [cell(res, w, wl) for w in writers])
    if rows:
        out.table("C# binding under Mono: labels per sample, random order; 100 families × 10 "
                  "samples (CPU ns/sample)", ["labels", "promfmt (C++)"] + writers, rows)


def target_table(out, res, allocated):
    standard = [allocated[(w, "standard")] for w, _ in WRITERS if (w, "standard") in allocated]
    everywhere = list(allocated.values())
    rows = []
    if standard:
        worst = max(standard)
        rows.append(["C#: managed bytes per sample, standard scrape, steady state (worst form)",
                     "%.2f" % worst, "0", "PASS" if worst == 0 else "MISS"])
    if everywhere:
        worst = max(everywhere)
        rows.append(["C#: managed bytes per sample, every workload run (worst)",
                     "%.2f" % worst, "0", "PASS" if worst == 0 else "MISS"])
    m = res.median("csharp", "standard")
    if m is not None:
        rows.append(["C#: CPU ns per sample under Mono, standard scrape (pair arrays)",
                     "%.0f" % m, "reported", "—"])
    if rows:
        out.table("C# target (informational)", ["target", "this run", "goal", ""], rows)


def section(out, res, cell):
    if not any(res.has(w) for w, _ in WRITERS):
        return
    directory = results_directory()
    allocated = managed_bytes(directory) if directory else {}
    standard_table(out, res, cell, allocated)
    labels_table(out, res, cell)
    target_table(out, res, allocated)
