// SPDX-License-Identifier: MIT
// The word-at-a-time helpers that the scanner and the sort share.
#include <gtest/gtest.h>

#include <string>

#include "words.h"

namespace {

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

}  // namespace
