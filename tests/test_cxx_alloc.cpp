// SPDX-License-Identifier: MIT
// The C++ wrapper under the interposed allocator: a steady-state scrape
// makes no allocation at all (the wrapper's scratch string and the
// library's memory are both reused), and every failed allocation of a call
// comes out as promfmt::cxx::error or std::bad_alloc, leaking nothing.
#include <gtest/gtest.h>

#include <map>
#include <new>
#include <string>
#include <vector>

#include "failing_alloc.h"
#include "promfmt.hpp"

namespace pc = promfmt::cxx;

namespace {

// The C++ values an exporter would hold, built before the scrape.
struct Exporter {
    std::vector<std::string> names;
    std::map<std::string, std::string> target = {{"job", "api"}, {"instance", "10.0.0.7:9100"}};
    std::vector<std::pair<std::string, std::string>> many;  // past the library's stack room
    std::string long_value = std::string(3000, 'v');

    Exporter()
    {
        for (int i = 0; i < 100; ++i)
            names.push_back("family_" + std::to_string(i) + "_seconds");
        for (int i = 0; i < 40; ++i)
            many.emplace_back("label_" + std::to_string(i), "value \"" + std::to_string(i) + "\"");
    }

    void scrape(pc::buffer &buf) const
    {
        for (const std::string &name : names) {
            buf.help(name, "Time spent, in seconds.\nSecond line.");
            buf.type(name, pc::metric_type::gauge);
            for (int i = 0; i < 10; ++i)
                buf.sample(name, {{"path", "/api/v1"}, {"code", "200"}, {"q", "a\"b\\c\td"}},
                           i * 0.25);
            buf.sample(name, target, 1);
        }
        buf.sample("many_labels", many, 2, 1700000000000);
        buf.gauge("long_value", "A long label value.", {{"v", long_value}}, 3);
        buf.counter("requests_total", "", pc::json_text{R"({"code":"500"})"}, 4);
    }
};

TEST(CxxAlloc, SteadyStateScrapeDoesNotAllocate)
{
    const Exporter exporter;
    pc::buffer buf;
    exporter.scrape(buf);  // grows the text, the scratch string and working memory
    const size_t len = buf.size();
    buf.reset();

    failing_alloc::fail_after(0);  // the next allocation, if any, fails
    bool completed = false;
    try {
        exporter.scrape(buf);
        completed = true;
    } catch (const std::exception &e) {
        ADD_FAILURE() << "a steady-state scrape allocated: " << e.what();
    }
    const bool allocated = failing_alloc::failed();  // disarming clears it
    failing_alloc::fail_after(-1);
    EXPECT_TRUE(completed);
    EXPECT_FALSE(allocated);
    EXPECT_EQ(buf.size(), len);
}

TEST(CxxAlloc, CreationFailureThrowsOrLeavesNoOwner)
{
    const char *messages[] = {"failed to allocate promfmt_buffer_t struct",
                              "failed to allocate buffer data memory"};
    for (long n = 0; n < 2; ++n) {
        failing_alloc::fail_after(n);
        try {
            pc::buffer buf;
            ADD_FAILURE() << "created despite failed allocation " << n;
        } catch (const pc::error &e) {
            EXPECT_STREQ(e.what(), messages[n]);
        }
        failing_alloc::fail_after(n);
        pc::buffer quiet(std::nothrow);
        failing_alloc::fail_after(-1);
        EXPECT_FALSE(quiet);
        EXPECT_EQ(pc::last_error(), messages[n]);
    }
}

TEST(CxxAlloc, EveryFailedAllocationIsReportedAndNothingLeaks)
{
    const Exporter exporter;
    const long live = failing_alloc::live_blocks();
    bool completed = false;
    for (long n = 0; !completed; ++n) {
        {
            pc::buffer buf;
            failing_alloc::fail_after(n);
            try {
                exporter.scrape(buf);
                completed = !failing_alloc::failed();
            } catch (const pc::error &e) {
                const std::string message = e.what();
                EXPECT_TRUE(message == "failed to expand buffer: out of memory" ||
                            message == "failed to parse labels JSON" ||
                            message == "out of memory allocating label pairs")
                    << "allocation " << n << ": " << message;
            } catch (const std::bad_alloc &) {
                // the scratch string could not grow
            }
            failing_alloc::fail_after(-1);
            buf.reset();
            buf.sample("after", {{"still", "usable"}}, 1);
            EXPECT_EQ(buf.view(), "after{still=\"usable\"} 1\n") << "allocation " << n;
        }
        EXPECT_EQ(failing_alloc::live_blocks(), live) << "allocation " << n;
    }
}

}  // namespace
