// SPDX-License-Identifier: MIT
// Locale-free number rendering, exactly as printf's "%.14g" in the C locale.
//
// std::to_chars with chars_format::general and precision 14 gives that text,
// but its exact fixed-precision path is slow. Most values take a faster
// exact path instead: whole numbers below 1e14 are integers, and values
// from 1e-8 to 1e14 are scaled to 14 integer digits by one exact power of
// ten (see scaled_digits()). The rest go to std::to_chars.
#include "number.h"

#include "buffer.h"
#include "words.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace promfmt {

namespace {

constexpr int kDigits = 14;

// Whole numbers below 1e14 in magnitude print as plain integers under
// "%.14g" (exponent form starts at 1e14), so they take the integer path.
constexpr double kWholeLimit = 1e14;

// Powers of ten that a double holds exactly.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Decimal digits of a value: digits[0..count) times 10^(exponent - count + 1).
// The array is longer than the digits so that they can be moved in blocks
// of 16 bytes; the bytes past the last digit are never part of a text.
struct decimal {
    char digits[2 * 16];
    int count;
    int exponent;  // of the first digit
};

const char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the 7 digits of x (x < 10^7), leading zeros included.
inline void write_7_digits(char *out, uint32_t x)
{
    uint32_t high = x / 10000;  // three digits
    uint32_t low = x % 10000;   // four digits
    out[0] = static_cast<char>('0' + high / 100);
    memcpy(out + 1, kPairs + 2 * (high % 100), 2);
    memcpy(out + 3, kPairs + 2 * (low / 100), 2);
    memcpy(out + 5, kPairs + 2 * (low % 100), 2);
}

// Writes the 14 digits of n (10^13 <= n < 10^14) as two halves of seven,
// which are independent of each other and fit 32-bit arithmetic.
void write_14_digits(char *out, uint64_t n)
{
    write_7_digits(out, static_cast<uint32_t>(n / 10000000));
    write_7_digits(out + 7, static_cast<uint32_t>(n % 10000000));
}

// The 14 significant digits of a in [1e-8, 1e14), correctly rounded; false
// when this path cannot be sure. With x the decimal exponent of a, the
// product m = a * 10^(13 - x) lies in [1e13, 1e14) and is computed with one
// rounding, so it is off by at most half an ulp of m, below 1/128. Rounding
// m to an integer therefore gives the exact answer unless m's fraction is
// within that error of one half; those few values go the slow way.
bool scaled_digits(double a, decimal *d)
{
    if (!(a >= 1e-8 && a < kWholeLimit))
        return false;
    uint64_t bits;
    memcpy(&bits, &a, sizeof bits);
    int exp2 = static_cast<int>(bits >> 52) - 1023;  // a is normal and positive here
    // floor(exp2 * log10(2)), with log10(2) ~ 1233 / 4096 (exact for |exp2| < 1000)
    int x = exp2 >= 0 ? (exp2 * 1233) >> 12 : -((-exp2 * 1233 + 4095) >> 12);
    double m = a * kPow10[kDigits - 1 - x];
    if (m >= 1e14) {  // the estimate of x is the true exponent or one below it
        ++x;
        m = a * kPow10[kDigits - 1 - x];
    }
    // m is positive and below 2^53: the conversion drops the fraction
    // (floor), and both the whole part and the difference are exact.
    auto whole = static_cast<uint64_t>(m);
    double frac = m - static_cast<double>(whole);
    if (frac > 0.49 && frac < 0.51)
        return false;
    uint64_t n = whole + (frac > 0.5 ? 1 : 0);
    if (n >= 100000000000000ull) {  // 99..9.6 rounded up to 10^14
        n /= 10;
        ++x;
    }
    if (n < 10000000000000ull)
        return false;  // cannot happen; kept as a guard
    write_14_digits(d->digits, n);
    memset(d->digits + kDigits, '0', sizeof d->digits - kDigits);
    d->count = kDigits;
    d->exponent = x;
    return true;
}

// How many of the kDigits digits are left once the trailing zeros are
// dropped; the first digit is never 0.
int significant_digits(const char *digits)
{
    uint64_t zeros = kOnes * '0';
    uint64_t last = load_little_endian(digits + kDigits - 8) ^ zeros;
    if (last != 0)
        return static_cast<int>(kDigits - 8 + 1 + highest_set_byte(last));
    return static_cast<int>(1 + highest_set_byte(load_little_endian(digits) ^ zeros));
}

// Writes d in printf's %g layout (trailing zeros dropped).
size_t write_g(char *out, bool negative, decimal d)
{
    d.count = significant_digits(d.digits);
    char *p = out;
    if (negative)
        *p++ = '-';
    int x = d.exponent;
    if (x < -4 || x >= kDigits) {
        *p++ = d.digits[0];
        if (d.count > 1) {
            *p++ = '.';
            memcpy(p, d.digits + 1, static_cast<size_t>(d.count - 1));
            p += d.count - 1;
        }
        *p++ = 'e';
        *p++ = x < 0 ? '-' : '+';
        int ax = x < 0 ? -x : x;
        if (ax >= 100)
            *p++ = static_cast<char>('0' + ax / 100);
        *p++ = static_cast<char>('0' + ax / 10 % 10);
        *p++ = static_cast<char>('0' + ax % 10);
    } else if (x < 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = -1; i > x; --i)
            *p++ = '0';
        memcpy(p, d.digits, static_cast<size_t>(d.count));
        p += d.count;
    } else {
        // x + 1 whole digits (the dropped zeros are still in the array),
        // then the point and the rest; blocks of 16 bytes, and the length
        // keeps what counts. At most 1 + 13 + 2 + 16 bytes are written.
        auto whole = static_cast<size_t>(x) + 1;
        memcpy(p, d.digits, 16);
        p[whole] = '.';
        memcpy(p + whole + 1, d.digits + whole, 16);
        p += static_cast<size_t>(d.count) > whole ? static_cast<size_t>(d.count) + 1 : whole;
    }
    return static_cast<size_t>(p - out);
}

}  // namespace

size_t format_uint(char *out, uint64_t v)
{
    // Two digits a step from the last, into the end of a block, then moved.
    char text[24];
    char *p = text + sizeof text;
    for (; v >= 100; v /= 100) {
        p -= 2;
        memcpy(p, kPairs + 2 * (v % 100), 2);
    }
    if (v >= 10) {
        p -= 2;
        memcpy(p, kPairs + 2 * v, 2);
    } else {
        *--p = static_cast<char>('0' + v);
    }
    auto len = static_cast<size_t>(text + sizeof text - p);
    put<sizeof text>(out, p, len);
    return len;
}

size_t format_int(char *out, int64_t v)
{
    // The magnitude as unsigned, so that the most negative value has one.
    auto u = static_cast<uint64_t>(v);
    if (v >= 0)
        return format_uint(out, u);
    *out = '-';
    return 1 + format_uint(out + 1, 0 - u);
}

size_t format_real(char *out, double v)
{
    if (v > -kWholeLimit && v < kWholeLimit) {
        auto whole = static_cast<int64_t>(v);
        if (static_cast<double>(whole) == v && !(whole == 0 && std::signbit(v)))
            return format_int(out, whole);
    }
    decimal d;
    if (scaled_digits(std::fabs(v), &d))
        return write_g(out, v < 0, d);
    auto r = std::to_chars(out, out + kNumberMax, v, std::chars_format::general, kDigits);
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
