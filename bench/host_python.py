# SPDX-License-Identifier: MIT
"""The Python section of the benchmark report: promfmt's per-sample and batch
calls and its prometheus_client bridge against prometheus_client's own
generate_latest(), all timed in one process (bench/python/peer.py)."""
import targets

WRITERS = [
    ("python", "prometheus_client generate_latest (pre-built families)"),
    ("python_promfmt", "promfmt per-sample calls (help, type, sample)"),
    ("python_promfmt_batch", "promfmt batch call (family)"),
]
REGISTRY = [
    ("python_registry", "prometheus_client generate_latest, collect() included"),
    ("python_bridge", "promfmt.generate_latest, collect() included"),
    ("python_collect", "collect() alone"),
]
WORKLOADS = [("standard", "standard scrape"), ("labels_fixed/64", "64 labels, fixed order"),
             ("labels_random/64", "64 labels, random order")]


def ratio_text(res, num, den, wl):
    r = res.ratio(num, den, wl)
    return "%.2f×" % r[0] if r else "—"


def speed_table(out, res, cell):
    rows = []
    for w, name in WRITERS:
        if res.has(w):
            for wl, what in WORKLOADS:
                rows.append([name, what, cell(res, w, wl), ratio_text(res, "python", w, wl)])
    out.table("Python: the same Python objects written by prometheus_client and by promfmt "
              "(CPU ns/sample, one process)",
              ["writer", "workload", "CPU ns/sample, median [min–max]",
               "prometheus_client ÷ writer"], rows)


def render_share(res, w):
    """Median of (writer - collect()) over the rounds: the rendering alone."""
    a = res.rounds.get((w, "standard"), {})
    b = res.rounds.get(("python_collect", "standard"), {})
    diffs = sorted(a[r] - b[r] for r in a if r in b)
    return "{:,.0f}".format(diffs[len(diffs) // 2]) if diffs else "—"


def registry_table(out, res, cell):
    rows = []
    for w, name in REGISTRY:
        if res.has(w):
            rows.append([name, cell(res, w, "standard"),
                         render_share(res, w) if w != "python_collect" else "—"])
    out.table("Python: a registry of 1,000 Gauges × 10 children (standard scrape)",
              ["path", "CPU ns/sample, median [min–max]",
               "rendering alone (minus collect(), median per round)"], rows)


def target_rows(res):
    return [
        targets.ratio_row(res, "Python, standard scrape: prometheus_client ÷ promfmt per-sample",
                          "python", "python_promfmt", "standard", "≥ 5×", 5.0),
        targets.ratio_row(res, "Python, standard scrape: prometheus_client ÷ promfmt batch",
                          "python", "python_promfmt_batch", "standard", "≥ 10×", 10.0),
        targets.ratio_row(res, "Python, Gauge registry: prometheus_client ÷ promfmt bridge",
                          "python_registry", "python_bridge", "standard", "≥ 1.7×", 1.7),
    ]


def section(out, res, cell):
    if not res.has("python_promfmt"):
        return
    speed_table(out, res, cell)
    registry_table(out, res, cell)
    out.table("Python targets (ratios: median of the per-round ratios [min–max]; "
              "informational)", ["target", "this run", "goal", ""], target_rows(res))
