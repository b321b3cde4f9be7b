// SPDX-License-Identifier: Apache-2.0
#include "datatype.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace ventrac::decode {

namespace {

constexpr int kMaxPairs = 32;  // entries of ventrac_datatype_entry.modes and .types

std::vector<std::string_view> words(std::string_view line) {
    constexpr std::string_view blanks = " \t\r";
    std::vector<std::string_view> out;
    std::size_t pos = line.find_first_not_of(blanks);
    while (pos != std::string_view::npos) {
        const std::size_t end = std::min(line.find_first_of(blanks, pos), line.size());
        out.push_back(line.substr(pos, end - pos));
        pos = line.find_first_not_of(blanks, end);
    }
    return out;
}

// A whole word holding an integer from -128 to 127.
bool small_integer(std::string_view word, int &value) {
    const char *end = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), end, value);
    return ec == std::errc() && ptr == end && value >= -128 && value <= 127;
}

}  // namespace

ventrac_datatype_entry every_mode_type_zero() {
    ventrac_datatype_entry table{};
    table.nb_modes = 1;
    table.modes[0] = -1;
    table.types[0] = 0;
    return table;
}

std::string parse_datatype(std::string_view content, ventrac_datatype_entry &table) {
    table = ventrac_datatype_entry{};
    int line_number = 0;
    while (!content.empty()) {
        ++line_number;
        const std::size_t newline = content.find('\n');
        std::string_view line = content.substr(0, newline);
        content = newline == std::string_view::npos ? std::string_view()
                                                    : content.substr(newline + 1);
        line = line.substr(0, line.find('#'));
        const std::vector<std::string_view> w = words(line);
        if (w.empty()) continue;
        const std::string where = "line " + std::to_string(line_number) + ": ";
        int mode = 0, type = 0;
        if (w.size() != 2 || !small_integer(w[0], mode) || !small_integer(w[1], type))
            return where + "expected 'mode type', two integers from -128 to 127";
        for (int i = 0; i < table.nb_modes; ++i)
            if (table.modes[i] == mode)
                return where + "mode " + std::to_string(mode) + " is listed twice";
        if (table.nb_modes == kMaxPairs) return where + "more than 32 pairs";
        table.modes[table.nb_modes] = mode;
        table.types[table.nb_modes] = type;
        ++table.nb_modes;
    }
    return {};
}

}  // namespace ventrac::decode
