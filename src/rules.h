// SPDX-License-Identifier: MIT
// The format's rules, in one place: which bytes make metric and label
// names, and how label values and help texts are escaped.
//
// Only ASCII letters count as letters; bytes at or above 0x80 are never part
// of a name and pass through escapes unchanged.
#ifndef PROMFMT_RULES_H
#define PROMFMT_RULES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "words.h"

namespace promfmt {

// "__name__" is the metric name itself to every reader: a label of that
// name makes the line invalid, and the whole scrape with it.
inline bool is_reserved_label_name(const char *s, size_t len)
{
    return len == 8 && memcmp(s, "__name__", 8) == 0;
}

#if defined(__SSE2__)
// Bit i set when byte i of the sixteen at s cannot be part of a label
// name. As signed bytes, those at or above 0x80 are negative and fall
// outside every range.
inline unsigned not_label_bytes_16(const char *s)
{
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    __m128i lower = _mm_or_si128(v, _mm_set1_epi8(0x20));  // letters folded to lower case
    __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                   _mm_cmplt_epi8(lower, _mm_set1_epi8('z' + 1)));
    __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                                  _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
    __m128i ok = _mm_or_si128(_mm_or_si128(letter, digit),
                              _mm_cmpeq_epi8(v, _mm_set1_epi8('_')));
    return ~static_cast<unsigned>(_mm_movemask_epi8(ok)) & 0xFFFF;
}
#endif

// len when name[0..len) is a valid metric name ([a-zA-Z_:][a-zA-Z0-9_:]*),
// 0 when it is not ("" included).
size_t metric_name_len(const char *name, size_t len);

// Length of s[0..len) up to its first NUL when that is a valid label name
// ([a-zA-Z_][a-zA-Z0-9_]*) other than the reserved "__name__"; 0 when it is
// not. s may hold NULs (JSON keys may escape them).
size_t label_name_len(const char *s, size_t len);

// A label name as a number that orders as the names do: its first
// kNameCodeBytes bytes as six-bit codes, the first byte most significant
// (the label-name bytes keep their byte order as codes 1 to 63: digits,
// upper-case letters, the underscore, lower-case letters), and zeros
// after a shorter name, which so sorts before its extensions.
constexpr size_t kNameCodeBytes = 10;
uint64_t label_name_code(const char *name, size_t len);  // name is valid

// A label name as a cheaper number that orders as the names do, up to
// ties: its first eight bytes, the first most significant, zeros after a
// shorter name. Names that tie in it share their first eight bytes.
uint64_t label_name_key(const char *name, size_t len);

// Length of the label name that starts at s and runs to the first byte
// that cannot be part of one (which is read, and may be the NUL at end that
// ends the text; nothing past end is read); 0 when the bytes up to there
// are not a valid label name. Also gives the name's label_name_code().
size_t label_name_at(const char *s, const char *end, uint64_t *code);

// How many bytes from the start the text at s shares with first[0..first_len),
// bytes earlier in the same text that ends at end (at most first_len).
size_t bytes_shared_with(const char *s, const char *end, const char *first, size_t first_len);

// label_name_key() of the name of n bytes at s, eight of which are readable.
inline uint64_t label_name_key_at(const char *s, size_t n)
{
    uint64_t w = load_little_endian(s);
    if (n < 8)
        w &= (uint64_t{1} << 8 * n) - 1;
    return swap_bytes(w);
}

// label_name_at() and label_name_from() (from 0 for the first), with the
// name's label_name_key() in *key instead of its code.
size_t label_name_keyed_any(const char *s, const char *end, size_t from, uint64_t *key);
inline size_t label_name_keyed(const char *s, const char *end, size_t from, uint64_t *key)
{
#if defined(__SSE2__)
    // Most names: their end within the sixteen readable bytes at s, and a
    // first byte that is a name's byte but no digit. Taken inline, they
    // cost the scanner no call; the rest go the general way.
    unsigned bad = from == 0 && end - s >= 16 ? not_label_bytes_16(s) : 0;
    if (bad != 0 && !(bad & 1) && static_cast<unsigned char>(s[0] - '0') >= 10) {
        auto n = static_cast<size_t>(__builtin_ctz(bad));
        *key = label_name_key_at(s, n);
        return is_reserved_label_name(s, n) ? 0 : n;
    }
#endif
    return label_name_keyed_any(s, end, from, key);
}

// label_name_at() for a name whose first `from` bytes (at least one) are
// known to be label-name bytes, shared with a valid name: only the rest is
// looked at, and *code is label_name_code() of the bytes from `from` on.
size_t label_name_from(const char *s, const char *end, size_t from, uint64_t *code);

// Label values: backslash, double quote and line feed become two bytes
// each. Measures s[0..*len) up to its first NUL: *len becomes the bytes
// taken, and the escaped length is returned.
size_t measure_label_value(const char *s, size_t *len);
// Writes the escaped form of raw_len bytes of s at dst; returns the end.
char *write_label_value(char *dst, const char *s, size_t raw_len);

// Help texts: backslash and line feed become two bytes each. s may be NULL
// (then 0 bytes). Measures s: *raw_len becomes its length, and the escaped
// length is returned.
size_t measure_help_text(const char *s, size_t *raw_len);
char *write_help_text(char *dst, const char *s, size_t raw_len);

}  // namespace promfmt

#endif
