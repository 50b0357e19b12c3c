// SPDX-License-Identifier: MIT
// Fuzzes promfmt_emit_sample: input is 8 bytes of value bits, 8 bytes of
// timestamp bits, the metric name up to a NUL byte, and the labels text.
#include <cinttypes>
#include <cstring>

#include "oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 16)
        return 0;
    double value;
    int64_t timestamp;
    memcpy(&value, data, 8);
    memcpy(&timestamp, data + 8, 8);
    std::string rest(reinterpret_cast<const char *>(data) + 16, size - 16);
    size_t nul = rest.find('\0');
    std::string name = rest.substr(0, nul);
    std::string labels = nul == std::string::npos ? std::string() : rest.substr(nul + 1);
    bool null_labels = nul == std::string::npos;

    promfmt_buffer_t *buf = promfmt_buffer_create(16);
    ORACLE_CHECK(buf != nullptr, "create");
    ORACLE_CHECK(promfmt_emit_sample(buf, "before", nullptr, 1, 0) == 0, "prefix");
    std::string before = oracle::buffer_text(buf);

    int rc = promfmt_emit_sample(buf, name.c_str(), null_labels ? nullptr : labels.c_str(),
                                 value, timestamp);
    std::string text = oracle::buffer_text(buf);
    if (rc != 0) {
        ORACLE_CHECK(rc == -1, "rc %d", rc);
        ORACLE_CHECK(text == before, "failed call changed the buffer: %s", text.c_str());
        ORACLE_CHECK(promfmt_last_error()[0] != '\0', "no message");
    } else {
        ORACLE_CHECK(text.compare(0, before.size(), before) == 0, "prefix changed");
        std::string line = text.substr(before.size());
        oracle::SampleLine parsed;
        ORACLE_CHECK(oracle::parse_sample_line(line, &parsed), "malformed: %s", line.c_str());
        ORACLE_CHECK(parsed.name == name.c_str(), "name %s", parsed.name.c_str());
        ORACLE_CHECK(parsed.value == oracle::value_text(value), "value %s", line.c_str());
        char ts[32] = "";
        if (timestamp > 0)
            snprintf(ts, sizeof ts, "%" PRId64, timestamp);
        ORACLE_CHECK(parsed.timestamp == ts, "timestamp %s", line.c_str());
    }
    // The buffer stays usable either way.
    ORACLE_CHECK(promfmt_emit_sample(buf, "after", nullptr, 2, 0) == 0, "after");
    ORACLE_CHECK(oracle::buffer_text(buf) == text + "after 2\n", "after text");
    promfmt_buffer_free(buf);
    return 0;
}
