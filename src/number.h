// SPDX-License-Identifier: MIT
// Number rendering. Every function writes into a caller's scratch area of
// kNumberMax bytes, does not NUL-terminate, returns the length, and never
// depends on the process locale.
#ifndef PROMFMT_NUMBER_H
#define PROMFMT_NUMBER_H

#include <cstddef>
#include <cstdint>

namespace promfmt {

// Room for any text below: "-1.2345678901234e-308" or a 64-bit integer.
constexpr size_t kNumberMax = 32;

// Sample values: "NaN" (any NaN), "+Inf", "-Inf", otherwise as format_real.
size_t format_sample_value(char *out, double v);
// The C locale's "%.14g".
size_t format_real(char *out, double v);
// The C locale's "%lld" and "%llu".
size_t format_int(char *out, int64_t v);
size_t format_uint(char *out, uint64_t v);

}  // namespace promfmt

#endif
