/* SPDX-License-Identifier: MIT */
/* The public header must compile as strict C99; this also exercises it. */
#include "promfmt.h"

int promfmt_header_check(void);

int promfmt_header_check(void)
{
    promfmt_metric_type_t kind = PROMFMT_TYPE_SUMMARY;
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    int rc = promfmt_emit_type(buf, "m", kind);
    promfmt_buffer_free(buf);
    return rc + (PROMFMT_VERSION >= 10000 ? 0 : 1);
}
