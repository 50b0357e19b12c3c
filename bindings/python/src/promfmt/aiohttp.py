# SPDX-License-Identifier: MIT
"""An aiohttp handler serving promfmt's text, in place of
prometheus_client.aiohttp.make_aiohttp_handler."""
from aiohttp import hdrs, web

from ._exporter import _bake_output, _default


def make_aiohttp_handler(registry=None, disable_compression=False):
    """An aiohttp handler serving the registry (default prometheus_client.REGISTRY);
    aiohttp compresses the answer unless disable_compression."""
    async def prometheus_handler(request):
        params = {key: request.query.getall(key) for key in request.query.keys()}
        accept_header = ",".join(request.headers.getall(hdrs.ACCEPT, []))
        status, headers, output = _bake_output(_default(registry), accept_header, "", params,
                                               disable_compression=True)
        response = web.Response(status=int(status.split(" ")[0]), headers=headers, body=output)
        if not disable_compression:
            response.enable_compression()
        return response
    return prometheus_handler
