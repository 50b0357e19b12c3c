# SPDX-License-Identifier: MIT
"""Integration test: the real Prometheus server scrapes the example exporter.

Starts `exporter --serve 0` and a Prometheus server on loopback ports with a
temporary config and storage directory, lets it scrape every second, then
checks through the HTTP query API that the target is up and that several
emitted series hold the emitted values. Both processes are stopped on every
path, and the whole test is bounded in time.

usage: prometheus_scrape.py EXPORTER PROMETHEUS
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

DEADLINE_SECONDS = 90
CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8"

# PromQL selector -> value the exporter writes (see examples/scrape.c).
EXPECTED = {
    'up{job="promfmt_example"}': 1,
    'http_requests_total{method="get",code="200",path="/api/v1/items"}': 1027,
    'http_requests_total{code="404",path="/api/v1/items/\\"x\\""}': 3,
    'room_temperature_celsius{room="server \\"B\\"",floor="2"}': 21.5,
    'http_request_duration_seconds_bucket{le="+Inf"}': 1123,
    'http_request_duration_seconds_sum': 53.4231,
    'gc_pause_seconds{quantile="0.99"}': 0.0031,
    'queue_depth{queue="emails"}': 0,
    'count(process_resident_memory_bytes > 1000000)': 1,
}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def query(port, expr):
    url = "http://127.0.0.1:%d/api/v1/query?%s" % (port, urllib.parse.urlencode({"query": expr}))
    with urllib.request.urlopen(url, timeout=5) as r:
        body = json.load(r)
    if body.get("status") != "success":
        raise RuntimeError("query %s failed: %s" % (expr, body))
    return [float(item["value"][1]) for item in body["data"]["result"]]


def stop(proc):
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def main():
    exporter_bin, prometheus_bin = sys.argv[1:3]
    tmp = tempfile.mkdtemp(prefix="promfmt-it-")
    exporter = server = None
    start = time.monotonic()
    try:
        exporter = subprocess.Popen([exporter_bin, "--serve", "0"], stdout=subprocess.PIPE,
                                    text=True)
        line = exporter.stdout.readline()
        if "127.0.0.1:" not in line:
            print("exporter did not start: %r" % line)
            return 1
        target = line.strip().split("//", 1)[1].split("/", 1)[0]
        print("exporter at", target)
        with urllib.request.urlopen("http://%s/metrics" % target, timeout=5) as r:
            ctype = r.headers.get("Content-Type")
            body = r.read().decode("utf-8")
        if ctype != CONTENT_TYPE or "# TYPE http_requests_total counter\n" not in body:
            print("unexpected /metrics answer: %r\n%s" % (ctype, body[:200]))
            return 1

        prom_port = free_port()
        with open(os.path.join(tmp, "prometheus.yml"), "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                    "scrape_configs:\n  - job_name: promfmt_example\n"
                    "    static_configs:\n      - targets: ['%s']\n" % target)
        log = open(os.path.join(tmp, "prometheus.log"), "w")
        server = subprocess.Popen(
            [prometheus_bin, "--config.file=" + os.path.join(tmp, "prometheus.yml"),
             "--storage.tsdb.path=" + os.path.join(tmp, "data"),
             "--web.listen-address=127.0.0.1:%d" % prom_port],
            stdout=log, stderr=subprocess.STDOUT)

        pending = dict(EXPECTED)
        last_problem = ""
        while pending and time.monotonic() - start < DEADLINE_SECONDS:
            time.sleep(1)
            if server.poll() is not None:
                print("prometheus exited early with", server.returncode)
                break
            for expr, want in list(pending.items()):
                try:
                    got = query(prom_port, expr)
                except (OSError, RuntimeError) as e:
                    last_problem = str(e)
                    break
                if got == [want]:
                    print("ok   %s = %s" % (expr, want))
                    del pending[expr]
                else:
                    last_problem = "%s: want [%s], got %s" % (expr, want, got)
        if not pending:
            scrapes = query(prom_port, 'exporter_scrapes_total{job="promfmt_example"}')
            print("ok   exporter_scrapes_total = %s after %.1f s"
                  % (scrapes, time.monotonic() - start))
            return 0
        print("not seen in time: %s (last: %s)" % (sorted(pending), last_problem))
        log.flush()
        with open(os.path.join(tmp, "prometheus.log")) as f:
            print("---- prometheus log (tail)\n" + "".join(f.readlines()[-20:]))
        return 1
    finally:
        stop(server)
        stop(exporter)
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
