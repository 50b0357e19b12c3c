/* SPDX-License-Identifier: MIT */
/* A histogram: observations counted into buckets, written as cumulative
 * _bucket lines with an le label (the last one +Inf), then _sum and
 * _count. */
#include <stdio.h>

#include "promfmt.h"

#define BUCKETS 5

/* Upper bounds, and the le text of each: what %.14g writes for the bound
 * ("1", not "1.0"). Kept as text, the labels do not depend on the locale. */
static const double bounds[BUCKETS] = {0.01, 0.05, 0.25, 1, 5};
static const char *const le_text[BUCKETS + 1] = {"0.01", "0.05", "0.25", "1", "5", "+Inf"};

struct histogram {
    unsigned long counts[BUCKETS + 1]; /* per bucket, not cumulative; last is +Inf */
    double sum;
};

static void observe(struct histogram *h, double seconds)
{
    int i = 0;
    while (i < BUCKETS && seconds > bounds[i]) /* le: less than or equal */
        ++i;
    h->counts[i]++;
    h->sum += seconds;
}

static int write_histogram(promfmt_buffer_t *buf, const char *name, const char *help,
                           const struct histogram *h)
{
    char metric[128], labels[64];
    unsigned long cumulative = 0;
    int i, rc = 0;
    rc |= promfmt_emit_help(buf, name, help);
    rc |= promfmt_emit_type(buf, name, PROMFMT_TYPE_HISTOGRAM);
    snprintf(metric, sizeof metric, "%s_bucket", name);
    for (i = 0; i <= BUCKETS; ++i) {
        cumulative += h->counts[i]; /* each bucket counts all below it too */
        snprintf(labels, sizeof labels, "{\"le\":\"%s\"}", le_text[i]);
        rc |= promfmt_emit_sample(buf, metric, labels, (double)cumulative, 0);
    }
    snprintf(metric, sizeof metric, "%s_sum", name);
    rc |= promfmt_emit_sample(buf, metric, NULL, h->sum, 0);
    snprintf(metric, sizeof metric, "%s_count", name);
    rc |= promfmt_emit_sample(buf, metric, NULL, (double)cumulative, 0);
    return rc;
}

int main(void)
{
    static const double seen[] = {0.003, 0.012, 0.04, 0.04, 0.3, 0.7, 2.5, 9.0};
    struct histogram h = {{0}, 0};
    size_t i;
    int rc;
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    if (!buf)
        return 1;
    for (i = 0; i < sizeof seen / sizeof seen[0]; ++i)
        observe(&h, seen[i]);

    rc = write_histogram(buf, "job_duration_seconds", "Time taken by each job.", &h);
    if (rc != 0)
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
    fwrite(promfmt_buffer_data(buf), 1, promfmt_buffer_len(buf), stdout);
    promfmt_buffer_free(buf);
    return rc != 0;
}
