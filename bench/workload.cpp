// SPDX-License-Identifier: MIT
#include "workload.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace bench {

namespace {

// xorshift64*: small, fast and deterministic.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Dull;
    }
};

const char *const kLabelNames[] = {"zone", "service", "region", "path", "method", "instance",
                                   "host", "env", "code", "cluster"};

std::string plain_label_name(size_t i)
{
    if (i < sizeof kLabelNames / sizeof kLabelNames[0])
        return kLabelNames[i];
    char name[32];
    snprintf(name, sizeof name, "label_%03zu", i);
    return name;
}

std::string label_name(size_t i, const Shape &shape)
{
    if (shape.prefix_every_other && i % 2 == 1)
        return plain_label_name(i);
    return shape.name_prefix + plain_label_name(i);
}

std::string label_value(Rng &rng, const Shape &shape)
{
    std::string v;
    if (shape.value_len == 0) {
        char text[48];
        snprintf(text, sizeof text, "value-%llu",
                 static_cast<unsigned long long>(rng.next() % 100000));
        v = text;
    } else {
        v.assign(shape.value_len, 'v');
        for (size_t i = 0; i < shape.value_len; i += 7)
            v[i] = static_cast<char>('a' + rng.next() % 26);
    }
    unsigned roll = static_cast<unsigned>(rng.next() % 100);
    if (roll < shape.quote_percent)
        v[v.size() / 2] = '"';
    if (shape.quote_percent > 6 && roll < shape.quote_percent / 2)
        v[v.size() / 4] = '\\';
    return v;
}

// One third whole numbers, the rest 14-digit decimals in [0, 1e6): every
// writer's shortest or %.14g rendering reads back as the same double.
double sample_value(Rng &rng)
{
    uint64_t k = rng.next() % 100000000000000ull;
    if (rng.next() % 3 == 0)
        return static_cast<double>(k / 100000000ull);
    return static_cast<double>(k) / 1e8;
}

void append_json_string(std::string &out, const std::string &s)
{
    out += '"';
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
}

std::vector<uint16_t> member_order(Rng &perm, size_t n, Order order)
{
    std::vector<uint16_t> idx(n);
    std::iota(idx.begin(), idx.end(), uint16_t{0});
    if (order == Order::Reverse) {
        std::reverse(idx.begin(), idx.end());
    } else {
        for (size_t i = n; i > 1; --i)
            std::swap(idx[i - 1], idx[perm.next() % i]);
    }
    return idx;
}

std::string labels_text(const Sample &s)
{
    std::string out = "{";
    for (uint16_t i : s.order) {
        if (out.size() > 1)
            out += ',';
        append_json_string(out, s.labels[i].first);
        out += ':';
        append_json_string(out, s.labels[i].second);
    }
    return out + "}";
}

std::vector<Workload> build_catalogue()
{
    std::vector<Workload> all;
    all.push_back({"standard", Shape{}, true});
    for (Order order : {Order::Reverse, Order::Random}) {
        for (size_t n : {0, 1, 3, 10, 64, 256}) {
            Shape s;
            s.families = 100;
            s.labels_per_sample = n;
            s.order = order;
            all.push_back({std::string(order == Order::Reverse ? "labels_fixed/" : "labels_random/") +
                               std::to_string(n),
                           s, false});
        }
    }
    // Names sharing a long prefix, as Kubernetes exporters write them.
    struct Prefixed {
        const char *id, *prefix;
        bool every_other;
    };
    for (Prefixed p : {Prefixed{"prefix6/", "label_", false},
                       Prefixed{"prefix24/", "label_app_kubernetes_io_", false},
                       Prefixed{"prefix24_half/", "label_app_kubernetes_io_", true}}) {
        for (size_t n : {64, 256}) {
            Shape s;
            s.families = 100;
            s.labels_per_sample = n;
            s.order = Order::Random;
            s.name_prefix = p.prefix;
            s.prefix_every_other = p.every_other;
            all.push_back({p.id + std::to_string(n), s, false});
        }
    }
    // 21832 bytes per value makes the labels text just under 64 KiB.
    for (size_t len : {8, 64, 512, 4096, 21832}) {
        Shape s;
        s.families = 10;
        s.value_len = len;
        all.push_back({"value_len/" + std::to_string(len), s, false});
    }
    for (size_t n : {10, 100, 1000, 10000, 100000, 1000000}) {
        Shape s;
        s.families = n / 10;
        all.push_back({"samples/" + std::to_string(n), s, true});
    }
    return all;
}

}  // namespace

const std::vector<Workload> &catalogue()
{
    static const std::vector<Workload> all = build_catalogue();
    return all;
}

const Workload &check_workload()
{
    static const Workload check = [] {
        Shape s;
        s.families = 4;
        s.samples_per_family = 5;
        s.labels_per_sample = 12;
        s.order = Order::Random;
        s.quote_percent = 40;
        return Workload{"check", s, false};
    }();
    return check;
}

const Workload *find_workload(const std::string &id)
{
    if (id == check_workload().id)
        return &check_workload();
    for (const Workload &w : catalogue())
        if (w.id == id)
            return &w;
    return nullptr;
}

std::vector<Family> make_workload(const Shape &shape)
{
    Rng rng(0x9E3779B97F4A7C15ull);
    Rng perm(0xD1B54A32D192ED03ull);  // its own stream: both orders share the data
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
                s.labels.emplace_back(label_name(l, shape), label_value(rng, shape));
            std::sort(s.labels.begin(), s.labels.end());
            s.order = member_order(perm, s.labels.size(), shape.order);
            s.labels_json = labels_text(s);
            s.value = sample_value(rng);
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

size_t max_labels_text(const std::vector<Family> &families)
{
    size_t n = 0;
    for (const Family &f : families)
        for (const Sample &s : f.samples)
            n = std::max(n, s.labels_json.size());
    return n;
}

bool write_workload_file(const std::string &path, const std::string &id,
                         const std::vector<Family> &families)
{
    FILE *out = fopen(path.c_str(), "w");
    if (!out)
        return false;
    fprintf(out, "# promfmt benchmark workload %s\n", id.c_str());
    for (const Family &f : families) {
        fprintf(out, "F\t%s\t%s\n", f.name.c_str(), f.help.c_str());
        for (const Sample &s : f.samples) {
            fprintf(out, "S\t%.17g", s.value);
            for (uint16_t i : s.order)
                fprintf(out, "\t%s\t%s", s.labels[i].first.c_str(), s.labels[i].second.c_str());
            fputc('\n', out);
        }
    }
    return fclose(out) == 0;
}

}  // namespace bench
