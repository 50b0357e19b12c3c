// SPDX-License-Identifier: MIT
// Metric-name and label-name rules, and the label-value escape.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support.h"

namespace {

TEST(Names, MetricNameRule)
{
    struct Case {
        const char *name;
        bool valid;
    } cases[] = {
        {"http_requests_total", true}, {":", true},  {"_", true},      {"a:b:c", true},
        {"A9_z", true},               {"a1", true},  {"1abc", false},  {"a-b", false},
        {"a.b", false},               {"a b", false}, {"", false},     {"caf\xc3\xa9", false},
        {"\x80", false},              {"a@", false}, {"a[", false},    {"a`", false},
        {"a{", false},                {"@a", false}, {"{a", false},    {"a/", false},
    };
    for (const Case &c : cases) {
        Buffer buf;
        prime_error();
        int rc = promfmt_emit_sample(buf, c.name, nullptr, 1, 0);
        EXPECT_EQ(rc, c.valid ? 0 : -1) << "name '" << c.name << "'";
        if (c.valid) {
            EXPECT_EQ(buf.text(), std::string(c.name) + " 1\n");
        } else {
            EXPECT_EQ(last_error(), "invalid metric name") << c.name;
            EXPECT_EQ(buf.text(), "");
        }
    }
    Buffer buf;
    prime_error();
    EXPECT_EQ(promfmt_emit_sample(buf, nullptr, nullptr, 1, 0), -1);
    EXPECT_EQ(last_error(), "invalid metric name");
}

TEST(Names, LabelNameRule)
{
    struct Case {
        const char *key;  // JSON text of the key, without quotes
        bool valid;
    } cases[] = {
        {"_x", true},      {"__name", true},     {"a1", true},        {"Zz_9", true},
        {"a:b", false},    {":", false},         {"1a", false},       {"a-b", false},
        {"", false},       {"caf\xc3\xa9", false}, {"\\u00e9", false}, {"a b", false},
        {"a.b", false},    {"@", false},         {"\\u0000a", false},
        // Readers take __name__ for the metric name and drop the scrape.
        {"__name__", false}, {"__name__\\u0000x", false}, {"__name_", true},
        {"__name__x", true}, {"__x__", true},
    };
    for (const Case &c : cases) {
        Buffer buf;
        std::string json = std::string("{\"ok\":\"1\",\"") + c.key + "\":\"v\"}";
        prime_error();
        int rc = promfmt_emit_sample(buf, "m", json.c_str(), 1, 0);
        EXPECT_EQ(rc, c.valid ? 0 : -1) << json;
        if (!c.valid) {
            EXPECT_EQ(last_error(), "invalid label name in JSON") << json;
            EXPECT_EQ(buf.text(), "") << json;
        }
    }
}

// A name of every length from 1 to 24 bytes, with one bad byte at every
// position in turn: the checks work in steps of several bytes, and each
// step and each tail byte must be looked at.
TEST(Names, BadByteAtEveryPosition)
{
    for (size_t len = 1; len <= 24; ++len) {
        std::string good(len, 'a');
        Buffer buf;
        ASSERT_EQ(promfmt_emit_sample(buf, good.c_str(), nullptr, 1, 0), 0) << len;
        ASSERT_EQ(promfmt_emit_sample(buf, "m", ("{\"" + good + "\":1}").c_str(), 1, 0), 0)
            << len;
        for (size_t pos = 0; pos < len; ++pos) {
            std::string metric = good;
            metric[pos] = '-';
            std::string label = good;
            label[pos] = ':';  // fine in metric names, never in label names
            EXPECT_EQ(promfmt_emit_sample(buf, metric.c_str(), nullptr, 1, 0), -1) << metric;
            std::string json = "{\"" + label + "\":1}";
            EXPECT_EQ(promfmt_emit_sample(buf, "m", json.c_str(), 1, 0), -1) << json;
        }
    }
}

// The buffer keeps the last valid metric name, so that a family's lines
// need not check it again: each call must still be judged on its own name,
// whatever the names before it (same length, prefix, extension, one byte
// off, one byte above the kept one's, beyond the kept length, empty on a
// fresh buffer).
TEST(Names, EachCallJudgesItsOwnName)
{
    const std::string x64(64, 'x'), y65(65, 'y');
    const struct Step {
        std::string name;
        bool valid;
    } steps[] = {
        {"", false},  {"up", true},   {"up", true},      {"u-", false},  {"up", true},
        {"u", true},  {"upp", true},  {"", false},       {"up:x", true}, {"up x", false},
        {"up:", true}, {"up;", false},
        {x64, true},  {x64, true},    {x64.substr(0, 63) + "-", false},  {x64, true},
        {y65, true},  {y65.substr(0, 64) + "!", false},  {y65, true},    {"1p", false},
        {"up", true},
    };
    Buffer buf;
    std::string want;
    for (const Step &s : steps) {
        const char *name = s.name.c_str();
        for (int call = 0; call < 3; ++call) {  // HELP, TYPE, sample
            prime_error();
            int rc = call == 0   ? promfmt_emit_help(buf, name, "h")
                     : call == 1 ? promfmt_emit_type(buf, name, PROMFMT_TYPE_GAUGE)
                                 : promfmt_emit_sample(buf, name, nullptr, 1, 0);
            ASSERT_EQ(rc, s.valid ? 0 : -1) << "'" << s.name << "', call " << call;
            if (s.valid)
                want += call == 0   ? "# HELP " + s.name + " h\n"
                        : call == 1 ? "# TYPE " + s.name + " gauge\n"
                                    : s.name + " 1\n";
        }
    }
    EXPECT_EQ(buf.text(), want);
}

TEST(Escape, LabelValueTable)
{
    struct Case {
        const char *in;
        const char *out;
    } cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a\\b", "a\\\\b"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"two\nlines", "two\\nlines"},
        {"\\\"\n", "\\\\\\\"\\n"},
        {"cr\r tab\t", "cr\r tab\t"},
        {"utf8 \xc3\xa9 \xff", "utf8 \xc3\xa9 \xff"},
    };
    for (const Case &c : cases) {
        int want = static_cast<int>(strlen(c.out));
        EXPECT_EQ(promfmt_escape_label_value(c.in, nullptr, 0), want) << c.in;
        char out[64];
        memset(out, 'X', sizeof out);
        EXPECT_EQ(promfmt_escape_label_value(c.in, out, sizeof out), want) << c.in;
        EXPECT_EQ(memcmp(out, c.out, strlen(c.out) + 1), 0) << c.in;
    }
}

// Texts of every length up to 40 with one byte to escape (or one that
// looks alike) at every place, and with every place holding it: the
// escaped length and text of label values and help texts, which are
// measured in blocks of 16 and 8 bytes with the rest byte by byte.
TEST(Escape, EveryPlaceOfEveryLength)
{
    auto escaped = [](const std::string &in, bool quote) {
        std::string out;
        for (char c : in) {
            if (c == '\\' || (quote && c == '"'))
                out += {'\\', c};
            else if (c == '\n')
                out += "\\n";
            else
                out += c;
        }
        return out;
    };
    Buffer buf;
    for (size_t len = 1; len <= 40; ++len) {
        for (char c : {'\\', '"', '\n', '\t', '!'}) {
            std::vector<std::string> texts{std::string(len, c)};
            for (size_t at = 0; at < len; ++at)
                texts.push_back(std::string(at, 'a') + c + std::string(len - at - 1, 'a'));
            for (const std::string &in : texts) {
                std::string value = escaped(in, true);
                char out[256];
                ASSERT_EQ(promfmt_escape_label_value(in.c_str(), out, sizeof out),
                          static_cast<int>(value.size()))
                    << in;
                EXPECT_EQ(out, value) << in;
                promfmt_buffer_reset(buf);
                ASSERT_EQ(promfmt_emit_help(buf, "m", in.c_str()), 0);
                EXPECT_EQ(buf.text(), "# HELP m " + escaped(in, false) + "\n") << in;
            }
        }
    }
}

TEST(Escape, DestinationSizes)
{
    const char *in = "\\\"\n";  // escapes to six bytes
    char out[16];

    memset(out, 'X', sizeof out);
    EXPECT_EQ(promfmt_escape_label_value(in, out, 0), 6) << "size 0 measures";
    EXPECT_EQ(out[0], 'X') << "and writes nothing";

    EXPECT_EQ(promfmt_escape_label_value(in, out, 7), 6);
    EXPECT_EQ(memcmp(out, "\\\\\\\"\\n\0", 7), 0);

    memset(out, 'X', sizeof out);
    EXPECT_EQ(promfmt_escape_label_value(in, out, 6), -1);
    EXPECT_EQ(last_error(), "destination buffer too small for escaped label value");
    EXPECT_EQ(out[0], 'X') << "a refused destination is untouched";

    EXPECT_EQ(promfmt_escape_label_value("", out, 1), 0);
    EXPECT_EQ(out[0], '\0');
    memset(out, 'X', sizeof out);
    EXPECT_EQ(promfmt_escape_label_value(nullptr, out, 4), 0);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(promfmt_escape_label_value(nullptr, nullptr, 4), 0);
    EXPECT_EQ(promfmt_escape_label_value("a", out, 1), -1) << "no room for the NUL";
}

TEST(Escape, RefusesLengthsBeyondInt)
{
    // (INT_MAX / 2) + 1 line feeds escape to INT_MAX + 1 bytes.
    // (A vector: on 32-bit hosts a string of 1 GiB is beyond max_size().)
    size_t n = static_cast<size_t>(INT_MAX) / 2 + 1;
    std::vector<char> big(n + 1, '\n');
    big[n] = '\0';
    EXPECT_EQ(promfmt_escape_label_value(big.data(), nullptr, 0), -1);
    EXPECT_EQ(last_error(), "label value too long");
    big[n - 1] = '\0';
    EXPECT_EQ(promfmt_escape_label_value(big.data(), nullptr, 0), INT_MAX - 1);
    // The limit itself: one line feed fewer and a plain byte give INT_MAX.
    big[n - 1] = 'x';
    EXPECT_EQ(promfmt_escape_label_value(big.data(), nullptr, 0), INT_MAX);
}

}  // namespace
