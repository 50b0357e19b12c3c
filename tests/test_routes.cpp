// SPDX-License-Identifier: MIT
// The copy-through scanner held against the parser: every text of
// tests/labels_texts.h is written once by the normal route and once by the
// parser alone. Both must give the expected outcome, so the same return
// code, the same message and the same bytes.
#include <gtest/gtest.h>

#include "emit.h"
#include "labels_texts.h"
#include "support.h"

namespace {

struct Outcome {
    int rc;
    std::string error;
    std::string text;
};

Outcome write_with(const labels_texts::Case &c, promfmt::labels_route route)
{
    Buffer buf;
    EXPECT_EQ(promfmt_emit_sample(buf, "before", nullptr, 0, 0), 0);
    prime_error();
    Outcome out;
    out.rc = promfmt::emit_sample(buf, "m", c.json.c_str(), 1, 0, route);
    out.error = out.rc == 0 ? "" : last_error();
    out.text = buf.text();
    return out;
}

TEST(Routes, ScannerAndParserAgree)
{
    const std::vector<labels_texts::Case> cases = labels_texts::all_cases();
    int failures = 0;
    for (const labels_texts::Case &c : cases) {
        Outcome want{c.error.empty() ? 0 : -1, c.error,
                     "before 0\n" + (c.error.empty() ? c.line : "")};
        Outcome any = write_with(c, promfmt::LABELS_ANY_ROUTE);
        Outcome parser = write_with(c, promfmt::LABELS_PARSER_ONLY);
        for (const Outcome *got : {&parser, &any}) {
            if (got->rc == want.rc && got->error == want.error && got->text == want.text)
                continue;
            if (++failures <= 10)
                ADD_FAILURE() << c.what << ": " << c.json << "\n  "
                              << (got == &any ? "normal route" : "parser alone") << ": rc "
                              << got->rc << ", " << got->error << got->text << "\n  want "
                              << (c.error.empty() ? c.line : c.error);
        }
    }
    EXPECT_EQ(failures, 0) << "of " << cases.size() << " texts";
}

}  // namespace
