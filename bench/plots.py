# SPDX-License-Identifier: MIT
"""Draws the benchmark's plots (medians over the rounds, bars from min to
max): labels per sample in both orders, label-value length, sample count.
Needs python3-matplotlib."""
import os
import statistics

WRITER_STYLE = [("promfmt", "promfmt", "C0"), ("floor", "floor", "C7"),
                ("naive", "naive writer", "C1"), ("go", "Go expfmt", "C2"),
                ("prometheus_cpp", "prometheus-cpp", "C3"), ("python", "Python client", "C4")]


def series(res, writer, workloads):
    xs, meds, lows, highs = [], [], [], []
    for x, wl in workloads:
        v = res.values(writer, wl)
        if v:
            m = statistics.median(v)
            xs.append(x)
            meds.append(m)
            lows.append(m - min(v))
            highs.append(max(v) - m)
    return xs, meds, [lows, highs]


def panel(ax, res, workloads, title, xlabel, writers=None):
    for writer, label, colour in WRITER_STYLE:
        if writers and writer not in writers:
            continue
        xs, meds, err = series(res, writer, workloads)
        if xs:
            ax.errorbar(xs, meds, yerr=err, marker="o", ms=4, capsize=3, label=label, color=colour)
    ax.set_title(title)
    ax.set_xlabel(xlabel)
    ax.set_ylabel("CPU ns per sample")
    ax.grid(True, which="both", alpha=0.3)


def draw(res, directory):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    os.makedirs(directory, exist_ok=True)
    paths = []

    fig, axes = plt.subplots(1, 2, figsize=(11, 4.5), sharey=True)
    for ax, order in zip(axes, ("fixed", "random")):
        wls = [(n, "labels_%s/%d" % (order, n)) for n in (0, 1, 3, 10, 64, 256)]
        panel(ax, res, wls, "labels in %s order" % order, "labels per sample")
        ax.set_xscale("symlog", linthresh=1)
        ax.set_yscale("log")
    axes[0].legend()
    paths.append(save(fig, directory, "labels-per-sample.png"))

    fig, ax = plt.subplots(figsize=(7, 4.5))
    wls = [(res.promfmt.get("value_len/%d" % n, {}).get("labels_text_max", n * 3),
            "value_len/%d" % n) for n in (8, 64, 512, 4096, 21832)]
    panel(ax, res, wls, "3 labels, longer and longer values", "labels text bytes")
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.legend()
    paths.append(save(fig, directory, "value-length.png"))

    fig, ax = plt.subplots(figsize=(7, 4.5))
    wls = [(n, "samples/%d" % n) for n in (10, 100, 1000, 10000, 100000, 1000000)]
    panel(ax, res, wls, "samples per scrape (3 labels; slower peers in the table)",
          "samples per scrape", writers=("promfmt", "floor", "naive", "go"))
    ax.set_xscale("log")
    ax.set_ylim(bottom=0)
    ax.legend()
    paths.append(save(fig, directory, "sample-count.png"))
    return paths


def save(fig, directory, name):
    import matplotlib.pyplot as plt
    path = os.path.join(directory, name)
    fig.tight_layout()
    fig.savefig(path, dpi=100)
    plt.close(fig)
    return path
