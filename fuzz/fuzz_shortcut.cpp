// SPDX-License-Identifier: MIT
// Holds the labels shortcut against the parser: the input, as a labels
// text, is written once by the normal route (the copy-through scanner when
// it takes the text) and once by the parser alone. Both must give the same
// return code, the same message and byte-identical text, and a failure
// must leave the buffer as it was.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text ends at the first NUL, for both routes alike.
    std::string labels(reinterpret_cast<const char *>(data), size);
    const std::string before = "before 1\n";
    Outcome shortcut = write_with(labels.c_str(), promfmt::LABELS_ANY_ROUTE, before);
    Outcome parser = write_with(labels.c_str(), promfmt::LABELS_PARSER_ONLY, before);
    ORACLE_CHECK(shortcut.rc == parser.rc, "rc %d vs %d for %s", shortcut.rc, parser.rc,
                 labels.c_str());
    ORACLE_CHECK(shortcut.error == parser.error, "message '%s' vs '%s' for %s",
                 shortcut.error.c_str(), parser.error.c_str(), labels.c_str());
    ORACLE_CHECK(shortcut.text == parser.text, "text\n%s\nvs\n%s\nfor %s",
                 shortcut.text.c_str(), parser.text.c_str(), labels.c_str());
    return 0;
}
