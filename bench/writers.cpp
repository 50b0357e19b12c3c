// SPDX-License-Identifier: MIT
#include "writers.h"

#include <yyjson.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

#ifdef PROMFMT_BENCH_PROMETHEUS_CPP
#include <prometheus/text_serializer.h>
#endif

namespace bench {

int write_promfmt(promfmt_buffer_t *buf, const std::vector<Family> &families)
{
    int failures = 0;
    for (const Family &f : families) {
        failures += promfmt_emit_help(buf, f.name.c_str(), f.help.c_str()) != 0;
        failures += promfmt_emit_type(buf, f.name.c_str(), PROMFMT_TYPE_GAUGE) != 0;
        for (const Sample &s : f.samples)
            failures += promfmt_emit_sample(buf, f.name.c_str(), s.labels_json.c_str(), s.value,
                                            0) != 0;
    }
    return failures;
}

std::vector<CxxFamily> to_cxx(const std::vector<Family> &families)
{
    std::vector<CxxFamily> out;
    for (const Family &f : families) {
        CxxFamily family{f.name, f.help, {}};
        for (const Sample &s : f.samples) {
            CxxSample sample{{}, s.value};
            for (uint16_t i : s.order)
                sample.labels.emplace_back(s.labels[i].first, s.labels[i].second);
            family.samples.push_back(std::move(sample));
        }
        out.push_back(std::move(family));
    }
    return out;
}

int write_promfmt_cxx(promfmt::cxx::buffer &buf, const std::vector<CxxFamily> &families)
{
    int failures = 0;
    for (const CxxFamily &f : families) {
        failures += !buf.try_help(f.name, f.help);
        failures += !buf.try_type(f.name, promfmt::cxx::metric_type::gauge);
        for (const CxxSample &s : f.samples)
            failures += !buf.try_sample(f.name, s.labels, s.value);
    }
    return failures;
}

#ifdef PROMFMT_BENCH_PROMETHEUS_CPP
std::vector<prometheus::MetricFamily> to_prometheus_cpp(const std::vector<Family> &families)
{
    std::vector<prometheus::MetricFamily> out;
    for (const Family &f : families) {
        prometheus::MetricFamily mf;
        mf.name = f.name;
        mf.help = f.help;
        mf.type = prometheus::MetricType::Gauge;
        for (const Sample &s : f.samples) {
            prometheus::ClientMetric m;
            for (const auto &l : s.labels)
                m.label.push_back({l.first, l.second});
            m.gauge.value = s.value;
            mf.metric.push_back(std::move(m));
        }
        out.push_back(std::move(mf));
    }
    return out;
}

std::string write_prometheus_cpp(const std::vector<prometheus::MetricFamily> &families)
{
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, families);
    return out.str();
}
#endif

namespace {

void append_escaped(std::string &out, const std::string &s)
{
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

void append_sample(std::string &out, const std::string &name, const Label *const *labels,
                   size_t n, double value)
{
    char number[64];
    out += name;
    if (n) {
        out += "{";
        for (size_t i = 0; i < n; ++i) {
            if (i)
                out += ",";
            out += labels[i]->first + "=\"";
            append_escaped(out, labels[i]->second);
            out += "\"";
        }
        out += "}";
    }
    snprintf(number, sizeof number, " %.14g\n", value);
    out += number;
}

// Both naive writers; sort: take the labels in the text's order and sort them.
void write_naive_with(std::string &out, const std::vector<Family> &families, bool sort)
{
    std::vector<const Label *> labels;
    for (const Family &f : families) {
        out += "# HELP " + f.name + " " + f.help + "\n";
        out += "# TYPE " + f.name + " gauge\n";
        for (const Sample &s : f.samples) {
            labels.clear();
            if (sort) {
                for (uint16_t i : s.order)
                    labels.push_back(&s.labels[i]);
                std::sort(labels.begin(), labels.end(),
                          [](const Label *a, const Label *b) { return a->first < b->first; });
            } else {
                for (const Label &l : s.labels)
                    labels.push_back(&l);
            }
            append_sample(out, f.name, labels.data(), labels.size(), s.value);
        }
    }
}

}  // namespace

void write_naive(std::string &out, const std::vector<Family> &families)
{
    write_naive_with(out, families, false);
}

void write_naive_sorting(std::string &out, const std::vector<Family> &families)
{
    write_naive_with(out, families, true);
}

size_t write_floor(const std::vector<Family> &families, const std::string &finished, char *dst)
{
    size_t sink = 0;
    char number[64];
    for (const Family &f : families) {
        for (const Sample &s : f.samples) {
            yyjson_doc *doc = yyjson_read(s.labels_json.data(), s.labels_json.size(), 0);
            sink += yyjson_obj_size(yyjson_doc_get_root(doc));
            yyjson_doc_free(doc);
            auto r = std::to_chars(number, number + sizeof number, s.value,
                                   std::chars_format::general, 14);
            sink += static_cast<size_t>(r.ptr - number);
        }
    }
    memcpy(dst, finished.data(), finished.size());
    return sink + static_cast<unsigned char>(dst[finished.size() / 2]);
}

}  // namespace bench
