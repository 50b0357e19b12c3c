// SPDX-License-Identifier: MIT
// Allocation failure: every allocation a call makes is failed in turn. Each
// failure must return -1 (or NULL) with the right message, leave the buffer
// as it was (the shortcuts may keep whole HELP/TYPE lines), keep it usable
// and leak nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "failing_alloc.h"
#include "support.h"

namespace {

struct Scenario {
    const char *what;
    std::function<int(promfmt_buffer_t *)> call;
    std::vector<std::string> messages;  // acceptable failure messages
    std::vector<std::string> leftovers; // text a failure may append ("" first)
};

const char *kGrow = "failed to expand buffer: out of memory";
const char *kParse = "failed to parse labels JSON";
const char *kPairs = "out of memory allocating label pairs";

const char *kManyLabels =
    "{\"t\":1,\"s\":1,\"r\":1,\"q\":1,\"p\":1,\"o\":1,\"n\":1,\"m\":1,\"l\":1,\"k\":1,"
    "\"j\":1,\"i\":1,\"h\":1,\"g\":1,\"f\":1,\"e\":1,\"d\":1,\"c\":1,\"b\":1,\"a\":\"x\\ny\"}";

// Too long to be parsed on the stack, so the parser allocates.
const std::string kBigLabels = "{\"b\":\"" + std::string(2000, 'x') + "\",\"a\":1}";

// n labels behind a 24-byte common prefix, in reverse order; string
// values keep them with the copy-through scanner, number values send them
// to the parser.
std::string labels_behind_prefix(int n, bool numbers)
{
    std::string json = "{";
    for (int i = n - 1; i >= 0; --i) {
        std::string v = std::to_string(i);
        json += "\"label_app_kubernetes_io_" + v + "\":" + (numbers ? v : "\"" + v + "\"");
        json += i ? "," : "}";
    }
    return json;
}

// Beyond the labels kept inline: the scanner's working memory grows (and
// may fail, so that the parser takes over) in one, in five doublings.
const std::string kFortyStrings = labels_behind_prefix(40, false);
const std::string kThreeHundredStrings = labels_behind_prefix(300, false);
// A text too large for the kept parse memory, so the parser allocates.
const std::string kLabelsParsedOnTheHeap = labels_behind_prefix(12000, true);

std::vector<Scenario> scenarios()
{
    return {
        {"sample without labels",
         [](promfmt_buffer_t *b) { return promfmt_emit_sample(b, "m", nullptr, 1.5, 7); },
         {kGrow}, {""}},
        {"sample with three labels",
         [](promfmt_buffer_t *b) {
             return promfmt_emit_sample(b, "m", "{\"c\":\"3\",\"b\":2,\"a\":\"q\\\"\"}", 1, 0);
         },
         {kGrow, kParse}, {""}},
        {"sample with labels on the heap",
         [](promfmt_buffer_t *b) { return promfmt_emit_sample(b, "m", kManyLabels, 1, 0); },
         {kGrow, kParse, kPairs}, {""}},
        {"sample whose labels text is parsed on the heap",
         [](promfmt_buffer_t *b) { return promfmt_emit_sample(b, "m", kBigLabels.c_str(), 1, 0); },
         {kGrow, kParse}, {""}},
        {"sample with 40 string labels",
         [](promfmt_buffer_t *b) { return promfmt_emit_sample(b, "m", kFortyStrings.c_str(), 1, 0); },
         {kGrow, kParse, kPairs}, {""}},
        {"sample with 300 string labels",
         [](promfmt_buffer_t *b) {
             return promfmt_emit_sample(b, "m", kThreeHundredStrings.c_str(), 1, 0);
         },
         {kGrow, kParse, kPairs}, {""}},
        {"sample with 12000 labels parsed on the heap",
         [](promfmt_buffer_t *b) {
             return promfmt_emit_sample(b, "m", kLabelsParsedOnTheHeap.c_str(), 1, 0);
         },
         {kGrow, kParse, kPairs}, {""}},
        {"help", [](promfmt_buffer_t *b) { return promfmt_emit_help(b, "m", "a\\b\nc"); },
         {kGrow}, {""}},
        {"type",
         [](promfmt_buffer_t *b) { return promfmt_emit_type(b, "m", PROMFMT_TYPE_HISTOGRAM); },
         {kGrow}, {""}},
        {"gauge",
         [](promfmt_buffer_t *b) {
             return promfmt_emit_gauge(b, "g", "help", "{\"b\":\"1\",\"a\":\"2\"}", 3);
         },
         {kGrow, kParse}, {"", "# HELP g help\n", "# HELP g help\n# TYPE g gauge\n"}},
        {"counter",
         [](promfmt_buffer_t *b) { return promfmt_emit_counter(b, "c", "", kManyLabels, 3); },
         {kGrow, kParse, kPairs}, {"", "# TYPE c counter\n"}},
    };
}

bool contains(const std::vector<std::string> &list, const std::string &s)
{
    for (const std::string &x : list)
        if (x == s)
            return true;
    return false;
}

// Fills a new 64-byte buffer to 60 bytes, so that the next line must grow it.
std::string prefill(promfmt_buffer_t *b)
{
    std::string name(57, 'p');
    EXPECT_EQ(promfmt_emit_sample(b, name.c_str(), nullptr, 0, 0), 0);
    return name + " 0\n";
}

TEST(AllocFailure, EveryAllocationOfEveryEmitter)
{
    int failures_checked = 0;
    for (const Scenario &s : scenarios()) {
        std::string reference;  // the text when nothing fails
        {
            Buffer buf(64);
            prefill(buf);
            ASSERT_EQ(s.call(buf), 0) << s.what;
            reference = buf.text();
        }
        for (long k = 0;; ++k) {
            ASSERT_LT(k, 100) << s.what << ": too many allocations";
            // Working memory may stay with the buffer after a call, so
            // leaks are counted once the buffer is freed.
            long live = failing_alloc::live_blocks();
            bool hit;
            {
                Buffer buf(64);
                std::string before = prefill(buf);

                failing_alloc::fail_after(k);
                int rc = s.call(buf);
                hit = failing_alloc::failed();
                failing_alloc::fail_after(-1);

                if (!hit || rc == 0) {
                    // Not reached, or the call did without the memory it
                    // was refused (working memory is an optimisation).
                    EXPECT_EQ(rc, 0) << s.what << ": " << last_error();
                    EXPECT_EQ(buf.text(), reference) << s.what << ", allocation " << k;
                    EXPECT_TRUE(hit || k > 0) << s.what << ": expected at least one allocation";
                } else {
                    ++failures_checked;
                    EXPECT_EQ(rc, -1) << s.what << ", allocation " << k;
                    EXPECT_TRUE(contains(s.messages, last_error()))
                        << s.what << ", allocation " << k << ": " << last_error();
                    std::string text = buf.text();
                    ASSERT_EQ(text.compare(0, before.size(), before), 0) << s.what;
                    EXPECT_TRUE(contains(s.leftovers, text.substr(before.size())))
                        << s.what << ", allocation " << k
                        << " left: " << text.substr(before.size());

                    ASSERT_EQ(promfmt_emit_sample(buf, "after", nullptr, 1, 0), 0) << s.what;
                    EXPECT_EQ(buf.text(), text + "after 1\n") << s.what;
                }
            }
            EXPECT_EQ(failing_alloc::live_blocks(), live) << s.what << ": leak at allocation " << k;
            if (!hit)
                break;
        }
    }
    std::printf("allocation-failure cases checked: %d\n", failures_checked);
}

TEST(AllocFailure, BufferCreation)
{
    struct Case {
        long fail_at;
        const char *message;
    } cases[] = {{0, "failed to allocate promfmt_buffer_t struct"},
                 {1, "failed to allocate buffer data memory"}};
    for (const Case &c : cases) {
        long live = failing_alloc::live_blocks();
        failing_alloc::fail_after(c.fail_at);
        promfmt_buffer_t *buf = promfmt_buffer_create(100);
        failing_alloc::fail_after(-1);
        EXPECT_EQ(buf, nullptr);
        EXPECT_EQ(last_error(), c.message);
        EXPECT_EQ(failing_alloc::live_blocks(), live) << "nothing stays allocated";
    }
}

TEST(AllocFailure, SteadyStateAllocatesOnlyInsideCalls)
{
    // A reused buffer stops growing: after the first scrape, refilling it
    // leaves no block behind and never fails the growth path.
    Buffer buf;
    auto scrape = [&] {
        promfmt_buffer_reset(buf);
        for (int i = 0; i < 50; ++i)
            ASSERT_EQ(promfmt_emit_gauge(buf, "g", "h", "{\"b\":\"1\",\"a\":2}", i), 0);
    };
    scrape();
    size_t cap = buf.capacity();
    long live = failing_alloc::live_blocks();
    scrape();
    EXPECT_EQ(buf.capacity(), cap);
    EXPECT_EQ(failing_alloc::live_blocks(), live);
}

}  // namespace
