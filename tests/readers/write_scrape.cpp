// SPDX-License-Identifier: MIT
// Writes a realistic scrape through the library, with hostile label values,
// help texts and extreme values, for real Prometheus parsers to read back.
//
//   write_scrape SCRAPE_FILE EXPECTED_FILE
//
// EXPECTED_FILE gets one JSON object per line: the families (name, help) and
// the samples (name, labels JSON as given, value as "%.17g", timestamp) that
// a reader must find in SCRAPE_FILE.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "promfmt.h"

namespace {

struct Sample {
    const char *name;
    const char *labels;
    double value;
    int64_t timestamp;
};

struct Family {
    const char *name;
    promfmt_metric_type_t type;
    const char *help;
    Sample samples[8];
};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const Family kFamilies[] = {
    {"http_requests_total", PROMFMT_TYPE_COUNTER,
     "Requests served.\nBy method and \"code\"; path has a \\ backslash.",
     {{"http_requests_total", "{\"method\":\"GET\",\"code\":200}", 1027, 0},
      {"http_requests_total", "{\"code\":500,\"method\":\"POST\"}", 3, 1700000000123},
      {"http_requests_total", "{\"path\":\"C:\\\\temp\\\\x\",\"method\":\"PUT\",\"code\":201}", 9,
       0}}},
    {"temperature_celsius", PROMFMT_TYPE_GAUGE, "Temperature, \u00b0C (UTF-8 help).",
     {{"temperature_celsius",
       "{\"room\":\"salle \\\"\u00e9t\u00e9\\\" \u65e5\u672c \xf0\x9f\x8c\xa1\"}", 21.5, 0},
      {"temperature_celsius", "{\"room\":\"line1\\nline2\\ttabbed, {braced}=x\"}", -0.0, 0},
      {"temperature_celsius", "{\"room\":\"back\\\\slash at end\\\\\"}", -40, 0},
      {"temperature_celsius", "{\"room\":\"\"}", 1e-300, 0}}},
    {"extremes", PROMFMT_TYPE_GAUGE, "Values at the edges.",
     {{"extremes", "{\"case\":\"nan\"}", kNaN, 0},
      {"extremes", "{\"case\":\"pinf\"}", kInf, 0},
      {"extremes", "{\"case\":\"ninf\"}", -kInf, 0},
      {"extremes", "{\"case\":\"tiny\"}", 5e-324, 0},
      {"extremes", "{\"case\":\"huge\"}", 1.7976931348623157e308, 0},
      {"extremes", "{\"case\":\"digits\"}", 123456789.123456789, 1},
      {"extremes", "{\"case\":\"neg_digits\",\"n\":-7,\"r\":0.1,\"t\":true,\"z\":null}",
       -98765.432109876543, 4102444800000}}},
    {"rpc_duration_seconds", PROMFMT_TYPE_HISTOGRAM, "RPC latency.",
     {{"rpc_duration_seconds_bucket", "{\"le\":\"0.05\",\"service\":\"auth\"}", 24054, 0},
      {"rpc_duration_seconds_bucket", "{\"service\":\"auth\",\"le\":\"0.5\"}", 129389, 0},
      {"rpc_duration_seconds_bucket", "{\"le\":\"+Inf\",\"service\":\"auth\"}", 144320, 0},
      {"rpc_duration_seconds_sum", "{\"service\":\"auth\"}", 53423.2, 0},
      {"rpc_duration_seconds_count", "{\"service\":\"auth\"}", 144320, 0}}},
    {"gc_pause_seconds", PROMFMT_TYPE_SUMMARY, "GC pauses.",
     {{"gc_pause_seconds", "{\"quantile\":\"0.5\"}", 4.2e-4, 0},
      {"gc_pause_seconds", "{\"quantile\":\"0.99\"}", 3.1e-3, 0},
      {"gc_pause_seconds_sum", nullptr, 0.8312, 0},
      {"gc_pause_seconds_count", "", 1570, 0}}},
    {"build_info", PROMFMT_TYPE_UNTYPED, "Build information.",
     {{"build_info", "{\"version\":\"1.0.0\",\"commit\":\"abc123\"}", 1, 0}}},
};

// JSON string literal of s (the expected file is read with a JSON parser).
std::string json_string(const char *s)
{
    std::string out = "\"";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(s); *p; ++p) {
        char esc[8];
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20) {
            snprintf(esc, sizeof esc, "\\u%04x", *p);
            out += esc;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s SCRAPE_FILE EXPECTED_FILE\n", argv[0]);
        return 2;
    }
    FILE *scrape = fopen(argv[1], "wb");
    FILE *expected = fopen(argv[2], "wb");
    promfmt_buffer_t *buf = promfmt_buffer_create(0);
    if (!scrape || !expected || !buf) {
        fprintf(stderr, "write_scrape: cannot open outputs\n");
        return 1;
    }
    int rc = 0;
    for (const Family &f : kFamilies) {
        if (promfmt_emit_help(buf, f.name, f.help) != 0)
            rc = 1;
        if (promfmt_emit_type(buf, f.name, f.type) != 0)
            rc = 1;
        fprintf(expected, "{\"family\":%s,\"help\":%s}\n", json_string(f.name).c_str(),
                json_string(f.help).c_str());
        for (const Sample &s : f.samples) {
            if (!s.name)
                break;
            if (promfmt_emit_sample(buf, s.name, s.labels, s.value, s.timestamp) != 0) {
                fprintf(stderr, "write_scrape: %s: %s\n", s.name, promfmt_last_error());
                rc = 1;
            }
            fprintf(expected, "{\"sample\":%s,\"labels\":%s,\"value\":\"%.17g\",\"ts\":%" PRId64 "}\n",
                    json_string(s.name).c_str(), json_string(s.labels ? s.labels : "").c_str(),
                    s.value, s.timestamp);
        }
    }
    fwrite(promfmt_buffer_data(buf), 1, promfmt_buffer_len(buf), scrape);
    promfmt_buffer_free(buf);
    if (fclose(scrape) != 0 || fclose(expected) != 0)
        rc = 1;
    return rc;
}
