# SPDX-License-Identifier: MIT
"""Serving generate_latest(): a WSGI app, an ASGI app and a threaded HTTP
server, in place of prometheus_client's own."""
import threading
from socketserver import ThreadingMixIn
from urllib.parse import parse_qs
from wsgiref.simple_server import WSGIRequestHandler, WSGIServer, make_server

from ._bridge import CONTENT_TYPE_LATEST, generate_latest


def _scrape(registry, query):
    """The body for one request; ?name[]=a&name[]=b keeps only those series."""
    names = parse_qs(query).get("name[]")
    if names and registry is not None:
        registry = registry.restricted_registry(names)
    elif names:
        from prometheus_client import REGISTRY
        registry = REGISTRY.restricted_registry(names)
    return generate_latest(registry)


def make_wsgi_app(registry=None):
    """A WSGI app serving the registry (default prometheus_client.REGISTRY)."""
    def app(environ, start_response):
        body = _scrape(registry, environ.get("QUERY_STRING", ""))
        start_response("200 OK", [("Content-Type", CONTENT_TYPE_LATEST),
                                  ("Content-Length", str(len(body)))])
        return [body]
    return app


def make_asgi_app(registry=None):
    """An ASGI app serving the registry (default prometheus_client.REGISTRY)."""
    async def app(scope, receive, send):
        body = _scrape(registry, scope.get("query_string", b"").decode("latin-1"))
        await send({"type": "http.response.start", "status": 200,
                    "headers": [(b"content-type", CONTENT_TYPE_LATEST.encode()),
                                (b"content-length", str(len(body)).encode())]})
        await send({"type": "http.response.body", "body": body})
    return app


class _Server(ThreadingMixIn, WSGIServer):
    daemon_threads = True


class _QuietHandler(WSGIRequestHandler):
    def log_message(self, format, *args):
        pass


def start_http_server(port, addr="0.0.0.0", registry=None):
    """Serves the registry on addr:port from a daemon thread; returns the
    server and the thread, as prometheus_client's start_http_server does."""
    server = make_server(addr, port, make_wsgi_app(registry), _Server,
                         handler_class=_QuietHandler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    return server, thread
