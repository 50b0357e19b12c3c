# SPDX-License-Identifier: MIT
"""Writes metrics in the Prometheus text exposition format (0.0.4).

    import promfmt

    with promfmt.Buffer() as buf:
        buf.counter("jobs_done_total", 42, {"queue": "mail"}, help="Jobs finished.")
        buf.gauge("temperature_celsius", 21.5, {"room": "lab"})
        body = buf.data()

The shared library is found by the path given to promfmt.load(), else by
the file named in $PROMFMT_LIBRARY (which must exist when set), else by its
SONAME through the system's loader. Every refusal raises promfmt.Error.
"""
from ._buffer import Buffer, MetricType, escape_label_value
from ._errors import Error
from ._library import DLL_NAME, ENV_VAR, SONAME, Library, load

UNTYPED, COUNTER, GAUGE, HISTOGRAM, SUMMARY = tuple(MetricType)

__all__ = ["Buffer", "Error", "Library", "MetricType", "escape_label_value", "load",
           "UNTYPED", "COUNTER", "GAUGE", "HISTOGRAM", "SUMMARY",
           "SONAME", "DLL_NAME", "ENV_VAR"]
__version__ = "1.0.0"
