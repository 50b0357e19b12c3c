// SPDX-License-Identifier: MIT
// An oracle for the exposition format, written from the format's grammar and
// independently of the library's own code: it parses lines back and says
// whether they are well-formed. Numbers are checked against the C library's
// printf, not the library's renderer.
#ifndef PROMFMT_FUZZ_ORACLE_H
#define PROMFMT_FUZZ_ORACLE_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "promfmt.h"

namespace oracle {

// Stops the fuzzer with a message when a property does not hold.
#define ORACLE_CHECK(cond, ...)                                  \
    do {                                                         \
        if (!(cond)) {                                           \
            fprintf(stderr, "oracle: %s failed: ", #cond);       \
            fprintf(stderr, __VA_ARGS__);                        \
            fprintf(stderr, "\n");                               \
            abort();                                             \
        }                                                        \
    } while (0)

inline bool ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool ascii_digit(char c) { return c >= '0' && c <= '9'; }

inline bool metric_name(const std::string &s)
{
    if (s.empty())
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        bool ok = ascii_letter(c) || c == '_' || c == ':' || (i > 0 && ascii_digit(c));
        if (!ok)
            return false;
    }
    return true;
}

inline bool label_name(const std::string &s)
{
    if (s.empty())
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (!(ascii_letter(c) || c == '_' || (i > 0 && ascii_digit(c))))
            return false;
    }
    return true;
}

// Undoes the label-value escape; false when an escape is not one of the
// three allowed ones, or a raw line feed or double quote appears.
inline bool unescape_label_value(const std::string &in, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '\n' || c == '"')
            return false;
        if (c != '\\') {
            *out += c;
            continue;
        }
        if (++i == in.size())
            return false;
        switch (in[i]) {
        case '\\': *out += '\\'; break;
        case '"': *out += '"'; break;
        case 'n': *out += '\n'; break;
        default: return false;
        }
    }
    return true;
}

// Undoes the help escape (\\ and \n only; a double quote stays as is).
inline bool unescape_help(const std::string &in, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '\n')
            return false;
        if (c != '\\') {
            *out += c;
            continue;
        }
        if (++i == in.size())
            return false;
        if (in[i] == '\\')
            *out += '\\';
        else if (in[i] == 'n')
            *out += '\n';
        else
            return false;
    }
    return true;
}

// The value token printf gives for v in the C locale ("%.14g"), with the
// format's words for NaN and the infinities.
inline std::string value_text(double v)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "+Inf" : "-Inf";
    char text[64];
    snprintf(text, sizeof text, "%.14g", v);
    return text;
}

struct Label {
    std::string name, value;  // value unescaped
};

struct SampleLine {
    std::string name;
    std::vector<Label> labels;
    std::string value;
    std::string timestamp;  // empty when absent
};

// Parses one complete sample line (with its line feed); false if malformed.
inline bool parse_sample_line(const std::string &line, SampleLine *out)
{
    if (line.empty() || line.back() != '\n')
        return false;
    size_t i = 0, n = line.size() - 1;  // n: index of the line feed
    while (i < n && line[i] != '{' && line[i] != ' ')
        ++i;
    out->name = line.substr(0, i);
    if (!metric_name(out->name))
        return false;
    out->labels.clear();
    if (i < n && line[i] == '{') {
        ++i;
        for (;;) {
            size_t eq = line.find('=', i);
            if (eq == std::string::npos || eq >= n)
                return false;
            Label l;
            l.name = line.substr(i, eq - i);
            if (!label_name(l.name) || line[eq + 1] != '"')
                return false;
            size_t j = eq + 2;  // find the closing quote, skipping escapes
            while (j < n && line[j] != '"')
                j += line[j] == '\\' ? 2 : 1;
            if (j >= n || !unescape_label_value(line.substr(eq + 2, j - eq - 2), &l.value))
                return false;
            if (!out->labels.empty() && !(out->labels.back().name < l.name))
                return false;  // names strictly ascending
            out->labels.push_back(l);
            i = j + 1;
            if (i < n && line[i] == ',') {
                ++i;
                continue;
            }
            if (i < n && line[i] == '}') {
                ++i;
                break;
            }
            return false;
        }
    }
    if (i >= n || line[i] != ' ')
        return false;
    ++i;
    size_t sp = line.find(' ', i);
    size_t value_end = sp == std::string::npos || sp > n ? n : sp;
    out->value = line.substr(i, value_end - i);
    if (out->value != "NaN" && out->value != "+Inf" && out->value != "-Inf") {
        if (out->value.empty() || out->value.find(',') != std::string::npos)
            return false;
        char *end = nullptr;
        strtod(out->value.c_str(), &end);
        if (*end != '\0')
            return false;
    }
    out->timestamp.clear();
    if (value_end < n) {
        out->timestamp = line.substr(value_end + 1, n - value_end - 1);
        if (out->timestamp.empty() || out->timestamp[0] == '0')
            return false;  // positive, no leading zero
        for (char c : out->timestamp)
            if (!ascii_digit(c))
                return false;
    }
    return line.find('\n') == n;
}

// Splits text into lines, each with its line feed; false if text does not
// end in a line feed.
inline bool split_lines(const std::string &text, std::vector<std::string> *lines)
{
    lines->clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        if (lf == std::string::npos)
            return false;
        lines->push_back(text.substr(start, lf - start + 1));
        start = lf + 1;
    }
    return true;
}

inline std::string buffer_text(const promfmt_buffer_t *buf)
{
    return std::string(promfmt_buffer_data(buf), promfmt_buffer_len(buf));
}

}  // namespace oracle

#endif
