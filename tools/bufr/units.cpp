// SPDX-License-Identifier: Apache-2.0
#include "units.h"

#include <array>
#include <utility>

namespace ventrac::bufr {

namespace {

// Pilot spellings (lower case, without blanks) and the Table B symbol each
// names.
constexpr std::array<std::pair<std::string_view, std::string_view>, 26> kAliases{{
    {"degree", "deg"}, {"degrees", "deg"}, {"degreetrue", "deg"}, {"degtrue", "deg"},
    {"year", "a"},     {"years", "a"},     {"month", "mon"},      {"months", "mon"},
    {"day", "d"},      {"days", "d"},      {"hour", "h"},         {"hours", "h"},
    {"minute", "min"}, {"minutes", "min"}, {"second", "s"},       {"seconds", "s"},
    {"metre", "m"},    {"metres", "m"},    {"meter", "m"},        {"meters", "m"},
    {"pascal", "pa"},  {"kelvin", "k"},    {"percent", "%"},      {"ms-1", "m/s"},
    {"knot", "kt"},    {"knots", "kt"},
}};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string canonical_unit(std::string_view unit) {
    std::string s;
    s.reserve(unit.size());
    for (char c : unit)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') s += lower(c);
    for (const auto &[from, to] : kAliases)
        if (s == from) return std::string(to);
    // Table B names its code tables "CODE TABLE" and, for the common ones,
    // "Common CODE TABLE C-n": all are code tables to a pilot line.
    if (s.rfind("codetable", 0) == 0 || s.rfind("commoncodetable", 0) == 0) return "codetable";
    return s;
}

}  // namespace ventrac::bufr
