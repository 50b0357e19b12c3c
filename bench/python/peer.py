# SPDX-License-Identifier: MIT
"""Python peer of promfmt's benchmark: times prometheus_client's
generate_latest() on a registry holding one custom collector that yields
pre-built gauge families (prometheus_client.metrics_core.Metric objects, one
sample per workload sample, each sample's labels a dict in the workload's
order; generate_latest sorts them itself). Only generate_latest() is timed,
with time.process_time(). Reads the workload files written by
promfmt_bench_scrape --write-workloads and prints JSON results.

usage: peer.py --dir DIR [--workloads a,b] [--max-samples N] [--min-time S]
               [--seed N] [--out FILE]
       peer.py --dir DIR --dump ID
"""
import argparse
import gc
import json
import os
import platform
import random
import sys
import time

from prometheus_client import CollectorRegistry, generate_latest
from prometheus_client.metrics_core import Metric


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


def load_registry(path):
    families, samples = [], 0
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "F":
                families.append(Metric(fields[1], fields[2], "gauge"))
            elif fields[0] == "S":
                labels = dict(zip(fields[2::2], fields[3::2]))
                families[-1].add_sample(families[-1].name, labels, float(fields[1]))
                samples += 1
    registry = CollectorRegistry(auto_describe=False)
    registry.register(Prebuilt(families))
    return registry, samples


def measure(registry, min_time):
    """Runs batches of scrapes until one batch takes min_time of CPU."""
    generate_latest(registry)
    n = 1
    while True:
        start = time.process_time()
        for _ in range(n):
            generate_latest(registry)
        spent = time.process_time() - start
        if spent >= min_time:
            return spent, n
        n *= min(10, int(1.4 * min_time / spent) + 1) if spent > 0 else 10


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
    ap.add_argument("--out")
    ap.add_argument("--dump")
    args = ap.parse_args()
    index = read_index(args.dir)

    if args.dump:
        (_, name, _), = selected(index, args.dump, 0)
        registry, _ = load_registry(os.path.join(args.dir, name))
        sys.stdout.buffer.write(generate_latest(registry))
        return

    todo = selected(index, args.workloads, args.max_samples)
    random.Random(args.seed).shuffle(todo)
    results = []
    for wid, name, _ in todo:
        registry, samples = load_registry(os.path.join(args.dir, name))
        gc.collect()
        spent, n = measure(registry, args.min_time)
        results.append({"workload": wid, "ns_per_sample": spent * 1e9 / (n * samples),
                        "iterations": n, "samples": samples})
        del registry
    report = {"writer": "python", "runtime": "CPython " + platform.python_version(),
              "results": results}
    text = json.dumps(report, indent=1) + "\n"
    if args.out:
        with open(args.out, "w") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
