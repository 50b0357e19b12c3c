// SPDX-License-Identifier: MIT
// Huge and deep inputs: each must work or fail cleanly in bounded memory.
// Every case runs in a child process so that its peak resident memory can be
// measured on its own (it includes building the input) and reported.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "promfmt.h"

namespace {

constexpr size_t kMiB = size_t{1} << 20;

// Runs body in a child; it returns an empty string when all held, otherwise
// what went wrong. Prints the child's peak RSS.
void run_measured(const char *what, const std::function<std::string()> &body)
{
    fflush(stdout);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::string problem = body();
        if (!problem.empty())
            fprintf(stderr, "%s: %s\n", what, problem.c_str());
        fflush(stdout);
        fflush(stderr);
        _exit(problem.empty() ? 0 : 1);
    }
    int status = 0;
    struct rusage usage {};
    ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
    printf("[ peak RSS ] %-44s %8.1f MiB\n", what, usage.ru_maxrss / 1024.0);
    ASSERT_TRUE(WIFEXITED(status)) << what << " crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0) << what;
}

std::string expect_ok(int rc)
{
    return rc == 0 ? "" : std::string("failed: ") + promfmt_last_error();
}

// Calls one sample emit with labels and checks the whole text.
std::string sample_text(const std::string &labels, const std::string &want_prefix,
                        size_t want_len, const std::string &want_suffix)
{
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    std::string problem = expect_ok(promfmt_emit_sample(buf, "m", labels.c_str(), 1, 0));
    std::string text(promfmt_buffer_data(buf), promfmt_buffer_len(buf));
    promfmt_buffer_free(buf);
    if (!problem.empty())
        return problem;
    if (text.size() != want_len)
        return "length " + std::to_string(text.size()) + ", want " + std::to_string(want_len);
    if (text.compare(0, want_prefix.size(), want_prefix) != 0 ||
        text.compare(text.size() - want_suffix.size(), want_suffix.size(), want_suffix) != 0)
        return "unexpected text: " + text.substr(0, 80);
    return "";
}

TEST(Huge, LabelsText100MB)
{
    run_measured("100 MB labels text", [] {
        size_t n = 100 * kMiB;
        std::string labels = "{\"a\":\"" + std::string(n, 'x') + "\"}";
        return sample_text(labels, "m{a=\"xxx", n + 10, "x\"} 1\n");
    });
}

TEST(Huge, ParsedLabelsTextBeyondTheParsersEstimate)
{
    // The number makes the parser read the text. Past about 330 MB, yyjson's
    // worst-case memory estimate overflows a 32-bit size_t and comes back as
    // 0; the text must still be parsed (on the heap), not refused.
    run_measured("340 MB labels text through the parser", [] {
        size_t n = 340 * 1000 * 1000;
        std::string labels = "{\"b\":1,\"a\":\"";
        labels.append(n, 'x');
        labels += "\"}";
        return sample_text(labels, "m{a=\"xxx", n + 16, "x\",b=\"1\"} 1\n");
    });
}

TEST(Huge, OneMillionLabels)
{
    run_measured("1,000,000 labels in one object", [] {
        std::string labels = "{";
        char key[32];
        for (int i = 999999; i >= 0; --i) {
            snprintf(key, sizeof key, "\"l%07d\":\"v\"%s", i, i ? "," : "");
            labels += key;
        }
        labels += "}";
        // Each label writes l0000000="v" plus a separator: 13 bytes.
        return sample_text(labels, "m{l0000000=\"v\",l0000001=\"v\"", 1 + 1000000 * 13 + 4,
                           "l0999999=\"v\"} 1\n");
    });
}

TEST(Huge, FiftyMegabyteValueOfEscapes)
{
    run_measured("50 MB label value, all escaped", [] {
        size_t n = 50 * kMiB;  // decoded bytes, cycling \ " and line feed
        std::string labels = "{\"a\":\"";
        const char *const json_escapes[] = {"\\\\", "\\\"", "\\n"};
        for (size_t i = 0; i < n; ++i)
            labels += json_escapes[i % 3];
        labels += "\"}";
        return sample_text(labels, "m{a=\"\\\\\\\"\\n", 2 * n + 10, "\"} 1\n");
    });
}

TEST(Huge, JsonNestedOneMillionDeep)
{
    run_measured("label value nested 1,000,000 deep", [] {
        size_t depth = 1000000;
        std::string labels = "{\"a\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
        return sample_text(labels, "m{a=\"\"} 1\n", 10, "\n");
    });
}

TEST(Huge, BufferPastOneGiB)
{
    run_measured("buffer grown past 1 GiB", [] {
        promfmt_buffer_t *buf = promfmt_buffer_create(0);
        const char *labels = "{\"instance\":\"host-0042:9100\",\"job\":\"node\",\"cpu\":3}";
        size_t samples = 0;
        std::string problem;
        while (promfmt_buffer_len(buf) <= (size_t{1} << 30)) {
            if (promfmt_emit_sample(buf, "node_cpu_seconds_total", labels,
                                    static_cast<double>(samples), 0) != 0) {
                problem = std::string("failed: ") + promfmt_last_error();
                break;
            }
            ++samples;
        }
        const char *data = promfmt_buffer_data(buf);
        size_t len = promfmt_buffer_len(buf);
        if (problem.empty() && (data[len - 1] != '\n' || data[len] != '\0'))
            problem = "text not terminated";
        printf("             %zu samples, %zu bytes\n", samples, len);
        promfmt_buffer_free(buf);
        return problem;
    });
}

TEST(Huge, HelpText10MB)
{
    run_measured("10 MB help text", [] {
        size_t n = 10 * kMiB;
        std::string help;
        for (size_t i = 0; i < n; ++i)
            help += i % 10 == 0 ? '\n' : i % 10 == 5 ? '\\' : 'h';
        promfmt_buffer_t *buf = promfmt_buffer_create(0);
        std::string problem = expect_ok(promfmt_emit_help(buf, "m", help.c_str()));
        size_t want = 9 + n + n / 5 + 1;  // "# HELP m " + escaped text + "\n"
        if (problem.empty() && promfmt_buffer_len(buf) != want)
            problem = "length " + std::to_string(promfmt_buffer_len(buf));
        promfmt_buffer_free(buf);
        return problem;
    });
}

}  // namespace
