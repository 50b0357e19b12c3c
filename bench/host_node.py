# SPDX-License-Identifier: MIT
"""The Node.js section of the benchmark report: promfmt's Writer and its
prom-client bridge against prom-client 15's own `await registry.metrics()`,
all timed in one process (bench/node/peer.js), and the longest event-loop
stall of one 100,000-series scrape."""
import targets

WRITERS = [
    ("node", "prom-client await registry.metrics(), to bytes"),
    ("node_promfmt", "promfmt Writer, per-sample calls, labels as objects"),
    ("node_promfmt_json", "promfmt Writer, per-sample calls, labels JSON built once"),
    ("node_bridge", "promfmt metrics(registry), to bytes"),
    ("node_collect", "each metric's get() alone"),
]
WORKLOADS = [("standard", "standard scrape"), ("labels_fixed/64", "64 labels, fixed order"),
             ("labels_random/64", "64 labels, random order")]
STALLS = [("stall/prom-client", "prom-client register.metrics()"),
          ("stall/metrics", "promfmt metrics()"),
          ("stall/metricsAsync", "promfmt metricsAsync()")]


def speed_table(out, res, cell):
    rows = []
    for w, name in WRITERS:
        if res.has(w):
            for wl, what in WORKLOADS:
                r = res.ratio("node", w, wl) if w != "node_collect" else None
                rows.append([name, what, cell(res, w, wl), "%.2f×" % r[0] if r else "—"])
    out.table("Node.js: a registry of Gauges written by prom-client and by promfmt "
              "(CPU ns/sample, one process)",
              ["writer", "workload", "CPU ns/sample, median [min–max]", "prom-client ÷ writer"],
              rows)


def stall_table(out, res):
    rows = []
    for wl, name in STALLS:
        v = res.values("node_stall", wl)
        if v:
            rows.append([name, "%.1f ms [%.1f–%.1f]" % (sorted(v)[len(v) // 2] / 1e6,
                                                        min(v) / 1e6, max(v) / 1e6)])
    out.table("Node.js: longest event-loop stall during one scrape of 100,000 series "
              "(monitorEventLoopDelay; median [min–max] over rounds)", ["scrape", "stall"], rows)


def target_rows(res):
    rows = []
    for wl in ("standard", "labels_fixed/64"):
        what = "standard scrape" if wl == "standard" else "64 labels"
        rows += [
            targets.ratio_row(res, "Node, %s: prom-client ÷ per-sample (objects)" % what,
                              "node", "node_promfmt", wl, "≥ 5×", 5.0),
            targets.ratio_row(res, "Node, %s: prom-client ÷ per-sample (JSON built once)" % what,
                              "node", "node_promfmt_json", wl, "≥ 5×", 5.0),
            targets.ratio_row(res, "Node, %s: prom-client ÷ bridge" % what,
                              "node", "node_bridge", wl, "≥ 3×", 3.0),
        ]
    a = res.rounds.get(("node_stall", "stall/metricsAsync"), {})
    b = res.rounds.get(("node_stall", "stall/prom-client"), {})
    per_round = sorted(a[k] / b[k] for k in a if k in b and b[k] > 0)
    r = per_round[len(per_round) // 2] if per_round else None
    rows.append(targets.at_most_row("Node, 100,000 series: stall of metricsAsync() ÷ prom-client",
                                    r, "≤ 0.10", 0.10))
    return rows


def section(out, res, cell):
    if not res.has("node"):
        return
    speed_table(out, res, cell)
    stall_table(out, res)
    out.table("Node.js targets (ratios: median of the per-round ratios [min–max]; "
              "informational)", ["target", "this run", "goal", ""], target_rows(res))
