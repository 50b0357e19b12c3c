// SPDX-License-Identifier: MIT
// A C++17 host that uses only the installed promfmt.hpp: one scrape from
// C++ values, a refusal caught as promfmt::cxx::error, and the text checked.
#include <promfmt.hpp>

#include <iostream>
#include <map>
#include <string>

int main()
{
    promfmt::cxx::buffer buf;
    const std::map<std::string, std::string> room = {{"room", "b"}, {"floor", "1"}};
    buf.gauge("temp_celsius", "Temperature.", room, 21.5);
    buf.help("http_requests_total", "Requests served.");
    buf.type("http_requests_total", promfmt::cxx::metric_type::counter);
    buf.sample("http_requests_total", {{"method", "get"}, {"path", "/a \"b\""}}, 1027);
    try {
        buf.sample("bad name", {}, 1);
        std::cout << "a bad name was accepted\n";
        return 1;
    } catch (const promfmt::cxx::error &e) {
        std::cout << "refused: " << e.what() << "\n";
    }
    const std::string want = "# HELP temp_celsius Temperature.\n# TYPE temp_celsius gauge\n"
                             "temp_celsius{floor=\"1\",room=\"b\"} 21.5\n"
                             "# HELP http_requests_total Requests served.\n"
                             "# TYPE http_requests_total counter\n"
                             "http_requests_total{method=\"get\",path=\"/a \\\"b\\\"\"} 1027\n";
    const bool ok = buf.view() == want;
    std::cout << buf.view() << "promfmt.hpp " << PROMFMT_VERSION_STRING << ": "
              << (ok ? "ok" : "WRONG OUTPUT") << "\n";
    return ok ? 0 : 1;
}
