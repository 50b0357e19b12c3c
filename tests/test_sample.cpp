// SPDX-License-Identifier: MIT
// Sample lines: labels JSON, value and timestamp rendering, and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "support.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Each case writes metric "m" with value 1 and the given labels text.
struct LabelsCase {
    const char *what;
    const char *json;
    const char *line;  // expected line, or nullptr when refused
    const char *error;
};

void run_labels_cases(const LabelsCase *cases, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const LabelsCase &c = cases[i];
        Buffer buf;
        ASSERT_EQ(promfmt_emit_sample(buf, "before", nullptr, 0, 0), 0);
        prime_error();
        int rc = promfmt_emit_sample(buf, "m", c.json, 1, 0);
        if (c.line) {
            EXPECT_EQ(rc, 0) << c.what << ": " << last_error();
            EXPECT_EQ(buf.text(), std::string("before 0\n") + c.line) << c.what;
        } else {
            EXPECT_EQ(rc, -1) << c.what;
            EXPECT_EQ(last_error(), c.error) << c.what;
            EXPECT_EQ(buf.text(), "before 0\n") << c.what << ": buffer must be untouched";
        }
    }
}

TEST(Sample, NoLabels)
{
    const LabelsCase cases[] = {
        {"null", nullptr, "m 1\n", nullptr},
        {"empty", "", "m 1\n", nullptr},
        {"JSON whitespace only", " \t\r\n ", "m 1\n", nullptr},
        {"empty object", "{}", "m 1\n", nullptr},
        {"empty object in whitespace", " \n{ }\t\r\n", "m 1\n", nullptr},
        {"vertical tab reaches the parser", "\v", nullptr, "failed to parse labels JSON"},
        {"form feed reaches the parser", "\f{}", nullptr, "failed to parse labels JSON"},
    };
    run_labels_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(Sample, LabelsMustBeOneObject)
{
    const char *kNotObject = "labels JSON must be an object";
    const char *kNotJson = "failed to parse labels JSON";
    const LabelsCase cases[] = {
        {"array", "[1,2]", nullptr, kNotObject},
        {"number", "42", nullptr, kNotObject},
        {"string", "\"a\"", nullptr, kNotObject},
        {"true", "true", nullptr, kNotObject},
        {"false", "false", nullptr, kNotObject},
        {"null", "null", nullptr, kNotObject},
        {"not JSON", "job=api", nullptr, kNotJson},
        {"unterminated", "{\"a\":\"b\"", nullptr, kNotJson},
        {"trailing text", "{\"a\":\"b\"} x", nullptr, kNotJson},
        {"two objects", "{}{}", nullptr, kNotJson},
        {"byte-order mark", "\xef\xbb\xbf{\"a\":\"b\"}", nullptr, kNotJson},
        {"comment", "{/* c */\"a\":\"b\"}", nullptr, kNotJson},
        {"trailing comma", "{\"a\":\"b\",}", nullptr, kNotJson},
        {"NaN literal", "{\"a\":NaN}", nullptr, kNotJson},
        {"Infinity literal", "{\"a\":Infinity}", nullptr, kNotJson},
        {"single quotes", "{'a':'b'}", nullptr, kNotJson},
        {"invalid UTF-8", "{\"a\":\"\xff\"}", nullptr, kNotJson},
        {"trailing whitespace is fine", "{\"a\":\"b\"} \n", "m{a=\"b\"} 1\n", nullptr},
        {"leading whitespace is fine", " \t\r\n{\"a\":\"b\"}", "m{a=\"b\"} 1\n", nullptr},
    };
    run_labels_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(Sample, LabelsAreSortedByteWise)
{
    const LabelsCase cases[] = {
        {"b before a", "{\"b\":\"2\",\"a\":\"1\"}", "m{a=\"1\",b=\"2\"} 1\n", nullptr},
        {"digits < upper < underscore < lower",
         "{\"a\":\"4\",\"_\":\"3\",\"A\":\"2\",\"a1\":\"5\",\"Z9\":\"1\"}",
         "m{A=\"2\",Z9=\"1\",_=\"3\",a=\"4\",a1=\"5\"} 1\n", nullptr},
        {"prefix sorts first", "{\"ab\":\"x\",\"a\":\"y\"}", "m{a=\"y\",ab=\"x\"} 1\n", nullptr},
        {"more than fit on the stack",
         "{\"l\":\"\",\"k\":\"\",\"j\":\"\",\"i\":\"\",\"h\":\"\",\"g\":\"\",\"f\":\"\","
         "\"e\":\"\",\"d\":\"\",\"c\":\"\",\"b\":\"\",\"a\":\"\",\"q\":\"\",\"p\":\"\","
         "\"o\":\"\",\"n\":\"\",\"m\":\"\"}",
         "m{a=\"\",b=\"\",c=\"\",d=\"\",e=\"\",f=\"\",g=\"\",h=\"\",i=\"\",j=\"\",k=\"\","
         "l=\"\",m=\"\",n=\"\",o=\"\",p=\"\",q=\"\"} 1\n",
         nullptr},
    };
    run_labels_cases(cases, sizeof cases / sizeof cases[0]);
}

// Names of 1 to 20 bytes that share prefixes of every length and differ in
// one byte (or only in length), so every step of the name comparison
// decides some pair. Written as label lists of up to 16 and of all of them,
// in reverse and in shuffled order; the line must list them in byte order.
TEST(Sample, SortsNamesSharingPrefixesOfEveryLength)
{
    std::vector<std::string> names;
    for (size_t len = 1; len <= 20; ++len) {
        for (size_t pos = 0; pos < len; ++pos) {
            std::string name(len, 'a');
            name[pos] = 'b';
            names.push_back(name);
            name[pos] = 'c';
            names.push_back(name);
        }
        names.push_back(std::string(len, 'a'));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());

    uint64_t rng = 0x9E3779B97F4A7C15ull;
    auto check = [&](std::vector<std::string> group) {
        std::sort(group.begin(), group.end());
        std::string expected = "m{";
        for (size_t i = 0; i < group.size(); ++i)
            expected += (i ? ",": "") + group[i] + "=\"" + std::to_string(i) + "\"";
        expected += "} 1\n";
        std::vector<size_t> order(group.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = order.size() - 1 - i;
        for (int round = 0; round < 3; ++round) {
            std::string json = "{";
            for (size_t k = 0; k < order.size(); ++k)
                json += (k ? "," : "") + ("\"" + group[order[k]] + "\":\"") +
                        std::to_string(order[k]) + "\"";
            json += "}";
            Buffer buf;
            ASSERT_EQ(promfmt_emit_sample(buf, "m", json.c_str(), 1, 0), 0) << json;
            ASSERT_EQ(buf.text(), expected) << json;
            for (size_t i = order.size(); i > 1; --i) {  // Fisher-Yates
                rng ^= rng << 13, rng ^= rng >> 7, rng ^= rng << 17;
                std::swap(order[i - 1], order[rng % i]);
            }
        }
    };
    for (size_t first = 0; first < names.size(); first += 16) {
        size_t end = std::min(first + 16, names.size());
        check(std::vector<std::string>(names.begin() + first, names.begin() + end));
        // Close neighbours in byte order, two and three at a time.
        check(std::vector<std::string>(names.begin() + first, names.begin() + first + 2));
        check(std::vector<std::string>(names.begin() + first, names.begin() + first + 3));
    }
    check(names);
}

// Names and values are copied into the line in pieces sized to their
// length; every length up to past the longest inline copy, with bytes
// that differ from their neighbours, so a piece copied short, long or from
// the wrong place shows.
TEST(Sample, CopiesNamesAndValuesOfEveryLength)
{
    const std::string bytes = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    auto text_of = [&bytes](size_t len, char first) {
        std::string s;
        for (size_t i = 0; i < len; ++i)
            s += i == 0 ? first : bytes[i % bytes.size()];
        return s;
    };
    for (size_t len = 1; len <= 80; ++len) {
        std::string name = text_of(len, 'm');
        std::string label = text_of(len, 'l');
        std::string value = text_of(len - 1, 'v');
        Buffer buf;
        std::string json = "{\"" + label + "\":\"" + value + "\",\"z\":\"" + value + "\"}";
        ASSERT_EQ(promfmt_emit_sample(buf, name.c_str(), json.c_str(), 1, 0), 0) << last_error();
        EXPECT_EQ(buf.text(), name + "{" + label + "=\"" + value + "\",z=\"" + value + "\"} 1\n")
            << len << " bytes";
    }
}

TEST(Sample, ManyLabelsWithNumberValues)
{
    // Beyond the 16 labels kept inline, every number keeps its own text.
    std::string json = "{";
    std::string line = "m{";
    for (int i = 0; i < 40; ++i) {
        char name[8];
        snprintf(name, sizeof name, "l%02d", i);
        json += std::string(i ? "," : "") + "\"" + name + "\":" + std::to_string(i * 11 - 7);
        line += std::string(i ? "," : "") + name + "=\"" + std::to_string(i * 11 - 7) + "\"";
    }
    json += "}";
    line += "} 1\n";
    Buffer buf;
    ASSERT_EQ(promfmt_emit_sample(buf, "m", json.c_str(), 1, 0), 0);
    EXPECT_EQ(buf.text(), line);
}

TEST(Sample, LabelKeysAndDuplicates)
{
    const char *kBadName = "invalid label name in JSON";
    const char *kDuplicate = "duplicate label name in JSON";
    const LabelsCase cases[] = {
        {"bad last key after good ones", "{\"a\":\"1\",\"b\":\"2\",\"c-d\":\"3\"}", nullptr,
         kBadName},
        {"key starting with NUL", "{\"\\u0000a\":\"1\"}", nullptr, kBadName},
        {"key cut at NUL", "{\"ab\\u0000cd\":\"1\"}", "m{ab=\"1\"} 1\n", nullptr},
        {"duplicate key", "{\"a\":\"1\",\"a\":\"2\"}", nullptr, kDuplicate},
        {"duplicate after sorting", "{\"b\":1,\"a\":2,\"c\":3,\"b\":4}", nullptr, kDuplicate},
        {"duplicate through NUL cut", "{\"a\":\"1\",\"a\\u0000x\":\"2\"}", nullptr, kDuplicate},
        {"bad name wins over duplicate", "{\"a\":1,\"a\":2,\"9\":3}", nullptr, kBadName},
        {"duplicates beyond the stack",
         "{\"a\":1,\"b\":1,\"c\":1,\"d\":1,\"e\":1,\"f\":1,\"g\":1,\"h\":1,\"i\":1,"
         "\"j\":1,\"k\":1,\"l\":1,\"m\":1,\"n\":1,\"o\":1,\"p\":1,\"q\":1,\"a\":1}",
         nullptr, kDuplicate},
    };
    run_labels_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(Sample, LabelValuesFromJsonTypes)
{
    const LabelsCase cases[] = {
        {"escapes", "{\"v\":\"a\\\\b\\\"c\\nd\"}", "m{v=\"a\\\\b\\\"c\\nd\"} 1\n", nullptr},
        {"tab and CR unchanged", "{\"v\":\"\\t\\r\"}", "m{v=\"\t\r\"} 1\n", nullptr},
        {"UTF-8 passes", "{\"v\":\"\xc3\xa9\\u00e9\"}", "m{v=\"\xc3\xa9\xc3\xa9\"} 1\n", nullptr},
        {"value cut at NUL", "{\"v\":\"ab\\u0000cd\"}", "m{v=\"ab\"} 1\n", nullptr},
        {"integer", "{\"v\":7}", "m{v=\"7\"} 1\n", nullptr},
        {"negative integer", "{\"v\":-7}", "m{v=\"-7\"} 1\n", nullptr},
        {"real", "{\"v\":1.5}", "m{v=\"1.5\"} 1\n", nullptr},
        {"real with exponent", "{\"v\":1e20}", "m{v=\"1e+20\"} 1\n", nullptr},
        {"real, 14 digits", "{\"v\":3.14159265358979}", "m{v=\"3.1415926535898\"} 1\n",
         nullptr},
        {"true", "{\"v\":true}", "m{v=\"true\"} 1\n", nullptr},
        {"false", "{\"v\":false}", "m{v=\"false\"} 1\n", nullptr},
        {"null", "{\"v\":null}", "m{v=\"\"} 1\n", nullptr},
        {"array", "{\"v\":[1,2]}", "m{v=\"\"} 1\n", nullptr},
        {"object", "{\"v\":{\"w\":1}}", "m{v=\"\"} 1\n", nullptr},
        {"largest unsigned 64-bit", "{\"v\":18446744073709551615}",
         "m{v=\"18446744073709551615\"} 1\n", nullptr},
        {"smallest signed 64-bit", "{\"v\":-9223372036854775808}",
         "m{v=\"-9223372036854775808\"} 1\n", nullptr},
        {"beyond unsigned 64-bit is real", "{\"v\":18446744073709551616}",
         "m{v=\"1.844674407371e+19\"} 1\n", nullptr},
        {"beyond signed 64-bit is real", "{\"v\":-9223372036854775809}",
         "m{v=\"-9.2233720368548e+18\"} 1\n", nullptr},
    };
    run_labels_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(Sample, HostileBytesInLabels)
{
    const char *kNotJson = "failed to parse labels JSON";
    const LabelsCase cases[] = {
        {"lone high surrogate", "{\"v\":\"\\ud800\"}", nullptr, kNotJson},
        {"lone low surrogate", "{\"v\":\"\\udc00x\"}", nullptr, kNotJson},
        {"surrogate pair is fine", "{\"v\":\"\\ud83c\\udf21\"}",
         "m{v=\"\xf0\x9f\x8c\xa1\"} 1\n", nullptr},
        {"overlong NUL", "{\"v\":\"\xc0\x80\"}", nullptr, kNotJson},
        {"raw surrogate bytes", "{\"v\":\"\xed\xa0\x80\"}", nullptr, kNotJson},
        {"beyond U+10FFFF", "{\"v\":\"\xf4\x90\x80\x80\"}", nullptr, kNotJson},
        {"truncated sequence", "{\"v\":\"\xe6\x97\"}", nullptr, kNotJson},
        {"invalid UTF-8 in a key", "{\"\xff\":\"v\"}", nullptr, kNotJson},
        {"raw control character", "{\"v\":\"\x01\"}", nullptr, kNotJson},
        {"raw line feed in a string", "{\"v\":\"a\nb\"}", nullptr, kNotJson},
        {"escaped control character", "{\"v\":\"\\u0001\"}", "m{v=\"\x01\"} 1\n", nullptr},
        {"DEL passes", "{\"v\":\"\x7f\"}", "m{v=\"\x7f\"} 1\n", nullptr},
        {"escaped NUL only", "{\"v\":\"\\u0000\"}", "m{v=\"\"} 1\n", nullptr},
        {"number overflowing a double", "{\"v\":1e400}", nullptr, kNotJson},
        {"minus zero integer", "{\"v\":-0}", "m{v=\"0\"} 1\n", nullptr},
        {"minus zero real", "{\"v\":-0.0}", "m{v=\"-0\"} 1\n", nullptr},
    };
    run_labels_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(Sample, NameEndsAtItsNul)
{
    Buffer buf;
    const char name[] = "ab\0cd";  // a C string: the name is "ab"
    ASSERT_EQ(promfmt_emit_sample(buf, name, nullptr, 1, 0), 0);
    EXPECT_EQ(buf.text(), "ab 1\n");
}

TEST(Sample, ValuesRenderWith14Digits)
{
    struct Case {
        double value;
        const char *text;
    } cases[] = {
        {0, "0"},
        {-0.0, "-0"},
        {1, "1"},
        {-42, "-42"},
        {0.1, "0.1"},
        {1.5, "1.5"},
        {1e14, "1e+14"},
        {1e14 - 1, "99999999999999"},
        {-(1e14 - 1), "-99999999999999"},
        {123456789012345678.0, "1.2345678901235e+17"},
        {3.14159265358979323846, "3.1415926535898"},
        {0.0001, "0.0001"},
        {0.00001, "1e-05"},
        {1e-300, "1e-300"},
        {5e-324, "4.9406564584125e-324"},
        {1.7976931348623157e308, "1.7976931348623e+308"},
        {1e15 + 0.5, "1e+15"},
        {12345.678, "12345.678"},
        {9007199254740993.0, "9.007199254741e+15"},
        {kNaN, "NaN"},
        {-kNaN, "NaN"},
        {kInf, "+Inf"},
        {-kInf, "-Inf"},
    };
    for (const Case &c : cases) {
        Buffer buf;
        ASSERT_EQ(promfmt_emit_sample(buf, "m", nullptr, c.value, 0), 0);
        EXPECT_EQ(buf.text(), std::string("m ") + c.text + "\n") << c.text;
    }
}

TEST(Sample, Timestamps)
{
    struct Case {
        int64_t ts;
        const char *line;
    } cases[] = {
        {0, "m{a=\"b\"} 2.5\n"},
        {-5, "m{a=\"b\"} 2.5\n"},
        {INT64_MIN, "m{a=\"b\"} 2.5\n"},
        {1, "m{a=\"b\"} 2.5 1\n"},
        {1700000000123, "m{a=\"b\"} 2.5 1700000000123\n"},
        {INT64_MAX, "m{a=\"b\"} 2.5 9223372036854775807\n"},
    };
    for (const Case &c : cases) {
        Buffer buf;
        ASSERT_EQ(promfmt_emit_sample(buf, "m", "{\"a\":\"b\"}", 2.5, c.ts), 0);
        EXPECT_EQ(buf.text(), c.line) << c.ts;
    }
}

TEST(Sample, NullBuffer)
{
    prime_error();
    EXPECT_EQ(promfmt_emit_sample(nullptr, "m", nullptr, 1, 0), -1);
    EXPECT_EQ(last_error(), "null buffer pointer");
}

TEST(Sample, LabelsTextIsOnlyRead)
{
    Buffer buf;
    const std::string json = "{\"b\":\"x\\ny\",\"a\":1}";
    std::string copy = json;
    ASSERT_EQ(promfmt_emit_sample(buf, "m", copy.c_str(), 1, 0), 0);
    EXPECT_EQ(copy, json);
}

}  // namespace
