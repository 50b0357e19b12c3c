/* SPDX-License-Identifier: MIT */
/* The example exporter's metrics: a realistic scrape written with every
 * emitter, the process's own figures read from /proc/self included. Shared
 * by the exporter and the tests that read its output. */
#ifndef PROMFMT_EXAMPLE_SCRAPE_H
#define PROMFMT_EXAMPLE_SCRAPE_H

#include "promfmt.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Appends one scrape to buf. scrape_count is the number of this scrape
 * (1 for the first); it is exported as a counter. A process figure that
 * cannot be read (no /proc) is left out. Calls must not overlap (the
 * exporter makes them under its lock). Returns 0, or -1 after printing
 * the library's message for each refused line to stderr. */
int example_render_scrape(promfmt_buffer_t *buf, unsigned long scrape_count);

#ifdef __cplusplus
}
#endif

#endif
