// SPDX-License-Identifier: MIT
// Name rules and escapes, and the exported label-value escape.
#include "rules.h"

#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "buffer.h"
#include "words.h"

namespace promfmt {

namespace {

// A table looked up by any byte: one entry for every unsigned char, none
// beyond. (The tables lie side by side: were one an entry short, a lookup
// of 0xFF would read the next one's first entry, unseen by sanitizers.)
using byte_table = unsigned char[256];
static_assert(sizeof(byte_table) == UCHAR_MAX + 1, "one entry for every unsigned char");

// One table per rule and position: 1 for the bytes allowed there. NUL and
// bytes at or above 0x80 are allowed nowhere.
struct byte_tables {
    byte_table metric_first;
    byte_table metric_rest;
    byte_table label_first;
    byte_table label_rest;
    byte_table label_code;    // order-preserving codes of label_rest
    byte_table label_escape;  // 1 for bytes a label value escapes
    byte_table help_escape;   // 1 for bytes a help text escapes
};

constexpr byte_tables make_tables()
{
    byte_tables t{};
    unsigned char code = 0;
    for (int c = 0; c < 128; ++c) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool digit = c >= '0' && c <= '9';
        t.metric_first[c] = letter || c == '_' || c == ':';
        t.metric_rest[c] = letter || digit || c == '_' || c == ':';
        t.label_first[c] = letter || c == '_';
        t.label_rest[c] = letter || digit || c == '_';
        t.label_code[c] = t.label_rest[c] ? ++code : 0;
    }
    t.label_escape[static_cast<unsigned char>('\\')] = 1;
    t.label_escape[static_cast<unsigned char>('"')] = 1;
    t.label_escape[static_cast<unsigned char>('\n')] = 1;
    t.help_escape[static_cast<unsigned char>('\\')] = 1;
    t.help_escape[static_cast<unsigned char>('\n')] = 1;
    return t;
}

constexpr byte_tables kTables = make_tables();

// True when every byte of s[0..len) is allowed by table. Names are short
// and almost always valid: four table lookups per branch.
bool all_allowed(const char *s, size_t len, const unsigned char *table)
{
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    size_t i = 0;
    for (; i + 4 <= len; i += 4) {
        if (!(table[u[i]] & table[u[i + 1]] & table[u[i + 2]] & table[u[i + 3]]))
            return false;
    }
    for (; i < len; ++i)
        if (!table[u[i]])
            return false;
    return true;
}

// Length of the name s[0..len) when valid under the two tables, else 0.
size_t checked_name_len(const char *s, size_t len, const unsigned char *first,
                        const unsigned char *rest)
{
    if (len == 0 || !first[static_cast<unsigned char>(s[0])])
        return 0;
    return all_allowed(s + 1, len - 1, rest) ? len : 0;
}

// Every byte that an escape table marks is one of these three, so a word
// without any of them holds no marked byte.
constexpr bool escapes_among(const unsigned char *table, const char *bytes)
{
    for (int c = 0; c < 256; ++c) {
        bool listed = c == static_cast<unsigned char>(bytes[0]) ||
                      c == static_cast<unsigned char>(bytes[1]) ||
                      c == static_cast<unsigned char>(bytes[2]);
        if (table[c] && !listed)
            return false;
    }
    return true;
}
static_assert(escapes_among(kTables.label_escape, "\\\"\n") &&
                  escapes_among(kTables.help_escape, "\\\"\n"),
              "count_marked() passes over words without a backslash, quote or line feed");

// Counts the bytes of s[0..len) marked in table. Texts seldom hold one:
// a block of sixteen bytes (with SSE2) or eight is passed over when it has
// none of the bytes escaped, and only the others are looked up byte by byte.
size_t count_marked(const char *s, size_t len, const unsigned char *table)
{
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    size_t count = 0;
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= len; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
        __m128i listed = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\\')),
                                      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
        if (_mm_movemask_epi8(listed) == 0)
            continue;
        for (size_t k = i; k < i + 16; ++k)
            count += table[u[k]];
    }
#endif
    for (; i + 8 <= len; i += 8) {
        uint64_t w = load_little_endian(s + i);
        if ((bytes_equal(w, '\\') | bytes_equal(w, '"') | bytes_equal(w, '\n')) == 0)
            continue;
        for (size_t k = i; k < i + 8; ++k)
            count += table[u[k]];
    }
    for (; i < len; ++i)
        count += table[u[i]];
    return count;
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

size_t metric_name_len(const char *name, size_t len)
{
    return checked_name_len(name, len, kTables.metric_first, kTables.metric_rest);
}

namespace {

// Marks the bytes of w that cannot be part of a label name.
inline uint64_t not_label_bytes(uint64_t w)
{
    uint64_t x = w & kLow7;
    uint64_t ok = bytes_between(x, '0', '9') | bytes_between(x | kOnes * 0x20, 'a', 'z') |
                  bytes_equal(w, '_');
    return (~ok | w) & kHigh;
}

// How many bytes from s on can be part of a label name; end is the NUL
// ending the text, and no byte past it is read. Long names (exporters
// often put one long prefix before every name) go eight bytes a step.
size_t label_bytes_at(const char *s, const char *end)
{
    const char *p = s;
    for (; end - p >= 8; p += 8) {
        uint64_t bad = not_label_bytes(load_little_endian(p));
        if (bad)
            return static_cast<size_t>(p - s) + lowest_set_byte(bad);
    }
    while (kTables.label_rest[static_cast<unsigned char>(*p)])
        ++p;
    return static_cast<size_t>(p - s);
}

// label_bytes_at(), with SSE2 the first sixteen bytes tested here, inline:
// most names end in them, and the call's setup costs as much as the test.
inline size_t label_bytes_from(const char *p, const char *end)
{
#if defined(__SSE2__)
    if (end - p >= 16) {
        unsigned bad = not_label_bytes_16(p);
        return bad ? static_cast<size_t>(__builtin_ctz(bad)) : 16 + label_bytes_at(p + 16, end);
    }
#endif
    return label_bytes_at(p, end);
}

// The codes of label-name bytes, computed for all eight bytes of w at once;
// they agree with label_code. Bytes below the first one that is not part
// of a name come out right: a wrong byte only disturbs the bytes above it.
inline uint64_t byte_codes(uint64_t w)
{
    auto at_least = [w](unsigned char c) { return ((w + kOnes * (0x80 - c)) & kHigh) >> 7; };
    uint64_t minus = kOnes * ('0' - 1) + ('A' - '9' - 1) * at_least('A') +
                     ('_' - 'Z' - 1) * at_least('_') + ('a' - '_' - 1) * at_least('a');
    return w - minus;
}

// The codes of the first n (1 to 8) bytes of w, a label name's first bytes
// loaded by load_little_endian(), packed as label_name_code() packs them:
// 48 bits, the first byte's code most significant, zeros after n bytes.
inline uint64_t packed_codes(uint64_t w, size_t n)
{
    uint64_t c = byte_codes(w);
    if (n < 8)
        c &= (uint64_t{1} << 8 * n) - 1;
    c = swap_bytes(c);
    c = (c & 0x003F003F003F003Full) | (c & 0x3F003F003F003F00ull) >> 2;
    c = (c & 0x00000FFF00000FFFull) | (c & 0x0FFF00000FFF0000ull) >> 4;
    return (c & 0x0000000000FFFFFFull) | (c & 0x00FFFFFF00000000ull) >> 8;
}

// The code bits of a name's bytes 8 and 9 (zeros past its end, which is
// len, or the first byte that is not part of a name); *n, when given,
// becomes the name's length so far (at most kNameCodeBytes).
uint64_t tail_code(const unsigned char *u, size_t len, size_t *n)
{
    uint64_t code = 0;
    size_t i = 8;
    for (unsigned c; i < kNameCodeBytes && i < len && (c = kTables.label_code[u[i]]) != 0; ++i)
        code |= uint64_t{c} << 6 * (kNameCodeBytes - 1 - i);
    if (n)
        *n = i;
    return code;
}

// The length of the label name whose first eight bytes, w, start at s
// (s[0] may start a name, or s is within one; eight bytes from s lie
// before end), and the code of its bytes from s on.
size_t name_from_word(const char *s, const char *end, uint64_t w, uint64_t *code)
{
    uint64_t bad = not_label_bytes(w);
    size_t n = bad ? lowest_set_byte(bad) : 8;
    *code = packed_codes(w, n) << 6 * (kNameCodeBytes - 8);
    if (n == 8) {
        *code |= tail_code(reinterpret_cast<const unsigned char *>(s), SIZE_MAX, &n);
        if (n == kNameCodeBytes)
            n += label_bytes_at(s + n, end);
    }
    return n;
}

}  // namespace

size_t label_name_len(const char *s, size_t len)
{
    size_t n = checked_name_len(s, len, kTables.label_first, kTables.label_rest);
    if (n == 0 && len != 0) {
        // Invalid as a whole; the name may still be valid up to an embedded NUL.
        const void *nul = memchr(s, '\0', len);
        if (!nul)
            return 0;
        size_t prefix = static_cast<size_t>(static_cast<const char *>(nul) - s);
        n = checked_name_len(s, prefix, kTables.label_first, kTables.label_rest);
    }
    return is_reserved_label_name(s, n) ? 0 : n;
}

uint64_t label_name_code(const char *name, size_t len)
{
    const auto *u = reinterpret_cast<const unsigned char *>(name);
    if (len >= 8)
        return packed_codes(load_little_endian(name), 8) << 6 * (kNameCodeBytes - 8) |
               tail_code(u, len, nullptr);
    uint64_t code = 0;
    for (size_t i = 0; i < len; ++i)
        code = code << 6 | kTables.label_code[u[i]];
    return code << 6 * (kNameCodeBytes - len);
}

uint64_t label_name_key(const char *name, size_t len)
{
    uint64_t key = 0;
    for (size_t i = 0; i < 8; ++i)
        key = key << 8 | (i < len ? static_cast<unsigned char>(name[i]) : 0);
    return key;
}

size_t label_name_keyed_any(const char *s, const char *end, size_t from, uint64_t *key)
{
    if (from == 0 && !kTables.label_first[static_cast<unsigned char>(s[0])])
        return 0;
    size_t n = from + label_bytes_from(s + from, end);
    // The last bytes of the text are read one by one.
    *key = end - s >= 8 ? label_name_key_at(s, n) : label_name_key(s, n);
    return is_reserved_label_name(s, n) ? 0 : n;
}

size_t label_name_at(const char *s, const char *end, uint64_t *code)
{
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    if (!kTables.label_first[u[0]])
        return 0;
    size_t n;
    if (end - s >= 8) {
        n = name_from_word(s, end, load_little_endian(s), code);
    } else {  // the last bytes of the text
        n = label_bytes_at(s, end);
        *code = label_name_code(s, n);
    }
    return is_reserved_label_name(s, n) ? 0 : n;
}

size_t bytes_shared_with(const char *s, const char *end, const char *first, size_t first_len)
{
    auto readable = static_cast<size_t>(end - s);  // no byte past end is read
    return common_prefix(s, first, first_len < readable ? first_len : readable);
}

size_t label_name_from(const char *s, const char *end, size_t from, uint64_t *code)
{
    const char *rest = s + from;
    size_t n;
    if (end - rest >= 8) {
        n = name_from_word(rest, end, load_little_endian(rest), code);
    } else {  // the last bytes of the text
        n = label_bytes_at(rest, end);
        *code = label_name_code(rest, n);
    }
    return is_reserved_label_name(s, from + n) ? 0 : from + n;
}

size_t measure_label_value(const char *s, size_t *len)
{
    const void *nul = memchr(s, '\0', *len);  // the text ends at an embedded NUL
    if (nul)
        *len = static_cast<size_t>(static_cast<const char *>(nul) - s);
    return *len + count_marked(s, *len, kTables.label_escape);
}

char *write_label_value(char *dst, const char *s, size_t raw_len)
{
    return write_escaped(dst, s, raw_len, kTables.label_escape);
}

size_t measure_help_text(const char *s, size_t *raw_len)
{
    *raw_len = s ? strlen(s) : 0;
    return *raw_len + count_marked(s, *raw_len, kTables.help_escape);
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
    size_t raw_len = strlen(in);
    size_t escaped_len = promfmt::measure_label_value(in, &raw_len);
    if (escaped_len > static_cast<size_t>(INT_MAX)) {
        promfmt::set_error("label value too long");
        return -1;
    }
    if (measuring)
        return static_cast<int>(escaped_len);
    if (out_size - 1 < escaped_len) {
        promfmt::set_error("destination buffer too small for escaped label value");
        return -1;
    }
    char *end = promfmt::write_label_value(out, in, raw_len);
    *end = '\0';
    return static_cast<int>(escaped_len);
}
