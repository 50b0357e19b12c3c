// SPDX-License-Identifier: MIT
// Malformed and escape-heavy labels texts with the outcome each must have:
// the texts the copy-through scanner must refuse to take (so that the
// parser reports them) or must read exactly as the parser would. Bytes are
// placed at every offset of a value so that they fall into each of the
// scanner's block, word and byte loops.
#ifndef PROMFMT_TEST_LABELS_TEXTS_H
#define PROMFMT_TEST_LABELS_TEXTS_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace labels_texts {

// Metric "m", value 1: the expected line, or (error non-empty) the message
// of the refusal.
struct Case {
    std::string what;
    std::string json;
    std::string line;
    std::string error;
};

const char *const kNotJson = "failed to parse labels JSON";
const char *const kBadName = "invalid label name in JSON";

inline Case accepted(std::string what, std::string json, std::string labels)
{
    return {std::move(what), std::move(json), "m" + labels + " 1\n", ""};
}

inline Case refused(std::string what, std::string json, std::string error = kNotJson)
{
    return {std::move(what), std::move(json), "", std::move(error)};
}

inline std::string hex(unsigned char b)
{
    const char *digits = "0123456789abcdef";
    return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

// Texts written out, one malformation or one escape at a time.
inline void add_literal_cases(std::vector<Case> &out)
{
    const std::string ok = "{a=\"b\"}";
    out.insert(out.end(), {
        accepted("plain", "{\"a\":\"b\"}", ok),
        accepted("whitespace around every token", " {\t\"a\" \r\n: \"b\"\n,\r\"c\"\t:\"d\" } ",
                 "{a=\"b\",c=\"d\"}"),
        accepted("empty value", "{\"a\":\"\"}", "{a=\"\"}"),
        refused("missing comma", "{\"a\":\"b\" \"c\":\"d\"}"),
        refused("missing colon", "{\"a\" \"b\"}"),
        refused("colon doubled", "{\"a\"::\"b\"}"),
        refused("comma doubled", "{\"a\":\"b\",,\"c\":\"d\"}"),
        refused("comma first", "{,\"a\":\"b\"}"),
        refused("trailing comma", "{\"a\":\"b\",}"),
        refused("key's opening quote missing", "{a\":\"b\"}"),
        refused("key's closing quote missing", "{\"a:\"b\"}"),
        refused("value's opening quote missing", "{\"a\":b\"}"),
        refused("value's closing quote missing", "{\"a\":\"b}"),
        refused("unquoted key", "{a:\"b\"}"),
        refused("single-quoted value", "{\"a\":'b'}"),
        refused("byte after the closing brace", "{\"a\":\"b\"}x"),
        refused("brace after the closing brace", "{\"a\":\"b\"}}"),
        refused("second object", "{\"a\":\"b\"} {}"),
        refused("ends after the opening brace", "{"),
        refused("ends after a key", "{\"a\""),
        refused("ends after a colon", "{\"a\":"),
        refused("ends inside a value", "{\"a\":\"b"),
        refused("ends after a value", "{\"a\":\"b\""),
        refused("ends after a comma", "{\"a\":\"b\","),
        refused("ends after the value's opening quote", "{\"a\":\""),
        refused("ends after the next key's opening quote", "{\"a\":\"b\",\""),
        refused("value ends in a lone backslash", "{\"a\":\"b\\\"}"),
        refused("stray byte after the opening brace", "{x\"a\":\"b\"}"),
        refused("stray byte before the colon", "{\"a\"x:\"b\"}"),
        refused("key ended by the byte above the quote", "{\"a#:\"b\"}"),
        refused("stray byte after the colon", "{\"a\":x\"b\"}"),
        refused("stray byte before the comma", "{\"a\":\"b\"x,\"c\":\"d\"}"),
        refused("stray byte after the comma", "{\"a\":\"b\",x\"c\":\"d\"}"),
        refused("stray byte before the closing brace", "{\"a\":\"b\"x}"),
        refused("vertical tab between tokens", "{\"a\":\v\"b\"}"),
        refused("form feed between tokens", "{\"a\":\"b\"\f}"),
        refused("empty key", "{\"\":\"b\"}", kBadName),
        refused("empty key after a good one", "{\"a\":\"b\",\"\":\"c\"}", kBadName),
        refused("key starting with a digit", "{\"1a\":\"b\"}", kBadName),
        refused("key with a hyphen", "{\"a-b\":\"c\"}", kBadName),
        refused("key starting with a digit after four short ones",
                "{\"a\":\"v\",\"b\":\"v\",\"c\":\"v\",\"d\":\"v\",\"1e\":\"v\"}", kBadName),
        refused("reserved key", "{\"__name__\":\"b\"}", kBadName),
        refused("reserved key after a long first name",
                "{\"label_app_kubernetes_io_name\":\"a\",\"__name__\":\"b\"}", kBadName),
        refused("reserved key after a first name sharing its start",
                "{\"__name__ish_and_more\":\"a\",\"__name__\":\"b\"}", kBadName),
        refused("reserved key fifth, after names sharing its first four bytes",
                "{\"__naaaaaaa\":\"a\",\"__na1\":\"b\",\"__na2\":\"c\",\"__na3\":\"d\","
                "\"__name__\":\"e\"}",
                kBadName),
        refused("a long first name twice",
                "{\"label_app_kubernetes_io_name\":\"a\",\"label_app_kubernetes_io_name\":\"b\"}",
                "duplicate label name in JSON"),
        accepted("a name that is the long first name's start",
                 "{\"label_app_kubernetes_io_name\":\"a\",\"label_app_kube\":\"b\"}",
                 "{label_app_kube=\"b\",label_app_kubernetes_io_name=\"a\"}"),
        accepted("a name that extends the long first name",
                 "{\"label_app_kubernetes\":\"a\",\"label_app_kubernetes_io\":\"b\"}",
                 "{label_app_kubernetes=\"a\",label_app_kubernetes_io=\"b\"}"),
        accepted("names sharing less than the first name's length",
                 "{\"label_app_kubernetes_io_name\":\"a\",\"label_app_k\":\"b\",\"label_b\":\"c\"}",
                 "{label_app_k=\"b\",label_app_kubernetes_io_name=\"a\",label_b=\"c\"}"),
        accepted("reserved key's prefix", "{\"__name_\":\"b\"}", "{__name_=\"b\"}"),
        accepted("reserved key extended", "{\"__name__x\":\"b\"}", "{__name__x=\"b\"}"),
        accepted("reserved key's last byte changed", "{\"__name_x\":\"b\"}",
                 "{__name_x=\"b\"}"),
        accepted("escaped key", "{\"\\u0061b\":\"c\"}", "{ab=\"c\"}"),
        accepted("escaped slash", "{\"a\":\"\\/\"}", "{a=\"/\"}"),
        refused("escaped hyphen in a key", "{\"a\\u002db\":\"c\"}", kBadName),
        accepted("key cut at an escaped NUL", "{\"ab\\u0000-\":\"c\"}", "{ab=\"c\"}"),
        refused("duplicate keys", "{\"a\":\"b\",\"a\":\"c\"}", "duplicate label name in JSON"),
        refused("duplicate key escaped", "{\"a\":\"b\",\"\\u0061\":\"c\"}",
                "duplicate label name in JSON"),
        accepted("string then number", "{\"b\":\"x\",\"a\":1}", "{a=\"1\",b=\"x\"}"),
        accepted("object value", "{\"b\":{\"c\":\"d\"},\"a\":\"x\"}", "{a=\"x\",b=\"\"}"),
        accepted("array value", "{\"a\":[\"b\"]}", "{a=\"\"}"),
        accepted("escapes the format shares", "{\"a\":\"\\\"\\\\\\n\"}", "{a=\"\\\"\\\\\\n\"}"),
    });
}

// JSON escapes and what they leave in the label value ("" with ok false:
// the text is refused).
struct Escape {
    const char *json;
    const char *value;
    bool ok;
};

const Escape kEscapes[] = {
    {"\\\"", "\\\"", true},       {"\\\\", "\\\\", true},   {"\\n", "\\n", true},
    {"\\/", "/", true},           {"\\b", "\b", true},      {"\\f", "\f", true},
    {"\\r", "\r", true},          {"\\t", "\t", true},      {"\\u0041", "A", true},
    {"\\u005c", "\\\\", true},    {"\\u0022", "\\\"", true}, {"\\u000A", "\\n", true},
    {"\\u00e9", "\xc3\xa9", true}, {"\\ud83c\\udf21", "\xf0\x9f\x8c\xa1", true},
    {"\\x", "", false},           {"\\N", "", false},       {"\\'", "", false},
    {"\\u00G1", "", false},       {"\\u12", "", false},     {"\\U0041", "", false},
    {"\\ud800", "", false},       {"\\", "", false},
};

// Raw UTF-8: valid sequences are copied, broken ones refused.
const Escape kRawSequences[] = {
    {"\xc3\xa9", "\xc3\xa9", true},
    {"\xe2\x82\xac", "\xe2\x82\xac", true},
    {"\xf0\x9f\x8c\xa1", "\xf0\x9f\x8c\xa1", true},
    {"\xc3", "", false},
    {"\xe2\x82", "", false},
    {"\xc0\xaf", "", false},
};

// n bytes that need no escaping, from the edges of the ranges the scanner
// tells apart (space, the bytes beside the quote and the backslash, DEL),
// cycled from kPlain[start].
inline std::string plain_run(size_t n, size_t start)
{
    const std::string kPlain = " !#/09:@AZ[]^`az{}~\x7f";
    std::string run;
    for (size_t i = 0; i < n; ++i)
        run += kPlain[(start + i) % kPlain.size()];
    return run;
}

// Every byte, every escape and every raw sequence at offsets 0 to 40 of a
// value, between runs of plain bytes, with 0, 5, 9 or 20 bytes after it. As the
// offset moves, X takes every place in the scanner's last 16-byte block
// and in its last 8-byte word, which look at the text up to its end.
inline void add_value_cases(std::vector<Case> &out)
{
    for (size_t before = 0; before <= 40; ++before) {
        for (size_t after : {0, 5, 9, 20}) {
            const std::string head = plain_run(before, 0);
            const std::string tail = plain_run(after, 7);
            auto add = [&](const std::string &what, const std::string &piece,
                           const std::string &value, bool ok) {
                std::string json = "{\"a\":\"" + head + piece + tail + "\"}";
                std::string where = " at offset " + std::to_string(before) + " of " +
                                    std::to_string(before + after + 1);
                if (ok)
                    out.push_back(accepted(what + where, json, "{a=\"" + head + value + tail +
                                                                   "\"}"));
                else
                    out.push_back(refused(what + where, json));
            };
            for (int b = 1; b < 256; ++b) {
                unsigned char c = static_cast<unsigned char>(b);
                bool plain = c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
                std::string byte(1, static_cast<char>(c));
                add("raw byte " + hex(c), byte, byte, plain);
            }
            for (const Escape &e : kEscapes)
                add(std::string("escape ") + e.json, e.json, e.value, e.ok);
            for (const Escape &e : kRawSequences)
                add("raw bytes " + hex(static_cast<unsigned char>(e.json[0])) + "...", e.json,
                    e.value, e.ok);
            // An escaped NUL ends the value.
            std::string json = "{\"a\":\"" + head + "\\u0000" + tail + "\"}";
            out.push_back(accepted("escaped NUL at offset " + std::to_string(before), json,
                                   "{a=\"" + head + "\"}"));
        }
    }
    // A text that ends inside a value, after each count of plain bytes the
    // block, word and byte loops take apart: none may step past its NUL.
    for (size_t n = 0; n <= 20; ++n)
        out.push_back(refused("ends after " + std::to_string(n) + " bytes of a value",
                              "{\"a\":\"" + plain_run(n, 0)));
}

// Every byte inside a key, at places in and past its first eight and ten
// bytes (18 and 26 start the words read after the first ten), in the first
// member and in one after a long first name that shares the key's start:
// a name byte makes another name, a byte JSON takes in a string (or a
// valid escape) makes an invalid name, anything else is not JSON.
inline void add_key_cases(std::vector<Case> &out)
{
    const std::string base = "label_app_kubernetes_io_name_x";
    const std::string first = "label_app_kubernetes_io_name_y";
    for (size_t at : {0, 2, 7, 8, 9, 10, 15, 16, 18, 24, 26, 30}) {
        for (int b = 1; b < 256; ++b) {
            unsigned char c = static_cast<unsigned char>(b);
            bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
            bool name_byte = letter || (at > 0 && c >= '0' && c <= '9');
            bool json_char = c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
            // A backslash escapes the byte after it, a valid escape when
            // that is b, f, n, r, t or '/'; none of those is a name byte.
            if (c == '\\' && at < base.size())
                json_char = std::string("bfnrt/").find(base[at]) != std::string::npos;
            std::string key = base;
            key.insert(at, 1, static_cast<char>(c));
            for (bool second : {false, true}) {
                std::string json = "{" + std::string(second ? "\"" + first + "\":\"w\"," : "") +
                                   "\"" + key + "\":\"v\"}";
                std::string what = "key byte " + hex(c) + " at " + std::to_string(at) +
                                   (second ? " after a long first name" : "");
                std::string labels = key + "=\"v\"";
                if (second)
                    labels = first < key ? first + "=\"w\"," + labels : labels + "," + first + "=\"w\"";
                if (name_byte)
                    out.push_back(accepted(what, json, "{" + labels + "}"));
                else
                    out.push_back(refused(what, json, json_char ? kBadName : kNotJson));
            }
        }
    }
    // A short key's first byte, with a long value after it: the name ends
    // within the sixteen bytes the scanner looks at in one step.
    const std::string value(20, 'v');
    for (int b = 1; b < 256; ++b) {
        unsigned char c = static_cast<unsigned char>(b);
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        bool json_char = c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
        std::string key = std::string(1, static_cast<char>(c)) + "ab";
        std::string json = "{\"" + key + "\":\"" + value + "\"}";
        std::string what = "short key's first byte " + hex(c);
        if (letter)
            out.push_back(accepted(what, json, "{" + key + "=\"" + value + "\"}"));
        else if (c == '\\')  // "\ab" holds the escape \a, which JSON does not have
            out.push_back(refused(what, json, kNotJson));
        else
            out.push_back(refused(what, json, json_char ? kBadName : kNotJson));
    }
}

// Between or around tokens: JSON whitespace is skipped, any other byte
// makes the text malformed.
inline void add_between_token_cases(std::vector<Case> &out)
{
    const std::string text = "{\"a\":\"b\",\"c\":\"d\"}";
    const size_t gaps[] = {0, 1, 4, 5, 8, 9, 12, 13, 16, 17};
    const char inserted[] = {' ', '\t', '\n', '\r', '\v', '\f', 'x', '0', ',', ':',
                             '"', '{', '}', '[', '\\', '\x01', '\x80'};
    for (size_t gap : gaps) {
        for (char c : inserted) {
            std::string json = text;
            json.insert(gap, 1, c);
            std::string what = "byte " + hex(static_cast<unsigned char>(c)) + " at " +
                               std::to_string(gap) + " of " + text;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
                out.push_back(accepted(what, json, "{a=\"b\",c=\"d\"}"));
            else
                out.push_back(refused(what, json));
        }
    }
}

// Twenty members, more than are kept inline, in reverse order, with one of
// them changed: the scanner has read (and made room for) the members
// before it when it meets the change.
inline void add_many_member_cases(std::vector<Case> &out)
{
    struct Change {
        const char *what;
        const char *member;  // %s: the key
        bool ok;
        const char *value;   // the label value when ok
    };
    const Change changes[] = {
        {"number value", "\"%s\":7", true, "7"},
        {"escaped value", "\"%s\":\"\\u0041\"", true, "A"},
        {"bad escape", "\"%s\":\"\\x\"", false, ""},
        {"raw control byte", "\"%s\":\"\x01\"", false, ""},
        {"missing colon", "\"%s\" \"v\"", false, ""},
        {"stray byte", "\"%s\":\"v\"x", false, ""},
    };
    const size_t n = 20;
    for (const Change &change : changes) {
        for (size_t j : {size_t{0}, size_t{15}, size_t{16}, size_t{17}, n - 1}) {
            std::string json = "{";
            std::string labels = "{";
            for (size_t k = 0; k < n; ++k) {
                std::string key = "label_app_kubernetes_io_" + std::to_string(100 + n - 1 - k);
                std::string m = "\"" + key + "\":\"v\"";
                if (k == j) {
                    m = change.member;
                    m.replace(m.find("%s"), 2, key);
                }
                json += (k ? "," : "") + m;
            }
            json += "}";
            for (size_t i = 0; i < n; ++i) {  // in byte order: the reverse of the text's
                const char *value = (n - 1 - i == j) ? change.value : "v";
                labels += (i ? "," : "") + ("label_app_kubernetes_io_" + std::to_string(100 + i)) +
                          "=\"" + value + "\"";
            }
            labels += "}";
            std::string what = std::string(change.what) + " in member " + std::to_string(j) +
                               " of " + std::to_string(n);
            if (change.ok)
                out.push_back(accepted(what, json, labels));
            else
                out.push_back(refused(what, json));
        }
    }
}

inline std::vector<Case> all_cases()
{
    std::vector<Case> out;
    add_literal_cases(out);
    add_value_cases(out);
    add_key_cases(out);
    add_between_token_cases(out);
    add_many_member_cases(out);
    return out;
}

}  // namespace labels_texts

#endif
