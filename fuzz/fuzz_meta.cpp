// SPDX-License-Identifier: MIT
// Fuzzes promfmt_emit_help, promfmt_emit_type, promfmt_emit_gauge and
// promfmt_emit_counter. Input: one selector byte, 4 bytes of type code,
// 8 bytes of value bits, then name, help and labels separated by NUL bytes.
#include <cstring>

#include "oracle.h"

namespace {

const char *word_for(int32_t code)
{
    switch (code) {
    case 1: return "counter";
    case 2: return "gauge";
    case 3: return "histogram";
    case 4: return "summary";
    default: return "untyped";
    }
}

std::string help_line(const std::string &line, const std::string &name, const std::string &help)
{
    std::string head = "# HELP " + name + " ";
    ORACLE_CHECK(line.compare(0, head.size(), head) == 0, "HELP head: %s", line.c_str());
    ORACLE_CHECK(line.back() == '\n', "HELP end");
    std::string text;
    ORACLE_CHECK(oracle::unescape_help(line.substr(head.size(), line.size() - head.size() - 1),
                                       &text),
                 "HELP escapes: %s", line.c_str());
    ORACLE_CHECK(text == help, "HELP round trip: %s", line.c_str());
    return line;
}

// Splits the part of `text` after `before` into lines, each well-formed.
std::vector<std::string> added_lines(const std::string &text, const std::string &before)
{
    ORACLE_CHECK(text.compare(0, before.size(), before) == 0, "earlier text changed");
    std::vector<std::string> lines;
    ORACLE_CHECK(oracle::split_lines(text.substr(before.size()), &lines), "partial line");
    return lines;
}

void check_family(const std::vector<std::string> &lines, bool ok, const std::string &name,
                  const std::string &help, const char *word)
{
    size_t i = 0;
    if (!help.empty() && i < lines.size())
        help_line(lines[i++], name, help);
    if (i < lines.size()) {
        std::string type = "# TYPE " + name + " " + word + "\n";
        ORACLE_CHECK(lines[i++] == type, "TYPE line: %s", lines[i - 1].c_str());
    }
    if (ok) {
        ORACLE_CHECK(i + 1 == lines.size(), "family has %zu lines", lines.size());
        oracle::SampleLine sample;
        ORACLE_CHECK(oracle::parse_sample_line(lines[i], &sample), "sample: %s",
                     lines[i].c_str());
        ORACLE_CHECK(sample.name == name && sample.timestamp.empty(), "sample line");
    } else {
        ORACLE_CHECK(i == lines.size(), "a failed family wrote a sample");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 13)
        return 0;
    uint8_t selector = data[0] % 4;
    int32_t code;
    double value;
    memcpy(&code, data + 1, 4);
    memcpy(&value, data + 5, 8);
    std::string rest(reinterpret_cast<const char *>(data) + 13, size - 13);
    std::string fields[3];
    for (int f = 0; f < 3; ++f) {
        size_t nul = rest.find('\0');
        fields[f] = rest.substr(0, nul);
        rest = nul == std::string::npos ? std::string() : rest.substr(nul + 1);
    }
    const std::string &name = fields[0], &help = fields[1], &labels = fields[2];

    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    ORACLE_CHECK(buf != nullptr, "create");
    ORACLE_CHECK(promfmt_emit_sample(buf, "before", nullptr, 1, 0) == 0, "prefix");
    std::string before = oracle::buffer_text(buf);
    int rc = 0;
    switch (selector) {
    case 0: rc = promfmt_emit_help(buf, name.c_str(), help.c_str()); break;
    case 1:
        rc = promfmt_emit_type(buf, name.c_str(), static_cast<promfmt_metric_type_t>(code));
        break;
    case 2: rc = promfmt_emit_gauge(buf, name.c_str(), help.c_str(), labels.c_str(), value); break;
    default:
        rc = promfmt_emit_counter(buf, name.c_str(), help.c_str(), labels.c_str(), value);
        break;
    }
    ORACLE_CHECK(rc == 0 || rc == -1, "rc %d", rc);
    std::string text = oracle::buffer_text(buf);
    std::vector<std::string> lines = added_lines(text, before);
    bool valid_name = oracle::metric_name(name);
    ORACLE_CHECK(valid_name || (rc == -1 && lines.empty()), "bad name accepted");
    if (selector == 0) {
        ORACLE_CHECK(lines.size() == (rc == 0 ? 1u : 0u), "HELP lines");
        if (rc == 0)
            help_line(lines[0], name, help);
    } else if (selector == 1) {
        ORACLE_CHECK(lines.size() == (rc == 0 ? 1u : 0u), "TYPE lines");
        if (rc == 0)
            ORACLE_CHECK(lines[0] == "# TYPE " + name + " " + word_for(code) + "\n", "TYPE");
    } else if (valid_name) {
        check_family(lines, rc == 0, name, help, selector == 2 ? "gauge" : "counter");
    }
    ORACLE_CHECK(promfmt_emit_sample(buf, "after", nullptr, 2, 0) == 0, "after");
    promfmt_buffer_free(buf);
    return 0;
}
