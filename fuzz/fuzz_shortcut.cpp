// SPDX-License-Identifier: MIT
// Holds the labels shortcut against the parser: the input, as a labels
// text, is written once by the normal route (the copy-through scanner when
// it takes the text) and once by the parser alone. Both must give the same
// return code, the same message and byte-identical text, and a failure
// must leave the buffer as it was. And the buffer's kept label names: the
// text after the input's first NUL (or the input again, without one) is
// written after the input on the same buffer, and must add what the parser
// alone writes for it on a fresh buffer.
#include <string>

#include "emit.h"
#include "oracle.h"

namespace {

// A message neither route sets, so a stale text cannot pass for a match.
void prime_error()
{
    char out[1];
    promfmt_escape_label_value("\"", out, sizeof out);
}

struct Outcome {
    int rc;
    std::string error;
    std::string text;
};

Outcome write_with(const char *labels, promfmt::labels_route route, const std::string &before)
{
    promfmt_buffer_t *buf = promfmt_buffer_create(16);
    ORACLE_CHECK(buf != nullptr, "create");
    ORACLE_CHECK(promfmt_emit_sample(buf, "before", nullptr, 1, 0) == 0, "prefix");
    prime_error();
    Outcome out;
    out.rc = promfmt::emit_sample(buf, "m", labels, 1, 0, route);
    out.error = promfmt_last_error();
    out.text = oracle::buffer_text(buf);
    promfmt_buffer_free(buf);
    ORACLE_CHECK(out.rc == 0 || out.text == before, "a failure changed the buffer: %s",
                 out.text.c_str());
    return out;
}

// What writing second adds after first on one buffer, by the normal route.
Outcome write_after(const char *first, const char *second)
{
    promfmt_buffer_t *buf = promfmt_buffer_create(16);
    ORACLE_CHECK(buf != nullptr, "create");
    ORACLE_CHECK(promfmt_emit_sample(buf, "before", nullptr, 1, 0) == 0, "prefix");
    promfmt::emit_sample(buf, "m", first, 1, 0, promfmt::LABELS_ANY_ROUTE);
    std::string head = oracle::buffer_text(buf);
    prime_error();
    Outcome out;
    out.rc = promfmt::emit_sample(buf, "m", second, 1, 0, promfmt::LABELS_ANY_ROUTE);
    out.error = promfmt_last_error();
    out.text = "before 1\n" + oracle::buffer_text(buf).substr(head.size());
    promfmt_buffer_free(buf);
    return out;
}

void expect_same(const Outcome &got, const Outcome &want, const char *labels)
{
    ORACLE_CHECK(got.rc == want.rc, "rc %d vs %d for %s", got.rc, want.rc, labels);
    ORACLE_CHECK(got.error == want.error, "message '%s' vs '%s' for %s", got.error.c_str(),
                 want.error.c_str(), labels);
    ORACLE_CHECK(got.text == want.text, "text\n%s\nvs\n%s\nfor %s", got.text.c_str(),
                 want.text.c_str(), labels);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text ends at the first NUL, for both routes alike.
    std::string labels(reinterpret_cast<const char *>(data), size);
    const std::string before = "before 1\n";
    Outcome shortcut = write_with(labels.c_str(), promfmt::LABELS_ANY_ROUTE, before);
    Outcome parser = write_with(labels.c_str(), promfmt::LABELS_PARSER_ONLY, before);
    expect_same(shortcut, parser, labels.c_str());

    size_t nul = labels.find('\0');
    std::string second = nul == std::string::npos ? labels : labels.substr(nul + 1);
    Outcome kept = write_after(labels.c_str(), second.c_str());
    Outcome fresh = write_with(second.c_str(), promfmt::LABELS_PARSER_ONLY, before);
    expect_same(kept, fresh, second.c_str());
    return 0;
}
