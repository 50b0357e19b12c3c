// SPDX-License-Identifier: MIT
// Numbers must not follow the host's locale: a comma as decimal separator
// would make every reader reject the scrape.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support.h"

namespace {

// Builds a de_DE.UTF-8 locale (comma decimal separator) in a private
// directory with localedef, so the test needs no installed locale.
class CommaLocale : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/promfmt-locale-XXXXXX";
        const char *dir = mkdtemp(tmpl);
        ASSERT_NE(dir, nullptr);
        dir_ = dir;
        std::string cmd = "localedef -i de_DE -f UTF-8 " + dir_ + "/de_DE.UTF-8 >/dev/null 2>&1";
        // localedef may warn and still produce the locale; setlocale decides.
        (void)std::system(cmd.c_str());
        setenv("LOCPATH", dir_.c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
        std::string cmd = "rm -rf " + dir_;
        (void)std::system(cmd.c_str());
    }
    static std::string dir_;
};

std::string CommaLocale::dir_;

TEST_F(CommaLocale, ValuesKeepTheDecimalPoint)
{
    ASSERT_NE(setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "could not build the de_DE locale with localedef (package locales)";
    char probe[32];
    snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale must really use a comma";

    Buffer buf;
    ASSERT_EQ(promfmt_emit_sample(buf, "m", "{\"r\":0.25,\"n\":-1234567}", 1.5, 1700000000000), 0);
    ASSERT_EQ(promfmt_emit_gauge(buf, "g", "", nullptr, 12345.678), 0);
    ASSERT_EQ(promfmt_emit_sample(buf, "e", nullptr, 1.5e-7, 0), 0);
    EXPECT_EQ(buf.text(),
              "m{n=\"-1234567\",r=\"0.25\"} 1.5 1700000000000\n"
              "# TYPE g gauge\ng 12345.678\n"
              "e 1.5e-07\n");
    setlocale(LC_ALL, "C");
}

}  // namespace
