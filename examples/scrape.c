/* SPDX-License-Identifier: MIT */
/* A realistic scrape: counters and gauges through the shortcuts, and a
 * histogram and a summary written line by line. */
#include "scrape.h"

#include <stdio.h>

/* Reports a refused line. The buffer still holds only whole lines, so the
 * scrape can go on (or be served as it is). */
static int check(int rc, const char *what)
{
    if (rc != 0)
        fprintf(stderr, "promfmt: %s: %s\n", what, promfmt_last_error());
    return rc;
}

static int render_http(promfmt_buffer_t *buf)
{
    static const struct {
        const char *labels;
        double count;
    } requests[] = {
        {"{\"method\":\"get\",\"code\":200,\"path\":\"/api/v1/items\"}", 1027},
        {"{\"method\":\"post\",\"code\":201,\"path\":\"/api/v1/items\"}", 93},
        {"{\"method\":\"get\",\"code\":404,\"path\":\"/api/v1/items/\\\"x\\\"\"}", 3},
    };
    size_t i;
    int rc = 0;
    rc |= check(promfmt_emit_help(buf, "http_requests_total",
                                  "HTTP requests served, by method, status code and path."),
                "help");
    rc |= check(promfmt_emit_type(buf, "http_requests_total", PROMFMT_TYPE_COUNTER), "type");
    for (i = 0; i < sizeof requests / sizeof requests[0]; ++i)
        rc |= check(promfmt_emit_sample(buf, "http_requests_total", requests[i].labels,
                                        requests[i].count, 0),
                    "http_requests_total");
    return rc;
}

static int render_latency_histogram(promfmt_buffer_t *buf)
{
    static const char *const le[] = {"0.005", "0.01", "0.1", "1", "+Inf"};
    static const double cumulative[] = {120, 480, 1090, 1121, 1123};
    char labels[64];
    size_t i;
    int rc = 0;
    const char *name = "http_request_duration_seconds";
    rc |= check(promfmt_emit_help(buf, name, "Request latency in seconds."), "help");
    rc |= check(promfmt_emit_type(buf, name, PROMFMT_TYPE_HISTOGRAM), "type");
    for (i = 0; i < sizeof le / sizeof le[0]; ++i) {
        snprintf(labels, sizeof labels, "{\"le\":\"%s\"}", le[i]);
        rc |= check(promfmt_emit_sample(buf, "http_request_duration_seconds_bucket", labels,
                                        cumulative[i], 0),
                    "bucket");
    }
    rc |= check(promfmt_emit_sample(buf, "http_request_duration_seconds_sum", NULL, 53.4231, 0),
                "sum");
    rc |= check(promfmt_emit_sample(buf, "http_request_duration_seconds_count", NULL, 1123, 0),
                "count");
    return rc;
}

static int render_gc_summary(promfmt_buffer_t *buf)
{
    int rc = 0;
    const char *name = "gc_pause_seconds";
    rc |= check(promfmt_emit_help(buf, name, "Garbage collection pauses."), "help");
    rc |= check(promfmt_emit_type(buf, name, PROMFMT_TYPE_SUMMARY), "type");
    rc |= check(promfmt_emit_sample(buf, name, "{\"quantile\":\"0.5\"}", 0.00042, 0), "q50");
    rc |= check(promfmt_emit_sample(buf, name, "{\"quantile\":\"0.99\"}", 0.0031, 0), "q99");
    rc |= check(promfmt_emit_sample(buf, "gc_pause_seconds_sum", NULL, 0.8312, 0), "sum");
    rc |= check(promfmt_emit_sample(buf, "gc_pause_seconds_count", NULL, 1570, 0), "count");
    return rc;
}

int example_render_scrape(promfmt_buffer_t *buf, unsigned long scrape_count)
{
    int rc = 0;
    rc |= check(promfmt_emit_counter(buf, "exporter_scrapes_total", "Scrapes served so far.",
                                     NULL, (double)scrape_count),
                "exporter_scrapes_total");
    rc |= render_http(buf);
    rc |= check(promfmt_emit_gauge(buf, "process_resident_memory_bytes",
                                   "Resident memory size in bytes.", NULL, 48234496),
                "process_resident_memory_bytes");
    rc |= check(promfmt_emit_gauge(buf, "room_temperature_celsius", "Temperature by room.",
                                   "{\"room\":\"server \\\"B\\\"\",\"floor\":2}", 21.5),
                "room_temperature_celsius");
    rc |= check(promfmt_emit_gauge(buf, "queue_depth", "", "{\"queue\":\"emails\"}", 0),
                "queue_depth");
    rc |= render_latency_histogram(buf);
    rc |= render_gc_summary(buf);
    return rc ? -1 : 0;
}
