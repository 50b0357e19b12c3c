# SPDX-License-Identifier: MIT
"""Serving generate_latest(): a WSGI app, an ASGI app and a threaded HTTP
server, in place of prometheus_client's own and answering as they answer
(gzip when accepted, 405 with Allow, an empty favicon, ?name[]=...)."""
import gzip
import socket
import ssl
import threading
from socketserver import ThreadingMixIn
from urllib.parse import parse_qs
from wsgiref.simple_server import WSGIRequestHandler, WSGIServer, make_server

from ._bridge import CONTENT_TYPE_PLAIN_0_0_4, generate_latest

_ALLOW = [("Allow", "OPTIONS,GET")]


def _default(registry):
    if registry is None:
        from prometheus_client import REGISTRY
        return REGISTRY
    return registry


def choose_encoder(accept_header):
    """(encoder, content type) for an Accept header: the 0.0.4 text by promfmt
    whenever prometheus_client would answer it or the client takes text/plain
    at all; prometheus_client's own writer only for a client that takes
    OpenMetrics and nothing else (or text/plain only in a version >= 1.0.0
    while listing nothing else)."""
    from prometheus_client.exposition import choose_encoder as theirs
    accepted = {part.split(";")[0].strip() for part in (accept_header or "").split(",")}
    if accepted & {"text/plain", "text/*", "*/*"}:
        return generate_latest, CONTENT_TYPE_PLAIN_0_0_4
    encoder, content_type = theirs(accept_header)
    if content_type == CONTENT_TYPE_PLAIN_0_0_4:
        return generate_latest, content_type
    return encoder, content_type


def gzip_accepted(accept_encoding_header):
    return any(part.split(";")[0].strip().lower() == "gzip"
               for part in (accept_encoding_header or "").split(","))


def _bake_output(registry, accept_header, accept_encoding_header, params, disable_compression):
    """(status, headers, body) for a GET, as prometheus_client bakes them."""
    encoder, content_type = choose_encoder(accept_header)
    if "name[]" in params:
        registry = registry.restricted_registry(params["name[]"])
    output = encoder(registry)
    headers = [("Content-Type", content_type)]
    if not disable_compression and gzip_accepted(accept_encoding_header):
        output = gzip.compress(output)
        headers.append(("Content-Encoding", "gzip"))
    return "200 OK", headers, output


def _answer(method, path, registry, accept, accept_encoding, query, disable_compression):
    if method == "OPTIONS":
        return "200 OK", list(_ALLOW), b""
    if method != "GET":
        status = "405 Method Not Allowed"
        return status, list(_ALLOW), f"# HTTP {status}: {method}; use OPTIONS or GET\n".encode()
    if path == "/favicon.ico":
        return "200 OK", [], b""
    return _bake_output(_default(registry), accept, accept_encoding, parse_qs(query),
                        disable_compression)


def make_wsgi_app(registry=None, disable_compression=False):
    """A WSGI app serving the registry (default prometheus_client.REGISTRY)."""
    def prometheus_app(environ, start_response):
        status, headers, output = _answer(
            environ["REQUEST_METHOD"], environ.get("PATH_INFO"), registry,
            environ.get("HTTP_ACCEPT"), environ.get("HTTP_ACCEPT_ENCODING"),
            environ.get("QUERY_STRING", ""), disable_compression)
        start_response(status, headers)
        return [output]
    return prometheus_app


def _joined_header(scope, name):
    return ",".join(value.decode("utf8") for key, value in scope.get("headers")
                    if key.decode("utf8").lower() == name)


def make_asgi_app(registry=None, disable_compression=False):
    """An ASGI app serving the registry (default prometheus_client.REGISTRY).
    Like prometheus_client's, it answers every method with the metrics."""
    async def prometheus_app(scope, receive, send):
        assert scope.get("type") == "http"
        status, headers, output = _bake_output(
            _default(registry), _joined_header(scope, "accept"),
            _joined_header(scope, "accept-encoding"),
            parse_qs(scope.get("query_string", b"").decode("utf8")), disable_compression)
        payload = await receive()
        if payload.get("type") == "http.request":
            await send({"type": "http.response.start", "status": int(status.split(" ")[0]),
                        "headers": [tuple(x.encode("utf8") for x in h) for h in headers]})
            await send({"type": "http.response.body", "body": output})
    return prometheus_app


class ThreadingWSGIServer(ThreadingMixIn, WSGIServer):
    """Thread per request HTTP server."""
    daemon_threads = True


class _SilentHandler(WSGIRequestHandler):
    def log_message(self, format, *args):
        pass


def _best_family(address, port):
    infos = socket.getaddrinfo(address, port, type=socket.SOCK_STREAM, flags=socket.AI_PASSIVE)
    family, _, _, _, sockaddr = next(iter(infos))
    return family, sockaddr[0]


def _loaded(what, load):
    try:
        load()
    except OSError as exc:
        raise type(exc)(f"{what}: {exc}")


def _ssl_context(certfile, keyfile, protocol, cafile, capath, client_auth_required,
                 tls_min_version, tls_max_version):
    context = ssl.SSLContext(protocol=protocol)
    if cafile is not None or capath is not None:
        _loaded(f"Cannot load CA certificate chain from file {cafile!r} or directory {capath!r}",
                lambda: context.load_verify_locations(cafile, capath))
    else:
        _loaded("Cannot load default CA certificate chain",
                lambda: context.load_default_certs(purpose=ssl.Purpose.CLIENT_AUTH))
    if client_auth_required:
        context.verify_mode = ssl.CERT_REQUIRED
    _loaded(f"Cannot load server certificate file {certfile!r} or its private key file "
            f"{keyfile!r}", lambda: context.load_cert_chain(certfile=certfile, keyfile=keyfile))
    if tls_min_version is not None:
        context.minimum_version = tls_min_version
    if tls_max_version is not None:
        context.maximum_version = tls_max_version
    return context


def start_wsgi_server(port, addr="0.0.0.0", registry=None, certfile=None, keyfile=None,
                      client_cafile=None, client_capath=None,
                      protocol=ssl.PROTOCOL_TLS_SERVER, client_auth_required=False,
                      tls_min_version=None, tls_max_version=None):
    """Serves the registry on addr:port (any address family; TLS when
    certfile and keyfile are given) from a daemon thread; returns the server
    and the thread, as prometheus_client's start_http_server does."""
    class Server(ThreadingWSGIServer):
        pass

    Server.address_family, addr = _best_family(addr, port)
    httpd = make_server(addr, port, make_wsgi_app(registry), Server,
                        handler_class=_SilentHandler)
    if certfile and keyfile:
        context = _ssl_context(certfile, keyfile, protocol, client_cafile, client_capath,
                               client_auth_required, tls_min_version, tls_max_version)
        httpd.socket = context.wrap_socket(httpd.socket, server_side=True)
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    return httpd, thread


start_http_server = start_wsgi_server
