// SPDX-License-Identifier: MIT
// Eight bytes at a time: tests on every byte of a 64-bit word at once, for
// the scanner and the name rules. A word is loaded with its first byte
// least significant on every host, so a marked byte's position is the same
// everywhere. Marks are the high bit of each byte that passes a test.
#ifndef PROMFMT_WORDS_H
#define PROMFMT_WORDS_H

#include <cstddef>
#include <cstdint>

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

// How many bytes a[0..n) and b[0..n) share from the start.
inline size_t common_prefix(const char *a, const char *b, size_t n)
{
    size_t i = 0;
    for (; n - i >= 8; i += 8) {
        uint64_t x = load_little_endian(a + i) ^ load_little_endian(b + i);
        if (x)
            return i + lowest_set_byte(x);
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

}  // namespace promfmt

#endif
