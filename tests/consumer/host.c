/* SPDX-License-Identifier: MIT */
/* A C99 host built against an installed package (pkg-config or CMake) or
   inside a parent project. A host of the static archive is compiled with
   PROMFMT_EXPECT_STATIC: the package must then define PROMFMT_STATIC. */
#include <stdio.h>
#include <string.h>

#include <promfmt.h>

#if defined(PROMFMT_EXPECT_STATIC) && !defined(PROMFMT_STATIC)
#error "the static package must define PROMFMT_STATIC"
#endif

int main(void)
{
    const char *want = "# TYPE jobs_total counter\njobs_total{queue=\"a\\\"b\"} 3\n";
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    if (!buf || promfmt_emit_counter(buf, "jobs_total", "", "{\"queue\":\"a\\\"b\"}", 3) != 0) {
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
        return 1;
    }
    int ok = strcmp(promfmt_buffer_data(buf), want) == 0;
    fputs(promfmt_buffer_data(buf), stdout);
    promfmt_buffer_free(buf);
    printf("promfmt %s: %s\n", PROMFMT_VERSION_STRING, ok ? "ok" : "WRONG OUTPUT");
    return ok ? 0 : 1;
}
