// SPDX-License-Identifier: MIT
// The copy-through scanner takes only what it fully understands: every
// malformed text must still be refused with the parser's message, every
// escape read as JSON reads it (tests/labels_texts.h). Each text comes in
// a block of exactly its bytes, so that a read past its NUL is seen.
#include <gtest/gtest.h>

#include "labels_texts.h"
#include "support.h"

namespace {

TEST(Scanner, MalformedAndEscapeHeavyTexts)
{
    const std::vector<labels_texts::Case> cases = labels_texts::all_cases();
    int failures = 0;
    for (const labels_texts::Case &c : cases) {
        Buffer buf;
        ASSERT_EQ(promfmt_emit_sample(buf, "before", nullptr, 0, 0), 0);
        prime_error();
        int rc = promfmt_emit_sample(buf, "m", exact_copy(c.json).get(), 1, 0);
        bool ok = c.error.empty() ? rc == 0 && buf.text() == "before 0\n" + c.line
                                  : rc == -1 && last_error() == c.error &&
                                        buf.text() == "before 0\n";
        if (!ok && ++failures <= 10)
            ADD_FAILURE() << c.what << ": " << c.json << "\n  got rc " << rc << ", "
                          << (rc ? last_error() : buf.text()) << "\n  want "
                          << (c.error.empty() ? c.line : c.error);
    }
    EXPECT_EQ(failures, 0) << "of " << cases.size() << " texts";
}

}  // namespace
