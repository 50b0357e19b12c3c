// SPDX-License-Identifier: MIT
// The emitters: sample, HELP and TYPE lines, and the gauge and counter
// shortcuts. Each validates and measures its whole line, reserves room once
// and only then writes, so a failure never leaves part of a line behind.
#include <cstdint>
#include <cstring>

#include "emit.h"

#include "buffer.h"
#include "labels.h"
#include "number.h"
#include "rules.h"

namespace promfmt {

namespace {

// Reserves room for a line of n bytes. A line too long to measure asks for
// the largest size, which growth refuses with its out-of-memory message.
int reserve_line(promfmt_buffer_t *buf, size_t n, bool measured)
{
    return buf_ensure_avail(buf, measured ? n : SIZE_MAX);
}

// Checks a name of len bytes that is not the kept one, and keeps it when
// valid and short enough.
size_t check_new_name(promfmt_buffer_t *buf, const char *name, size_t len)
{
    len = metric_name_len(name, len);
    if (len != 0 && len <= kKeptNameMax) {
        memcpy(buf->valid_name, name, len);
        buf->valid_name_len = len;
    }
    return len;
}

// metric_name_len() with the buffer's memory of the last valid name: a
// family's HELP, TYPE and sample lines repeat its name, which is then
// checked once and compared after that.
inline size_t checked_metric_name(promfmt_buffer_t *buf, const char *name)
{
    if (!name)
        return 0;
    size_t len = strlen(name);
    if (len == buf->valid_name_len && memcmp(name, buf->valid_name, len) == 0)
        return len;  // 0 for "", never kept
    return check_new_name(buf, name, len);
}

const char *type_word(promfmt_metric_type_t type)
{
    static const char *const kWords[] = {"untyped", "counter", "gauge", "histogram", "summary"};
    // Compared as unsigned so that negative codes land outside the table.
    auto code = static_cast<uint32_t>(type);
    return code < sizeof kWords / sizeof kWords[0] ? kWords[code] : kWords[0];
}

int emit_family(promfmt_buffer_t *buf, const char *name, const char *help,
                const char *labels_json, double value, promfmt_metric_type_t type)
{
    if (!buf || !name) {
        set_error("null buffer or metric name");
        return -1;
    }
    if (help && help[0] != '\0' && promfmt_emit_help(buf, name, help) != 0)
        return -1;
    if (promfmt_emit_type(buf, name, type) != 0)
        return -1;
    return promfmt_emit_sample(buf, name, labels_json, value, 0);
}

}  // namespace

int emit_sample(promfmt_buffer_t *buf, const char *name, const char *labels_json, double value,
                int64_t timestamp, labels_route route)
{
    if (!buf) {
        set_error("null buffer pointer");
        return -1;
    }
    size_t name_len = checked_metric_name(buf, name);
    if (name_len == 0) {
        set_error("invalid metric name");
        return -1;
    }
    // The numbers first: they do not read the labels text, which a caller
    // has often written just before the call. The processor then formats
    // them while those writes land, instead of holding the first wide read
    // of the text until they have.
    char value_text[kNumberMax];
    size_t value_len = format_sample_value(value_text, value);
    char ts_text[kNumberMax];
    size_t ts_len = timestamp > 0 ? format_int(ts_text, timestamp) : 0;

    label_set labels;
    if (parse_labels(buf, labels_json, &labels, route == LABELS_ANY_ROUTE) != 0)
        return -1;

    // name, labels, " ", value, optional " " timestamp, "\n"
    size_t line = name_len;
    bool measured = size_add(&line, labels.text_len) &&
                    size_add(&line, value_len + ts_len + (ts_len ? 3 : 2));
    if (reserve_line(buf, line, measured) != 0) {
        release_labels(&labels);
        return -1;
    }
    char *p = put(buf_tail(buf), name, name_len);
    p = write_labels(p, &labels);
    *p++ = ' ';
    p = put<kNumberMax>(p, value_text, value_len);
    if (ts_len) {
        *p++ = ' ';
        p = put<kNumberMax>(p, ts_text, ts_len);
    }
    *p = '\n';
    buf_commit(buf, line);
    release_labels(&labels);
    return 0;
}

}  // namespace promfmt

using namespace promfmt;

extern "C" {

PROMFMT_API int PROMFMT_CALL promfmt_emit_sample(promfmt_buffer_t *buf, const char *name,
                                                 const char *labels_json, double value,
                                                 int64_t timestamp)
{
    return emit_sample(buf, name, labels_json, value, timestamp, LABELS_ANY_ROUTE);
}

PROMFMT_API int PROMFMT_CALL promfmt_emit_help(promfmt_buffer_t *buf, const char *name,
                                               const char *help)
{
    static const char kPrefix[] = "# HELP ";
    if (!buf) {
        set_error("null buffer pointer");
        return -1;
    }
    size_t name_len = checked_metric_name(buf, name);
    if (name_len == 0) {
        set_error("invalid metric name for HELP emission");
        return -1;
    }
    size_t raw_len;
    size_t escaped_len = measure_help_text(help, &raw_len);
    // "# HELP ", name, " ", escaped help, "\n"
    size_t line = sizeof kPrefix - 1 + name_len;
    bool measured = size_add(&line, escaped_len) && size_add(&line, 2);
    if (reserve_line(buf, line, measured) != 0)
        return -1;
    char *p = put(buf_tail(buf), kPrefix, sizeof kPrefix - 1);
    p = put(p, name, name_len);
    *p++ = ' ';
    if (escaped_len == raw_len)  // nothing to escape (NULL and "" included)
        p = put(p, help, raw_len);
    else
        p = write_help_text(p, help, raw_len);
    *p = '\n';
    buf_commit(buf, line);
    return 0;
}

PROMFMT_API int PROMFMT_CALL promfmt_emit_type(promfmt_buffer_t *buf, const char *name,
                                               promfmt_metric_type_t type)
{
    static const char kPrefix[] = "# TYPE ";
    if (!buf) {
        set_error("null buffer pointer");
        return -1;
    }
    size_t name_len = checked_metric_name(buf, name);
    if (name_len == 0) {
        set_error("invalid metric name for TYPE emission");
        return -1;
    }
    const char *word = type_word(type);
    size_t word_len = strlen(word);
    // "# TYPE ", name, " ", word, "\n"; a valid name leaves room for the rest.
    size_t line = sizeof kPrefix - 1 + name_len;
    bool measured = size_add(&line, word_len + 2);
    if (reserve_line(buf, line, measured) != 0)
        return -1;
    char *p = put(buf_tail(buf), kPrefix, sizeof kPrefix - 1);
    p = put(p, name, name_len);
    *p++ = ' ';
    p = put(p, word, word_len);
    *p = '\n';
    buf_commit(buf, line);
    return 0;
}

PROMFMT_API int PROMFMT_CALL promfmt_emit_gauge(promfmt_buffer_t *buf, const char *name,
                                                const char *help, const char *labels_json,
                                                double value)
{
    return emit_family(buf, name, help, labels_json, value, PROMFMT_TYPE_GAUGE);
}

PROMFMT_API int PROMFMT_CALL promfmt_emit_counter(promfmt_buffer_t *buf, const char *name,
                                                  const char *help, const char *labels_json,
                                                  double value)
{
    return emit_family(buf, name, help, labels_json, value, PROMFMT_TYPE_COUNTER);
}

}  // extern "C"
