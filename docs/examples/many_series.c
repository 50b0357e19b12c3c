/* SPDX-License-Identifier: MIT */
/* One family, several series: one HELP and one TYPE line, then one
 * sample line per label set. */
#include <stdio.h>

#include "promfmt.h"

int main(void)
{
    static const struct {
        const char *labels;
        double bytes;
    } disks[] = {
        {"{\"device\":\"sda\",\"mount\":\"/\"}", 41263128576},
        {"{\"device\":\"sdb\",\"mount\":\"/var\"}", 9831956480},
        {"{\"device\":\"sdc\",\"mount\":\"/home\"}", 180388626432},
    };
    const char *name = "disk_free_bytes";
    size_t i;
    int rc = 0;
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    if (!buf)
        return 1;

    rc |= promfmt_emit_help(buf, name, "Free space of each mounted disk.");
    rc |= promfmt_emit_type(buf, name, PROMFMT_TYPE_GAUGE);
    for (i = 0; i < sizeof disks / sizeof disks[0]; ++i)
        rc |= promfmt_emit_sample(buf, name, disks[i].labels, disks[i].bytes, 0);

    if (rc != 0)
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
    fwrite(promfmt_buffer_data(buf), 1, promfmt_buffer_len(buf), stdout);
    promfmt_buffer_free(buf);
    return rc != 0;
}
