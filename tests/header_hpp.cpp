// SPDX-License-Identifier: MIT
// The C++ wrapper must compile as C++17 without warnings, its templates
// instantiated with the label sources a host uses.
#include "promfmt.hpp"

#include "promfmt.hpp"  // include guard

#include <map>
#include <string>
#include <vector>

bool promfmt_hpp_check()
{
    promfmt::cxx::buffer buf(std::nothrow);
    const std::map<std::string, std::string> map = {{"a", "b"}};
    const std::vector<promfmt::cxx::label> pairs = {{"c", "d"}};
    buf.help("m", "help");
    buf.type("m", promfmt::cxx::metric_type::gauge);
    buf.sample("m", {{"a", "b"}}, 1, 2);
    buf.gauge("g", "help", map, 1);
    return buf.try_counter("c", "", pairs, 1) &&
           buf.try_sample("j", promfmt::cxx::json_text{"{}"}, 1) && !buf.view().empty();
}
