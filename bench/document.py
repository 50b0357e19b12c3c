# SPDX-License-Identifier: MIT
"""Writes docs/performance.md from one run: the machine, the method, the
tables report.py printed, and the plots. Everything it states comes from
the run, its meta.json (written by scripts/bench.sh) or the machine."""
import os
import platform
import subprocess


def run(cmd):
    try:
        return subprocess.run(cmd, capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return ""


def lscpu(field):
    for line in run(["lscpu"]).splitlines():
        if line.startswith(field + ":"):
            return line.split(":", 1)[1].strip()
    return ""


def cpu_model():
    return lscpu("Model name") or platform.processor() or "unknown CPU"


def virtual_machine():
    vendor = lscpu("Hypervisor vendor")
    return " A virtual machine (hypervisor: %s)." % vendor if vendor else ""


def memory_gib():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                return int(line.split()[1]) / 1024.0 / 1024.0
    return 0.0


def package_version(name):
    return run(["dpkg-query", "-W", "-f=${Version}", name]) or "not installed"


def caches(context):
    parts = []
    for c in context.get("caches", []):
        if c.get("type") in ("Data", "Unified"):
            parts.append("L%d %d KiB%s" % (c["level"], c["size"] // 1024,
                                           " shared by %d" % c["num_sharing"]
                                           if c.get("num_sharing", 1) > 1 else " per core"))
    return ", ".join(parts)


def machine_lines(res):
    ctx = res.context
    gxx = run(["c++", "--version"]).splitlines()
    go = run(["go", "version"])
    debian = open("/etc/debian_version").read().strip() if os.path.exists("/etc/debian_version") \
        else "?"
    load = ", ".join("%.2f" % x for x in ctx.get("load_avg", []))
    return [
        "- **CPU:** %s, %d cores (%s MHz as Google Benchmark reads it); %s"
        % (cpu_model(), os.cpu_count() or 0, ctx.get("mhz_per_cpu", "?"), caches(ctx)),
        "- **Memory:** %.1f GiB. **System:** Debian %s, Linux %s. Load average when the C++ "
        "rounds started (last round): %s.%s"
        % (memory_gib(), debian, platform.release(), load or "?", virtual_machine()),
        "- **Compilers and runtimes:** %s (library at `-O2`, benchmark at `-O3`, Release); %s; "
        "Rust %s" % (gxx[0] if gxx else "c++ ?", go or "Go not found",
                     run(["rustc", "--version"]) or "not found"),
        "- **Peers (Debian packages):** prometheus-cpp-dev %s; libbenchmark-dev %s (Debian's "
        "build, which calls itself a debug build; it only drives the loop), libyyjson-dev %s; "
        "Mono %s"
        % (tuple(package_version(p) for p in (
            "prometheus-cpp-dev", "libbenchmark-dev", "libyyjson-dev", "mono-runtime"))),
    ] + peer_lines(res)


def peer_lines(res):
    """What the Go and Python processes report of their runtimes and modules."""
    lines = []
    go = res.peers.get("go", {})
    if go:
        mods = ", ".join("%s %s" % kv for kv in sorted(go.get("modules", {}).items()))
        lines.append("- **Go peer:** %s, built as a module from the Go module proxy: %s"
                     % (go.get("runtime", "?"), mods or "?"))
    py = res.peers.get("python", {})
    if py:
        lines.append("- **Python peer:** %s, in a virtual environment from PyPI"
                     % py.get("runtime", "?"))
    return lines


def method_lines(meta):
    return [
        "- **Rounds:** %d. Each round runs every writer once, in a shuffled order: the C++ "
        "benchmark binary (promfmt, the floor, the naive writer and prometheus-cpp in one "
        "process; Google Benchmark, one repetition, benchmarks in random order), the Go, Python, "
        "C# and Rust peers (separate processes; workloads in a shuffled order)."
        % meta.get("rounds", 0),
        "- **Time:** CPU time per sample. C++: Google Benchmark's CPU time of the benchmark "
        "thread. Go: `getrusage` of the whole process around the timed loop, so the garbage "
        "collector's work on the other core counts. Python: `time.process_time()`. Every "
        "writer grows its batch of scrapes until one batch takes at least %.2g s of CPU, "
        "after one untimed scrape." % meta.get("min_time", 0),
        "- **Figures:** each cell is the median over the rounds, with [min–max] over the "
        "rounds. A ratio is the median of the per-round ratios, with their [min–max].",
        "- **Python** runs every workload up to %s samples (the 1,000,000-sample one is "
        "skipped to keep the run near 10 minutes)."
        % "{:,}".format(meta.get("python_max_samples", 0)),
        "- **Allocations** are counted for promfmt by a counting `malloc` in the C++ binary, "
        "on the second scrape of a reused buffer (steady state).",
    ]


WORKLOADS = """\
- **standard:** 1000 gauge families, each with HELP and TYPE, 10 samples per family,
  3 labels per sample given in reverse name order, about 6 % of label values holding a
  double quote, values one third whole numbers and the rest 14-digit decimals in [0, 1e6).
- **labels_fixed/N, labels_random/N:** 100 families × 10 samples with N labels (`zone`,
  `service`, ... then `label_010` onwards). *fixed*: every labels text lists its members in
  reverse name order; *random*: a fresh permutation per sample (1000 distinct orders, made
  before the timing). Both orders carry the same labels and values.
- **prefix6/N, prefix24/N, prefix24_half/N** (N = 64, 256): as labels_random/N, with every
  label name behind `label_` (6 bytes) or `label_app_kubernetes_io_` (24 bytes), or every
  other name behind the 24-byte prefix, as exporters that copy object metadata into labels
  write them.
- **value_len/N:** 10 families × 10 samples × 3 labels of N bytes each; the largest labels
  text is just under 64 KiB.
- **samples/N:** N samples in families of 10, 3 labels.

The C++ binary generates every workload from a fixed seed and writes it to a file that the
Go and Python peers read, so all writers get the same families. Before the rounds each
writer's output for a small workload (12 labels in random order, quotes and backslashes in
values) is read back with the Python client's parser and must give the same families.

## The writers

- **promfmt:** the C interface: `promfmt_emit_help`, `promfmt_emit_type` and one
  `promfmt_emit_sample` per sample with the labels as JSON text; one buffer reused and reset
  per scrape.
- **floor:** the work no writer of this interface can skip: yyjson parsing every labels text
  (default allocator), `std::to_chars` (general, 14 digits) of every value and one `memcpy` of
  the finished text. Measured on the standard and samples/N workloads.
- **naive:** `std::string` appends and `snprintf("%.14g")` over labels already parsed and
  sorted.
- **naive, sorting:** the same writer handed each sample's labels in the labels text's order;
  it sorts a copy of them with `std::sort` first. Measured on the workloads of 64 and more
  labels.
- **Go:** `expfmt.MetricFamilyToText` into a reused `bytes.Buffer`, over `client_model`
  families built beforehand with their labels sorted by name (as the Go client's registry
  hands them over); building them is not timed.
- **prometheus-cpp:** `TextSerializer::Serialize` into a `std::ostringstream` over its own
  `MetricFamily` structures built beforehand, labels sorted.
- **Python:** `generate_latest` on a `CollectorRegistry` holding one custom collector that
  yields pre-built gauge `Metric` families; each sample's labels are a dict in the workload's
  order, and `generate_latest` sorts them itself.
"""


def render(res, tables):
    meta = res.meta
    date = res.context.get("date", "?")
    lines = [
        "# Performance",
        "",
        "<!-- Generated by `bash scripts/bench.sh --doc` (bench/document.py, bench/report.py, "
        "bench/targets.py): change those and run it again instead of editing this file. -->",
        "",
        "All figures come from one run of `bash scripts/bench.sh --doc` (date of the last "
        "round: %s; library built from commit %s). Nothing in the test suite asserts a time."
        % (date, meta.get("source", "unknown")),
        "",
        "## Machine",
        "",
    ] + machine_lines(res) + ["", "## How the figures are taken", ""] + method_lines(meta) + [
        "", "## Workloads", "", WORKLOADS, "## Results", "", tables,
        "![CPU ns per sample against labels per sample, both orders](labels-per-sample.png)",
        "",
        "![CPU ns per sample against the labels text's size](value-length.png)",
        "",
        "![CPU ns per sample against samples per scrape](sample-count.png)",
        "",
        "To run it again: `bash scripts/bench.sh` prints the tables; `--plot DIR` also draws "
        "the plots; `--doc` rewrites this file and its plots; `--quick` runs every writer once "
        "on a few workloads (CI; times not checked); `ROUNDS=N` sets the number of rounds.",
    ]
    return "\n".join(lines) + "\n"
