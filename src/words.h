// SPDX-License-Identifier: MIT
// Eight bytes at a time: tests on every byte of a 64-bit word at once, for
// the scanner and the name rules. A word is loaded with its first byte
// least significant on every host, so a marked byte's position is the same
// everywhere. Marks are the high bit of each byte that passes a test.
#ifndef PROMFMT_WORDS_H
#define PROMFMT_WORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace promfmt {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHigh = 0x8080808080808080ull;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

inline uint64_t load_little_endian(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint64_t{u[0]} | uint64_t{u[1]} << 8 | uint64_t{u[2]} << 16 |
           uint64_t{u[3]} << 24 | uint64_t{u[4]} << 32 | uint64_t{u[5]} << 40 |
           uint64_t{u[6]} << 48 | uint64_t{u[7]} << 56;
}

// w with its bytes in the opposite order.
inline uint64_t swap_bytes(uint64_t w)
{
#if defined(__GNUC__)
    return __builtin_bswap64(w);
#else
    uint64_t r = 0;
    for (int i = 0; i < 8; ++i, w >>= 8)
        r = r << 8 | (w & 0xFF);
    return r;
#endif
}

// Marks each byte of w that equals c; exact, no false marks.
inline uint64_t bytes_equal(uint64_t w, unsigned char c)
{
    uint64_t x = w ^ (kOnes * c);
    return ~(((x & kLow7) + kLow7) | x) & kHigh;
}

// Marks each byte of w from lo to hi (both below 0x80); bytes at or above
// 0x80 must be cleared from w first. No carry crosses a byte.
inline uint64_t bytes_between(uint64_t w, unsigned char lo, unsigned char hi)
{
    return (w + kOnes * (0x80 - lo)) & ~(w + kOnes * (0x7F - hi)) & kHigh;
}

// Index of the first byte of w that is not 0 (a marked byte, or a byte
// where two words differ in their XOR); w is not 0.
inline size_t lowest_set_byte(uint64_t w)
{
#if defined(__GNUC__)
    return static_cast<size_t>(__builtin_ctzll(w)) / 8;
#else
    size_t i = 0;
    while (!(w & 0xFF))
        w >>= 8, ++i;
    return i;
#endif
}

// Index of the last byte of w that is not 0; w is not 0.
inline size_t highest_set_byte(uint64_t w)
{
#if defined(__GNUC__)
    return static_cast<size_t>(63 - __builtin_clzll(w)) / 8;
#else
    size_t i = 7;
    while (!(w >> 56))
        w <<= 8, --i;
    return i;
#endif
}

// How many bytes a[0..n) and b[0..n) share from the start. Whole blocks
// are compared; the last one ends at n and overlaps the one before, whose
// bytes are known to be shared, so no byte is compared on its own.
inline size_t common_prefix(const char *a, const char *b, size_t n)
{
#if defined(__SSE2__)
    // Names that share a long prefix (exporters write many such) are
    // compared sixteen bytes a step.
    if (n >= 16) {
        for (size_t i = 0;; i += 16) {
            if (n - i < 16)
                i = n - 16;
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
            __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
            unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
            if (equal != 0xFFFF)
                return i + static_cast<size_t>(__builtin_ctz(~equal));
            if (n - i == 16)
                return n;
        }
    }
#endif
    if (n >= 8) {
        for (size_t i = 0;; i += 8) {
            if (n - i < 8)
                i = n - 8;
            uint64_t x = load_little_endian(a + i) ^ load_little_endian(b + i);
            if (x)
                return i + lowest_set_byte(x);
            if (n - i == 8)
                return n;
        }
    }
    size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// Whether a[0..n) and b[0..n) are the same bytes: a word at a time, the
// last word ending at n (overlapping the one before it). Up to sixteen
// bytes, two words and no loop.
inline bool same_bytes(const char *a, const char *b, size_t n)
{
    if (n < 8)
        return memcmp(a, b, n) == 0;
    uint64_t diff = (load_little_endian(a) ^ load_little_endian(b)) |
                    (load_little_endian(a + n - 8) ^ load_little_endian(b + n - 8));
    for (size_t i = 8; n - i > 8; i += 8)
        diff |= load_little_endian(a + i) ^ load_little_endian(b + i);
    return diff == 0;
}

}  // namespace promfmt

#endif
