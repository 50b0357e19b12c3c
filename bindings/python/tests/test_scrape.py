# SPDX-License-Identifier: MIT
"""A scrape written through the binding, served over HTTP and read back by
the Prometheus client's own parser."""
import http.server
import math
import threading
import unittest
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

import promfmt

ROOM = 'lab "B" \\ east\nwing'
SENSOR = "t\u00e9\u2192\u00fc"  # non-ASCII passes through as UTF-8
HELP_TEMP = 'Temperature, "inside".\\ second\nline'


def write_scrape(buf):
    buf.counter("jobs_done_total", 42, {"queue": "mail"}, help="Jobs finished.")
    buf.gauge("temperature_celsius", 21.5,
              {"room": ROOM, "floor": 2, "sensor": SENSOR}, help=HELP_TEMP)
    buf.help("latency_seconds", "Request latency.")
    buf.type("latency_seconds", promfmt.HISTOGRAM)
    for le, count in (("0.1", 3), ("1", 9), ("+Inf", 10)):
        buf.sample("latency_seconds_bucket", count, {"le": le})
    buf.sample("latency_seconds_sum", 4.25)
    buf.sample("latency_seconds_count", 10)
    buf.type("up", "gauge")
    buf.sample("up", 1, timestamp=1700000000000)
    buf.type("odd", promfmt.UNTYPED)
    buf.sample("odd", float("nan"), {"flag": False, "ratio": 0.5, "big": 2**70})
    buf.sample("odd", float("-inf"), {"flag": True, "ratio": 1e-7, "big": -3})


# (family name, type, help, [(sample name, labels, value, timestamp in s)])
EXPECTED = [
    ("jobs_done", "counter", "Jobs finished.",
     [("jobs_done_total", {"queue": "mail"}, 42.0, None)]),
    ("temperature_celsius", "gauge", HELP_TEMP,
     [("temperature_celsius", {"floor": "2", "room": ROOM, "sensor": SENSOR}, 21.5, None)]),
    ("latency_seconds", "histogram", "Request latency.",
     [("latency_seconds_bucket", {"le": "0.1"}, 3.0, None),
      ("latency_seconds_bucket", {"le": "1"}, 9.0, None),
      ("latency_seconds_bucket", {"le": "+Inf"}, 10.0, None),
      ("latency_seconds_sum", {}, 4.25, None),
      ("latency_seconds_count", {}, 10.0, None)]),
    ("up", "gauge", "", [("up", {}, 1.0, 1700000000.0)]),
    ("odd", "unknown", "",
     [("odd", {"big": "1180591620717411303424", "flag": "false", "ratio": "0.5"},
       math.nan, None),
      ("odd", {"big": "-3", "flag": "true", "ratio": "1e-07"}, -math.inf, None)]),
]


class ServedScrape:
    """Serves one fixed body on 127.0.0.1 (ephemeral port) until closed."""

    def __init__(self, body):
        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Type", "text/plain; version=0.0.4; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_port}/metrics"
        self.thread = threading.Thread(target=self.server.serve_forever,
                                       kwargs={"poll_interval": 0.05}, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join(5)


class ScrapeTest(unittest.TestCase):
    def test_served_scrape_reads_back_with_every_name_label_and_value(self):
        with promfmt.Buffer() as buf:
            write_scrape(buf)
            body = buf.data()
        served = ServedScrape(body)
        self.addCleanup(served.close)
        with urllib.request.urlopen(served.url, timeout=10) as response:
            self.assertEqual(response.status, 200)
            text = response.read().decode("utf-8")

        families = list(text_string_to_metric_families(text))
        self.assertEqual([f.name for f in families], [e[0] for e in EXPECTED])
        for family, (name, kind, documentation, samples) in zip(families, EXPECTED):
            with self.subTest(family=name):
                self.assertEqual(family.type, kind)
                self.assertEqual(family.documentation, documentation)
                self.assertEqual(len(family.samples), len(samples))
                for got, (sname, labels, value, ts) in zip(family.samples, samples):
                    self.assertEqual(got.name, sname)
                    self.assertEqual(got.labels, labels)
                    if math.isnan(value):
                        self.assertTrue(math.isnan(got.value), got)
                    else:
                        self.assertEqual(got.value, value)
                    self.assertEqual(got.timestamp, ts)

    def test_exact_text_of_each_call(self):
        # The parser above forgives some things (label order, spacing); the
        # bytes themselves show each argument reached its own C parameter.
        with promfmt.Buffer(16) as buf:
            buf.help("a", "x\\y")
            buf.type("a", promfmt.MetricType.SUMMARY)
            buf.sample("a", 0.1, {"z": "1", "b": 'q"'}, timestamp=7)
            buf.sample("a", 1e21, '{"k": 1.5}')
            buf.gauge("g", -2, help="")
            buf.counter("c", 3, b'{"m":"n"}', help="C.")
            self.assertEqual(buf.text(), (
                "# HELP a x\\\\y\n"
                "# TYPE a summary\n"
                'a{b="q\\"",z="1"} 0.1 7\n'
                'a{k="1.5"} 1e+21\n'
                "# TYPE g gauge\n"
                "g -2\n"
                "# HELP c C.\n"
                "# TYPE c counter\n"
                'c{m="n"} 3\n'))
            self.assertEqual(len(buf), len(buf.data()))

    def test_reset_empties_and_the_buffer_stays_usable(self):
        with promfmt.Buffer() as buf:
            write_scrape(buf)
            buf.reset()
            self.assertEqual((buf.text(), len(buf)), ("", 0))
            buf.sample("x", 1)
            self.assertEqual(buf.text(), "x 1\n")

    def test_type_codes(self):
        cases = [(promfmt.COUNTER, "counter"), (4, "summary"), ("Histogram", "histogram"),
                 (0, "untyped"), (99, "untyped"), (-1, "untyped"), (2**31 - 1, "untyped")]
        for kind, word in cases:
            with self.subTest(kind=kind), promfmt.Buffer() as buf:
                buf.type("m", kind)
                self.assertEqual(buf.text(), f"# TYPE m {word}\n")

    def test_escape_label_value(self):
        cases = [("", ""), ("plain", "plain"), ('a"b', 'a\\"b'), ("a\\b", "a\\\\b"),
                 ("a\nb", "a\\nb"), ("tab\there", "tab\there"), ("\u00e9\"", "\u00e9\\\"")]
        for raw, escaped in cases:
            with self.subTest(raw=raw):
                self.assertEqual(promfmt.escape_label_value(raw), escaped)


if __name__ == "__main__":
    unittest.main()
