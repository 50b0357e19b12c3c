# SPDX-License-Identifier: MIT
"""The Rust binding's section of the benchmark report: promfmt through the
Rust binding (labels as pairs, escaped into JSON at every call, and labels
as JSON texts kept from an earlier scrape) against prometheus-client's text
encoder over a registry of the same gauge families, all timed in CPU time by
bindings/rust/promfmt-bench (promfmt-bench-rust). On the standard scrape
also each in the form its documentation writes: the binding with labels as
an array of tuples, prometheus-client with a derived label-set struct."""

WRITERS = [("rust", "promfmt, labels as pairs"),
           ("rust_json", "promfmt, labels JSON kept"),
           ("rust_client", "prometheus-client"),
           ("rust_tuples", "promfmt, labels as tuples"),
           ("rust_client_derived", "prometheus-client, derived labels")]
# Each target: the client form, the binding form, what the row says.
TARGETS = [("rust_client", "rust", "standard scrape from Rust values: prometheus-client ÷ promfmt"),
           ("rust_client_derived", "rust_tuples",
            "standard scrape, idiomatic forms: prometheus-client (derived labels) ÷ "
            "promfmt (tuples)")]
# The rows, in this order, for the workloads the run has.
WORKLOADS = (["standard"] + ["labels_random/%d" % n for n in (0, 1, 3, 10, 64, 256)] +
             ["value_len/%d" % n for n in (8, 64, 512, 4096, 21832)] +
             ["samples/%d" % n for n in (10, 100, 1000, 10000, 100000)])
TARGET = 1.5


def ratio_text(res, num, den, wl):
    r = res.ratio(num, den, wl)
    return "%.2f× [%.2f–%.2f]" % r if r else "—"


def section(out, res, cell):
    if not res.has("rust"):
        return
    rows = []
    for wl in WORKLOADS:
        if res.median("rust", wl) is None:
            continue
        rows.append([wl] + [cell(res, w, wl) for w, _ in WRITERS[:3]] +
                    [ratio_text(res, "rust_client", "rust", wl),
                     ratio_text(res, "rust_client", "rust_json", wl)])
    out.table("Rust: the binding against prometheus-client's text encoder (CPU ns/sample)",
              ["workload"] + [name for _, name in WRITERS[:3]] +
              ["client ÷ pairs", "client ÷ JSON kept"], rows)
    idiomatic = [[name, cell(res, w, "standard")] for w, name in WRITERS[3:]
                 if res.median(w, "standard") is not None]
    if idiomatic:
        out.table("Rust: standard scrape, label names written in code (CPU ns/sample)",
                  ["writer", "CPU ns/sample"], idiomatic)
    rows = []
    for client, binding, what in TARGETS:
        r = res.ratio(client, binding, "standard")
        verdict = "—" if r is None else ("PASS" if r[0] >= TARGET else "MISS")
        rows.append([what, ratio_text(res, client, binding, "standard"), "≥ %.1f×" % TARGET,
                     verdict])
    out.table("Rust targets (ratio: median of the per-round ratios [min–max]; informational)",
              ["target", "this run", "goal", ""], rows)
