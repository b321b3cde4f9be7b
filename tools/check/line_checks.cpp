// SPDX-License-Identifier: Apache-2.0
// Checks on the text of each line: its length, a carriage return before its
// line feed, fields it leaves out and texts longer than their field.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "findings.h"
#include "pilot/text.h"

namespace check {

namespace {

constexpr const char *kFieldNames[ventrac::kPilotFields] = {
    "code", "name",        "nbits",       "power", "scale",   "reference", "max_coded", "mode_mask",
    "unit", "conv_factor", "conv_offset", "flag",  "comment", "min_valid", "max_valid"};

// Fields 0 to 12 always set their field when present; a line that stops
// before field 13 leaves the rest of its slot as an earlier line or load left
// it. Fields 13 and 14 fall back on what fields 5 and 6 of the same line set,
// so leaving them out inherits nothing.
constexpr std::size_t kFieldsInherited = 13;

std::string without_line_feed(const std::string &text) {
    return !text.empty() && text.back() == '\n' ? text.substr(0, text.size() - 1) : text;
}

std::string trim_blanks(const std::string &text) { return std::string(ventrac::trim_blanks(text)); }

// A line longer than one piece comes as several pieces with one line number;
// returns one past the last piece of the line that starts at `first`.
std::size_t pieces_end(const Pilot &p, std::size_t first) {
    std::size_t end = first + 1;
    while (end < p.lines.size() && p.lines[end].line_number == p.lines[first].line_number) ++end;
    return end;
}

void check_length(const Pilot &p, std::size_t first, Findings &f) {
    const std::size_t end = pieces_end(p, first);
    if (end == first + 1) return;
    std::size_t length = 0;
    for (std::size_t j = first; j < end; ++j) length += without_line_feed(p.lines[j].text).size();
    f.error(p.lines[first].line_number,
            "line of " + std::to_string(length) + " characters is read as " +
                std::to_string(end - first) +
                " lines (the reader takes 511 characters at a time, line feed included)");
}

void check_carriage_return(const ventrac::PilotLine &line, Findings &f) {
    const std::string text = without_line_feed(line.text);
    if (line.continued || text.empty() || text.back() != '\r' || line.tokens.empty()) return;
    const std::size_t position = line.tokens.size() - 1;
    std::string reason = "carriage return before the line feed stays at the end of field " +
                         std::to_string(position);
    if (position >= ventrac::kPilotFields) {
        reason += ", which the reader ignores";
    } else {
        reason += std::string(" (") + kFieldNames[position] + ")";
        if (position >= 13 && trim_blanks(line.tokens[position]) == "\r")
            reason += std::string(": the field is no longer empty and sets ") +
                      kFieldNames[position] + " to 0";
    }
    f.warning(line.line_number, reason);
}

void check_missing_fields(const ventrac::PilotLine &line, Findings &f) {
    const std::size_t n = line.tokens.size();
    if (n >= kFieldsInherited) return;
    if (n == 1 && trim_blanks(line.tokens[0]).empty()) {
        f.warning(line.line_number,
                  "empty line: read as an element with descriptor 000000 that keeps every other "
                  "field from an earlier line or load");
        return;
    }
    f.warning(line.line_number, "only " + std::to_string(n) + " of 15 fields: fields " +
                                    std::to_string(n) + " (" + kFieldNames[n] +
                                    ") to 12 (comment) keep what an earlier line or load left in "
                                    "the slot");
}

// Texts are measured as the line writes them, all its pieces together: a
// line cut into pieces is reported as such, and its texts by what they hold.
void check_texts(const Pilot &p, std::size_t first, Findings &f) {
    std::string text;
    const std::size_t end = pieces_end(p, first);
    for (std::size_t j = first; j < end; ++j) text += p.lines[j].text;
    const std::vector<std::string> t = my_split(text.c_str(), ";\n");
    const int number = p.lines[first].line_number;
    if (t.empty()) return;
    char code[32];
    std::snprintf(code, sizeof code, "%6.6llu", std::strtoull(t[0].c_str(), nullptr, 10));
    const std::string digits = code;
    if (digits.size() > 7)
        f.error(number, "descriptor " + digits + " has " + std::to_string(digits.size()) +
                            " digits: the reader keeps " + digits.substr(0, 7));
    struct Text {
        std::size_t position;
        std::size_t room;
    };
    for (const Text field : {Text{1, 63}, Text{8, 63}, Text{12, 1023}}) {
        if (field.position >= t.size()) break;
        const std::string value = field.position == 1 ? trim_blanks(t[1]) : t[field.position];
        if (value.size() > field.room)
            f.error(number, std::string(kFieldNames[field.position]) + " of " +
                                std::to_string(value.size()) + " characters is cut to " +
                                std::to_string(field.room));
    }
}

}  // namespace

void check_lines(const Pilot &p, Findings &f) {
    for (std::size_t i = 0; i < p.lines.size(); ++i) {
        const ventrac::PilotLine &line = p.lines[i];
        const bool starts_line = i == 0 || p.lines[i - 1].line_number != line.line_number;
        if (starts_line) check_length(p, i, f);
        check_carriage_return(line, f);
        check_missing_fields(line, f);
        if (starts_line) check_texts(p, i, f);
    }
}

}  // namespace check
