# SPDX-License-Identifier: MIT
"""Load test of the example exporter on loopback.

Starts `exporter --serve 0`, warms it up, then sends requests from 8
concurrent clients, first on kept-alive connections, then with a new
connection per request ("Connection: close"). Every answer must be 200 with
the exposition format's content type, and every body must parse with the
Python client's parser. The exporter's resident memory (VmRSS) after the
warm-up and at the end must stay within a small bound: it reuses one buffer,
so serving more scrapes must not cost more memory. Prints requests/s of
both modes (client-bound: the figures are for information, nothing checks
them) and the memory figures. The exporter is stopped on every path.

usage: exporter_load.py EXPORTER [REQUESTS_PER_MODE]
"""
import http.client
import subprocess
import sys
import threading
import time

from prometheus_client.parser import text_string_to_metric_families

CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8"
CLIENTS = 8
WARMUP_PER_CLIENT = 25
RSS_GROWTH_LIMIT_KB = 1024
DEADLINE_SECONDS = 120


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS for pid %d" % pid)


def client(port, count, keep_alive, bodies, problems):
    """Sends count requests; keeps bodies and problems (lists are
    thread-safe for append)."""
    headers = {} if keep_alive else {"Connection": "close"}
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    try:
        for _ in range(count):
            if not keep_alive:
                conn.close()
            conn.request("GET", "/metrics", headers=headers)
            res = conn.getresponse()
            body = res.read()
            ctype = res.getheader("Content-Type")
            if res.status != 200 or ctype != CONTENT_TYPE:
                problems.append("status %d, content type %r" % (res.status, ctype))
            bodies.append(body)
    except (OSError, http.client.HTTPException) as e:
        problems.append("request failed: %r" % e)
    finally:
        conn.close()


def run_mode(port, per_client, keep_alive):
    """Runs the clients at once; returns (bodies, problems, seconds)."""
    bodies, problems = [], []
    threads = [threading.Thread(target=client,
                                args=(port, per_client, keep_alive, bodies, problems))
               for _ in range(CLIENTS)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join(DEADLINE_SECONDS)
    seconds = time.monotonic() - start
    if any(t.is_alive() for t in threads):
        problems.append("clients still running after %d s" % DEADLINE_SECONDS)
    return bodies, problems, seconds


def parse_problems(bodies):
    """Bodies the Python client's parser refuses, or that lack a family."""
    problems = []
    for body in bodies:
        try:
            names = {f.name for f in text_string_to_metric_families(body.decode("utf-8"))}
        except Exception as e:  # the parser raises several types
            problems.append("parser refused a body: %r" % e)
            continue
        if "http_requests" not in names or "process_resident_memory_bytes" not in names:
            problems.append("body lacks families: %s" % sorted(names))
    return problems


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def main():
    exporter_bin = sys.argv[1]
    per_mode = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    per_client = max(1, per_mode // CLIENTS)
    exporter = subprocess.Popen([exporter_bin, "--serve", "0"], stdout=subprocess.PIPE,
                                text=True)
    try:
        line = exporter.stdout.readline()
        if "127.0.0.1:" not in line:
            print("FAIL exporter did not start: %r" % line)
            return 1
        port = int(line.split("127.0.0.1:", 1)[1].split("/", 1)[0])

        problems = []
        for keep_alive in (True, False):
            problems += run_mode(port, WARMUP_PER_CLIENT, keep_alive)[1]
        rss_before = rss_kb(exporter.pid)

        for keep_alive, label in ((True, "keep-alive"), (False, "connection per request")):
            bodies, mode_problems, seconds = run_mode(port, per_client, keep_alive)
            problems += mode_problems
            if len(bodies) != per_client * CLIENTS:
                problems.append("%s: %d answers to %d requests"
                                % (label, len(bodies), per_client * CLIENTS))
            problems += parse_problems(bodies)
            print("%-23s %5d requests, %d clients: %7.0f requests/s (Python clients)"
                  % (label, len(bodies), CLIENTS, len(bodies) / seconds))
        rss_after = rss_kb(exporter.pid)
        growth = rss_after - rss_before
        print("exporter VmRSS after warm-up %d kB, at the end %d kB (%+d kB, limit %d kB)"
              % (rss_before, rss_after, growth, RSS_GROWTH_LIMIT_KB))
        if growth > RSS_GROWTH_LIMIT_KB:
            problems.append("resident memory grew by %d kB" % growth)
        if exporter.poll() is not None:
            problems.append("exporter exited with %d" % exporter.returncode)

        for problem in sorted(set(problems)):
            print("FAIL", problem)
        return 1 if problems else 0
    finally:
        stop(exporter)


if __name__ == "__main__":
    sys.exit(main())
