// SPDX-License-Identifier: MIT
// Fuzzes promfmt_escape_label_value in measuring and writing mode: the
// escaped text must hold only the three escapes and round-trip.
#include "oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string in(reinterpret_cast<const char *>(data), size);
    std::string text = in.c_str();  // the function sees the text up to a NUL

    int measured = promfmt_escape_label_value(in.c_str(), nullptr, 0);
    ORACLE_CHECK(measured >= static_cast<int>(text.size()), "measured %d", measured);
    size_t len = static_cast<size_t>(measured);

    std::vector<char> out(len + 2, 'X');
    ORACLE_CHECK(promfmt_escape_label_value(in.c_str(), out.data(), 0) == measured, "size 0");
    ORACLE_CHECK(out[0] == 'X', "size 0 wrote");

    ORACLE_CHECK(promfmt_escape_label_value(in.c_str(), out.data(), len + 1) == measured,
                 "exact size");
    ORACLE_CHECK(out[len] == '\0' && out[len + 1] == 'X', "terminator");
    std::string escaped(out.data(), len), back;
    ORACLE_CHECK(oracle::unescape_label_value(escaped, &back), "bad escape");
    ORACLE_CHECK(back == text, "round trip");

    if (len > 0) {
        std::vector<char> small(len, 'Y');
        ORACLE_CHECK(promfmt_escape_label_value(in.c_str(), small.data(), len) == -1, "too small");
        ORACLE_CHECK(strcmp(promfmt_last_error(),
                            "destination buffer too small for escaped label value") == 0,
                     "message");
        for (char c : small)
            ORACLE_CHECK(c == 'Y', "refused destination touched");
    }
    return 0;
}
