// SPDX-License-Identifier: MIT
// A C++ host built against the installed package through find_package.
#include <promfmt.h>

#include <iostream>
#include <memory>
#include <string>

int main()
{
    std::unique_ptr<promfmt_buffer_t, decltype(&promfmt_buffer_free)> buf(
        promfmt_buffer_create(0), promfmt_buffer_free);
    if (!buf || promfmt_emit_gauge(buf.get(), "temp_celsius", "Temperature.",
                                   R"({"room":"b","floor":1})", 21.5) != 0) {
        std::cerr << "promfmt: " << promfmt_last_error() << "\n";
        return 1;
    }
    std::string text(promfmt_buffer_data(buf.get()), promfmt_buffer_len(buf.get()));
    const std::string want = "# HELP temp_celsius Temperature.\n# TYPE temp_celsius gauge\n"
                             "temp_celsius{floor=\"1\",room=\"b\"} 21.5\n";
    std::cout << text << "promfmt " << PROMFMT_VERSION_STRING << ": "
              << (text == want ? "ok" : "WRONG OUTPUT") << "\n";
    return text == want ? 0 : 1;
}
