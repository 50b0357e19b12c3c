# SPDX-License-Identifier: MIT
"""Turns the rounds of one benchmark run into tables: medians of CPU ns per
sample over the rounds with their min-max spread, the target ratios with a
PASS/MISS marker (informational), the scaling tables and the memory figures.

usage: report.py RESULTS_DIR [--plot DIR] [--markdown FILE]

RESULTS_DIR holds, per round N, rN-cpp.json (Google Benchmark output of
promfmt_bench_scrape) and rN-WRITER.json from the other processes (one
writer each: {"writer": W, "results": [{"workload": ..., "ns_per_sample":
...}, ...]}), plus
rss.json (the standard scrape alone), check.txt (the output check) and
meta.json (how the run was made).
--plot draws labels-per-sample.png, value-length.png and sample-count.png
into DIR (python3-matplotlib); --markdown writes the performance document.
"""
import glob
import importlib
import json
import os
import re
import statistics
import sys
from collections import defaultdict

import document
import targets

WRITERS = ["promfmt", "floor", "naive", "naive_sorting", "go", "prometheus_cpp", "python"]
NAMES = {
    "promfmt": "promfmt",
    "floor": "floor (yyjson parse + to_chars + memcpy)",
    "naive": "naive snprintf writer (labels pre-parsed, pre-sorted)",
    "naive_sorting": "naive writer that sorts each sample's labels (std::sort)",
    "go": "Go expfmt.MetricFamilyToText (pre-built families)",
    "prometheus_cpp": "prometheus-cpp TextSerializer",
    "python": "Python prometheus_client generate_latest",
}
SHORT = {"promfmt": "promfmt", "floor": "floor", "naive": "naive",
         "naive_sorting": "naive, sorting", "go": "Go",
         "prometheus_cpp": "prometheus-cpp", "python": "Python"}


class Results:
    """ns per sample per (writer, workload), one value per round."""

    def __init__(self, directory):
        self.rounds = defaultdict(dict)  # (writer, workload) -> {round: ns}
        self.promfmt = defaultdict(dict)  # workload -> counters of promfmt
        self.peers = {}  # writer -> what its process says of itself (runtime, modules)
        self.extra = defaultdict(dict)  # (writer, workload) -> {round: the whole result}
        self.context = {}
        self.context_round = 0
        self.round_count = 0
        meta = os.path.join(directory, "meta.json")
        self.meta = json.load(open(meta)) if os.path.exists(meta) else {}
        for path in sorted(glob.glob(os.path.join(directory, "r*-*.json"))):
            m = re.match(r"r(\d+)-(\w+)\.json$", os.path.basename(path))
            if m:
                self.load(path, int(m.group(1)), m.group(2))
        rss = os.path.join(directory, "rss.json")
        self.rss = None
        if os.path.exists(rss):
            with open(rss) as f:
                runs = [b for b in json.load(f)["benchmarks"] if b.get("run_type") == "iteration"]
            self.rss = runs[0].get("peak_rss_mib") if runs else None
        check = os.path.join(directory, "check.txt")
        self.check = open(check).read().splitlines() if os.path.exists(check) else []

    def load(self, path, rnd, source):
        with open(path) as f:
            data = json.load(f)
        self.round_count = max(self.round_count, rnd)
        if source == "cpp":
            if rnd >= self.context_round:
                self.context, self.context_round = data["context"], rnd
            for b in data["benchmarks"]:
                if b.get("run_type") != "iteration" or b.get("error_occurred"):
                    continue
                workload, writer = b["run_name"].rsplit(":", 1)
                self.rounds[(writer, workload)][rnd] = b["ns_per_sample"]
                self.extra[(writer, workload)][rnd] = b
                if writer == "promfmt":
                    self.keep_counters(workload, b)
        else:
            self.peers[data["writer"]] = {k: v for k, v in data.items()
                                          if k not in ("writer", "results")}
            for r in data["results"]:
                self.rounds[(data["writer"], r["workload"])][rnd] = r["ns_per_sample"]
                self.extra[(data["writer"], r["workload"])][rnd] = r

    def keep_counters(self, workload, b):
        c = self.promfmt[workload]
        for key in ("allocs_per_sample", "labels_text_max", "bytes_per_scrape"):
            c[key] = max(c.get(key, 0.0), b.get(key, 0.0))

    def values(self, writer, workload):
        return list(self.rounds.get((writer, workload), {}).values())

    def median(self, writer, workload):
        v = self.values(writer, workload)
        return statistics.median(v) if v else None

    def ratio(self, num, den, workload):
        """Median of the per-round ratios num/den, with their min and max."""
        a = self.rounds.get((num, workload), {})
        b = self.rounds.get((den, workload), {})
        per_round = [a[r] / b[r] for r in a if r in b and b[r] > 0]
        if not per_round:
            return None
        return statistics.median(per_round), min(per_round), max(per_round)

    def has(self, writer):
        return any(w == writer for w, _ in self.rounds)


def fmt_ns(v):
    if v is None:
        return "—"
    return "{:,.0f}".format(v) if v >= 100 else "{:.1f}".format(v)


def cell(res, writer, workload):
    """'median [min–max]' of a writer on a workload, or a dash."""
    v = res.values(writer, workload)
    if not v:
        return "—"
    med = statistics.median(v)
    if len(v) == 1:
        return fmt_ns(med)
    return "%s [%s–%s]" % (fmt_ns(med), fmt_ns(min(v)), fmt_ns(max(v)))


class Out:
    """Collects markdown text; printed to the terminal and optionally saved."""

    def __init__(self):
        self.parts = []

    def line(self, text=""):
        self.parts.append(text)

    def table(self, title, header, rows):
        if title:
            self.line("\n### " + title + "\n")
        self.line("| " + " | ".join(header) + " |")
        self.line("|" + "---|" * len(header))
        for row in rows:
            self.line("| " + " | ".join(str(c) for c in row) + " |")

    def text(self):
        return "\n".join(self.parts) + "\n"


def present(res, candidates):
    return [w for w in candidates if res.has(w)]


def standard_table(out, res):
    rows = []
    for w in present(res, WRITERS):
        r = res.ratio(w, "promfmt", "standard")
        rows.append([NAMES[w], cell(res, w, "standard"),
                     "%.2f×" % r[0] if r else "—"])
    out.table("Standard scrape: 1000 families × 10 samples × 3 labels, HELP and TYPE per family",
              ["writer", "CPU ns/sample, median [min–max]", "÷ promfmt"], rows)


def counters(c):
    """promfmt's labels text size and allocations per sample, or dashes."""
    if not c:
        return ["—", "—"]
    return ["{:,.0f}".format(c["labels_text_max"]), "%.2f" % c["allocs_per_sample"]]


def labels_tables(out, res):
    writers = present(res, ["promfmt", "naive", "go", "prometheus_cpp", "python"])
    for order in ("fixed", "random"):
        rows = []
        for n in (0, 1, 3, 10, 64, 256):
            wl = "labels_%s/%d" % (order, n)
            c = res.promfmt.get(wl, {})
            rows.append([n] + [cell(res, w, wl) for w in writers] + counters(c))
        what = ("the same reverse name order in every labels text" if order == "fixed"
                else "a fresh random order in every labels text")
        out.table("Labels per sample, %s order (%s); 100 families × 10 samples" % (order, what),
                  ["labels"] + [SHORT[w] for w in writers] +
                  ["labels text bytes (max)", "promfmt allocations/sample"], rows)


PREFIXES = [("labels_random", "ordinary names"), ("prefix6", "behind a 6-byte prefix"),
            ("prefix24", "behind a 24-byte prefix"),
            ("prefix24_half", "half of them behind a 24-byte prefix")]


def prefix_table(out, res):
    writers = present(res, ["promfmt", "naive_sorting", "go", "python"])
    rows = []
    for n in (64, 256):
        for kind, what in PREFIXES:
            wl = "%s/%d" % (kind, n)
            rows.append([n, what] + [cell(res, w, wl) for w in writers])
    out.table("Label names sharing a prefix: 100 families × 10 samples, a fresh random order "
              "per sample",
              ["labels", "names"] + [SHORT[w] for w in writers], rows)


def value_len_table(out, res):
    writers = present(res, ["promfmt", "naive", "go", "prometheus_cpp", "python"])
    rows = []
    for n in (8, 64, 512, 4096, 21832):
        wl = "value_len/%d" % n
        c = res.promfmt.get(wl, {})
        rows.append([n] + [cell(res, w, wl) for w in writers] + counters(c))
    out.table("Label-value length: 10 families × 10 samples × 3 labels",
              ["bytes per value"] + [SHORT[w] for w in writers] +
              ["labels text bytes (max)", "promfmt allocations/sample"], rows)


def samples_table(out, res):
    writers = present(res, ["promfmt", "floor", "naive", "go", "prometheus_cpp", "python"])
    rows = []
    for n in (10, 100, 1000, 10000, 100000, 1000000):
        wl = "samples/%d" % n
        c = res.promfmt.get(wl, {})
        rows.append(["{:,}".format(n), "{:,.1f}".format(c["bytes_per_scrape"] / 1e6) if c else "—"] +
                    [cell(res, w, wl) for w in writers])
    out.table("Samples per scrape: families of 10 samples × 3 labels",
              ["samples", "scrape MB"] + [SHORT[w] for w in writers], rows)


def memory_table(out, res):
    c = res.promfmt.get("standard", {})
    worst = max(((v.get("allocs_per_sample", 0), wl) for wl, v in res.promfmt.items()),
                default=(None, None))
    if worst[0] is None:
        worst_text = "—"
    elif worst[0] == 0:
        worst_text = "0.00 (on every workload)"
    else:
        worst_text = "%.2f (%s)" % worst
    rows = [["allocations per sample, standard scrape (steady state)",
             "%.2f" % c["allocs_per_sample"] if c else "—"],
            ["allocations per sample, worst workload", worst_text],
            ["bytes per standard scrape", "{:,.0f}".format(c.get("bytes_per_scrape", 0))],
            ["peak RSS, standard scrape alone (whole benchmark process)",
             "%.1f MiB" % res.rss if res.rss else "—"]]
    out.table("Memory (promfmt)", ["figure", "value"], rows)


def host_sections(out, res):
    """The bindings' own tables: every bench/host_*.py has section(out, res,
    cell), which writes the tables and target rows of one host language."""
    here = os.path.dirname(os.path.abspath(__file__))
    for path in sorted(glob.glob(os.path.join(here, "host_*.py"))):
        module = importlib.import_module(os.path.basename(path)[:-3])
        module.section(out, res, cell)


def report(res):
    out = Out()
    out.line("rounds: %d (each round runs every writer once, in a shuffled order)"
             % res.round_count)
    for line in res.check:
        out.line("- " + line)
    standard_table(out, res)
    targets.table(out, res)
    labels_tables(out, res)
    prefix_table(out, res)
    value_len_table(out, res)
    samples_table(out, res)
    memory_table(out, res)
    host_sections(out, res)
    targets.reading(out, res)
    return out


def main():
    args = sys.argv[1:]
    if not args or args[0].startswith("-"):
        sys.exit(__doc__)
    res = Results(args[0])
    if not res.rounds:
        sys.exit("report.py: no results in " + args[0])
    out = report(res)
    sys.stdout.write(out.text())
    if "--plot" in args:
        import plots
        for path in plots.draw(res, args[args.index("--plot") + 1]):
            print("plot written to " + path)
    if "--markdown" in args:
        path = args[args.index("--markdown") + 1]
        with open(path, "w") as f:
            f.write(document.render(res, out.text()))
        print("document written to " + path)


if __name__ == "__main__":
    main()
