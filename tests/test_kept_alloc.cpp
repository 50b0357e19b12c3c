// SPDX-License-Identifier: MIT
// The label names a buffer keeps across a line that fails for lack of
// memory: every allocation of the failing line is failed in turn, and the
// lines after it must come out as on a buffer where nothing failed.
#include <gtest/gtest.h>

#include <string>

#include "failing_alloc.h"
#include "support.h"

namespace {

const char *kKept = R"({"code":"200","method":"get"})";

int emit(promfmt_buffer_t *buf, const std::string &json)
{
    return promfmt_emit_sample(buf, "m", json.c_str(), 1, 0);
}

// The lines after the failing one: the kept names, the failing text, and
// the kept names again.
void write_after(promfmt_buffer_t *buf, const std::string &failing)
{
    EXPECT_EQ(emit(buf, kKept), 0);
    EXPECT_EQ(emit(buf, failing), 0);
    EXPECT_EQ(emit(buf, kKept), 0);
}

TEST(AllocFailure, KeptLabelsAcrossAFailedLine)
{
    const std::string value(300, 'v');  // the line must grow the buffer
    for (const std::string &failing : {
             R"({"code":"201","method":")" + value + "\"}",  // the kept names
             R"({"method":")" + value + R"(","code":"201"})",  // kept in another order
             R"({"zone":")" + value + R"(","app":"x"})",       // names not kept
         }) {
        std::string reference;
        {
            Buffer buf(64);
            ASSERT_EQ(emit(buf, kKept), 0);
            ASSERT_EQ(emit(buf, failing), 0);
            write_after(buf, failing);
            reference = buf.text();
        }
        for (long k = 0;; ++k) {
            ASSERT_LT(k, 20) << failing;
            Buffer buf(64);
            ASSERT_EQ(emit(buf, kKept), 0);
            std::string before = buf.text();
            failing_alloc::fail_after(k);
            int rc = emit(buf, failing);
            bool hit = failing_alloc::failed();
            failing_alloc::fail_after(-1);
            if (!hit)
                break;
            EXPECT_EQ(rc, -1) << failing << ", allocation " << k;
            EXPECT_EQ(buf.text(), before) << failing << ", allocation " << k;
            // The line that failed, written now, stands where it would have.
            ASSERT_EQ(emit(buf, failing), 0);
            write_after(buf, failing);
            EXPECT_EQ(buf.text(), reference) << failing << ", allocation " << k;
        }
    }
}

}  // namespace
