// SPDX-License-Identifier: MIT
// The copy-through scanner held against the parser: every text of
// tests/labels_texts.h is written once by the normal route and once by the
// parser alone. Both must give the expected outcome, so the same return
// code, the same message and the same bytes. And the scanner must take
// every text it is meant for: when it gives up, the result is still right,
// only slower. And the scanner's reading of a key after a long first name,
// whose shared bytes decide where the sort starts comparing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "emit.h"
#include "flat_labels.h"
#include "labels_texts.h"
#include "rules.h"
#include "support.h"

namespace {

struct Outcome {
    int rc;
    std::string error;
    std::string text;
};

Outcome write_with(const labels_texts::Case &c, promfmt::labels_route route)
{
    Buffer buf;
    EXPECT_EQ(promfmt_emit_sample(buf, "before", nullptr, 0, 0), 0);
    prime_error();
    Outcome out;
    out.rc = promfmt::emit_sample(buf, "m", exact_copy(c.json).get(), 1, 0, route);
    out.error = out.rc == 0 ? "" : last_error();
    out.text = buf.text();
    return out;
}

TEST(Routes, ScannerAndParserAgree)
{
    const std::vector<labels_texts::Case> cases = labels_texts::all_cases();
    int failures = 0;
    for (const labels_texts::Case &c : cases) {
        Outcome want{c.error.empty() ? 0 : -1, c.error,
                     "before 0\n" + (c.error.empty() ? c.line : "")};
        Outcome any = write_with(c, promfmt::LABELS_ANY_ROUTE);
        Outcome parser = write_with(c, promfmt::LABELS_PARSER_ONLY);
        for (const Outcome *got : {&parser, &any}) {
            if (got->rc == want.rc && got->error == want.error && got->text == want.text)
                continue;
            if (++failures <= 10)
                ADD_FAILURE() << c.what << ": " << c.json << "\n  "
                              << (got == &any ? "normal route" : "parser alone") << ": rc "
                              << got->rc << ", " << got->error << got->text << "\n  want "
                              << (c.error.empty() ? c.line : c.error);
        }
    }
    EXPECT_EQ(failures, 0) << "of " << cases.size() << " texts";
}

// The texts the scanner is meant to take, written out plainly: a flat
// object of "name":"value" members, names valid label names without
// escapes, values of bytes 0x20 to 0x7f but the quote and the backslash,
// and the escapes \", \\ and \n; JSON whitespace between tokens.
bool meant_for_scanner(const std::string &json)
{
    size_t i = 0;
    auto at = [&](size_t k) { return k < json.size() ? static_cast<unsigned char>(json[k]) : 0; };
    auto space = [&] {
        while (at(i) == ' ' || at(i) == '\t' || at(i) == '\n' || at(i) == '\r')
            ++i;
    };
    auto name_byte = [](unsigned c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    };
    auto string = [&](bool name) {
        if (at(i) != '"')
            return false;
        size_t start = ++i;
        for (unsigned c; (c = at(i)) != '"'; ++i) {
            if (name ? !name_byte(c) : c < 0x20 || c >= 0x80)
                return false;
            if (c == '\\' && (at(i + 1) == '"' || at(i + 1) == '\\' || at(i + 1) == 'n'))
                ++i;
            else if (c == '\\')
                return false;
        }
        std::string text = json.substr(start, i++ - start);
        return !name || (!text.empty() && !(text[0] >= '0' && text[0] <= '9') &&
                         text != "__name__");
    };
    auto end = [&] {
        ++i;
        space();
        return i == json.size();
    };
    space();
    if (at(i++) != '{')
        return false;
    space();
    if (at(i) == '}')
        return end();
    for (;;) {
        if (!string(true))
            return false;
        space();
        if (at(i++) != ':')
            return false;
        space();
        if (!string(false))
            return false;
        space();
        if (at(i) == '}')
            return end();
        if (at(i++) != ',')
            return false;
        space();
    }
}

TEST(Routes, ScannerTakesExactlyTheTextsMeantForIt)
{
    const std::vector<labels_texts::Case> cases = labels_texts::all_cases();
    int failures = 0;
    for (const labels_texts::Case &c : cases) {
        std::unique_ptr<char[]> copy = exact_copy(c.json);
        const char *text = promfmt::skip_json_space(copy.get());
        promfmt::flat_scan scan;
        promfmt::name_coding coding{};
        promfmt::flat_begin(&scan, text, strlen(text), &coding);
        promfmt::label_pair room[1];  // room for one: the scan resumes after each member
        size_t stored;
        promfmt::flat_result r;
        while ((r = promfmt::flat_read(&scan, room, 1, &stored)) == promfmt::FLAT_FULL) {
        }
        bool takes = r == promfmt::FLAT_END;
        if (takes != meant_for_scanner(c.json) && ++failures <= 10)
            ADD_FAILURE() << c.what << ": " << c.json << "\n  the scanner "
                          << (takes ? "takes it" : "gives up");
    }
    EXPECT_EQ(failures, 0) << "of " << cases.size() << " texts";
}

// A key read after a long first name, as the scanner reads every key but
// the first: its length, its code and the bytes it shares with the first
// name must be exact, inside the text and right at its end. The value
// before the key ends in bytes 8 to 12 of the first name, so a look at the
// wrong bytes finds a longer match than there is.
void check_keys_after(const std::string &first)
{
    std::vector<std::string> keys = {first, first + "x", first + "_and_more_bytes", "1", "-",
                                     "__name__", "__name__x", "label_app_ku-x"};
    for (size_t k = 1; k < first.size(); ++k)
        keys.push_back(first.substr(0, k));
    for (size_t i = 0; i < first.size(); ++i) {
        for (char c : {'0', 'Z', 'z'}) {
            std::string key = first;
            key[i] = c;
            keys.push_back(key);
        }
    }
    auto name_byte = [](char c) { return isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (const std::string &filler : {std::string("v"), first.substr(8, 5)}) {
        for (const std::string &key : keys) {
            for (const char *tail : {"\":\"v\"}", ""}) {
                std::string text = "{\"" + first + "\":\"" + filler + "\",\"" + key + tail;
                const char *s = text.c_str() + text.size() - key.size() - strlen(tail);
                const char *end = text.c_str() + text.size();
                size_t run = 0;
                while (name_byte(s[run]))
                    ++run;
                bool valid = run > 0 && !isdigit(static_cast<unsigned char>(s[0])) &&
                             std::string(s, run) != "__name__";
                size_t want_shared = 0;
                while (want_shared < first.size() && s + want_shared < end &&
                       s[want_shared] == first[want_shared])
                    ++want_shared;

                size_t shared = promfmt::bytes_shared_with(s, end, text.c_str() + 2,
                                                           first.size());
                EXPECT_EQ(shared, want_shared) << text;
                // The scanner asks only about the prefix it still holds.
                for (size_t limit = 0; limit < first.size(); ++limit) {
                    EXPECT_EQ(promfmt::bytes_shared_with(s, end, text.c_str() + 2, limit),
                              std::min(want_shared, limit))
                        << text << ", up to byte " << limit;
                }
                // Read as the scanner reads it: whole, or past any prefix it
                // shares with the first name.
                for (size_t from = 0; from <= shared; ++from) {
                    uint64_t code = 0;
                    size_t len = from == 0 ? promfmt::label_name_at(s, end, &code)
                                           : promfmt::label_name_from(s, end, from, &code);
                    EXPECT_EQ(len, valid ? run : 0) << text << ", from byte " << from;
                    if (valid && len == run) {
                        EXPECT_EQ(code, promfmt::label_name_code(s + from, len - from))
                            << text << ", from byte " << from;
                    }
                    // The first few names of a set are read for their key.
                    uint64_t key = 0;
                    len = promfmt::label_name_keyed(s, end, from, &key);
                    EXPECT_EQ(len, valid ? run : 0) << text << ", keyed from byte " << from;
                    if (valid && len == run) {
                        EXPECT_EQ(key, promfmt::label_name_key(s, len))
                            << text << ", keyed from byte " << from;
                    }
                }
            }
        }
    }
}

TEST(NameScan, KeyAfterALongFirstName)
{
    check_keys_after("label_app_kubernetes_io_name");
    check_keys_after("label_app");  // one byte past the first word
    check_keys_after("__name__ish_and_more");  // the reserved name read from every byte
}

// The kept names' shortcut, once a text the scanner took has left its
// names kept: it takes exactly the texts that repeat those names, in their
// order or another, each once, with no whitespace but after the object,
// and stores each value at its name's kept place; any other text, and
// every text cut short, is left to the scanner and the parser. Each text
// comes in a block of exactly its bytes.
TEST(Routes, KeptNamesTakeExactlyTheTextsThatRepeatThem)
{
    const std::vector<std::string> names = {"code", "kubernetes_namespace", "le"};
    auto text_of = [&](const std::vector<size_t> &at, const std::vector<std::string> &values) {
        std::string json = "{";
        for (size_t k = 0; k < at.size(); ++k)
            json += (k ? ",\"" : "\"") + names[at[k]] + "\":\"" + values[at[k]] + "\"";
        return json + "}";
    };
    Buffer buf;
    std::vector<size_t> at = {0, 1, 2};
    ASSERT_EQ(promfmt_emit_sample(buf, "m", text_of(at, {"200", "ns", "0.5"}).c_str(), 1, 0), 0);
    const promfmt::kept_labels &kept = buf.get()->kept;
    ASSERT_EQ(kept.count, names.size());

    // want: the values by kept place; none when the shortcut must refuse.
    auto check = [&](const std::string &json, const std::vector<std::string> &want) {
        std::unique_ptr<char[]> copy = exact_copy(json);
        promfmt::label_pair out[3] = {};
        size_t got = promfmt::flat_read_kept(kept, copy.get(), copy.get() + json.size(), out);
        if (want.empty() || got == promfmt::kNotKept) {
            EXPECT_EQ(want.empty(), got == promfmt::kNotKept) << json;
            return;
        }
        size_t total = 0;
        for (size_t j = 0; j < want.size(); ++j) {
            total += want[j].size();
            EXPECT_EQ(std::string(out[j].value, out[j].value_len), want[j])
                << json << ", " << names[j];
        }
        EXPECT_EQ(got, total) << json;
    };
    const std::vector<std::string> values = {"200", "n\\\"s\\\\\\n", ""};
    do {
        const std::string json = text_of(at, values);
        check(json, values);
        for (const char *after : {" ", "\n\t\r "})
            check(json + after, values);
        for (const char *after : {"x", "}", ",", " x"})
            check(json + after, {});
        for (size_t cut = 0; cut < json.size(); ++cut)
            check(json.substr(0, cut), {});
    } while (std::next_permutation(at.begin(), at.end()));
    for (const std::string json : {
             R"({ "code":"200","kubernetes_namespace":"ns","le":""})",
             R"({"code" :"200","kubernetes_namespace":"ns","le":""})",
             R"({"code":"200", "kubernetes_namespace":"ns","le":""})",
             R"({"code":"200","kubernetes_namespace":"ns","le":"" })",
             R"({"code":"200","kubernetes_namespace":"ns"})",
             R"({"code":"200","kubernetes_namespace":"ns","le":"","x":"1"})",
             R"({"code":"200","kubernetes_namespace":"ns","code":""})",
             R"({"le":"","code":"200","le":""})",
             R"({"kubernetes_namespace":"ns","kubernetes_namespace":"x","le":""})",
             R"({"code":"200","kubernetes_namespac":"ns","le":""})",
             R"({"code":"200","kubernetes_namespaces":"ns","le":""})",
             R"({"code":"200","kubernetes_namespace":"n\u0041","le":""})",
             R"({"code":"200","kubernetes_namespace":"n\x","le":""})",
             "{\"code\":\"200\",\"kubernetes_namespace\":\"\x01\",\"le\":\"\"}",
             R"({"code":"200","kubernetes_namespace":"ns","le":3})",
         })
        check(json, {});
}

}  // namespace
