/* SPDX-License-Identifier: MIT */
/* A summary: quantiles the host computed itself, each a sample with a
 * quantile label, then _sum and _count over all observations. */
#include <stdio.h>

#include "promfmt.h"

int main(void)
{
    /* The host's own estimates, for example over a sliding window. */
    static const struct {
        const char *quantile;
        double seconds;
    } quantiles[] = {{"0.5", 0.0012}, {"0.9", 0.0071}, {"0.99", 0.0313}};
    const char *name = "rpc_latency_seconds";
    char labels[64];
    size_t i;
    int rc = 0;
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    if (!buf)
        return 1;

    rc |= promfmt_emit_help(buf, name, "Latency of outgoing calls.");
    rc |= promfmt_emit_type(buf, name, PROMFMT_TYPE_SUMMARY);
    for (i = 0; i < sizeof quantiles / sizeof quantiles[0]; ++i) {
        snprintf(labels, sizeof labels, "{\"quantile\":\"%s\"}", quantiles[i].quantile);
        rc |= promfmt_emit_sample(buf, name, labels, quantiles[i].seconds, 0);
    }
    rc |= promfmt_emit_sample(buf, "rpc_latency_seconds_sum", NULL, 17.93, 0);
    rc |= promfmt_emit_sample(buf, "rpc_latency_seconds_count", NULL, 5120, 0);

    if (rc != 0)
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
    fwrite(promfmt_buffer_data(buf), 1, promfmt_buffer_len(buf), stdout);
    promfmt_buffer_free(buf);
    return rc != 0;
}
