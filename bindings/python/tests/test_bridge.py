# SPDX-License-Identifier: MIT
"""promfmt.generate_latest against prometheus_client's own: both outputs read
back by prometheus_client's parser give the same families and samples."""
import asyncio
import urllib.request

import pytest
from prometheus_client import (CollectorRegistry, Counter, Enum, Gauge, Histogram, Info,
                               Summary, generate_latest)
from prometheus_client.core import (CounterMetricFamily, GaugeHistogramMetricFamily,
                                    GaugeMetricFamily, Metric)
from prometheus_client.parser import text_string_to_metric_families

import promfmt


def _number(value):
    rounded = float("%.14g" % value)
    return rounded if rounded == rounded else "NaN"  # NaN equal to NaN


def families(text):
    """Families as comparable values: labels sorted, values to 14 significant digits."""
    out = []
    for f in text_string_to_metric_families(text.decode("utf-8")):
        samples = [(s.name, tuple(sorted(s.labels.items())), _number(s.value), s.timestamp)
                   for s in f.samples]
        out.append((f.name, f.type, f.documentation, samples))
    return out


class Custom:
    """A custom collector: untyped, a gauge histogram, timestamps, exact integers."""

    def collect(self):
        odd = Metric("legacy_thing", 'Help with \\ and\nnewline and "quotes".', "unknown")
        odd.add_sample("legacy_thing", {"b": "2", "a": 'x"\\\ny'}, 12345678901234.0)
        odd.add_sample("legacy_thing", {"b": "1", "a": "\u00e9\u2192"}, 1 / 3)
        yield odd
        hist = GaugeHistogramMetricFamily("queue_size", "Queue sizes.", labels=["q"])
        hist.add_metric(["mail"], [("1", 2.0), ("+Inf", 5.0)], gsum_value=7.5)
        yield hist
        stamped = GaugeMetricFamily("stamped", "With timestamps.", labels=["k"])
        stamped.add_metric(["a"], 1.5, timestamp=1700000000.123)
        stamped.add_metric(["b"], -0.0, timestamp=1700000001)
        yield stamped
        created = CounterMetricFamily("events", "Events.", labels=["kind"], created=1600000000.5)
        created.add_metric(["x"], 2**53, created=1600000000.25)
        yield created


def registry_of_every_kind():
    reg = CollectorRegistry()
    Counter("requests", "Requests served.", ["method", "code"], registry=reg) \
        .labels("GET", "200").inc(3)
    g = Gauge("temperature_celsius", "Temperature.", ["room"], registry=reg)
    g.labels("lab").set(21.5)
    g.labels('odd "room"\n').set(-1e-300)
    h = Histogram("latency_seconds", "Latency.", buckets=(0.1, 1, 10), registry=reg)
    for v in (0.05, 0.5, 5, 50):
        h.observe(v)
    s = Summary("payload_bytes", "Payload sizes.", ["route"], registry=reg)
    s.labels("/").observe(512)
    Info("build", "Build facts.", registry=reg).info({"version": "1.2.3", "commit": "abc"})
    Enum("state", "Task state.", states=["idle", "busy"], registry=reg).state("busy")
    Gauge("empty_help", "", registry=reg).set(1)
    reg.register(Custom())
    return reg


def test_every_kind_reads_back_as_prometheus_client_writes_it(route):
    reg = registry_of_every_kind()
    ours, theirs = promfmt.generate_latest(reg), generate_latest(reg)
    assert families(ours) == families(theirs)
    assert len(families(ours)) == 17
    if route:  # the same text on the ctypes route
        promfmt.load(route["library"].name)
        assert promfmt.generate_latest(reg) == ours


@pytest.fixture(autouse=True)
def forget_loaded_library(monkeypatch):
    monkeypatch.setattr(promfmt._library, "_loaded", False)
    monkeypatch.setattr(promfmt._library, "_default", None)


def test_a_large_registry_reads_back_the_same():
    reg = CollectorRegistry()
    for f in range(50):
        g = Gauge(f"g_{f}", f"Gauge {f}.", ["instance", "zone"], registry=reg)
        for s in range(20):
            g.labels(f"host-{s}", f"z{s % 3}").set(f * 1000.0 + s / 7)
    assert families(promfmt.generate_latest(reg)) == families(generate_latest(reg))


def registry_of(name="m", labels=(), value=1.0, ts=None):
    """A registry of one custom gauge with one sample, made afresh per collect()."""
    class One:
        def collect(self):
            metric = Metric(name, "Help.", "gauge")
            metric.add_sample(name, dict(labels), value, ts)
            yield metric
    reg = CollectorRegistry()
    reg.register(One())
    return reg


def outcome(write, reg):
    """What a writer makes of a registry: its families, or its exception's type and args."""
    try:
        return families(write(reg))
    except Exception as e:
        return type(e), e.args


@pytest.mark.parametrize("case", [
    dict(value="1.5"), dict(value="x"), dict(value=None), dict(value=10**400),
    dict(value=object()), dict(value=float("nan")), dict(value=2**70),
    dict(ts="12.5"), dict(ts="x"), dict(ts=float("inf")), dict(ts=float("nan")), dict(ts=0.0015),
    dict(name="my.requests"), dict(name="temp\u00e9rature"), dict(name="1st"), dict(name=""),
    dict(labels={"k8s.pod": "a", "ok": "b"}), dict(labels={"a-b": "\u2192"}),
    dict(labels={"a": None}), dict(labels={"a": 3}), dict(labels={"a": True}),
    dict(labels={"a": b"x"}), dict(labels={"a": "x", "b": 1.5}),
    dict(value="x", ts="y", labels={"a": None}), dict(value="x", ts="y"),
], ids=repr)
def test_values_timestamps_and_names_as_prometheus_client_takes_them(case):
    assert outcome(promfmt.generate_latest, registry_of(**case)) == \
        outcome(generate_latest, registry_of(**case))


@pytest.mark.parametrize("case, message", [
    (dict(labels={"__name__": "x"}), "invalid label name in JSON"),
    (dict(labels={"a": "x\0y"}), "label 'a': value contains a NUL character"),
    (dict(ts=1e300), "is out of range"),
])
def test_what_promfmt_refuses_on_purpose_raises_error_with_the_metric(case, message):
    with pytest.raises(promfmt.Error, match=message) as caught:
        promfmt.generate_latest(registry_of(**case))
    assert isinstance(caught.value.args[-1], Metric)


def test_one_odd_name_leaves_the_rest_of_the_scrape_as_it_was():
    reg = registry_of_every_kind()
    reg.register(type("Odd", (), {"collect": lambda self: [GaugeMetricFamily("a.b", "", 1)]})())
    assert families(promfmt.generate_latest(reg)) == families(generate_latest(reg))


def test_served_by_the_http_server_and_the_asgi_app():
    reg = CollectorRegistry()
    Gauge("up", "Up.", registry=reg).set(1)
    Gauge("other", "Other.", registry=reg).set(2)
    server, thread = promfmt.start_http_server(0, "127.0.0.1", registry=reg)
    try:
        url = f"http://127.0.0.1:{server.server_port}/metrics"
        with urllib.request.urlopen(url, timeout=10) as response:
            assert response.headers["Content-Type"] == promfmt.CONTENT_TYPE_LATEST
            assert response.read() == promfmt.generate_latest(reg)
        with urllib.request.urlopen(url + "?name[]=up", timeout=10) as response:
            assert [f.name for f in text_string_to_metric_families(
                response.read().decode())] == ["up"]
    finally:
        server.shutdown()
        server.server_close()
        thread.join(5)

    sent = []

    async def receive():
        return {"type": "http.request"}

    async def send(message):
        sent.append(message)
    scope = {"type": "http", "query_string": b"", "headers": []}
    asyncio.run(promfmt.make_asgi_app(reg)(scope, receive, send))
    assert sent[0]["status"] == 200
    assert sent[0]["headers"] == [(b"Content-Type", promfmt.CONTENT_TYPE_LATEST.encode())]
    assert sent[1]["body"] == promfmt.generate_latest(reg)
