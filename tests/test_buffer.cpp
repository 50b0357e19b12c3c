// SPDX-License-Identifier: MIT
// The buffer's lifecycle, growth rule and the last-error text, and the
// short-piece copy and the checked sum the emitters write and measure with.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "support.h"

namespace {

// Read before any test can fail a call.
const std::string g_error_at_load = promfmt_last_error();

TEST(Buffer, LastErrorStartsEmptyAndSurvivesSuccess)
{
    EXPECT_EQ(g_error_at_load, "");
    Buffer buf;
    ASSERT_EQ(promfmt_emit_sample(buf, "1bad", nullptr, 1, 0), -1);
    ASSERT_EQ(promfmt_emit_sample(buf, "good", nullptr, 1, 0), 0);
    EXPECT_EQ(last_error(), "invalid metric name");
    EXPECT_EQ(promfmt_last_error(), promfmt_last_error()) << "always the same block";
}

TEST(Buffer, CreateChoosesCapacity)
{
    struct Case {
        size_t requested, capacity;
    } cases[] = {{0, 64}, {1, 64}, {63, 64}, {64, 64}, {65, 65}, {1000, 1000}};
    for (const Case &c : cases) {
        Buffer buf(c.requested);
        ASSERT_NE(buf.get(), nullptr);
        EXPECT_EQ(buf.capacity(), c.capacity) << "requested " << c.requested;
        EXPECT_EQ(promfmt_buffer_len(buf), 0u);
        EXPECT_STREQ(promfmt_buffer_data(buf), "");
    }
}

TEST(Buffer, CreateFailsCleanlyWhenTextBlockCannotBeAllocated)
{
    // More than any address space holds (and not "negative", which
    // valgrind reports as a fishy argument on 64-bit hosts).
    const size_t huge = sizeof(size_t) >= 8 ? SIZE_MAX >> 1 : SIZE_MAX;
    EXPECT_EQ(promfmt_buffer_create(huge), nullptr);
    EXPECT_EQ(last_error(), "failed to allocate buffer data memory");
}

// A sample with no labels and value 0 is the name plus three bytes.
std::string line_of(size_t bytes) { return std::string(bytes - 3, 'm'); }

TEST(Buffer, GrowthDoublesOrAddsSlack)
{
    struct Case {
        const char *what;
        size_t initial, first_line, second_line, capacity;
    } cases[] = {
        {"64 bytes into 64 need 65: doubled", 64, 64, 0, 128},
        {"127 bytes into 64 need exactly 128: doubled", 64, 127, 0, 128},
        {"200 bytes into 64 need 201: doubling short, 201 + 1024", 64, 200, 0, 1225},
        {"exactly fits with its NUL: no growth", 64, 63, 0, 64},
        {"63 used, 4 more need 68: doubled", 64, 63, 4, 128},
        {"1000 into 1000 need 1001: doubled", 1000, 1000, 0, 2000},
    };
    for (const Case &c : cases) {
        Buffer buf(c.initial);
        std::string want;
        for (size_t n : {c.first_line, c.second_line}) {
            if (n == 0)
                continue;
            std::string name = line_of(n);
            ASSERT_EQ(promfmt_emit_sample(buf, name.c_str(), nullptr, 0, 0), 0) << c.what;
            want += name + " 0\n";
        }
        EXPECT_EQ(buf.capacity(), c.capacity) << c.what;
        EXPECT_EQ(buf.text(), want) << c.what;
        EXPECT_EQ(buf.get()->data[buf.get()->len], '\0') << c.what;
    }
}

TEST(Buffer, ResetEmptiesButKeepsCapacity)
{
    Buffer buf;
    std::string name = line_of(500);
    ASSERT_EQ(promfmt_emit_sample(buf, name.c_str(), nullptr, 0, 0), 0);
    size_t grown = buf.capacity();
    promfmt_buffer_reset(buf);
    EXPECT_EQ(promfmt_buffer_len(buf), 0u);
    EXPECT_STREQ(promfmt_buffer_data(buf), "");
    EXPECT_EQ(buf.capacity(), grown);
    ASSERT_EQ(promfmt_emit_sample(buf, name.c_str(), nullptr, 0, 0), 0);
    EXPECT_EQ(buf.capacity(), grown) << "refilling to the same size must not grow";
}

TEST(Buffer, NullBufferIsTolerated)
{
    EXPECT_STREQ(promfmt_buffer_data(nullptr), "");
    EXPECT_EQ(promfmt_buffer_len(nullptr), 0u);
    promfmt_buffer_reset(nullptr);
    promfmt_buffer_free(nullptr);
}

// put() copies a piece of every length, with or without a bound on it,
// and touches no byte outside it: the source is a heap block of exactly n
// bytes (the sanitizers and valgrind see a read past it), and the bytes
// around the destination must keep their marks.
template <size_t longest>
void expect_put_copies_up_to(size_t most)
{
    for (size_t n = 0; n <= most; ++n) {
        std::unique_ptr<char[]> src(new char[n]);
        for (size_t i = 0; i < n; ++i)
            src[i] = static_cast<char>('a' + i % 26);
        std::string dst(n + 64, '#');
        char *start = &dst[32];
        EXPECT_EQ(promfmt::put<longest>(start, n ? src.get() : nullptr, n), start + n) << n;
        EXPECT_EQ(dst.substr(32, n), std::string(src.get(), n)) << n << " bytes";
        EXPECT_EQ(dst.substr(0, 32) + dst.substr(32 + n), std::string(64, '#'))
            << n << " bytes: written outside the piece";
    }
}

TEST(Buffer, PutCopiesEveryLengthAndNothingElse)
{
    expect_put_copies_up_to<SIZE_MAX>(100);
    expect_put_copies_up_to<64>(64);
    expect_put_copies_up_to<32>(32);
}

// A line's length is a sum of its pieces' lengths: every sum up to
// SIZE_MAX is exact, and one that would wrap is refused, leaving the total.
TEST(Buffer, SizeAddRefusesOnlyWhatWraps)
{
    struct Case {
        size_t total, b;
        bool ok;
        size_t after;
    } cases[] = {
        {5, 7, true, 12},
        {0, SIZE_MAX, true, SIZE_MAX},
        {1, SIZE_MAX - 1, true, SIZE_MAX},
        {SIZE_MAX, 0, true, SIZE_MAX},
        {1, SIZE_MAX, false, 1},
        {SIZE_MAX, 1, false, SIZE_MAX},
        {SIZE_MAX / 2 + 1, SIZE_MAX / 2 + 1, false, SIZE_MAX / 2 + 1},
    };
    for (const Case &c : cases) {
        size_t total = c.total;
        EXPECT_EQ(promfmt::size_add(&total, c.b), c.ok) << c.total << " + " << c.b;
        EXPECT_EQ(total, c.after) << c.total << " + " << c.b;
    }
}

}  // namespace
