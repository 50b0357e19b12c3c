# SPDX-License-Identifier: MIT
"""What the buffer writes: exact text per call, the batch calls against the
per-sample ones, and a scrape read back by prometheus_client's parser."""
import math

import pytest
from prometheus_client.parser import text_string_to_metric_families

import promfmt

ROOM = 'lab "B" \\ east\nwing'
SENSOR = "t\u00e9\u2192\u00fc"  # non-ASCII passes through as UTF-8
HELP_TEMP = 'Temperature, "inside".\\ second\nline'


def write_scrape(buf):
    buf.counter("jobs_done_total", 42, {"queue": "mail"}, help="Jobs finished.")
    buf.gauge("temperature_celsius", 21.5,
              {"room": ROOM, "floor": 2, "sensor": SENSOR}, help=HELP_TEMP)
    buf.family("latency_seconds", promfmt.HISTOGRAM, [], help="Request latency.")
    buf.samples([("latency_seconds_bucket", {"le": "0.1"}, 3), ("latency_seconds_bucket",
                 {"le": "1"}, 9), ("latency_seconds_bucket", {"le": "+Inf"}, 10),
                 ("latency_seconds_sum", None, 4.25), ("latency_seconds_count", {}, 10)])
    buf.type("up", "gauge")
    buf.sample("up", 1, timestamp=1700000000000)
    buf.type("odd", promfmt.UNTYPED)
    buf.sample("odd", float("nan"), {"flag": False, "ratio": 0.5, "big": 2**70})
    buf.sample("odd", float("-inf"), [("flag", True), ("ratio", 1e-7), ("big", -3)])


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


def test_scrape_reads_back_with_every_name_label_and_value(new_buffer):
    with new_buffer() as buf:
        write_scrape(buf)
        text = buf.text()
    families = list(text_string_to_metric_families(text))
    assert [f.name for f in families] == [e[0] for e in EXPECTED]
    for family, (name, kind, documentation, samples) in zip(families, EXPECTED):
        assert (family.type, family.documentation) == (kind, documentation)
        got = [(s.name, s.labels, s.value, s.timestamp) for s in family.samples]
        assert len(got) == len(samples)
        for (gname, glabels, gvalue, gts), (name_, labels, value, ts) in zip(got, samples):
            assert (gname, glabels, gts) == (name_, labels, ts)
            assert gvalue == value or (math.isnan(value) and math.isnan(gvalue))


def test_exact_text_of_each_call(new_buffer):
    # The parser forgives some things (label order, spacing); the bytes
    # themselves show each argument reached its own C parameter.
    with new_buffer(16) as buf:
        buf.help("a", "x\\y")
        buf.type("a", promfmt.MetricType.SUMMARY)
        buf.sample("a", 0.1, {"z": "1", "b": 'q"', "c": "\t\x01\x7f"}, timestamp=7)
        buf.sample("a", 1e21, '{"k": 1.5}')
        buf.sample(name="a", value=True, labels={"f": 0.1 + 0.2, "i": -0}, timestamp=0)
        buf.gauge("g", -2, help="")
        buf.counter("c", 3, b'{"m":"n"}', help="C.")
        assert buf.text() == (
            "# HELP a x\\\\y\n"
            "# TYPE a summary\n"
            'a{b="q\\"",c="\t\x01\x7f",z="1"} 0.1 7\n'
            'a{k="1.5"} 1e+21\n'
            'a{f="0.3",i="0"} 1\n'
            "# TYPE g gauge\n"
            "g -2\n"
            "# HELP c C.\n"
            "# TYPE c counter\n"
            'c{m="n"} 3\n')
        assert len(buf) == len(buf.data())


def test_batch_calls_write_what_the_per_sample_calls_write(new_buffer):
    rows = [({"b": "2", "a": str(i)}, i * 0.5, i) for i in range(50)]
    with new_buffer() as one, new_buffer() as batch:
        one.help("f", "F.")
        one.type("f", "counter")
        for labels, value, ts in rows:
            one.sample("f", value, labels, ts)
        for labels, value, ts in rows:
            one.sample("g_" + labels["a"], value, labels)
        batch.family("f", "counter", iter(rows), help="F.")
        batch.samples(("g_" + labels["a"], labels, value) for labels, value, _ in rows)
        assert batch.data() == one.data()
        batch.family("empty", 0, [])
        assert batch.text().endswith("# TYPE empty untyped\n")


def test_reset_empties_and_the_buffer_stays_usable(new_buffer):
    with new_buffer() as buf:
        write_scrape(buf)
        buf.reset()
        assert (buf.text(), len(buf)) == ("", 0)
        buf.sample("x", 1)
        assert buf.text() == "x 1\n"


@pytest.mark.parametrize("kind,word", [
    (promfmt.COUNTER, "counter"), (4, "summary"), ("Histogram", "histogram"), (0, "untyped"),
    (99, "untyped"), (-1, "untyped"), (2**31 - 1, "untyped"), (-(2**31), "untyped")])
def test_type_codes(new_buffer, kind, word):
    with new_buffer() as buf:
        buf.type("m", kind)
        assert buf.text() == f"# TYPE m {word}\n"


@pytest.mark.parametrize("raw,escaped", [
    ("", ""), ("plain", "plain"), ('a"b', 'a\\"b'), ("a\\b", "a\\\\b"), ("a\nb", "a\\nb"),
    ("tab\there", "tab\there"), ("\u00e9\"", "\u00e9\\\"")])
def test_escape_label_value(route, raw, escaped):
    assert promfmt.escape_label_value(raw, **route) == escaped


def test_escape_label_value_refusals(route):
    with pytest.raises(promfmt.Error, match="label value contains a NUL"):
        promfmt.escape_label_value("a\0", **route)
    with pytest.raises(TypeError):
        promfmt.escape_label_value(b"a", **route)
