// SPDX-License-Identifier: MIT
// Distinct buffers may be filled from distinct threads at once: eight
// threads write the same scrape, and each text must equal the one written
// on a single thread. Run under ThreadSanitizer by the test script. No call
// here fails, because the last-error text is one shared block by design.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "promfmt.h"

namespace {

std::string write_scrape()
{
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    int failures = 0;
    std::string labels;
    for (int family = 0; family < 200; ++family) {
        std::string name = "family_" + std::to_string(family) + "_total";
        failures += promfmt_emit_help(buf, name.c_str(), "Help with \\ and\nnewline.") != 0;
        failures += promfmt_emit_type(buf, name.c_str(),
                                      static_cast<promfmt_metric_type_t>(family % 6)) != 0;
        for (int i = 0; i < 10; ++i) {
            labels = "{\"shard\":" + std::to_string(i) + ",\"path\":\"/a\\\"b\\\"\",\"le\":" +
                     std::to_string(i * 0.25) + "}";
            failures += promfmt_emit_sample(buf, name.c_str(), labels.c_str(),
                                            family * 1000.5 + i / 7.0, family + i) != 0;
        }
        failures += promfmt_emit_gauge(buf, "g", "", "{\"x\":\"y\"}", family / 3.0) != 0;
    }
    char escaped[64];
    failures += promfmt_escape_label_value("a\"b\\c\n", escaped, sizeof escaped) != 9;
    std::string text(promfmt_buffer_data(buf), promfmt_buffer_len(buf));
    promfmt_buffer_free(buf);
    return failures == 0 ? text + escaped : "failures: " + std::to_string(failures);
}

TEST(Threads, EightBuffersMatchTheSingleThreadedText)
{
    const std::string reference = write_scrape();
    ASSERT_NE(reference.rfind("failures:", 0), 0u) << reference;

    constexpr int kThreads = 8;
    std::vector<std::string> texts(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&texts, t] {
            for (int round = 0; round < 5; ++round)
                texts[t] = write_scrape();
        });
    for (std::thread &th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(texts[t], reference) << "thread " << t;
}

// Each buffer keeps the label names of its own last line: two threads,
// each alternating between two label sets of its own on its own buffer,
// must each get the text a lone thread writes.
std::string write_turns(int t)
{
    const std::string sets[2][2] = {
        {R"({"code":"200","method":"get","path":"/"})", R"({"path":"/","code":"200"})"},
        {R"({"zone":"a","app":"b","env":"c"})", R"({"env":"c","app":"b","zone":"a"})"},
    };
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    int failures = 0;
    for (int i = 0; i < 20000; ++i)
        failures += promfmt_emit_sample(buf, "m", sets[t][i / 3 % 2].c_str(), i % 3, 0) != 0;
    std::string text(promfmt_buffer_data(buf), promfmt_buffer_len(buf));
    promfmt_buffer_free(buf);
    return failures == 0 ? text : "failures: " + std::to_string(failures);
}

TEST(Threads, TwoBuffersKeepTheirOwnLabelNames)
{
    const std::string reference[2] = {write_turns(0), write_turns(1)};
    std::string texts[2];
    std::thread first([&texts] { texts[0] = write_turns(0); });
    std::thread second([&texts] { texts[1] = write_turns(1); });
    first.join();
    second.join();
    EXPECT_EQ(texts[0], reference[0]);
    EXPECT_EQ(texts[1], reference[1]);
}

}  // namespace
