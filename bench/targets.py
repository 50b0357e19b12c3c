# SPDX-License-Identifier: MIT
"""The speed and memory targets, checked against one run (PASS/MISS is
informational), and the plain-words reading of the scaling tables. Every
sentence is computed from the run's medians."""
import statistics


def pct(a, b):
    return "%+.0f%%" % (100.0 * (a / b - 1.0))


def marginal(res, writer, lo_wl, hi_wl, lo_units, hi_units):
    """Extra median ns per unit (label, KiB...) between two workloads."""
    lo, hi = res.median(writer, lo_wl), res.median(writer, hi_wl)
    if lo is None or hi is None or hi_units == lo_units:
        return None
    return (hi - lo) / (hi_units - lo_units)


def text_kib(res, wl):
    return res.promfmt.get(wl, {}).get("labels_text_max", 0) / 1024.0


def ratio_row(res, label, num, den, wl, goal, at_least):
    r = res.ratio(num, den, wl)
    if r is None:
        return [label, "—", goal, "—"]
    ok = r[0] >= at_least if at_least is not None else None
    return [label, "%.2f× [%.2f–%.2f]" % r, goal, "PASS" if ok else "MISS"]


def at_most_row(label, value, goal, limit, unit=""):
    if value is None:
        return [label, "—", goal, "—"]
    return [label, "%.2f%s" % (value, unit), goal, "PASS" if value <= limit else "MISS"]


def speed_rows(res):
    rows = [
        ratio_row(res, "standard scrape: Go ÷ promfmt", "go", "promfmt", "standard",
                  "≥ 1.75×", 1.75),
        ratio_row(res, "standard scrape: prometheus-cpp ÷ promfmt", "prometheus_cpp", "promfmt",
                  "standard", "≥ 6×", 6.0),
    ]
    r = res.ratio("promfmt", "floor", "standard")
    rows.append(["standard scrape: promfmt ÷ floor", "%.2f× [%.2f–%.2f]" % r if r else "—",
                 "≤ 1.00×", ("PASS" if r[0] <= 1.0 else "MISS") if r else "—"])
    for order in ("fixed", "random"):
        for n in (64, 256):
            wl = "labels_%s/%d" % (order, n)
            for peer in ("naive", "go"):
                name = "naive" if peer == "naive" else "Go"
                rows.append(ratio_row(res, "%d labels, %s order: %s ÷ promfmt" % (n, order, name),
                                      peer, "promfmt", wl, "> 1×", 1.0000001))
    rows += prefix_rows(res)
    for n in (64, 256):
        cost = marginal(res, "promfmt", "labels_random/0", "labels_random/%d" % n, 0, n)
        rows.append(at_most_row("ns per label, random order (0 → %d labels)" % n, cost,
                                "≤ 30 ns", 30.0, " ns"))
    return rows


def workload_ratio(res, writer, num_wl, den_wl):
    """Median of the per-round ratios of one writer on two workloads."""
    a = res.rounds.get((writer, num_wl), {})
    b = res.rounds.get((writer, den_wl), {})
    per_round = [a[r] / b[r] for r in a if r in b and b[r] > 0]
    if not per_round:
        return None
    return statistics.median(per_round), min(per_round), max(per_round)


def prefix_rows(res):
    rows = []
    for n in (64, 256):
        wl = "prefix24/%d" % n
        r = workload_ratio(res, "promfmt", wl, "labels_random/%d" % n)
        label = "%d labels behind a 24-byte prefix ÷ ordinary names (promfmt)" % n
        if r is None:
            rows.append([label, "—", "≤ 1.3×", "—"])
        else:
            rows.append([label, "%.2f× [%.2f–%.2f]" % r, "≤ 1.3×",
                         "PASS" if r[0] <= 1.3 else "MISS"])
        rows.append(ratio_row(res, "%d labels behind a 24-byte prefix: naive sorting ÷ promfmt" % n,
                              "naive_sorting", "promfmt", wl, "≥ 2.5×", 2.5))
    return rows


def allocation_rows(res):
    labels = [v.get("allocs_per_sample", 0) for wl, v in res.promfmt.items()
              if wl.startswith("labels_")]
    texts = [(v.get("allocs_per_sample", 0), v.get("labels_text_max", 0))
             for wl, v in res.promfmt.items() if wl.startswith("value_len/")]
    rows = []
    if labels:
        rows.append(at_most_row("allocations per sample, 0–256 labels, both orders (worst)",
                                max(labels), "0", 0.0))
    if texts:
        biggest = max(t[1] for t in texts)
        rows.append(at_most_row("allocations per sample, labels texts up to %d bytes (worst)"
                                % biggest, max(t[0] for t in texts), "0", 0.0))
    return rows


def linearity_rows(res):
    rows = []
    a, b = res.median("promfmt", "samples/1000"), res.median("promfmt", "samples/1000000")
    rows.append(at_most_row("ns/sample at 1,000,000 ÷ at 1,000 samples",
                            b / a if a and b else None, "≤ 1.5× (linear)", 1.5, "×"))
    lo = marginal(res, "promfmt", "labels_random/10", "labels_random/64", 10, 64)
    hi = marginal(res, "promfmt", "labels_random/64", "labels_random/256", 64, 256)
    rows.append(at_most_row("ns per label 64→256 ÷ 10→64 (random order)",
                            hi / lo if lo and hi else None, "≤ 1.5× (linear)", 1.5, "×"))
    lo = marginal(res, "promfmt", "value_len/512", "value_len/4096",
                  text_kib(res, "value_len/512"), text_kib(res, "value_len/4096"))
    hi = marginal(res, "promfmt", "value_len/4096", "value_len/21832",
                  text_kib(res, "value_len/4096"), text_kib(res, "value_len/21832"))
    rows.append(at_most_row("ns per KiB of labels text 4→64 KiB ÷ 0.5→4 KiB",
                            hi / lo if lo and hi else None, "≤ 1.5× (linear)", 1.5, "×"))
    return rows


def table(out, res):
    rows = speed_rows(res) + allocation_rows(res) + linearity_rows(res)
    out.table("Targets (ratios: median of the per-round ratios [min–max]; informational)",
              ["target", "this run", "goal", ""], rows)


def samples_reading(res):
    points = [(n, res.median("promfmt", "samples/%d" % n), res.median("floor", "samples/%d" % n))
              for n in (10, 100, 1000, 10000, 100000, 1000000)]
    points = [p for p in points if p[1] is not None]
    if len(points) < 2:
        return None
    steps = list(zip(points, points[1:]))
    worst = max(steps, key=lambda s: s[1][1] / s[0][1])
    (n0, p0, f0), (n1, p1, f1) = worst
    mb0 = res.promfmt.get("samples/%d" % n0, {}).get("bytes_per_scrape", 0) / 1e6
    mb1 = res.promfmt.get("samples/%d" % n1, {}).get("bytes_per_scrape", 0) / 1e6
    l2 = [c["size"] for c in res.context.get("caches", []) if c.get("level") == 2]
    text = ("**Samples per scrape:** promfmt's cost per sample goes from %s ns at %s samples "
            "to %s ns at %s (%s). The largest step is from %s to %s samples (%s), where the "
            "scrape's text grows from %.1f MB to %.1f MB"
            % (fmt(points[0][1]), "{:,}".format(points[0][0]), fmt(points[-1][1]),
               "{:,}".format(points[-1][0]), pct(points[-1][1], points[0][1]),
               "{:,}".format(n0), "{:,}".format(n1), pct(p1, p0), mb0, mb1))
    if l2:
        text += " (this machine reports %d KiB of L2 cache per core)" % (l2[0] // 1024)
    if f0 and f1:
        text += ("; the floor, which only parses, renders numbers and copies, rises %s over "
                 "the same step" % pct(f1, f0))
    before = [p[1] for p in points if p[0] <= n0]
    after = [p[1] for p in points if p[0] >= n1]
    text += (". Up to %s samples the cost per sample stays within %s–%s ns"
             % ("{:,}".format(n0), fmt(min(before)), fmt(max(before))))
    if len(after) > 1:
        text += "; from %s samples on, within %s–%s ns" % ("{:,}".format(n1), fmt(min(after)),
                                                           fmt(max(after)))
    return text + "."


def labels_reading(res):
    parts = []
    for order in ("fixed", "random"):
        segs = []
        for lo, hi in ((0, 3), (3, 10), (10, 64), (64, 256)):
            m = marginal(res, "promfmt", "labels_%s/%d" % (order, lo),
                         "labels_%s/%d" % (order, hi), lo, hi)
            if m is not None:
                segs.append("%d→%d: %s" % (lo, hi, fmt(m)))
        if segs:
            parts.append("%s order %s" % (order, ", ".join(segs)))
    if not parts:
        return None
    return ("**Labels per sample:** extra ns per label for promfmt, by step: "
            + "; ".join(parts) + ". Both orders carry the same labels and values, so the "
            "difference is what the random order costs.")


def bytes_reading(res):
    segs = []
    lens = (8, 64, 512, 4096, 21832)
    for lo, hi in zip(lens, lens[1:]):
        a, b = "value_len/%d" % lo, "value_len/%d" % hi
        m = marginal(res, "promfmt", a, b, text_kib(res, a), text_kib(res, b))
        if m is not None:
            segs.append("%.1f→%.1f KiB: %s" % (text_kib(res, a), text_kib(res, b), fmt(m)))
    if not segs:
        return None
    return ("**Label-value length:** extra ns per KiB of labels text for promfmt, by step: "
            + ", ".join(segs) + ".")


def fmt(v):
    return "{:,.0f}".format(v) if abs(v) >= 100 else "{:.1f}".format(v)


def reading(out, res):
    paragraphs = [p for p in (samples_reading(res), labels_reading(res), bytes_reading(res)) if p]
    if paragraphs:
        out.line("\n### Reading the tables\n")
        for p in paragraphs:
            out.line("- " + p)
