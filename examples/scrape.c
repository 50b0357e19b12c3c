/* SPDX-License-Identifier: MIT */
/* A realistic scrape: the process's own figures read from /proc/self, an
 * application's counters and gauges through the shortcuts, and a histogram
 * and a summary written line by line. Every family has help text, so the
 * output passes `promtool check metrics` without a lint warning. */
#define _POSIX_C_SOURCE 200809L
#include "scrape.h"

#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

/* Reports a refused line. The buffer still holds only whole lines, so the
 * scrape can go on (or be served as it is). */
static int check(int rc, const char *what)
{
    if (rc != 0)
        fprintf(stderr, "promfmt: %s: %s\n", what, promfmt_last_error());
    return rc;
}

/* ---- The process, from /proc/self (Linux) -------------------------------
 * A figure that cannot be read is left out of the scrape: a missing series
 * is honest, a made-up one is not. */

/* Reads up to size - 1 bytes of a small file into text; 0 on success. */
static int read_small_file(const char *path, char *text, size_t size)
{
    FILE *f = fopen(path, "r");
    size_t n;
    if (!f)
        return -1;
    n = fread(text, 1, size - 1, f);
    fclose(f);
    text[n] = '\0';
    return n > 0 ? 0 : -1;
}

/* Virtual and resident size in bytes, from /proc/self/statm (in pages). */
static int read_memory(double *virtual_bytes, double *resident_bytes)
{
    char text[256];
    unsigned long size_pages, resident_pages;
    long page = sysconf(_SC_PAGESIZE);
    if (page <= 0 || read_small_file("/proc/self/statm", text, sizeof text) != 0 ||
        sscanf(text, "%lu %lu", &size_pages, &resident_pages) != 2)
        return -1;
    *virtual_bytes = (double)size_pages * (double)page;
    *resident_bytes = (double)resident_pages * (double)page;
    return 0;
}

/* Seconds since the epoch at which the machine booted, from /proc/stat. */
static int read_boot_time(double *seconds)
{
    char line[256];
    unsigned long long btime;
    int found = 0;
    FILE *f = fopen("/proc/stat", "r");
    if (!f)
        return -1;
    while (!found && fgets(line, sizeof line, f))
        found = sscanf(line, "btime %llu", &btime) == 1;
    fclose(f);
    if (!found)
        return -1;
    *seconds = (double)btime;
    return 0;
}

/* Fields 14 (utime), 15 (stime) and 22 (starttime) of /proc/self/stat, in
 * clock ticks. The command name in field 2 may hold spaces and
 * parentheses, so the fields are counted from the last ')'. */
static int read_stat_ticks(unsigned long *utime, unsigned long *stime,
                           unsigned long long *start)
{
    char text[1024];
    const char *rest;
    if (read_small_file("/proc/self/stat", text, sizeof text) != 0)
        return -1;
    rest = strrchr(text, ')');
    /* After ')': state (3), fields 4 to 13, utime, stime, fields 16 to 21,
     * starttime. */
    if (!rest || sscanf(rest + 1,
                        " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu"
                        " %*d %*d %*d %*d %*d %*d %llu",
                        utime, stime, start) != 3)
        return -1;
    return 0;
}

/* User plus system CPU time in seconds. */
static int read_cpu_seconds(double *seconds)
{
    unsigned long utime, stime;
    unsigned long long start;
    long ticks = sysconf(_SC_CLK_TCK);
    if (ticks <= 0 || read_stat_ticks(&utime, &stime, &start) != 0)
        return -1;
    *seconds = (double)(utime + stime) / (double)ticks;
    return 0;
}

/* Start time in seconds since the epoch: boot time plus the start tick.
 * It never changes, so it is read once (calls are serialised, see
 * scrape.h); /proc/stat is the costliest file here to read. */
static int read_start_time(double *seconds)
{
    static double start_time = -1;
    unsigned long utime, stime;
    unsigned long long start;
    double boot;
    long ticks = sysconf(_SC_CLK_TCK);
    if (start_time < 0) {
        if (ticks <= 0 || read_stat_ticks(&utime, &stime, &start) != 0 ||
            read_boot_time(&boot) != 0)
            return -1;
        start_time = boot + (double)start / (double)ticks;
    }
    *seconds = start_time;
    return 0;
}

/* Open file descriptors: the entries of /proc/self/fd, not counting the
 * one this count itself holds open. */
static int count_open_fds(double *count)
{
    struct dirent *entry;
    long n = 0;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while ((entry = readdir(dir)) != NULL)
        if (entry->d_name[0] != '.')
            ++n;
    closedir(dir);
    *count = (double)(n > 0 ? n - 1 : 0);
    return 0;
}

static int render_process(promfmt_buffer_t *buf)
{
    double cpu, start, virtual_bytes, resident_bytes, fds;
    struct rlimit files;
    int rc = 0;
    if (read_cpu_seconds(&cpu) == 0)
        rc |= check(promfmt_emit_counter(buf, "process_cpu_seconds_total",
                                         "Total user and system CPU time spent in seconds.",
                                         NULL, cpu),
                    "process_cpu_seconds_total");
    if (read_start_time(&start) == 0)
        rc |= check(promfmt_emit_gauge(buf, "process_start_time_seconds",
                                       "Start time of the process since unix epoch in seconds.",
                                       NULL, start),
                    "process_start_time_seconds");
    if (read_memory(&virtual_bytes, &resident_bytes) == 0) {
        rc |= check(promfmt_emit_gauge(buf, "process_resident_memory_bytes",
                                       "Resident memory size in bytes.", NULL, resident_bytes),
                    "process_resident_memory_bytes");
        rc |= check(promfmt_emit_gauge(buf, "process_virtual_memory_bytes",
                                       "Virtual memory size in bytes.", NULL, virtual_bytes),
                    "process_virtual_memory_bytes");
    }
    if (count_open_fds(&fds) == 0)
        rc |= check(promfmt_emit_gauge(buf, "process_open_fds", "Number of open file descriptors.",
                                       NULL, fds),
                    "process_open_fds");
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        rc |= check(promfmt_emit_gauge(buf, "process_max_fds",
                                       "Maximum number of open file descriptors.", NULL,
                                       (double)files.rlim_cur),
                    "process_max_fds");
    return rc;
}

/* ---- The application ------------------------------------------------------
 * Figures an application would keep in its own counters; fixed here, since
 * this example serves nothing but its metrics. */

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
    /* One HELP and one TYPE line, then one sample per series. */
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
    /* Bucket counts are cumulative: each counts every request at or below
     * its bound, and the +Inf bucket equals _count. */
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
    rc |= render_process(buf);
    rc |= render_http(buf);
    rc |= check(promfmt_emit_gauge(buf, "room_temperature_celsius", "Temperature by room.",
                                   "{\"room\":\"server \\\"B\\\"\",\"floor\":2}", 21.5),
                "room_temperature_celsius");
    rc |= check(promfmt_emit_gauge(buf, "queue_depth", "Messages waiting in each queue.",
                                   "{\"queue\":\"emails\"}", 0),
                "queue_depth");
    rc |= render_latency_histogram(buf);
    rc |= render_gc_summary(buf);
    return rc ? -1 : 0;
}
