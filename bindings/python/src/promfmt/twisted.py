# SPDX-License-Identifier: MIT
"""A Twisted resource serving promfmt's text, in place of
prometheus_client.twisted.MetricsResource."""
from twisted.internet import reactor
from twisted.web.wsgi import WSGIResource

from ._exporter import make_wsgi_app


def MetricsResource(registry=None):
    """A WSGI resource on the reactor's thread pool serving the registry."""
    return WSGIResource(reactor, reactor.getThreadPool(), make_wsgi_app(registry))
