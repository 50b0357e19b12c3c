// SPDX-License-Identifier: MIT
// The public header must compile as C++ (C++11 and later) without warnings.
#include "promfmt.h"

#include "promfmt.h"  // include guard

int promfmt_header_check()
{
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    int rc = promfmt_emit_type(buf, "m", static_cast<promfmt_metric_type_t>(-7));
    promfmt_buffer_free(buf);
    return rc;
}
