# SPDX-License-Identifier: MIT
"""A Django view serving promfmt's text, in place of
prometheus_client.django.PrometheusDjangoView."""
import prometheus_client
from django.http import HttpResponse
from prometheus_client import django as _theirs, multiprocess

from ._exporter import _bake_output


class PrometheusDjangoView(_theirs.PrometheusDjangoView):
    """prometheus_client's view (registry, multiprocess_mode, OPTIONS), its
    GET answered by promfmt."""

    def _chosen_registry(self):
        if self.registry is None and self.multiprocess_mode:
            self.registry = prometheus_client.CollectorRegistry()
            multiprocess.MultiProcessCollector(self.registry)
        elif self.registry is None:
            self.registry = prometheus_client.REGISTRY
        return self.registry

    def get(self, request, *args, **kwargs):
        status, headers, output = _bake_output(
            self._chosen_registry(), request.headers.get("Accept"),
            request.headers.get("Accept-Encoding"), request.GET, disable_compression=False)
        return HttpResponse(output, status=int(status.split(" ")[0]), headers=headers)
