// SPDX-License-Identifier: MIT
// Values must render exactly as printf's "%.14g" in the C locale. Millions
// of doubles from several distributions are compared with snprintf.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "support.h"

namespace {

// xorshift64*, fixed seed: the same doubles on every run.
struct Rng {
    uint64_t state = 0x243F6A8885A308D3ull;
    uint64_t next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Dull;
    }
    double unit() { return (next() >> 11) * (1.0 / 9007199254740992.0); }
};

double from_bits(uint64_t bits)
{
    double v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

// Doubles whose 15th significant digit is 5: the rounding decision is hard.
double near_midpoint(Rng &rng)
{
    char text[64];
    snprintf(text, sizeof text, "%.13f5e%d", 1 + rng.unit() * 8,
             static_cast<int>(rng.next() % 40) - 20);
    double v = strtod(text, nullptr);
    switch (rng.next() % 3) {
    case 0: return v;
    case 1: return std::nextafter(v, 0.0);
    default: return std::nextafter(v, 1e300);
    }
}

TEST(Numbers, MatchPrintfOnMillionsOfDoubles)
{
    Rng rng;
    Buffer buf(1 << 16);
    char want[64];
    size_t checked = 0, mismatches = 0;
    const int kPerKind = 250000;
    for (int kind = 0; kind < 6; ++kind) {
        for (int i = 0; i < kPerKind; ++i) {
            double v;
            switch (kind) {
            case 0: v = from_bits(rng.next()); break;                 // any bits
            case 1: v = rng.unit() * 1e6; break;                      // the common range
            case 2: v = std::floor(rng.unit() * 1e6) / 100; break;    // two decimals
            case 3: v = near_midpoint(rng); break;
            case 4: v = std::ldexp(rng.unit(), static_cast<int>(rng.next() % 200) - 100); break;
            default:  // just below powers of ten: rounding carries into the exponent
                v = (rng.next() % 2 ? 1 : -1) *
                    std::pow(10.0, static_cast<int>(rng.next() % 40) - 20) *
                    (1 - rng.unit() * 1e-13);
                break;
            }
            if (std::isnan(v) || std::isinf(v))
                continue;
            promfmt_buffer_reset(buf);
            ASSERT_EQ(promfmt_emit_sample(buf, "m", nullptr, v, 0), 0);
            snprintf(want, sizeof want, "m %.14g\n", v);
            ++checked;
            if (buf.text() != want && ++mismatches <= 10)
                ADD_FAILURE() << "%a " << std::hexfloat << v << ": got " << buf.text()
                              << " want " << want;
        }
    }
    EXPECT_EQ(mismatches, 0u) << "of " << checked;
}

// Whole numbers of every length, on both sides of each power of ten: as
// sample values ("%.14g"), timestamps ("%lld") and label numbers, signed
// and unsigned ("%lld", "%llu").
TEST(Numbers, WholeNumbersOfEveryLength)
{
    Buffer buf;
    char want[128];
    for (int digits = 0; digits <= 19; ++digits) {
        uint64_t power = 1;
        for (int i = 0; i < digits; ++i)
            power *= 10;
        for (uint64_t u : {power - 1, power, power + 1}) {
            auto v = static_cast<long long>(u);  // 10^19 + 1 wraps: a negative case more
            promfmt_buffer_reset(buf);
            std::string json = "{\"s\":" + std::to_string(-v) + ",\"u\":" + std::to_string(u) + "}";
            if (v > 0 && v < static_cast<long long>(1e14)) {
                ASSERT_EQ(promfmt_emit_sample(buf, "m", json.c_str(), static_cast<double>(-v), v),
                          0);
                snprintf(want, sizeof want, "m{s=\"%lld\",u=\"%llu\"} %.14g %lld\n", -v,
                         static_cast<unsigned long long>(u), static_cast<double>(-v), v);
            } else {
                ASSERT_EQ(promfmt_emit_sample(buf, "m", json.c_str(), 1, v), 0);
                snprintf(want, sizeof want, "m{s=\"%lld\",u=\"%llu\"} 1%s\n", -v,
                         static_cast<unsigned long long>(u),
                         v > 0 ? (" " + std::to_string(v)).c_str() : "");
            }
            EXPECT_EQ(buf.text(), want) << u;
        }
    }
}

}  // namespace
