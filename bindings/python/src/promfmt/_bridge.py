# SPDX-License-Identifier: MIT
"""promfmt.generate_latest: a prometheus_client registry rendered by promfmt,
in the text format (0.0.4) that prometheus_client's generate_latest writes."""
import functools

from ._buffer import MetricType
from ._route import Buffer

CONTENT_TYPE_LATEST = "text/plain; version=0.0.4; charset=utf-8"
"""The content type of what generate_latest() returns."""

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


def _write_metric(buf, metric):
    kind = metric.type
    name = metric.name + _SUFFIXES.get(kind, "")
    buf.family(name, _KINDS.get(kind, MetricType.UNTYPED), (), metric.documentation)
    held = buf._client_samples(metric.samples, _held_names(metric.name))
    if held:
        _write_held(buf, metric, held)


def generate_latest(registry=None):
    """Renders every family of a prometheus_client registry (or any object
    with a collect() method; the default is prometheus_client.REGISTRY) and
    returns the text as UTF-8 bytes, for CONTENT_TYPE_LATEST.

    A refused name or label raises promfmt.Error with the library's message.
    """
    global _last_size
    if registry is None:
        from prometheus_client import REGISTRY as registry
    with Buffer(_last_size) as buf:
        for metric in registry.collect():
            _write_metric(buf, metric)
        body = buf.data()
    _last_size = len(body) + len(body) // 8
    return body
