// SPDX-License-Identifier: MIT
#include "workload.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace bench {

namespace {

// xorshift64*: small, fast and deterministic.
struct Rng {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint64_t next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Dull;
    }
    double uniform() { return (next() >> 11) * (1.0 / 9007199254740992.0); }
};

const char *const kLabelNames[] = {"zone", "service", "region", "path", "method", "instance",
                                   "host", "env", "code", "cluster"};

std::string label_name(size_t i)
{
    if (i < sizeof kLabelNames / sizeof kLabelNames[0])
        return kLabelNames[i];
    char name[32];
    snprintf(name, sizeof name, "label_%03zu", i);
    return name;
}

// About 6% of values hold a double quote that needs escaping.
std::string label_value(Rng &rng, size_t value_len)
{
    std::string v;
    if (value_len == 0) {
        char text[48];
        snprintf(text, sizeof text, "value-%llu", static_cast<unsigned long long>(rng.next() % 100000));
        v = text;
    } else {
        v.assign(value_len, 'v');
        for (size_t i = 0; i < value_len; i += 7)
            v[i] = static_cast<char>('a' + rng.next() % 26);
    }
    if (rng.next() % 100 < 6)
        v[v.size() / 2] = '"';
    return v;
}

std::string json_string(const std::string &s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::vector<Family> make_workload(const Shape &shape)
{
    Rng rng;
    std::vector<Family> families(shape.families);
    for (size_t f = 0; f < shape.families; ++f) {
        Family &fam = families[f];
        char name[64];
        snprintf(name, sizeof name, "app_subsystem_metric_%04zu", f);
        fam.name = name;
        fam.help = "Help text for " + fam.name + ", measured in units.";
        fam.samples.resize(shape.samples_per_family);
        for (Sample &s : fam.samples) {
            for (size_t l = 0; l < shape.labels_per_sample; ++l)
                s.labels.emplace_back(label_name(l), label_value(rng, shape.value_len));
            std::sort(s.labels.begin(), s.labels.end());
            s.labels_json = "{";
            for (size_t l = s.labels.size(); l-- > 0;) {
                s.labels_json += json_string(s.labels[l].first) + ":" +
                                 json_string(s.labels[l].second);
                if (l)
                    s.labels_json += ",";
            }
            s.labels_json += "}";
            // One third whole numbers, the rest uniform doubles in [0, 1e6).
            double u = rng.uniform() * 1e6;
            s.value = rng.next() % 3 == 0 ? static_cast<double>(static_cast<int64_t>(u)) : u;
        }
    }
    return families;
}

size_t sample_count(const std::vector<Family> &families)
{
    size_t n = 0;
    for (const Family &f : families)
        n += f.samples.size();
    return n;
}

}  // namespace bench
