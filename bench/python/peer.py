# SPDX-License-Identifier: MIT
"""Python peer of promfmt's benchmark. In one process, each workload in turn
and the writers in a shuffled order, it times with time.process_time():

  python                prometheus_client's generate_latest() on a registry
                        holding one custom collector that yields pre-built
                        gauge families (Metric objects, each sample's labels
                        a dict in the workload's order);
  python_promfmt        promfmt's per-sample calls (help, type, sample) over
                        the same Python objects, into a reused buffer;
  python_promfmt_batch  promfmt's batch call, one family() per family;
and, on the standard scrape:
  python_registry       generate_latest() on a registry of Gauges with one
                        child per sample, collect() included;
  python_bridge         promfmt.generate_latest() on that registry;
  python_collect        that registry's collect() alone.

Reads the workload files written by promfmt_bench_scrape --write-workloads
and writes one JSON file per writer: PREFIX + WRITER + ".json".

usage: peer.py --dir DIR [--workloads a,b] [--max-samples N] [--min-time S]
               [--seed N] --out-prefix PREFIX
       peer.py --dir DIR --dump ID [--writer python|python_promfmt|python_bridge]
"""
import argparse
import gc
import importlib.metadata
import json
import os
import platform
import random
import sys
import time

from prometheus_client import CollectorRegistry, Gauge, generate_latest
from prometheus_client.metrics_core import Metric

import promfmt


class Prebuilt:
    """A collector that hands over the same families at every scrape."""

    def __init__(self, families):
        self.families = families

    def collect(self):
        return self.families


def read_index(directory):
    with open(os.path.join(directory, "index.txt")) as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    return [(wid, name, int(samples)) for wid, name, samples in rows]


def load_families(path):
    """[(name, help, [(labels dict, value)])] in the file's order."""
    families = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "F":
                families.append((fields[1], fields[2], []))
            elif fields[0] == "S":
                families[-1][2].append((dict(zip(fields[2::2], fields[3::2])), float(fields[1])))
    return families


def prebuilt_registry(families):
    metrics = []
    for name, help_text, rows in families:
        metric = Metric(name, help_text, "gauge")
        for labels, value in rows:
            metric.add_sample(name, labels, value)
        metrics.append(metric)
    registry = CollectorRegistry(auto_describe=False)
    registry.register(Prebuilt(metrics))
    return registry


def gauge_registry(families):
    """A registry of Gauges, or None when label names differ within a family."""
    registry = CollectorRegistry(auto_describe=False)
    for name, help_text, rows in families:
        names = list(rows[0][0]) if rows else []
        if any(list(labels) != names for labels, _ in rows):
            return None
        gauge = Gauge(name, help_text, names, registry=registry)
        for labels, value in rows:
            (gauge.labels(*labels.values()) if names else gauge).set(value)
    return registry


def per_sample(buf, families):
    buf.reset()
    for name, help_text, rows in families:
        buf.help(name, help_text)
        buf.type(name, promfmt.GAUGE)
        for labels, value in rows:
            buf.sample(name, value, labels)


def batch(buf, families):
    buf.reset()
    for name, help_text, rows in families:
        buf.family(name, promfmt.GAUGE, rows, help_text)


def drain(metrics):
    """Walks collect()'s families one at a time, as a renderer does; a list
    of all of them would add the cost of keeping them alive together."""
    for _ in metrics:
        pass


def writers(wid, families):
    """{writer: function doing one scrape} for one workload."""
    buf = promfmt.Buffer()
    prebuilt = prebuilt_registry(families)
    todo = {"python": lambda: generate_latest(prebuilt),
            "python_promfmt": lambda: per_sample(buf, families),
            "python_promfmt_batch": lambda: batch(buf, families)}
    gauges = gauge_registry(families) if wid == "standard" else None
    if gauges is not None:
        todo.update({"python_registry": lambda: generate_latest(gauges),
                     "python_bridge": lambda: promfmt.generate_latest(gauges),
                     "python_collect": lambda: drain(gauges.collect())})
    return todo


def measure(scrape, min_time):
    """Runs batches of scrapes until one batch takes min_time of CPU."""
    scrape()
    n = 1
    while True:
        start = time.process_time()
        for _ in range(n):
            scrape()
        spent = time.process_time() - start
        if spent >= min_time:
            return spent, n
        n *= min(10, int(1.4 * min_time / spent) + 1) if spent > 0 else 10


def dump(families, writer):
    if writer == "python_promfmt":
        with promfmt.Buffer() as buf:
            per_sample(buf, families)
            return buf.data()
    if writer == "python_bridge":
        registry = gauge_registry(families)
        if registry is None:
            sys.exit("peer.py: the workload's families differ in label names")
        return promfmt.generate_latest(registry)
    return generate_latest(prebuilt_registry(families))


def selected(index, names, max_samples):
    if not names:
        return [w for w in index if w[0] != "check" and (not max_samples or w[2] <= max_samples)]
    by_id = {w[0]: w for w in index}
    missing = [n for n in names.split(",") if n not in by_id]
    if missing:
        sys.exit("peer.py: no workload " + ", ".join(missing))
    return [by_id[n] for n in names.split(",")]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--dir", required=True)
    ap.add_argument("--workloads", default="")
    ap.add_argument("--max-samples", type=int, default=0)
    ap.add_argument("--min-time", type=float, default=0.1)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out-prefix")
    ap.add_argument("--dump")
    ap.add_argument("--writer", default="python")
    args = ap.parse_args()
    index = read_index(args.dir)

    if args.dump:
        (_, name, _), = selected(index, args.dump, 0)
        sys.stdout.buffer.write(dump(load_families(os.path.join(args.dir, name)), args.writer))
        return

    todo = selected(index, args.workloads, args.max_samples)
    rng = random.Random(args.seed)
    rng.shuffle(todo)
    results = {}
    for wid, name, samples in todo:
        scrapes = list(writers(wid, load_families(os.path.join(args.dir, name))).items())
        rng.shuffle(scrapes)
        for writer, scrape in scrapes:
            gc.collect()
            spent, n = measure(scrape, args.min_time)
            results.setdefault(writer, []).append(
                {"workload": wid, "ns_per_sample": spent * 1e9 / (n * samples),
                 "iterations": n, "samples": samples})
    runtime = "CPython %s, prometheus_client %s, promfmt %s (%s route)" % (
        platform.python_version(), importlib.metadata.version("prometheus_client"),
        promfmt.__version__, "compiled" if promfmt.NATIVE else "ctypes")
    for writer, rows in results.items():
        with open(args.out_prefix + writer + ".json", "w") as f:
            json.dump({"writer": writer, "runtime": runtime, "results": rows}, f, indent=1)
            f.write("\n")


if __name__ == "__main__":
    main()
