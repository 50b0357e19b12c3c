/* SPDX-License-Identifier: MIT */
/* The smallest host: the README's usage example, built as C99. */
#include <stdio.h>

#include "promfmt.h"

int main(void)
{
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    if (!buf) {
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
        return 1;
    }
    if (promfmt_emit_counter(buf, "jobs_done_total", "Jobs finished.",
                             "{\"queue\":\"mail\"}", 42) != 0)
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
    /* The pointer is valid until the next emit, reset or free of buf. */
    fwrite(promfmt_buffer_data(buf), 1, promfmt_buffer_len(buf), stdout);
    promfmt_buffer_free(buf);
    return 0;
}
