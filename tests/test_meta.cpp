// SPDX-License-Identifier: MIT
// HELP and TYPE lines, and the gauge and counter shortcuts.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "support.h"

namespace {

TEST(Help, Lines)
{
    struct Case {
        const char *name;
        const char *help;
        const char *line;
    } cases[] = {
        {"m", "Requests served.", "# HELP m Requests served.\n"},
        {"m", nullptr, "# HELP m \n"},
        {"m", "", "# HELP m \n"},
        {"a:b", "x", "# HELP a:b x\n"},
        {"m", "back\\slash", "# HELP m back\\\\slash\n"},
        {"m", "two\nlines", "# HELP m two\\nlines\n"},
        {"m", "say \"hi\"", "# HELP m say \"hi\"\n"},
        {"m", "\\\n\"", "# HELP m \\\\\\n\"\n"},
        {"m", "tab\tcr\r \xc3\xa9 \xff", "# HELP m tab\tcr\r \xc3\xa9 \xff\n"},
    };
    for (const Case &c : cases) {
        Buffer buf;
        ASSERT_EQ(promfmt_emit_help(buf, c.name, c.help), 0);
        EXPECT_EQ(buf.text(), c.line);
    }
}

TEST(Type, WordsForEveryCode)
{
    struct Case {
        int32_t code;
        const char *word;
    } cases[] = {
        {0, "untyped"},  {1, "counter"},  {2, "gauge"},    {3, "histogram"},
        {4, "summary"},  {5, "untyped"},  {31, "untyped"}, {-1, "untyped"},
        {INT32_MIN, "untyped"}, {INT32_MAX, "untyped"},
    };
    for (const Case &c : cases) {
        Buffer buf;
        ASSERT_EQ(promfmt_emit_type(buf, "a:b", static_cast<promfmt_metric_type_t>(c.code)), 0);
        EXPECT_EQ(buf.text(), std::string("# TYPE a:b ") + c.word + "\n") << c.code;
    }
}

TEST(HelpAndType, RefuseBadInputUntouched)
{
    struct Case {
        promfmt_buffer_t *(*buffer)(promfmt_buffer_t *);
        const char *name;
        const char *help_error, *type_error;
    } cases[] = {
        {[](promfmt_buffer_t *) -> promfmt_buffer_t * { return nullptr; }, "m",
         "null buffer pointer", "null buffer pointer"},
        {[](promfmt_buffer_t *b) { return b; }, "a-b", "invalid metric name for HELP emission",
         "invalid metric name for TYPE emission"},
        {[](promfmt_buffer_t *b) { return b; }, "", "invalid metric name for HELP emission",
         "invalid metric name for TYPE emission"},
        {[](promfmt_buffer_t *b) { return b; }, nullptr, "invalid metric name for HELP emission",
         "invalid metric name for TYPE emission"},
    };
    for (const Case &c : cases) {
        Buffer buf;
        ASSERT_EQ(promfmt_emit_sample(buf, "x", nullptr, 1, 0), 0);
        prime_error();
        EXPECT_EQ(promfmt_emit_help(c.buffer(buf), c.name, "h"), -1);
        EXPECT_EQ(last_error(), c.help_error);
        prime_error();
        EXPECT_EQ(promfmt_emit_type(c.buffer(buf), c.name, PROMFMT_TYPE_GAUGE), -1);
        EXPECT_EQ(last_error(), c.type_error);
        EXPECT_EQ(buf.text(), "x 1\n");
    }
}

TEST(HelpAndType, RepeatedLinesAreWrittenAgain)
{
    Buffer buf;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(promfmt_emit_help(buf, "m", "h"), 0);
        ASSERT_EQ(promfmt_emit_type(buf, "m", PROMFMT_TYPE_COUNTER), 0);
    }
    EXPECT_EQ(buf.text(), "# HELP m h\n# TYPE m counter\n# HELP m h\n# TYPE m counter\n");
}

using Shortcut = int (*)(promfmt_buffer_t *, const char *, const char *, const char *, double);

TEST(Shortcuts, WriteWholeFamilies)
{
    struct Case {
        const char *what;
        Shortcut emit;
        const char *name, *help, *labels;
        double value;
        const char *text;
    } cases[] = {
        {"gauge without help", promfmt_emit_gauge, "temp", "", "{\"room\":\"a\"}", 21.5,
         "# TYPE temp gauge\ntemp{room=\"a\"} 21.5\n"},
        {"gauge with null help", promfmt_emit_gauge, "temp", nullptr, nullptr, -3,
         "# TYPE temp gauge\ntemp -3\n"},
        {"counter with help", promfmt_emit_counter, "reqs_total", "All\nrequests.",
         "{\"b\":2,\"a\":1}", 1027,
         "# HELP reqs_total All\\nrequests.\n# TYPE reqs_total counter\n"
         "reqs_total{a=\"1\",b=\"2\"} 1027\n"},
        {"counter keeps its name", promfmt_emit_counter, "reqs", "h", nullptr, 1,
         "# HELP reqs h\n# TYPE reqs counter\nreqs 1\n"},
    };
    for (const Case &c : cases) {
        Buffer buf;
        ASSERT_EQ(c.emit(buf, c.name, c.help, c.labels, c.value), 0) << c.what;
        EXPECT_EQ(buf.text(), c.text) << c.what;
    }
}

TEST(Shortcuts, Refusals)
{
    struct Case {
        const char *what;
        Shortcut emit;
        bool null_buffer;
        const char *name, *help, *labels;
        const char *error;
        const char *left;  // what stays in the buffer
    } cases[] = {
        {"null buffer", promfmt_emit_gauge, true, "m", "h", nullptr,
         "null buffer or metric name", ""},
        {"null name", promfmt_emit_counter, false, nullptr, "h", nullptr,
         "null buffer or metric name", ""},
        {"empty name with help", promfmt_emit_gauge, false, "", "h", nullptr,
         "invalid metric name for HELP emission", ""},
        {"empty name without help", promfmt_emit_gauge, false, "", "", nullptr,
         "invalid metric name for TYPE emission", ""},
        {"bad name without help", promfmt_emit_counter, false, "a-b", nullptr, nullptr,
         "invalid metric name for TYPE emission", ""},
        {"labels not an object", promfmt_emit_gauge, false, "m", "h", "[]",
         "labels JSON must be an object", "# HELP m h\n# TYPE m gauge\n"},
        {"labels not JSON", promfmt_emit_counter, false, "m", nullptr, "{",
         "failed to parse labels JSON", "# TYPE m counter\n"},
    };
    for (const Case &c : cases) {
        Buffer buf;
        promfmt_buffer_t *target = c.null_buffer ? nullptr : buf.get();
        prime_error();
        EXPECT_EQ(c.emit(target, c.name, c.help, c.labels, 1), -1) << c.what;
        EXPECT_EQ(last_error(), c.error) << c.what;
        EXPECT_EQ(buf.text(), c.left) << c.what;
    }
}

}  // namespace
