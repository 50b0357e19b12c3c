# SPDX-License-Identifier: MIT
"""The C++ wrapper's section of the benchmark report: the standard scrape
written from C++ values through promfmt.hpp (writer promfmt_cxx) beside the
bare C calls fed pre-built JSON text (writer promfmt), both measured in the
same process and round, and the wrapper's targets (PASS/MISS informational)."""
import targets

WRITERS = [("promfmt", "C interface, labels as pre-built JSON text"),
           ("promfmt_cxx", "C++ wrapper, labels as std::string_view pairs")]
MAX_RATIO = 1.3


def allocations(res, writer, workload):
    """The most allocations per sample any round reported, or None."""
    rounds = res.extra.get((writer, workload), {}).values()
    counts = [r["allocs_per_sample"] for r in rounds if "allocs_per_sample" in r]
    return max(counts) if counts else None


def ratio_row(res):
    r = res.ratio("promfmt_cxx", "promfmt", "standard")
    if r is None:
        return ["standard scrape: C++ wrapper ÷ C interface", "—", "≤ %.2f×" % MAX_RATIO, "—"]
    return ["standard scrape: C++ wrapper ÷ C interface", "%.2f× [%.2f–%.2f]" % r,
            "≤ %.2f×" % MAX_RATIO, "PASS" if r[0] <= MAX_RATIO else "MISS"]


def section(out, res, cell):
    if not res.has("promfmt_cxx"):
        return
    rows = []
    for writer, what in WRITERS:
        a = allocations(res, writer, "standard")
        rows.append([what, cell(res, writer, "standard"), "—" if a is None else "%.2f" % a])
    out.table("C++ wrapper (promfmt.hpp): standard scrape from C++ values",
              ["writer", "CPU ns/sample, median [min–max]", "allocations/sample (steady state)"],
              rows)
    out.table("C++ wrapper targets (ratio: median of the per-round ratios [min–max])",
              ["target", "this run", "goal", ""],
              [ratio_row(res),
               targets.at_most_row("allocations per sample through the wrapper (standard scrape)",
                                   allocations(res, "promfmt_cxx", "standard"), "0", 0.0)])
