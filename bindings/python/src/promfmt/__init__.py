# SPDX-License-Identifier: MIT
"""Writes metrics in the Prometheus text exposition format (0.0.4).

    import promfmt

    with promfmt.Buffer() as buf:
        buf.counter("jobs_done_total", 42, {"queue": "mail"}, help="Jobs finished.")
        buf.family("temperature_celsius", "gauge",
                   [({"room": "lab"}, 21.5), ({"room": "hall"}, 19.0)],
                   help="Temperature.")
        body = buf.data()

The package carries the library compiled into its extension module. A host
that wants its own build of the shared library names it with
promfmt.load(path), $PROMFMT_LIBRARY or Buffer(library=...): buffers are
then written through ctypes, as they are on a platform where the extension
was not built. Every refusal raises promfmt.Error.

promfmt.generate_latest(registry) renders a prometheus_client registry;
make_wsgi_app, make_asgi_app, start_http_server (start_wsgi_server) and
promfmt.aiohttp, promfmt.django and promfmt.twisted serve it as
prometheus_client's own do.
"""
from ._bridge import CONTENT_TYPE_LATEST, CONTENT_TYPE_PLAIN_0_0_4, generate_latest
from ._buffer import LibraryBuffer, MetricType
from ._errors import Error
from ._exporter import make_asgi_app, make_wsgi_app, start_http_server, start_wsgi_server
from ._library import DLL_NAME, ENV_VAR, SONAME, Library, load
from ._route import NATIVE, Buffer, escape_label_value

UNTYPED, COUNTER, GAUGE, HISTOGRAM, SUMMARY = tuple(MetricType)

__all__ = ["Buffer", "Error", "Library", "LibraryBuffer", "MetricType", "escape_label_value",
           "load", "generate_latest", "make_wsgi_app", "make_asgi_app", "start_http_server",
           "start_wsgi_server", "CONTENT_TYPE_LATEST", "CONTENT_TYPE_PLAIN_0_0_4", "NATIVE",
           "UNTYPED", "COUNTER", "GAUGE", "HISTOGRAM", "SUMMARY", "SONAME", "DLL_NAME", "ENV_VAR"]
__version__ = "1.0.0"
