// SPDX-License-Identifier: MIT
// Working memory of large label sets: a call that reads thousands of labels
// and then refuses the text must leave the buffer as it was and give back
// what it used beyond the kept size, exactly as a call that succeeds. The
// sanitizer build and valgrind run these too, and report any block left.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "label_pair.h"
#include "support.h"

namespace {

// n labels behind a common prefix, in reverse order, then `last` (a
// member, or "" for none); number values send the text to the parser.
std::string many_labels(int n, bool numbers, const std::string &last)
{
    std::string json = "{";
    for (int i = n - 1; i >= 0; --i) {
        std::string v = std::to_string(i);
        json += "\"label_app_kubernetes_io_" + v + "\":" + (numbers ? v : "\"" + v + "\"") + ",";
    }
    if (last.empty())
        json.pop_back();
    return json + last + "}";
}

TEST(WorkingMemory, LargeLabelSetsGiveBackWhatIsNotKept)
{
    const char *kDuplicate = "duplicate label name in JSON";
    const char *kBadName = "invalid label name in JSON";
    const char *kNotJson = "failed to parse labels JSON";
    // Enough labels that their pairs (and, with numbers, their parse) need
    // more than the buffer keeps between calls.
    const int kMany = 70000;
    struct Case {
        const char *what;
        std::string json;
        const char *error;  // nullptr: the call succeeds
    } cases[] = {
        {"strings", many_labels(kMany, false, ""), nullptr},
        {"numbers", many_labels(kMany, true, ""), nullptr},
        {"strings, then a duplicate", many_labels(kMany, false, "\"label_app_kubernetes_io_7\":\"x\""),
         kDuplicate},
        {"numbers, then a duplicate", many_labels(kMany, true, "\"label_app_kubernetes_io_7\":1"),
         kDuplicate},
        {"20 labels, then a duplicate", many_labels(20, false, "\"label_app_kubernetes_io_7\":\"x\""),
         kDuplicate},
        {"strings, then a bad name", many_labels(kMany, false, "\"a-b\":\"x\""), kBadName},
        {"numbers, then a bad name", many_labels(kMany, true, "\"a-b\":1"), kBadName},
        {"strings, then a stray byte", many_labels(kMany, false, "\"z\":\"x\"x"), kNotJson},
    };
    Buffer buf;
    for (const Case &c : cases) {
        promfmt_buffer_reset(buf);
        ASSERT_EQ(promfmt_emit_sample(buf, "before", nullptr, 0, 0), 0);
        prime_error();
        int rc = promfmt_emit_sample(buf, "m", c.json.c_str(), 1, 0);
        if (c.error) {
            EXPECT_EQ(rc, -1) << c.what;
            EXPECT_EQ(last_error(), c.error) << c.what;
            EXPECT_EQ(buf.text(), "before 0\n") << c.what << ": buffer must be untouched";
        } else {
            EXPECT_EQ(rc, 0) << c.what << ": " << last_error();
            const std::string head = "before 0\nm{label_app_kubernetes_io_0=\"0\",";
            const std::string tail = ",label_app_kubernetes_io_9999=\"9999\"} 1\n";
            std::string text = buf.text();
            EXPECT_EQ(text.substr(0, head.size()), head) << c.what;
            EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << c.what;
        }
        for (int slot = 0; slot < promfmt::SCRATCH_SLOTS; ++slot)
            EXPECT_LE(buf.get()->scratch_size[slot], promfmt::kScratchKept)
                << c.what << ": working memory " << slot << " kept beyond the limit";
    }
    // The buffer still works, on the memory it kept.
    promfmt_buffer_reset(buf);
    ASSERT_EQ(promfmt_emit_sample(buf, "m", "{\"b\":\"2\",\"a\":1}", 1, 0), 0);
    EXPECT_EQ(buf.text(), "m{a=\"1\",b=\"2\"} 1\n");
}

// Up to the limit, working memory stays with the buffer: 40000 labels need
// more than 2 MiB of pairs, and their block, grown to exactly the kept
// size, must still be there after the call, and serve the next one.
TEST(WorkingMemory, BlockOfExactlyTheKeptSizeStays)
{
    // The scanner's room doubles in label pairs of this many bytes (with
    // their sort keys): only where some doubling ends exactly at the kept
    // size (64-bit layouts) can a block of that size be made.
    const size_t each = sizeof(promfmt::label_pair) + 2 * sizeof(uint64_t);
    const size_t pairs = promfmt::kScratchKept / each;
    if (promfmt::kScratchKept % each != 0 || (pairs & (pairs - 1)) != 0)
        GTEST_SKIP() << "no doubling of " << each << "-byte pairs ends at the kept size";
    const std::string json = many_labels(static_cast<int>(pairs / 2 + 1), false, "");
    Buffer buf;
    ASSERT_EQ(promfmt_emit_sample(buf, "m", json.c_str(), 1, 0), 0) << last_error();
    EXPECT_EQ(buf.get()->scratch_size[promfmt::SCRATCH_PAIRS], promfmt::kScratchKept);
    const void *block = buf.get()->scratch[promfmt::SCRATCH_PAIRS];
    promfmt_buffer_reset(buf);
    ASSERT_EQ(promfmt_emit_sample(buf, "m", json.c_str(), 1, 0), 0) << last_error();
    EXPECT_EQ(buf.get()->scratch[promfmt::SCRATCH_PAIRS], block) << "the kept block is reused";
    EXPECT_EQ(buf.get()->scratch_size[promfmt::SCRATCH_PAIRS], promfmt::kScratchKept);
}

// The parser's memory is sized from the text's length before it reads a
// byte. Values packed as densely as JSON allows need the most: one per two
// bytes, as in [0,0,0], and an indented text, for which the parser starts
// with less room and so grows it further past what it needs. Every length
// from a few bytes to several kilobytes, in the label set's own memory and
// in the buffer's, must still parse.
TEST(WorkingMemory, DenselyPackedValuesStillParse)
{
    Buffer buf;
    for (const char *start : {"{\"a\":[", "{  \"a\":["}) {
        for (const char *item : {"0", "{}"}) {
            std::string json = start;
            for (int n = 1; n <= 2500; ++n) {
                json += item;
                promfmt_buffer_reset(buf);
                ASSERT_EQ(promfmt_emit_sample(buf, "m", (json + "]}").c_str(), 1, 0), 0)
                    << n << " items " << item << " after " << start << ": " << last_error();
                ASSERT_EQ(buf.text(), "m{a=\"\"} 1\n");
                json += ',';
            }
        }
    }
}

}  // namespace
