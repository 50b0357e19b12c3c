# SPDX-License-Identifier: MIT
"""The Go section of the benchmark report: the writers of the Go peer
(bench/go), all in one process per round over the same families: the
promfmt binding line by line and batched per family, expfmt's
MetricFamilyToText over pre-built families, and client_golang's Gather plus
text encoding of the same series held as GaugeVecs; with the heap
allocations each made per sample, and the Go targets.

The allocations are an extra key of the writers' result files, which
report.py does not keep: they are read again from the results directory,
the first argument of report.py."""
import glob
import json
import os
import sys

WRITERS = [
    ("go_promfmt", "promfmt binding, one call per line"),
    ("go_promfmt_batch", "promfmt binding, one Batch per family"),
    ("go", "expfmt.MetricFamilyToText (pre-built families)"),
    ("go_gather", "client_golang Gather + text encoding (GaugeVecs)"),
]
BINDING = ("go_promfmt", "go_promfmt_batch")
LABELS = (0, 1, 3, 10, 64, 256)


def allocations(directory):
    """(writer, workload) -> the largest allocs_per_sample over the rounds."""
    worst = {}
    for path in glob.glob(os.path.join(directory, "r*-go*.json")):
        with open(path) as f:
            data = json.load(f)
        for r in data["results"]:
            key = (data["writer"], r["workload"])
            worst[key] = max(worst.get(key, 0.0), r.get("allocs_per_sample", 0.0))
    return worst


def results_directory():
    args = [a for a in sys.argv[1:] if not a.startswith("-")]
    return args[0] if args and os.path.isdir(args[0]) else None


def ratio_text(r):
    return "%.2f× [%.2f–%.2f]" % r if r else "—"


def standard_table(out, res, cell, allocs):
    rows = []
    for w, name in WRITERS:
        a = allocs.get((w, "standard"))
        rows.append([name, cell(res, w, "standard"), ratio_text(res.ratio(w, "go", "standard")),
                     "%.2f" % a if a is not None else "—"])
    out.table("Go: standard scrape (1000 families × 10 samples × 3 labels), one process per round",
              ["writer", "CPU ns/sample, median [min–max]", "÷ expfmt",
               "allocations/sample (worst round)"], rows)


def labels_table(out, res, cell):
    writers = [w for w, _ in WRITERS if res.has(w)]
    rows = []
    for n in LABELS:
        wl = "labels_random/%d" % n
        if any(res.values(w, wl) for w in writers):
            rows.append([n] + [cell(res, w, wl) for w in writers])
    if rows:
        names = dict(WRITERS)
        out.table("Go: labels per sample, random order; 100 families × 10 samples (CPU ns/sample)",
                  ["labels"] + [names[w] for w in writers], rows)


def target_rows(res, allocs):
    rows = []
    for w in BINDING:
        r = res.ratio(w, "go", "standard")
        rows.append(["standard scrape: %s ÷ expfmt" % w, ratio_text(r), "≤ 1.00×",
                     ("PASS" if r[0] <= 1.0 else "MISS") if r else "—"])
    for w in BINDING:
        seen = [v for (writer, wl), v in allocs.items()
                if writer == w and (wl == "standard" or wl.startswith("labels_"))]
        worst = max(seen) if seen else None
        rows.append(["allocations per sample, %s: standard and every labels workload (worst)" % w,
                     "%.4f" % worst if worst is not None else "—", "0",
                     ("PASS" if worst == 0 else "MISS") if worst is not None else "—"])
    for w in BINDING:
        r = res.ratio("go_gather", w, "standard")
        rows.append(["standard scrape: Gather + encode ÷ %s" % w, ratio_text(r), "≥ 3×",
                     ("PASS" if r[0] >= 3.0 else "MISS") if r else "—"])
    return rows


def section(out, res, cell):
    if not any(res.has(w) for w, _ in WRITERS):
        return
    directory = results_directory()
    allocs = allocations(directory) if directory else {}
    standard_table(out, res, cell, allocs)
    labels_table(out, res, cell)
    out.table("Go targets (ratios: median of the per-round ratios [min–max]; informational)",
              ["target", "this run", "goal", ""], target_rows(res, allocs))
