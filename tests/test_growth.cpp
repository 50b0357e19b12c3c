// SPDX-License-Identifier: MIT
// The growth rules called directly, with sizes no input can reach: a text
// block whose length plus the request cannot be represented is refused
// (and the buffer left as it was), and working memory doubles, but a block
// that fits the kept size is never doubled past it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "buffer.h"
#include "support.h"

namespace {

TEST(Growth, SizesThatCannotBeRepresentedAreRefused)
{
    struct Case {
        const char *what;
        const char *before;  // the buffer's text first
        size_t n;
    } cases[] = {
        {"len + n + 1 wraps to 0", "", SIZE_MAX},
        {"len + n + 1 wraps to 0 after text", "m 0\n", SIZE_MAX - 4},
        {"len + n + 1 is SIZE_MAX", "", SIZE_MAX - 1},
        {"len + n + 1 is SIZE_MAX after text", "m 0\n", SIZE_MAX - 5},
        {"the slack after the needed size wraps", "", SIZE_MAX - 1023},
    };
    for (const Case &c : cases) {
        Buffer buf;
        if (*c.before) {
            ASSERT_EQ(promfmt_emit_sample(buf, "m", nullptr, 0, 0), 0);
        }
        const promfmt_buffer_t was = *buf.get();
        prime_error();
        EXPECT_EQ(promfmt::buf_ensure_avail(buf, c.n), -1) << c.what;
        EXPECT_EQ(last_error(), "failed to expand buffer: out of memory") << c.what;
        EXPECT_EQ(buf.get()->data, was.data) << c.what;
        EXPECT_EQ(buf.get()->capacity, was.capacity) << c.what;
        EXPECT_EQ(buf.text(), c.before) << c.what;
    }
}

TEST(Growth, WorkingMemoryDoublesButNotPastTheKeptSize)
{
    const size_t kept = promfmt::kScratchKept;
    struct Case {
        const char *what;
        size_t first, then, size;
    } cases[] = {
        {"doubled", 100, 150, 200},
        {"more than double: as asked", 100, 300, 300},
        {"enough already: unchanged", 300, 200, 300},
        {"doubling past the kept size stops at it", kept / 2 + 1, kept - 1, kept},
        {"exactly the kept size stops at it", kept / 2 + 1, kept, kept},
        {"beyond the kept size: doubled", kept / 2 + 1, kept + 1, kept + 2},
    };
    for (const Case &c : cases) {
        Buffer buf;
        auto *first = static_cast<char *>(promfmt::buf_scratch(buf, promfmt::SCRATCH_PAIRS, c.first));
        ASSERT_NE(first, nullptr) << c.what;
        first[c.first - 1] = 'x';
        auto *block = static_cast<char *>(promfmt::buf_scratch(buf, promfmt::SCRATCH_PAIRS, c.then));
        ASSERT_NE(block, nullptr) << c.what;
        EXPECT_EQ(buf.get()->scratch_size[promfmt::SCRATCH_PAIRS], c.size) << c.what;
        EXPECT_EQ(block[c.first - 1], 'x') << c.what << ": contents kept";
        block[c.size - 1] = 'y';  // the whole size is there
        EXPECT_EQ(buf.get()->scratch[promfmt::SCRATCH_PARSE], nullptr) << c.what;
    }
}

}  // namespace
