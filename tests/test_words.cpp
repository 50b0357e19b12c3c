// SPDX-License-Identifier: MIT
// The word-at-a-time helpers that the scanner and the sort share, each
// against the byte-by-byte answer. Texts come in blocks of exactly their
// bytes, so that a read past them is seen.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "words.h"

namespace {

// n bytes that differ from their neighbours, in a block of exactly n.
std::unique_ptr<char[]> varied_block(size_t n)
{
    std::unique_ptr<char[]> block(new char[n]);
    for (size_t i = 0; i < n; ++i)
        block[i] = static_cast<char>('A' + i % 53);
    return block;
}

// The word of eight bytes, its first byte least significant, and the
// marks (high bits) of the bytes for which marked(byte) holds.
struct word_bytes {
    unsigned char b[8];

    uint64_t word() const
    {
        uint64_t w = 0;
        for (int i = 7; i >= 0; --i)
            w = w << 8 | b[i];
        return w;
    }

    template <typename Test>
    uint64_t marks(Test marked) const
    {
        uint64_t m = 0;
        for (int i = 0; i < 8; ++i)
            m |= marked(b[i]) ? uint64_t{0x80} << 8 * i : 0;
        return m;
    }
};

TEST(Words, LoadsAndSwapsEightBytesFirstLeastSignificant)
{
    const struct {
        const char *what;
        unsigned char bytes[8];
        uint64_t word;
    } cases[] = {
        {"small bytes", {1, 2, 3, 4, 5, 6, 7, 8}, 0x0807060504030201ull},
        {"high bits set", {0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8}, 0xF8E7D6C5B4A39281ull},
        {"only the last byte", {0, 0, 0, 0, 0, 0, 0, 0xFF}, 0xFF00000000000000ull},
        {"only the first byte", {0xFF, 0, 0, 0, 0, 0, 0, 0}, 0x00000000000000FFull},
    };
    for (const auto &c : cases) {
        std::unique_ptr<char[]> block(new char[8]);
        memcpy(block.get(), c.bytes, 8);
        EXPECT_EQ(promfmt::load_little_endian(block.get()), c.word) << c.what;
        uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i)
            swapped = swapped << 8 | c.bytes[i];
        EXPECT_EQ(promfmt::swap_bytes(c.word), swapped) << c.what;
    }
}

// Every byte value against every other, in each position, among
// neighbours that are equal to it or differ from it in one bit.
TEST(Words, BytesEqualMarksExactlyTheEqualBytes)
{
    for (unsigned c = 0; c < 256; ++c) {
        for (unsigned v = 0; v < 256; ++v) {
            const word_bytes w = {{static_cast<unsigned char>(v), static_cast<unsigned char>(c),
                                   static_cast<unsigned char>(c ^ 0x80), static_cast<unsigned char>(v),
                                   static_cast<unsigned char>(c ^ 1), static_cast<unsigned char>(v ^ 0x7F),
                                   static_cast<unsigned char>(v), static_cast<unsigned char>(c)}};
            uint64_t want = w.marks([c](unsigned char b) { return b == c; });
            ASSERT_EQ(promfmt::bytes_equal(w.word(), static_cast<unsigned char>(c)), want)
                << std::hex << "byte " << c << " among " << w.word();
        }
    }
}

// Every range of bytes below 0x80, the eight bytes of a word running
// through every value below 0x80.
TEST(Words, BytesBetweenMarksExactlyTheBytesInTheRange)
{
    for (unsigned lo = 0; lo < 0x80; ++lo) {
        for (unsigned hi = lo; hi < 0x80; ++hi) {
            for (unsigned v = 0; v < 0x80; v += 8) {
                word_bytes w{};
                for (unsigned i = 0; i < 8; ++i)
                    w.b[i] = static_cast<unsigned char>(v + i);
                uint64_t want = w.marks([lo, hi](unsigned char b) { return b >= lo && b <= hi; });
                ASSERT_EQ(promfmt::bytes_between(w.word(), static_cast<unsigned char>(lo),
                                                 static_cast<unsigned char>(hi)),
                          want)
                    << std::hex << lo << " to " << hi << " in " << w.word();
            }
        }
    }
}

// Every set of non-zero bytes, each with one bit set, and the first and
// last of them.
TEST(Words, LowestAndHighestNonZeroByte)
{
    for (unsigned set = 1; set < 256; ++set) {
        for (unsigned bit = 0; bit < 8; ++bit) {
            uint64_t w = 0;
            for (unsigned i = 0; i < 8; ++i)
                w |= (set >> i & 1) ? uint64_t{1} << (8 * i + bit) : 0;
            size_t first = static_cast<size_t>(__builtin_ctz(set));
            size_t last = static_cast<size_t>(31 - __builtin_clz(set));
            EXPECT_EQ(promfmt::lowest_set_byte(w), first) << std::hex << w;
            EXPECT_EQ(promfmt::highest_set_byte(w), last) << std::hex << w;
        }
    }
}

// common_prefix() counts the bytes two texts share within its length and
// never past it: the names it compares run on into equal bytes (the quote
// or NUL after each), which must not count. Lengths around the word and
// vector sizes, first differences before, at and beyond the length.
TEST(Words, CommonPrefixCountsWithinItsLengthOnly)
{
    for (size_t n = 0; n <= 40; ++n) {
        for (size_t diff = 0; diff <= n + 17; ++diff) {
            std::string a(64, 'x');
            std::string b = a;
            b[diff] = 'y';
            size_t want = diff < n ? diff : n;
            EXPECT_EQ(promfmt::common_prefix(a.data(), b.data(), n), want)
                << n << " bytes, the first difference at " << diff;
        }
    }
}

// common_prefix() and same_bytes() over texts of every length up to
// beyond three vectors, in blocks of exactly their length: the same
// bytes, or one byte changed (in its lowest or its highest bit), or every
// byte changed from there on.
TEST(Words, CommonPrefixAndSameBytesReadOnlyTheirLength)
{
    const struct {
        const char *what;
        unsigned char flip;
        bool to_the_end;
    } changes[] = {
        {"one byte, its lowest bit", 0x01, false},
        {"one byte, its highest bit", 0x80, false},
        {"every byte from there on", 0x20, true},
    };
    for (size_t n = 0; n <= 56; ++n) {
        std::unique_ptr<char[]> a = varied_block(n);
        std::unique_ptr<char[]> same = varied_block(n);
        EXPECT_EQ(promfmt::common_prefix(a.get(), same.get(), n), n) << n << " same bytes";
        EXPECT_TRUE(promfmt::same_bytes(a.get(), same.get(), n)) << n << " same bytes";
        for (const auto &c : changes) {
            for (size_t diff = 0; diff < n; ++diff) {
                std::unique_ptr<char[]> b = varied_block(n);
                for (size_t i = diff; i < (c.to_the_end ? n : diff + 1); ++i)
                    b[i] = static_cast<char>(b[i] ^ c.flip);
                EXPECT_EQ(promfmt::common_prefix(a.get(), b.get(), n), diff)
                    << n << " bytes, " << c.what << " at " << diff;
                EXPECT_FALSE(promfmt::same_bytes(a.get(), b.get(), n))
                    << n << " bytes, " << c.what << " at " << diff;
            }
        }
    }
}

}  // namespace
