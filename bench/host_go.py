# SPDX-License-Identifier: MIT
"""The Go section of the benchmark report: the writers of the Go peer
(bench/go), all in one process per round over the same families: the
promfmt binding line by line and batched per family, expfmt's
MetricFamilyToText over pre-built families, and client_golang's Gather plus
text encoding of the same series held as GaugeVecs; with the heap
allocations each made per sample (runtime.MemStats), and the Go targets."""

WRITERS = [
    ("go_promfmt", "promfmt binding, one call per line"),
    ("go_promfmt_batch", "promfmt binding, one Batch per family"),
    ("go_promfmt_map", "promfmt binding, one call per line, labels as maps"),
    ("go", "expfmt.MetricFamilyToText (pre-built families)"),
    ("go_gather", "client_golang Gather + text encoding (GaugeVecs)"),
]
BINDING = ("go_promfmt", "go_promfmt_batch")
# expfmt ÷ binding at least this, per form of the labels: []Label, maps.
LEADS = (("go_promfmt", 1.5), ("go_promfmt_map", 1.25))
LABELS = (0, 1, 3, 10, 64, 256)


def allocations(res, writer, workload):
    """The largest allocs_per_sample of a writer on a workload over the rounds."""
    rounds = res.extra.get((writer, workload), {}).values()
    seen = [r["allocs_per_sample"] for r in rounds if "allocs_per_sample" in r]
    return max(seen) if seen else None


def ratio_text(r):
    return "%.2f× [%.2f–%.2f]" % r if r else "—"


def standard_table(out, res, cell):
    rows = []
    for w, name in WRITERS:
        a = allocations(res, w, "standard")
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


def target_rows(res):
    rows = []
    for w in BINDING:
        r = res.ratio(w, "go", "standard")
        rows.append(["standard scrape: %s ÷ expfmt" % w, ratio_text(r), "≤ 1.00×",
                     ("PASS" if r[0] <= 1.0 else "MISS") if r else "—"])
    for w, lead in LEADS:
        r = res.ratio("go", w, "standard")
        rows.append(["standard scrape: expfmt ÷ %s" % w, ratio_text(r), "≥ %.2f×" % lead,
                     ("PASS" if r[0] >= lead else "MISS") if r else "—"])
    for w in BINDING:
        seen = [a for (writer, wl) in res.extra
                if writer == w and (wl == "standard" or wl.startswith("labels_"))
                for a in [allocations(res, writer, wl)] if a is not None]
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
    standard_table(out, res, cell)
    labels_table(out, res, cell)
    out.table("Go targets (ratios: median of the per-round ratios [min–max]; informational)",
              ["target", "this run", "goal", ""], target_rows(res))
