# SPDX-License-Identifier: MIT
"""Writes and prints a small scrape through the ctypes wrapper."""
import sys

from promfmt import GAUGE, HISTOGRAM, Buffer, PromfmtError, escape_label_value

with Buffer() as buf:
    buf.counter("jobs_done_total", "Jobs finished.", {"queue": "mail"}, 42)
    buf.gauge("temperature_celsius", "Temperature.", {"room": 'lab "B"', "floor": 2}, 21.5)
    buf.help("latency_seconds", "Request latency.")
    buf.type("latency_seconds", HISTOGRAM)
    for le, count in (("0.1", 3), ("1", 9), ("+Inf", 10)):
        buf.sample("latency_seconds_bucket", {"le": le}, count)
    buf.sample("latency_seconds_sum", None, 4.25)
    buf.sample("latency_seconds_count", None, 10)
    buf.type("up", GAUGE)
    buf.sample("up", None, 1, timestamp=1700000000000)
    try:
        buf.sample("bad-name", None, 1)
    except PromfmtError as e:
        print("refused as expected:", e, file=sys.stderr)
    text = buf.text()
print(text, end="")

want_lines = [
    "jobs_done_total{queue=\"mail\"} 42",
    "temperature_celsius{floor=\"2\",room=\"lab \\\"B\\\"\"} 21.5",
    "latency_seconds_bucket{le=\"+Inf\"} 10",
    "up 1 1700000000000",
]
assert all(line in text.splitlines() for line in want_lines), "unexpected scrape"
assert escape_label_value('a"b\\c\n') == 'a\\"b\\\\c\\n'
