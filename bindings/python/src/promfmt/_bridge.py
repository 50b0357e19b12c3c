# SPDX-License-Identifier: MIT
"""promfmt.generate_latest: a prometheus_client registry rendered by promfmt,
in the text format (0.0.4) that prometheus_client's generate_latest writes."""
import functools
import itertools

from ._buffer import MetricType
from ._route import Buffer

CONTENT_TYPE_PLAIN_0_0_4 = "text/plain; version=0.0.4; charset=utf-8"
CONTENT_TYPE_LATEST = CONTENT_TYPE_PLAIN_0_0_4
"""The content type of what generate_latest() returns (prometheus_client 0.26
names its 1.0.0 text so; promfmt writes the 0.0.4 text)."""

# prometheus_client's kinds as the text format names them, and the suffix
# its families' names get there.
_KINDS = {"counter": MetricType.COUNTER, "gauge": MetricType.GAUGE,
          "histogram": MetricType.HISTOGRAM, "summary": MetricType.SUMMARY,
          "info": MetricType.GAUGE, "stateset": MetricType.GAUGE,
          "gaugehistogram": MetricType.HISTOGRAM}
_SUFFIXES = {"counter": "_total", "info": "_info"}
# Samples the text format has no place for in their family: each goes into
# a gauge family of its own after it, as prometheus_client does.
_HELD = ("_created", "_gcount", "_gsum")

_last_size = 0


@functools.lru_cache(maxsize=4096)
def _held_names(name):
    return frozenset(name + suffix for suffix in _HELD)


def _write_held(buf, metric, held):
    for suffix in _HELD:
        name = metric.name + suffix
        group = [s for s in held if s[0] == name]
        if group:
            buf.family(name, MetricType.GAUGE, (), metric.documentation)
            buf._client_samples(group, None)


def _family(metric):
    kind = metric.type
    return metric.name + _SUFFIXES.get(kind, ""), _KINDS.get(kind, MetricType.UNTYPED)


def _write_metric(buf, metric):
    name, kind = _family(metric)
    buf.family(name, kind, (), metric.documentation)
    held = buf._client_samples(metric.samples, _held_names(metric.name))
    if held:
        _write_held(buf, metric, held)


def _fast(buf, metrics):
    """Writes the metrics as they come. Returns the first one that needs the
    careful way (or None) and the length of the text written before it."""
    for metric in metrics:
        mark = len(buf)
        try:
            _write_metric(buf, metric)
        except Exception:
            return metric, mark
    return None, len(buf)


def _careful_text(metrics):
    from . import _careful  # imports prometheus_client
    with Buffer(_last_size) as buf:
        for metric in metrics:
            _careful.write_metric(buf, metric, *_family(metric), _HELD)
        return buf.data()


def generate_latest(registry=None, escaping="underscores"):
    """Renders every family of a prometheus_client registry (or any object
    with a collect() method; the default is prometheus_client.REGISTRY) and
    returns the 0.0.4 text as UTF-8 bytes, for CONTENT_TYPE_PLAIN_0_0_4.

    Values, timestamps and names are taken as prometheus_client's
    generate_latest takes them; what it refuses raises its exception. Any
    other escaping than "underscores" is written by prometheus_client.
    """
    global _last_size
    if registry is None:
        from prometheus_client import REGISTRY as registry
    if escaping != "underscores":
        from ._careful import their_generate_latest
        return their_generate_latest(registry, escaping)
    metrics = iter(registry.collect())
    with Buffer(_last_size) as buf:
        refused, mark = _fast(buf, metrics)
        body = buf.data()
    if refused is not None:  # the text before it kept; it and the rest the careful way
        body = body[:mark] + _careful_text(itertools.chain((refused,), metrics))
    _last_size = len(body) + len(body) // 8
    return body
