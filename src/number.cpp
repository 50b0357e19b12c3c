// Locale-free number rendering. std::to_chars with chars_format::general and
// precision 14 writes exactly what printf's "%.14g" writes in the C locale.
#include "number.h"

#include <charconv>
#include <cmath>

namespace promfmt {

namespace {

// Whole numbers below 1e14 in magnitude print as plain integers under
// "%.14g" (exponent form starts at 1e14), so they take the integer path.
constexpr double kWholeLimit = 1e14;

}  // namespace

size_t format_int(char *out, int64_t v)
{
    return static_cast<size_t>(std::to_chars(out, out + kNumberMax, v).ptr - out);
}

size_t format_uint(char *out, uint64_t v)
{
    return static_cast<size_t>(std::to_chars(out, out + kNumberMax, v).ptr - out);
}

size_t format_real(char *out, double v)
{
    if (v > -kWholeLimit && v < kWholeLimit) {
        auto whole = static_cast<int64_t>(v);
        if (static_cast<double>(whole) == v && !(whole == 0 && std::signbit(v)))
            return format_int(out, whole);
    }
    auto r = std::to_chars(out, out + kNumberMax, v, std::chars_format::general, 14);
    return static_cast<size_t>(r.ptr - out);
}

size_t format_sample_value(char *out, double v)
{
    const char *word = nullptr;
    if (std::isnan(v))
        word = "NaN";
    else if (std::isinf(v))
        word = v > 0 ? "+Inf" : "-Inf";
    if (!word)
        return format_real(out, v);
    size_t n = 0;
    for (; word[n]; ++n)
        out[n] = word[n];
    return n;
}

}  // namespace promfmt
