# SPDX-License-Identifier: MIT
"""promfmt's WSGI app and HTTP server answer as prometheus_client's do:
status, headers, gzip, 405, favicon, name[] and content negotiation."""
import gzip
import socket
import urllib.request
from wsgiref.util import setup_testing_defaults

import pytest
from prometheus_client import CollectorRegistry, Counter, Gauge, make_wsgi_app
from prometheus_client.parser import text_string_to_metric_families

import promfmt

PROMETHEUS_ACCEPT = ("application/openmetrics-text;version=1.0.0;escaping=underscores;q=0.5,"
                     "application/openmetrics-text;version=0.0.1;q=0.4,"
                     "text/plain;version=0.0.4;q=0.3,*/*;q=0.2")


@pytest.fixture
def registry():
    reg = CollectorRegistry()
    Counter("requests", "Requests.", ["code"], registry=reg).labels("200").inc(3)
    Gauge("up", "Up.", registry=reg).set(1)
    return reg


def call(app, **environ):
    setup_testing_defaults(environ)
    answer = {}

    def start_response(status, headers):
        answer.update(status=status, headers=headers)
    body = b"".join(app(environ, start_response))
    if ("Content-Encoding", "gzip") in answer["headers"]:
        body = gzip.decompress(body)
    return answer["status"], answer["headers"], body


def readable(headers, body):
    """A body as comparable values: the 0.0.4 text as its samples, anything else as it is."""
    if ("Content-Type", promfmt.CONTENT_TYPE_PLAIN_0_0_4) not in headers:
        return body
    return [(s.name, s.labels, s.value) for f in text_string_to_metric_families(body.decode())
            for s in f.samples if not s.name.endswith("_created")]


@pytest.mark.parametrize("environ", [
    {}, {"HTTP_ACCEPT_ENCODING": "deflate, GZip;q=0.8"}, {"REQUEST_METHOD": "POST"},
    {"REQUEST_METHOD": "OPTIONS"}, {"PATH_INFO": "/favicon.ico"}, {"QUERY_STRING": "name[]=up"},
    {"HTTP_ACCEPT": "text/plain"}, {"HTTP_ACCEPT": "application/json"},
    {"HTTP_ACCEPT": "application/openmetrics-text; version=1.0.0; charset=utf-8"},
    {"HTTP_ACCEPT": "application/openmetrics-text; version=0.0.1"},
], ids=repr)
@pytest.mark.parametrize("disable_compression", [False, True])
def test_the_wsgi_app_answers_as_prometheus_clients_does(registry, environ, disable_compression):
    ours = call(promfmt.make_wsgi_app(registry, disable_compression), **environ)
    theirs = call(make_wsgi_app(registry, disable_compression), **environ)
    assert ours[:2] == theirs[:2]
    assert readable(*ours[1:]) == readable(*theirs[1:])


def test_a_prometheus_server_gets_the_text_written_by_promfmt(registry):
    status, headers, body = call(promfmt.make_wsgi_app(registry), HTTP_ACCEPT=PROMETHEUS_ACCEPT)
    assert headers == [("Content-Type", promfmt.CONTENT_TYPE_PLAIN_0_0_4)]
    assert body == promfmt.generate_latest(registry)


def test_the_server_binds_ipv6_and_says_405_to_a_post(registry):
    if not socket.has_ipv6:
        pytest.skip("no IPv6 here")
    try:
        server, thread = promfmt.start_http_server(0, addr="::1", registry=registry)
    except OSError as e:
        pytest.skip(f"cannot bind ::1: {e}")
    try:
        url = f"http://[::1]:{server.server_port}/metrics"
        with urllib.request.urlopen(url, timeout=10) as response:
            assert response.read() == promfmt.generate_latest(registry)
        with pytest.raises(urllib.error.HTTPError) as refused:
            urllib.request.urlopen(url, data=b"x", timeout=10)
        assert refused.value.code == 405 and refused.value.headers["Allow"] == "OPTIONS,GET"
    finally:
        server.shutdown()
        server.server_close()
        thread.join(5)
