# SPDX-License-Identifier: MIT
"""Soak: many scrapes through one reused buffer (on each route) and through
generate_latest over a prometheus_client registry, with the process's
resident memory and open descriptors flat after a warm-up tenth. Refused
calls are mixed in. $PROMFMT_SOAK_SCRAPES sets the number of scrapes
(default 20000); each run prints its figures. Skipped under ASan, whose
quarantine holds freed memory on purpose."""
import gc
import os

import pytest

import promfmt

SCRAPES = int(os.environ.get("PROMFMT_SOAK_SCRAPES", "20000"))
# Room for the allocators' own noise, far below what a leak per scrape adds.
ALLOWED_GROWTH_KB = 2048

pytestmark = pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                                reason="ASan's quarantine keeps freed memory")


def rss_kb():
    gc.collect()
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS")


def open_fds():
    return len(os.listdir("/proc/self/fd"))


def soak(what, scrape, scrapes=SCRAPES):
    warm = scrapes // 10
    for i in range(warm):
        scrape(i)
    rss, fds = rss_kb(), open_fds()
    for i in range(warm, scrapes):
        scrape(i)
    rss_end, fds_end = rss_kb(), open_fds()
    print(f"soak {what}: {scrapes} scrapes, RSS {rss} kB after {warm}, {rss_end} kB at the end; "
          f"fds {fds} -> {fds_end}")
    assert rss_end <= rss + ALLOWED_GROWTH_KB, f"{what}: RSS grew from {rss} to {rss_end} kB"
    assert fds_end == fds, f"{what}: open descriptors"


def write_scrape(buf, i):
    code = str(i % 7)
    buf.help("soak_requests_total", 'Requests, per "code".')
    buf.type("soak_requests_total", "counter")
    buf.samples([("soak_requests_total", {"path": path, "code": code}, i)
                 for path in ("/", '/a"b', "/c\\d\n")])
    buf.gauge("soak_queue_length", 0.5, [("queue", "mail"), ("host", "a\tb")], help="Jobs.")
    buf.sample("soak_json", 1e21, '{"le":"+Inf","x":1}', i)
    for bad in (("soak bad name", None), ("soak_dup", [("a", "1"), ("a", "2")]),
                ("soak_lone", {"a": "\ud800"}), ("soak_nul", {"a\0": "1"})):
        with pytest.raises(promfmt.Error):
            buf.sample(bad[0], 1, bad[1])
    return buf.data()


def test_reused_buffer_stays_flat(route):
    buf = promfmt.Buffer(**route)
    last = []

    def scrape(i):
        buf.reset()
        last[:] = [write_scrape(buf, i)]
    soak("reused buffer, " + ("ctypes" if route else "extension"), scrape)
    assert write_scrape(promfmt.Buffer(**route), SCRAPES - 1) == last[0]


def test_generate_latest_stays_flat():
    prometheus_client = pytest.importorskip("prometheus_client")
    registry = prometheus_client.CollectorRegistry()
    requests = prometheus_client.Counter("soak_requests", "Requests.", ["path", "code"],
                                         registry=registry)
    latency = prometheus_client.Histogram("soak_latency_seconds", "Latency.", registry=registry)
    queue = prometheus_client.Gauge("soak_queue", 'Jobs "waiting".', ["queue"], registry=registry)
    prometheus_client.Info("soak_build", "Build.", registry=registry).info({"version": "1\n2"})

    def scrape(i):
        requests.labels(path='/a"b', code=str(i % 5)).inc()
        latency.observe(i % 13 / 10)
        queue.labels(queue="mail\\").set(i)
        body = promfmt.generate_latest(registry)
        assert body.startswith(b"# HELP soak_requests_total Requests.")
    soak("generate_latest", scrape)
