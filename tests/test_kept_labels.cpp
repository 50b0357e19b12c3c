// SPDX-License-Identifier: MIT
// The label names a buffer keeps from one sample line to the next: a text
// that repeats them skips their checks and their sort. Whatever a buffer
// wrote before, each line must come out exactly as on a fresh buffer, which
// keeps nothing: same return code, same message, same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support.h"

namespace {

const std::string kBase =
    R"({"code":"200","method":"get","kubernetes_namespace_name":"ns","path":"/a\"b"})";

struct Outcome {
    int rc;
    std::string error;
    std::string text;
};

bool operator==(const Outcome &a, const Outcome &b)
{
    return a.rc == b.rc && a.error == b.error && a.text == b.text;
}

// Writes one sample line with labels json to buf; what it added.
Outcome emit(promfmt_buffer_t *buf, const std::string &json)
{
    size_t before = promfmt_buffer_len(buf);
    prime_error();
    Outcome out;
    out.rc = promfmt_emit_sample(buf, "m", exact_copy(json).get(), 1, 0);
    out.error = out.rc == 0 ? "" : last_error();
    out.text = std::string(promfmt_buffer_data(buf) + before, promfmt_buffer_len(buf) - before);
    return out;
}

// The line a buffer that keeps nothing writes.
Outcome fresh(const std::string &json)
{
    Buffer buf;
    return emit(buf, json);
}

// Writes every text of seq to buf in turn, each checked against a fresh
// buffer's line.
void expect_as_fresh(promfmt_buffer_t *buf, const std::vector<std::string> &seq)
{
    for (const std::string &json : seq) {
        Outcome want = fresh(json);
        Outcome got = emit(buf, json);
        EXPECT_TRUE(got == want) << json << "\n  got rc " << got.rc << " " << got.error
                                 << got.text << "\n  want rc " << want.rc << " " << want.error
                                 << want.text;
    }
}

// kBase with one of its names changed by one byte at every place: that
// byte replaced (by name bytes that move it in the sort, and one that is
// none), removed, or a byte inserted before it or after the name's end.
std::vector<std::string> names_changed_by_one_byte()
{
    std::vector<std::string> out;
    for (const std::string name : {"code", "method", "kubernetes_namespace_name", "path"}) {
        size_t start = kBase.find("\"" + name + "\":") + 1;
        for (size_t at = start; at <= start + name.size(); ++at) {
            out.push_back(kBase.substr(0, at) + "x" + kBase.substr(at));
            if (at == start + name.size())
                break;
            out.push_back(kBase.substr(0, at) + kBase.substr(at + 1));
            for (char c : {'a', 'z', 'A', '_', '0', '-'}) {
                std::string changed = kBase;
                changed[at] = c;
                out.push_back(changed);
            }
        }
    }
    return out;
}

TEST(KeptLabels, NameChangedByOneByteOrLength)
{
    std::vector<std::string> variants = names_changed_by_one_byte();
    ASSERT_FALSE(variants.empty());
    Buffer buf;
    for (const std::string &v : variants)
        expect_as_fresh(buf, {kBase, v, v, kBase});
}

TEST(KeptLabels, TextsAroundTheKeptOnes)
{
    // Members added, dropped or swapped, whitespace, a value the scanner
    // leaves to the parser, a refused value, text after the object.
    Buffer buf;
    expect_as_fresh(buf, {
        kBase, R"({"code":"200","method":"get"})", kBase,
        R"({"code":"200","method":"get","path":"/","zone":"x"})", kBase,
        R"({"method":"get","code":"200","path":"/"})", kBase,
        R"({"code":"200", "method":"get","path":"/"})", kBase,
        R"({"code":"200","method":"get","path":"/"} )", kBase,
        R"({"code":"200","method":"get","path":"/"}x)", kBase,
        R"({"code":"200","method":"get","path":"\u0041"})", kBase,
        R"({"code":"200","method":"get","path":3})", kBase,
        "{\"code\":\"200\",\"method\":\"get\",\"path\":\"\x01\"}", kBase,
        R"({"code":"200","method":"get","path":"a\qb"})", kBase,
        R"({"code":"200","method":"get","path":"x)", kBase,
        R"({"code":"200","method":"get","path")", kBase,
        R"({"code":"2)", kBase, "{", kBase, "{}", kBase, "", kBase,
        // Fewer names kept than before: the last one dropped must not
        // match where the one it followed was, nor after the kept ones.
        R"({"code":"200","method":"get","kubernetes_namespace_name":"ns"})", kBase,
        R"({"code":"200","method":"get","kubernetes_namespace_name":"ns"})",
        R"({"code":"200","method":"get","path":"/"})", kBase,
        // A dropped name's piece twice as long as the first kept one's:
        // after an empty value, what follows the last kept piece is it.
        R"({"a":"1","b":"2","cccccc":"3"})", R"({"a":"1","b":"2"})",
        R"({"a":"1","b":"","cccccc":"3"})",
    });
}

// The kept names in every other order, and with one of them twice in
// place of another (which is refused).
TEST(KeptLabels, KeptNamesInAnotherOrder)
{
    std::vector<std::string> members = {R"("code":"200")", R"("method":"get")",
                                        R"("kubernetes_namespace_name":"ns")",
                                        R"("path":"/a\"b")"};
    std::sort(members.begin(), members.end());
    auto text = [](const std::vector<std::string> &m) {
        std::string out = "{";
        for (const std::string &x : m)
            out += (out.size() > 1 ? "," : "") + x;
        return out + "}";
    };
    Buffer buf;
    do {
        expect_as_fresh(buf, {kBase, text(members), text(members), kBase});
        for (size_t twice = 0; twice < members.size(); ++twice) {
            std::vector<std::string> dup = members;
            dup[(twice + 1) % dup.size()] = dup[twice];
            expect_as_fresh(buf, {kBase, text(dup), kBase});
        }
    } while (std::next_permutation(members.begin(), members.end()));
}

// A line refused for its labels keeps nothing: its names are no names to
// take again without a check.
TEST(KeptLabels, RefusedLineKeepsNothing)
{
    Buffer buf;
    for (const std::string &bad : {
             std::string(R"({"code":"200","code":"201"})"),
             std::string(R"({"code":"200","__name__":"x"})"),
             std::string(R"({"code":"200","1x":"x"})"),
         })
        expect_as_fresh(buf, {kBase, bad, bad, kBase, bad});
}

// Names too many or too long to keep leave what is kept as it was, and
// never half replaced.
TEST(KeptLabels, SetsTooLargeToKeep)
{
    std::string nine = "{";
    for (char c = 'i'; c >= 'a'; --c)
        nine += std::string(nine.size() > 1 ? "," : "") + "\"" + c + "\":\"v\"";
    nine += "}";
    std::string long_names = "{\"z\":\"1\",\"" + std::string(100, 'y') + "\":\"2\",\"" +
                             std::string(100, 'x') + "\":\"3\"}";
    std::string first_of_long = R"({"z":"1"})";
    // The names that fit, without the one that does not.
    std::string fitting_of_long = "{\"z\":\"1\",\"" + std::string(100, 'y') + "\":\"2\"}";
    // Names that fit, then one too long: what was kept before must not
    // be left half overwritten, here so that a text that is no JSON
    // would match the mixture.
    std::string fit_then_long =
        R"({"z":"1","method":"get",")" + std::string(200, 'x') + R"(":"2"})";
    std::string mixture = R"({"z":"1","method":"get":"","path":"/"})";
    Buffer buf;
    expect_as_fresh(buf, {kBase, nine, nine, kBase, long_names, long_names, kBase,
                          first_of_long, long_names, first_of_long, long_names,
                          fitting_of_long, kBase, fit_then_long,
                          mixture, kBase});
    // Pieces as read ({"a":" then ","bb...":") that fill the room to its
    // last byte, and one byte more.
    for (size_t room_used : {promfmt::kKeptLabelsText, promfmt::kKeptLabelsText + 1}) {
        std::string two = R"({"a":"1",")" + std::string(room_used - 12, 'b') + R"(":"2"})";
        expect_as_fresh(buf, {two, two, kBase});
    }
}

// One buffer, two families whose label sets take turns: each line is
// checked against what was kept from a different set.
TEST(KeptLabels, FamiliesTakingTurns)
{
    const std::vector<std::string> sets = {
        kBase,
        R"({"path":"/","method":"get","code":"200"})",
        R"({"code":"200","method":"get"})",
        R"({"le":"0.5","code":"200","method":"get"})",
        R"({"b":"1","a":"2"})",
        R"({"a":"2","b":"1"})",
    };
    Buffer buf;
    for (size_t round = 0; round < 3; ++round)
        for (size_t i = 0; i < sets.size(); ++i)
            for (size_t j = 0; j < sets.size(); ++j)
                expect_as_fresh(buf, {sets[i], sets[j], sets[i], sets[j]});
}

// A reset empties the text; the names kept stay true of the next lines.
TEST(KeptLabels, Reset)
{
    const std::string reversed = R"({"path":"/","method":"get","code":"200"})";
    Buffer buf;
    expect_as_fresh(buf, {reversed});
    promfmt_buffer_reset(buf);
    expect_as_fresh(buf, {reversed, reversed});
    EXPECT_EQ(buf.text(), "m{code=\"200\",method=\"get\",path=\"/\"} 1\n"
                          "m{code=\"200\",method=\"get\",path=\"/\"} 1\n");
}

// Each buffer keeps its own names: two buffers written in turn.
TEST(KeptLabels, TwoBuffers)
{
    const std::string other = R"({"zone":"a","app":"b"})";
    Buffer a;
    Buffer b;
    for (int i = 0; i < 3; ++i) {
        expect_as_fresh(a, {kBase});
        expect_as_fresh(b, {other});
    }
    EXPECT_EQ(b.text(), "m{app=\"b\",zone=\"a\"} 1\nm{app=\"b\",zone=\"a\"} 1\n"
                        "m{app=\"b\",zone=\"a\"} 1\n");
}

}  // namespace
