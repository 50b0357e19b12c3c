# SPDX-License-Identifier: MIT
"""Prints the benchmark's tables from its JSON output (medians of the
repetitions): the standard scrape with the three target ratios, the scaling
tables, and the memory figures. With --plot FILE it also draws ns per
sample against labels per sample for promfmt, prometheus-cpp and the naive
writer (needs python3-matplotlib).

usage: report.py BENCH_JSON [--rss STANDARD_ONLY_JSON] [--plot FILE.png]
"""
import json
import statistics
import sys
from collections import defaultdict


def load(path):
    with open(path) as f:
        data = json.load(f)
    runs = defaultdict(list)
    extra = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            continue
        runs[b["run_name"]].append(b["ns_per_sample"])
        extra[b["run_name"]] = b
    return {name: statistics.median(v) for name, v in runs.items()}, extra, data["context"]


def table(title, header, rows):
    print("\n### " + title + "\n")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(str(c) for c in row) + " |")


def main():
    args = sys.argv[1:]
    plot = args[args.index("--plot") + 1] if "--plot" in args else None
    ns, extra, context = load(args[0])
    rss = None
    if "--rss" in args:
        rss = load(args[args.index("--rss") + 1])[1].get("BM_Standard_promfmt", {})

    std = {w: ns.get("BM_Standard_" + w) for w in ("promfmt", "prometheus_cpp", "naive", "floor")}
    print("machine: %s, %d CPUs at %s MHz" % (context.get("host_name", "?"),
          context.get("num_cpus", 0), context.get("mhz_per_cpu", "?")))
    table("Standard scrape (1000 families x 10 samples x 3 labels), median ns per sample",
          ["writer", "ns/sample"],
          [[w, "%.1f" % v] for w, v in std.items() if v])
    if all(std.values()):
        p = std["promfmt"]
        table("Targets", ["ratio", "value", "target", "met"], [
            ["prometheus-cpp / promfmt", "%.2fx" % (std["prometheus_cpp"] / p), ">= 4x",
             "yes" if std["prometheus_cpp"] / p >= 4 else "NO"],
            ["naive / promfmt", "%.2fx" % (std["naive"] / p), ">= 2x",
             "yes" if std["naive"] / p >= 2 else "NO"],
            ["promfmt / floor", "%.2fx" % (p / std["floor"]), "<= 2.0x",
             "yes" if p / std["floor"] <= 2.0 else "NO"],
        ])
    m = extra.get("BM_Standard_promfmt", {})
    if m:
        table("Memory (standard scrape)", ["figure", "value"], [
            ["allocations per sample (steady state)", "%.2f" % m.get("allocs_per_sample", -1)],
            ["bytes per scrape", "%d" % m.get("bytes_per_scrape", 0)],
            ["peak RSS, standard scrape alone (whole benchmark process)",
             "%.1f MiB" % (rss or m).get("peak_rss_mib", 0)],
        ])

    def series(prefix):
        out = []
        for name, v in ns.items():
            if name.startswith(prefix + "/"):
                out.append((int(name.split("/")[1]), v))
        return sorted(out)

    table("Scaling: samples per scrape (promfmt, 3 labels)", ["samples", "ns/sample"],
          [[n, "%.1f" % v] for n, v in series("BM_Samples_promfmt")])
    labels = {w: dict(series("BM_Labels_" + w)) for w in ("promfmt", "prometheus_cpp", "naive")}
    table("Scaling: labels per sample (ns/sample)", ["labels", "promfmt", "prometheus-cpp",
          "naive", "promfmt ns/label"],
          [[n, "%.1f" % v, "%.1f" % labels["prometheus_cpp"].get(n, 0),
            "%.1f" % labels["naive"].get(n, 0), "%.1f" % (v / n) if n else "-"]
           for n, v in sorted(labels["promfmt"].items())])
    table("Scaling: label-value length (promfmt, 3 labels)", ["bytes per value", "ns/sample",
          "ns per KiB of values"],
          [[n, "%.1f" % v, "%.1f" % (v / (3 * n / 1024.0))] for n, v in series("BM_ValueLen_promfmt")])

    if plot:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        fig, ax = plt.subplots(figsize=(7, 4.5))
        for w, label in (("promfmt", "promfmt"), ("prometheus_cpp", "prometheus-cpp 1.0.1"),
                         ("naive", "naive writer")):
            pts = sorted(labels[w].items())
            ax.plot([p[0] for p in pts], [p[1] for p in pts], marker="o", label=label)
        ax.set_xlabel("labels per sample")
        ax.set_ylabel("ns per sample")
        ax.set_xscale("symlog", linthresh=1)
        ax.set_yscale("log")
        ax.set_title("Writing one sample line")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend()
        fig.tight_layout()
        fig.savefig(plot, dpi=110)
        print("\nplot written to " + plot)


if __name__ == "__main__":
    main()
