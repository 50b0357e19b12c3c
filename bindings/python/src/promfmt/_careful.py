# SPDX-License-Identifier: MIT
"""The careful way through a prometheus_client metric, taken when the fast
one refuses something: every value through float(), every timestamp read as
int(float(ts) * 1000), names outside [a-zA-Z_:][a-zA-Z0-9_:]* rewritten with
underscores, each as prometheus_client's generate_latest does for this text.
What prometheus_client refuses raises its exception, with the metric added
to the exception's args as it adds it."""
from prometheus_client.exposition import generate_latest as their_generate_latest
from prometheus_client.openmetrics.exposition import escape_label_name, escape_metric_name

from ._buffer import MetricType

__all__ = ["their_generate_latest", "write_metric"]


def _label_value(value):
    # prometheus_client escapes label values with str.replace: what is not
    # a str raises what that call raises (AttributeError for None or a number).
    if not isinstance(value, str):
        value.replace("\\", r"\\")
        raise TypeError(f"a label value must be a str, not {type(value).__name__}")
    return value


def _labels(labels):
    return {escape_label_name(k): _label_value(v) for k, v in labels.items()}


def _row(sample):
    """A buf.samples() row: the timestamp in whole milliseconds. Labels,
    timestamp and value are converted in prometheus_client's order, so a
    sample with two faults raises the error it raises."""
    labels = _labels(sample.labels)
    ts = None if sample.timestamp is None else int(float(sample.timestamp) * 1000)
    return escape_metric_name(sample.name), labels, float(sample.value), ts


def write_metric(buf, metric, name, kind, held_suffixes):
    """Writes one metric's family (as `name` of `kind`) and then each held
    suffix's gauge family, after converting every sample."""
    try:
        main, held = [], {}
        for sample in metric.samples:
            suffix = next((s for s in held_suffixes if sample.name == metric.name + s), None)
            (held.setdefault(suffix, []) if suffix else main).append(_row(sample))
        buf.family(escape_metric_name(name), kind, (), metric.documentation)
        buf.samples(main)
    except Exception as exception:
        exception.args = (exception.args or ("",)) + (metric,)
        raise
    for suffix in held_suffixes:
        if suffix in held:
            buf.family(escape_metric_name(metric.name + suffix), MetricType.GAUGE, (),
                       metric.documentation)
            buf.samples(held[suffix])
