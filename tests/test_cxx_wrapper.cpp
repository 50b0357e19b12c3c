// SPDX-License-Identifier: MIT
// The C++ wrapper (promfmt.hpp): every way of giving labels writes the same
// line, pairs are escaped as JSON before the library sees them, views need
// no NUL, refusals carry the library's message in both forms, and the
// buffer is move-only with an owner-less moved-from state.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "promfmt.hpp"

namespace pc = promfmt::cxx;

namespace {

// Leaves a message no emitter sets, so that a check of a refusal's message
// cannot pass on text an earlier refusal left behind.
void prime_error()
{
    char out[1];
    promfmt_escape_label_value("\"", out, sizeof out);
}

TEST(CxxLabels, EverySourceWritesTheSameLine)
{
    const std::string want = "m{code=\"200\",path=\"/a\"} 1\n";
    const std::map<std::string, std::string> map = {{"path", "/a"}, {"code", "200"}};
    const std::unordered_map<std::string_view, std::string_view> hashed = {{"path", "/a"},
                                                                          {"code", "200"}};
    const std::vector<std::pair<std::string, std::string>> strings = {{"path", "/a"},
                                                                      {"code", "200"}};
    const std::vector<pc::label> views = {{"path", "/a"}, {"code", "200"}};
    const std::array<std::pair<const char *, const char *>, 2> pointers = {
        {{"path", "/a"}, {"code", "200"}}};
    // JSON text inside a longer string: the view is not NUL-terminated.
    const std::string json = R"({"path":"/a","code":200}trailing)";

    std::vector<std::pair<const char *, pc::label_source>> sources = {
        {"map", map},
        {"unordered_map", hashed},
        {"vector of string pairs", strings},
        {"vector of labels", views},
        {"array of pointer pairs", pointers},
        {"json_text", pc::json_text{std::string_view(json).substr(0, json.size() - 8)}},
    };
    for (const auto &[what, labels] : sources) {
        pc::buffer buf;
        buf.sample("m", labels, 1);
        EXPECT_EQ(buf.view(), want) << what;
    }
    pc::buffer buf;
    buf.sample("m", {{"path", "/a"}, {"code", "200"}}, 1);
    EXPECT_EQ(buf.view(), want) << "braced list";
    // Empty ranges are an empty object: no labels.
    buf.reset();
    buf.sample("m", std::map<std::string, std::string>{}, 1);
    buf.sample("m", std::vector<pc::label>{}, 2);
    EXPECT_EQ(buf.view(), "m 1\nm 2\n");
}

TEST(CxxLabels, ValuesAreEscapedForJsonThenForTheFormat)
{
    struct Case {
        std::string_view value, written;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"q\"uote", "q\\\"uote"},
        {"back\\slash", "back\\\\slash"},
        {"line\nfeed", "line\\nfeed"},
        {"tab\tcr\r", "tab\tcr\r"},
        {"\x01\x1f\x7f", "\x01\x1f\x7f"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {std::string_view("cut\0here", 8), "cut"},
    };
    for (const Case &c : cases) {
        pc::buffer buf;
        buf.sample("m", {{"v", c.value}}, 1);
        EXPECT_EQ(buf.view(), "m{v=\"" + std::string(c.written) + "\"} 1\n")
            << "value " << testing::PrintToString(std::string(c.value));
    }
}

// Names and values are tested and copied a word at a time, a name and a
// value of 4 to 16 bytes together: put a byte that needs escaping, or a
// UTF-8 one that does not, at every place of values of every length around
// the word sizes, beside names of those lengths, and then in the names.
TEST(CxxLabels, EveryPlaceOfTextsOfEveryLengthIsEscaped)
{
    std::string letters;
    while (letters.size() < 64)
        letters += "abcdefghijklmnopqrstuvwxyz";
    // A byte of the value and what it becomes; a NUL ends the value.
    const std::pair<std::string_view, std::string_view> bytes[] = {
        {"\"", "\\\""}, {"\\", "\\\\"}, {"\n", "\\n"}, {"\x01", "\x01"}, {"\x1f", "\x1f"},
        {"\xc3\xa9", "\xc3\xa9"}, {{"", 1}, ""}};
    pc::buffer buf;
    for (std::size_t n = 0; n <= 64; ++n) {
        const std::string name = "n" + letters.substr(0, n > 0 ? n - 1 : 0);
        for (std::size_t at = 0; at < n; ++at) {
            for (const auto &[raw, escaped] : bytes) {
                std::string value = letters.substr(0, n), written = value;
                value.replace(at, 1, raw);
                written.replace(at, 1, escaped);
                if (raw == std::string_view("", 1))
                    written.resize(at);
                buf.reset();
                buf.sample("m", {{name, value}, {"z", name}}, 1);
                ASSERT_EQ(buf.view(), "m{" + name + "=\"" + written + "\",z=\"" + name + "\"} 1\n")
                    << "length " << n << ", byte " << int(raw[0]) << " at " << at;
            }
        }
        const std::string plain = letters.substr(0, n);
        buf.reset();
        buf.sample("m", {{name, plain}}, 1);
        ASSERT_EQ(buf.view(), "m{" + name + "=\"" + plain + "\"} 1\n") << "length " << n;
    }
    // In a name, each of them but the NUL makes it invalid.
    for (std::size_t n = 1; n <= 20; ++n) {
        for (std::size_t at = 0; at < n; ++at) {
            for (const auto &[raw, escaped] : bytes) {
                if (raw == std::string_view("", 1))
                    continue;
                std::string name = letters.substr(0, n);
                name.replace(at, 1, raw);
                prime_error();
                ASSERT_FALSE(buf.try_sample("m", {{name, "value-12345"}}, 1))
                    << "length " << n << ", byte " << int(raw[0]) << " at " << at;
                ASSERT_STREQ(pc::last_error().data(), "invalid label name in JSON");
            }
        }
    }
}

// Escaped texts of over 1 KiB are measured before they are written.
TEST(CxxLabels, LongTextsAreEscapedInTheRoomTheyTake)
{
    for (const std::size_t n : {std::size_t{1020}, std::size_t{1024}, std::size_t{1030}, std::size_t{5000}}) {
        const std::string value = "\"" + std::string(n, 'v') + "\n\\";
        pc::buffer buf;
        buf.sample("m", {{"v", value}, {"w", value}}, 1);
        const std::string written = "\\\"" + std::string(n, 'v') + "\\n\\\\";
        EXPECT_EQ(buf.view(), "m{v=\"" + written + "\",w=\"" + written + "\"} 1\n") << n;
    }
}

TEST(CxxLabels, OnlyRangesOfPairsAreLabels)
{
    static_assert(std::is_convertible_v<std::map<std::string, std::string>, pc::label_source>);
    static_assert(std::is_convertible_v<std::vector<pc::label>, pc::label_source>);
    static_assert(!std::is_convertible_v<std::string_view, pc::label_source>);
    static_assert(!std::is_convertible_v<std::vector<int>, pc::label_source>);
    static_assert(!std::is_convertible_v<double, pc::label_source>);
}

TEST(CxxBuffer, NamesAndHelpTextsNeedNoTerminator)
{
    const std::string text = "up_and_more Help text, and more";
    const std::string_view name = std::string_view(text).substr(0, 2);
    const std::string_view help = std::string_view(text).substr(12, 9);
    pc::buffer buf;
    buf.help(name, help);
    buf.type(name, pc::metric_type::gauge);
    buf.sample(name, {}, 1, 1700000000000);
    buf.gauge(name, help, {{"a", "b"}}, 2);
    buf.counter(name, "", {}, 3);
    EXPECT_EQ(buf.view(),
              "# HELP up Help text\n# TYPE up gauge\nup 1 1700000000000\n"
              "# HELP up Help text\n# TYPE up gauge\nup{a=\"b\"} 2\n"
              "# TYPE up counter\nup 3\n");
    EXPECT_EQ(std::string_view(buf.data()), buf.view());
    EXPECT_EQ(buf.size(), buf.view().size());
}

TEST(CxxBuffer, EveryMetricTypeWord)
{
    const std::pair<pc::metric_type, const char *> cases[] = {
        {pc::metric_type::untyped, "untyped"}, {pc::metric_type::counter, "counter"},
        {pc::metric_type::gauge, "gauge"},     {pc::metric_type::histogram, "histogram"},
        {pc::metric_type::summary, "summary"}, {static_cast<pc::metric_type>(-3), "untyped"},
    };
    for (const auto &[kind, word] : cases) {
        pc::buffer buf;
        buf.type("m", kind);
        EXPECT_EQ(buf.view(), std::string("# TYPE m ") + word + "\n");
    }
}

TEST(CxxBuffer, ResetEmptiesAndKeepsTheText)
{
    pc::buffer buf(4096);
    buf.sample("m", {}, 1);
    const char *text = buf.data();
    buf.reset();
    EXPECT_TRUE(buf.view().empty());
    buf.sample("n", {}, 2);
    EXPECT_EQ(buf.data(), text);
    EXPECT_EQ(buf.view(), "n 2\n");
}

// One refused call per row, made through one of the emitters.
struct Refusal {
    const char *what;
    enum { sample, help, type, gauge, counter } call;
    std::string_view name;
    std::vector<pc::label> labels;
    const char *json;  // labels as JSON text instead, when not null
    const char *message;
};

const std::vector<Refusal> &refusals()
{
    static const std::vector<Refusal> rows = {
        {"metric name", Refusal::sample, "0m", {}, nullptr, "invalid metric name"},
        {"empty metric name", Refusal::sample, "", {}, nullptr, "invalid metric name"},
        {"label name", Refusal::sample, "m", {{"a-b", "1"}}, nullptr,
         "invalid label name in JSON"},
        {"label name with a quote", Refusal::sample, "m", {{"a\"", "1"}}, nullptr,
         "invalid label name in JSON"},
        {"__name__", Refusal::sample, "m", {{"__name__", "x"}}, nullptr,
         "invalid label name in JSON"},
        {"duplicate", Refusal::sample, "m", {{"a", "1"}, {"b", "2"}, {"a", "3"}}, nullptr,
         "duplicate label name in JSON"},
        {"invalid UTF-8 value", Refusal::sample, "m", {{"a", "\xff"}}, nullptr,
         "failed to parse labels JSON"},
        {"JSON not an object", Refusal::sample, "m", {}, "[1]", "labels JSON must be an object"},
        {"JSON cut short", Refusal::sample, "m", {}, "{\"a\":", "failed to parse labels JSON"},
        {"HELP name", Refusal::help, "m m", {}, nullptr, "invalid metric name for HELP emission"},
        {"TYPE name", Refusal::type, "m{", {}, nullptr, "invalid metric name for TYPE emission"},
        {"gauge name", Refusal::gauge, "1", {}, nullptr, "invalid metric name for HELP emission"},
        {"counter labels", Refusal::counter, "c", {{"1", "x"}}, nullptr,
         "invalid label name in JSON"},
    };
    return rows;
}

bool attempt(pc::buffer &buf, const Refusal &r, bool throwing)
{
    pc::label_source labels = r.json ? pc::label_source(pc::json_text{r.json})
                                     : pc::label_source(r.labels);
    switch (r.call) {
    case Refusal::sample:
        return throwing ? (buf.sample(r.name, labels, 1), true) : buf.try_sample(r.name, labels, 1);
    case Refusal::help:
        return throwing ? (buf.help(r.name, "h"), true) : buf.try_help(r.name, "h");
    case Refusal::type:
        return throwing ? (buf.type(r.name, pc::metric_type::gauge), true)
                        : buf.try_type(r.name, pc::metric_type::gauge);
    case Refusal::gauge:
        return throwing ? (buf.gauge(r.name, "h", labels, 1), true)
                        : buf.try_gauge(r.name, "h", labels, 1);
    case Refusal::counter:
        return throwing ? (buf.counter(r.name, "", labels, 1), true)
                        : buf.try_counter(r.name, "", labels, 1);
    }
    return true;
}

TEST(CxxErrors, BothFormsCarryTheLibrarysMessage)
{
    const std::string kept = "kept 1\n";
    for (const Refusal &r : refusals()) {
        pc::buffer buf;
        buf.sample("kept", {}, 1);
        prime_error();
        EXPECT_FALSE(attempt(buf, r, false)) << r.what;
        EXPECT_EQ(pc::last_error(), r.message) << r.what;
        // The counter's TYPE line stays when its sample is refused.
        const std::string left = kept + (r.call == Refusal::counter ? "# TYPE c counter\n" : "");
        EXPECT_EQ(buf.view(), left) << r.what;

        buf.reset();
        buf.sample("kept", {}, 1);
        prime_error();
        try {
            attempt(buf, r, true);
            ADD_FAILURE() << r.what << ": no exception";
        } catch (const pc::error &e) {
            EXPECT_STREQ(e.what(), r.message) << r.what;
        }
        EXPECT_EQ(buf.view(), left) << r.what;
    }
}

TEST(CxxBuffer, MoveOnlyAndMovedFromOwnsNothing)
{
    static_assert(!std::is_copy_constructible_v<pc::buffer>);
    static_assert(!std::is_copy_assignable_v<pc::buffer>);
    static_assert(std::is_nothrow_move_constructible_v<pc::buffer>);
    static_assert(std::is_nothrow_move_assignable_v<pc::buffer>);

    pc::buffer a;
    a.sample("a", {}, 1);
    const std::string_view before = a.view();
    pc::buffer b(std::move(a));
    EXPECT_EQ(b.view().data(), before.data()) << "moving keeps the text where it is";
    EXPECT_EQ(b.view(), "a 1\n");

    EXPECT_FALSE(a);  // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_TRUE(a.view().empty());
    a.reset();
    EXPECT_FALSE(a.try_sample("a", {}, 1));
    EXPECT_EQ(pc::last_error(), "null buffer pointer");
    EXPECT_THROW(a.help("a", "h"), pc::error);

    pc::buffer c;
    c.sample("c", {}, 3);
    c = std::move(b);  // frees c's own buffer
    EXPECT_EQ(c.view(), "a 1\n");
    a = std::move(c);  // a owns one again
    a.sample("b", {}, 2);
    EXPECT_EQ(a.view(), "a 1\nb 2\n");
}

TEST(CxxBuffer, NothrowCreation)
{
    pc::buffer buf(std::nothrow, 100);
    ASSERT_TRUE(buf);
    EXPECT_TRUE(buf.try_sample("m", {}, 1));
    EXPECT_EQ(buf.view(), "m 1\n");
}

}  // namespace
