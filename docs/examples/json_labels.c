/* SPDX-License-Identifier: MIT */
/* Building the labels JSON text from arbitrary C strings: every key and
 * value goes through a JSON string escaper. promfmt_escape_label_value()
 * is the exposition format's escape, not JSON's, and must not be used
 * for this. */
#include <stdio.h>
#include <string.h>

#include "promfmt.h"

/* A JSON object built in a fixed block; any overflow marks it failed. */
struct json_object {
    char text[512];
    size_t len;
    int failed;
};

static void put(struct json_object *o, const char *bytes, size_t n)
{
    if (o->failed || n >= sizeof o->text - o->len) {
        o->failed = 1;
        return;
    }
    memcpy(o->text + o->len, bytes, n);
    o->len += n;
    o->text[o->len] = '\0';
}

/* Appends text as a JSON string: quote and backslash escaped, control
 * bytes as \u00XX, every other byte (UTF-8 included) as is. */
static void put_string(struct json_object *o, const char *text)
{
    const unsigned char *p;
    char escaped[8];
    put(o, "\"", 1);
    for (p = (const unsigned char *)text; *p; ++p) {
        if (*p == '"' || *p == '\\') {
            escaped[0] = '\\';
            escaped[1] = (char)*p;
            put(o, escaped, 2);
        } else if (*p < 0x20) {
            snprintf(escaped, sizeof escaped, "\\u%04x", *p);
            put(o, escaped, 6);
        } else {
            put(o, (const char *)p, 1);
        }
    }
    put(o, "\"", 1);
}

/* An object is json_open(), then json_add() per member, then json_close(). */
static void json_open(struct json_object *o)
{
    o->len = 0;
    o->failed = 0;
    put(o, "{", 1);
}

static void json_add(struct json_object *o, const char *key, const char *value)
{
    if (o->len > 1)
        put(o, ",", 1);
    put_string(o, key);
    put(o, ":", 1);
    put_string(o, value);
}

static void json_close(struct json_object *o)
{
    put(o, "}", 1);
}

int main(void)
{
    /* Values as they might come from a request: a tab, a quote, a
     * backslash and a line feed. */
    const char *agent = "curl/8.5\t(x86_64)";
    const char *path = "C:\\logs\\\"today\"\n";
    struct json_object labels;
    int rc;
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    if (!buf)
        return 1;

    json_open(&labels);
    json_add(&labels, "agent", agent);
    json_add(&labels, "path", path);
    json_close(&labels);
    if (labels.failed) {
        fprintf(stderr, "labels too long\n");
        promfmt_buffer_free(buf);
        return 1;
    }
    rc = promfmt_emit_help(buf, "uploads_total", "Uploads, by client and path.");
    rc |= promfmt_emit_type(buf, "uploads_total", PROMFMT_TYPE_COUNTER);
    rc |= promfmt_emit_sample(buf, "uploads_total", labels.text, 1, 0);
    if (rc != 0)
        fprintf(stderr, "promfmt: %s\n", promfmt_last_error());
    fwrite(promfmt_buffer_data(buf), 1, promfmt_buffer_len(buf), stdout);
    promfmt_buffer_free(buf);
    return rc != 0;
}
