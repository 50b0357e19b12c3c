// SPDX-License-Identifier: MIT
// The copy-through scanner for flat labels objects; see flat_labels.h.
//
// It takes: '{', then members "key":"value" separated by ',', then '}',
// with JSON whitespace (space, tab, line feed, carriage return) between
// tokens and after the object. Keys are valid label names; values hold
// ASCII bytes from 0x20 to 0x7F other than the quote and the backslash,
// and the escapes \", \\ and \n, which are the exposition format's own. Every such text is valid JSON, and yyjson
// would read it to the same keys and values.
#include "flat_labels.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "rules.h"
#include "words.h"

namespace promfmt {

namespace {

// High bit set in each byte of w that is not plain: below 0x20, at or
// above 0x80, a double quote or a backslash.
uint64_t not_plain(uint64_t w)
{
    uint64_t below_space = ~((w & kLow7) + kOnes * (0x80 - 0x20)) & kHigh;
    return (w & kHigh) | below_space | bytes_equal(w, '"') | bytes_equal(w, '\\');
}

bool is_plain(unsigned char c) { return c >= 0x20 && c < 0x80 && c != '"' && c != '\\'; }

#if defined(__SSE2__)
// Bit i set when byte i of the sixteen at s is not plain. As signed bytes,
// those at or above 0x80 are negative, so one comparison finds them and
// the control bytes.
unsigned not_plain_16(const char *s)
{
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    __m128i m = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                          _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
    return static_cast<unsigned>(_mm_movemask_epi8(m));
}
#endif

// The first byte at or after p that is not plain; the NUL at end, which
// ends the text that starts at begin, stops it.
__attribute__((always_inline)) inline const char *skip_plain(const char *p, const char *begin, const char *end)
{
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        unsigned bits = not_plain_16(p);
        if (bits)
            return p + __builtin_ctz(bits);
    }
    if (end + 1 - begin >= 16) {
        // The sixteen bytes that end with the NUL, those before p left
        // out: the NUL is below a space, so some byte stops the scan.
        const char *last = end + 1 - 16;
        return p + __builtin_ctz(not_plain_16(last) >> (p - last));
    }
#else
    (void)begin;
#endif
    while (end - p >= 8) {
        uint64_t m = not_plain(load_little_endian(p));
        if (m)
            return p + lowest_set_byte(m);
        p += 8;
    }
    while (is_plain(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// A value's text after its opening quote, in the text from begin to the
// NUL at end; its closing quote, or NULL. Inline in both readers: a call
// per value costs the many-labels texts more than the inlined loop.
__attribute__((always_inline)) inline const char *scan_value(const char *p, const char *begin, const char *end)
{
    for (;;) {
        p = skip_plain(p, begin, end);
        if (*p == '"')
            return p;
        if (*p != '\\' || (p[1] != '"' && p[1] != '\\' && p[1] != 'n'))
            return nullptr;
        p += 2;
    }
}

// Whether the three bytes at p are those of token: the punctuation
// between tokens when there is no space. Near the text's end, where four
// bytes cannot be read, the answer is no and the caller looks closer.
inline bool followed_by(const flat_scan *scan, const char *p, const char (&token)[4])
{
    if (scan->end - p < 3)  // four bytes are read: the three and the one after
        return false;
    static const unsigned char kFirstThree[4] = {0xFF, 0xFF, 0xFF, 0};
    uint32_t text, want, mask;
    memcpy(&text, p, 4);
    memcpy(&want, token, 4);
    memcpy(&mask, kFirstThree, 4);
    return ((text ^ want) & mask) == 0;
}

// After a closing brace at p: only whitespace may follow.
flat_result close_object(const flat_scan *scan, const char *p)
{
    return skip_json_space(p + 1) == scan->end ? FLAT_END : FLAT_GIVE_UP;
}

// The shared prefix is looked for behind a first name of at least
// kLongName bytes (short names, the common case, are read as they are),
// and kept while it is at least kUsefulPrefix bytes: shorter ones leave
// the sort's keys enough bytes that tell the names apart.
constexpr size_t kLongName = 8;
constexpr size_t kUsefulPrefix = 4;

// Name `index` shares only `shared` bytes with the first: the names read
// since the first kFewLabels were coded from further on, and the sort
// must code them again. (The first kFewLabels carry keys, not codes.)
void note_shorter_prefix(flat_scan *scan, size_t index, size_t shared)
{
    name_coding *coding = scan->coding;
    if (index > kFewLabels) {
        // The names since the last shrink were coded from the prefix then.
        if (coding->runs < kCodedRuns)
            coding->run[coding->runs++] = coded_run{index, coding->shared};
        else
            coding->runs = kRunsLost;
        coding->recode_below = index;
    }
    coding->shared = scan->shared = shared;
}

// Reads the name at s into pair, given the bytes it is known to share
// with the first (0 for none, or for the first itself); its length (0
// when it is no valid label name).
size_t read_name(size_t index, const char *s, const char *end, size_t from, label_pair *pair)
{
    if (index < kFewLabels)
        return label_name_keyed(s, end, from, &pair->name_code);
    if (from > 0)
        return label_name_from(s, end, from, &pair->name_code);
    return label_name_at(s, end, &pair->name_code);
}

// Reads the key at key, the set's index-th, into pair; its length (0 when
// it is no valid label name). When the first name is long, the names after
// it are read against it, which finds the bytes they all share on the
// way; those bytes need no second look, and each name is coded from where
// the names differ, which is where the sort's keys start.
size_t read_key(flat_scan *scan, size_t index, const char *key, label_pair *pair)
{
    if (!scan->first_name) {
        size_t len = read_name(index, key, scan->end, 0, pair);
        scan->first_name = key;
        if (len >= kLongName)
            scan->coding->shared = scan->shared = len;
        return len;
    }
    if (scan->shared > 0) {
        // Only whether the name keeps the prefix matters, and if not, how
        // much of it: bytes past the prefix need not be compared.
        size_t shared = bytes_shared_with(key, scan->end, scan->first_name, scan->shared);
        if (shared < scan->shared)
            note_shorter_prefix(scan, index, shared >= kUsefulPrefix ? shared : 0);
    }
    return read_name(index, key, scan->end, scan->shared, pair);
}

}  // namespace

flat_result flat_read(flat_scan *scan, label_pair *out, size_t room, size_t *stored)
{
    const char *p = scan->p;
    *stored = 0;
    if (!scan->in_object) {
        if (*p != '{')
            return FLAT_GIVE_UP;
        p = skip_json_space(p + 1);
        if (*p == '}')
            return close_object(scan, p);
        scan->in_object = true;
    }
    size_t count = 0;  // kept here, not in *stored, which the stores may alias
    flat_result result = FLAT_GIVE_UP;
    for (;;) {  // p is at a member's opening quote
        if (count == room) {
            scan->p = p;
            scan->stored += room;
            result = FLAT_FULL;
            break;
        }
        label_pair *pair = &out[count];
        if (*p != '"')
            break;
        // A key that is not a valid label name, escapes included, is the
        // parser's to report.
        const char *key = p + 1;
        size_t key_len = read_key(scan, scan->stored + count, key, pair);
        p = key + key_len;
        if (key_len == 0)
            break;
        if (followed_by(scan, p, "\":\"")) {  // the usual "key":"value"
            p += 3;
        } else {
            if (*p != '"')
                break;
            p = skip_json_space(p + 1);
            if (*p != ':')
                break;
            p = skip_json_space(p + 1);
            if (*p != '"')
                break;
            ++p;
        }
        const char *value = p;
        p = scan_value(value, scan->begin, scan->end);
        if (!p)
            break;
        pair->name = key;
        pair->name_len = key_len;
        pair->value = value;
        pair->value_len = static_cast<size_t>(p - value);
        pair->escaped_len = pair->value_len;
        ++count;
        if (followed_by(scan, p, "\",\"")) {  // the next member, at once
            p += 2;
            continue;
        }
        p = skip_json_space(p + 1);
        if (*p == '}') {
            result = close_object(scan, p);
            break;
        }
        if (*p != ',')
            break;
        p = skip_json_space(p + 1);
    }
    *stored = count;
    return result;
}

namespace {

// The end of the labels text once the last value's closing quote is at p.
bool closes_kept(const char *p, const char *end)
{
    return p[1] == '}' && skip_json_space(p + 2) == end;
}

// The kept name not among `used` that member `at` of the text at p has:
// its index, with *n the bytes from p to its value; kNotKept when none.
size_t kept_name_at(const kept_labels &kept, size_t at, const char *p, const char *end,
                    uint32_t used, size_t *n)
{
    size_t sep = at == 0 ? 2 : 3;  // {" or ","
    if (static_cast<size_t>(end - p) < sep || !same_bytes(p, at == 0 ? "{\"" : "\",\"", sep))
        return kNotKept;
    for (size_t j = 0; j < kept.count; ++j) {
        if ((used >> j & 1) != 0)
            continue;
        size_t start = j == 0 ? 2 : kept.piece_end[j - 1] + 3;
        size_t len = kept.piece_end[j] - start;  // name":"
        if (static_cast<size_t>(end - p) - sep >= len &&
            same_bytes(p + sep, kept.pieces + start, len)) {
            *n = sep + len;
            return j;
        }
    }
    return kNotKept;
}

// flat_read_kept() from member `at`, at p, on: the kept names in any
// order, each once. The members before took the kept names before them.
size_t read_kept_reordered(const kept_labels &kept, const char *text, const char *end,
                           label_pair *out, size_t at, const char *p, size_t values)
{
    uint32_t used = (uint32_t{1} << at) - 1;
    for (size_t i = at; i < kept.count; ++i) {
        size_t n;
        size_t j = kept_name_at(kept, i, p, end, used, &n);
        if (j == kNotKept)
            return kNotKept;
        used |= uint32_t{1} << j;
        const char *value = p + n;
        p = scan_value(value, text, end);
        if (!p)
            return kNotKept;
        out[j].value = value;
        out[j].value_len = static_cast<size_t>(p - value);
        values += out[j].value_len;
    }
    return closes_kept(p, end) ? values : kNotKept;
}

}  // namespace

size_t flat_read_kept(const kept_labels &kept, const char *text, const char *end,
                      label_pair *out)
{
    const char *p = text;
    size_t from = 0;
    size_t values = 0;
    for (size_t i = 0; i < kept.count; ++i) {
        // {"name":" for the first member, ","name":" after a value: the
        // kept order, or else the kept names in another.
        size_t n = kept.piece_end[i] - from;
        if (static_cast<size_t>(end - p) < n || !same_bytes(p, kept.pieces + from, n))
            return read_kept_reordered(kept, text, end, out, i, p, values);
        const char *value = p + n;
        p = scan_value(value, text, end);
        if (!p)
            return kNotKept;
        out[i].value = value;
        out[i].value_len = static_cast<size_t>(p - value);
        values += out[i].value_len;  // parts of the text: no wrap
        from = kept.piece_end[i];
    }
    // p is at the last value's closing quote.
    return closes_kept(p, end) ? values : kNotKept;
}

}  // namespace promfmt
