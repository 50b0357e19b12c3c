// Name rules and escapes, and the exported label-value escape.
#include "rules.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "buffer.h"

namespace promfmt {

namespace {

// Byte classes for names.
enum : unsigned char {
    kLetter = 1,
    kDigit = 2,
    kUnderscore = 4,
    kColon = 8,
};

struct byte_tables {
    unsigned char name_class[256];
    unsigned char label_escape[256];  // 1 for bytes a label value escapes
    unsigned char help_escape[256];   // 1 for bytes a help text escapes
};

constexpr byte_tables make_tables()
{
    byte_tables t{};
    for (int c = 'a'; c <= 'z'; ++c)
        t.name_class[c] = kLetter;
    for (int c = 'A'; c <= 'Z'; ++c)
        t.name_class[c] = kLetter;
    for (int c = '0'; c <= '9'; ++c)
        t.name_class[c] = kDigit;
    t.name_class[static_cast<unsigned char>('_')] = kUnderscore;
    t.name_class[static_cast<unsigned char>(':')] = kColon;
    t.label_escape[static_cast<unsigned char>('\\')] = 1;
    t.label_escape[static_cast<unsigned char>('"')] = 1;
    t.label_escape[static_cast<unsigned char>('\n')] = 1;
    t.help_escape[static_cast<unsigned char>('\\')] = 1;
    t.help_escape[static_cast<unsigned char>('\n')] = 1;
    return t;
}

constexpr byte_tables kTables = make_tables();

// Length of the name in s (up to max bytes or the first NUL) whose first
// byte is in the class set `first` and later bytes in `rest`; 0 if invalid.
size_t name_len(const char *s, size_t max, unsigned first, unsigned rest)
{
    if (!s || max == 0 || !(kTables.name_class[static_cast<unsigned char>(s[0])] & first))
        return 0;
    size_t i = 1;
    for (; i < max && s[i] != '\0'; ++i) {
        if (!(kTables.name_class[static_cast<unsigned char>(s[i])] & rest))
            return 0;
    }
    return i;
}

// Measures s (up to max bytes or its first NUL) against an escape table.
// The escaped length cannot wrap: a text in memory is shorter than
// SIZE_MAX / 2 bytes, and escaping at most doubles it.
escaped_size measure(const char *s, size_t max, const unsigned char *table)
{
    size_t i = 0;
    size_t extra = 0;
    for (; i < max && s[i] != '\0'; ++i)
        extra += table[static_cast<unsigned char>(s[i])];
    return {i, i + extra};
}

// Writes s escaped by table: every marked byte becomes a backslash and the
// byte itself, except line feed, which becomes a backslash and 'n'. Runs of
// unmarked bytes are copied whole.
char *write_escaped(char *dst, const char *s, size_t n, const unsigned char *table)
{
    if (n == 0)  // s may be NULL then, and memcpy must not see it
        return dst;
    const char *run = s;
    const char *end = s + n;
    for (const char *p = s; p < end; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (!table[c])
            continue;
        size_t run_len = static_cast<size_t>(p - run);
        memcpy(dst, run, run_len);
        dst += run_len;
        dst[0] = '\\';
        dst[1] = c == '\n' ? 'n' : static_cast<char>(c);
        dst += 2;
        run = p + 1;
    }
    size_t run_len = static_cast<size_t>(end - run);
    memcpy(dst, run, run_len);
    return dst + run_len;
}

}  // namespace

size_t metric_name_len(const char *name)
{
    return name_len(name, SIZE_MAX, kLetter | kUnderscore | kColon,
                    kLetter | kDigit | kUnderscore | kColon);
}

size_t label_name_len(const char *s, size_t max)
{
    return name_len(s, max, kLetter | kUnderscore, kLetter | kDigit | kUnderscore);
}

escaped_size measure_label_value(const char *s, size_t max)
{
    return measure(s, max, kTables.label_escape);
}

char *write_label_value(char *dst, const char *s, size_t raw_len)
{
    return write_escaped(dst, s, raw_len, kTables.label_escape);
}

escaped_size measure_help_text(const char *s)
{
    if (!s)
        return {0, 0};
    return measure(s, SIZE_MAX, kTables.help_escape);
}

char *write_help_text(char *dst, const char *s, size_t raw_len)
{
    return write_escaped(dst, s, raw_len, kTables.help_escape);
}

}  // namespace promfmt

extern "C" PROMFMT_API int PROMFMT_CALL promfmt_escape_label_value(const char *in, char *out,
                                                                   size_t out_size)
{
    bool measuring = !out || out_size == 0;
    if (!in) {
        if (!measuring)
            out[0] = '\0';
        return 0;
    }
    promfmt::escaped_size size = promfmt::measure_label_value(in, SIZE_MAX);
    if (size.escaped_len > static_cast<size_t>(INT_MAX)) {
        promfmt::set_error("label value too long");
        return -1;
    }
    if (measuring)
        return static_cast<int>(size.escaped_len);
    if (out_size - 1 < size.escaped_len) {
        promfmt::set_error("destination buffer too small for escaped label value");
        return -1;
    }
    char *end = promfmt::write_label_value(out, in, size.raw_len);
    *end = '\0';
    return static_cast<int>(size.escaped_len);
}
