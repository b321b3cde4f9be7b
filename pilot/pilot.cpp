// SPDX-License-Identifier: Apache-2.0
// Pilot file reader: fills the element table from the lines of one mode.
//
// A file is read whole and cut into the lines the reader takes; their fields
// are converted once and kept with the content they came from, so that a
// program loading the same pilot file again and again (the decoder loads it
// twice per message) converts nothing twice. Each load still reads the file
// as it is at the time of the call and traces every line.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pilot/law.h"
#include "pilot/pilot.h"
#include "pilot/reader.h"
#include "pilot/sink.h"
#include "pilot/text.h"
#include "pilot/trace.h"

namespace {
char ship_name_block[VENTRAC_SHIP_NAME_SIZE];
}

extern "C" {
ElementSpec specel[VENTRAC_MAX_ELEMENTS];
char APPLI[VENTRAC_APPLI_SIZE];
char *nom_navire = ship_name_block;
}

namespace ventrac {

namespace {

// Numbers read as strtoull (base 10) and strtod do: leading blanks skipped,
// conversion stops at the first character that does not belong to a number,
// no number gives 0. 64 bits on every system (a long is 32 bits on Windows).
unsigned long long to_unsigned(const std::string &token) {
    return std::strtoull(token.c_str(), nullptr, 10);
}

double to_real(const std::string &token) { return std::strtod(token.c_str(), nullptr); }

// Converts the token at `position` into `e`; returns whether it sets a field.
bool convert_field(ElementSpec &e, std::size_t position, const std::string &token) {
    switch (position) {
    case 0: std::snprintf(e.code, sizeof e.code, "%6.6llu", to_unsigned(token)); return true;
    case 1: copy_text(e.name, sizeof e.name, trim_blanks(token)); return true;
    case 2: e.nbits = static_cast<uint8_t>(to_unsigned(token)); return true;
    case 3: e.power = to_real(token); return true;
    case 4: e.scale = to_real(token); return true;
    case 5: e.reference = to_real(token); return true;
    case 6: e.max_coded = static_cast<int64_t>(to_unsigned(token)); return true;
    case 7: e.mode_mask = to_unsigned(token); return true;
    case 8: copy_text(e.unit, sizeof e.unit, token); return true;
    case 9: e.conv_factor = to_real(token); return true;
    case 10: e.conv_offset = to_real(token); return true;
    case 11: e.flag = static_cast<uint8_t>(to_unsigned(token)); return true;
    case 12: copy_text(e.comment, sizeof e.comment, token); return true;
    case 13:
    case 14: {
        // The bounds only override the defaults when the field holds more
        // than blanks.
        const std::string trimmed(trim_blanks(token));
        if (trimmed.empty()) return false;
        (position == 13 ? e.min_valid : e.max_valid) = std::strtod(trimmed.c_str(), nullptr);
        return true;
    }
    default: return false;
    }
}

PilotLine make_line(const std::string &piece, int line_number) {
    PilotLine line;
    line.text = piece.substr(0, piece.find('\0'));
    line.line_number = line_number;
    line.tokens = my_split(line.text.c_str(), ";\n");
    for (std::size_t i = 0; i < line.tokens.size() && i < kPilotFields; ++i)
        if (convert_field(line.values, i, line.tokens[i])) line.given |= 1u << i;
    return line;
}

// The parsed lines of the last content read, reused while it is unchanged.
struct ParsedPilot {
    std::string content;
    std::vector<PilotLine> lines;
    bool valid = false;
};

const std::vector<PilotLine> &lines_of(const std::string &content) {
    static ParsedPilot last;
    if (!last.valid || last.content != content) {
        last.lines = parse_pilot(content);
        last.content = content;
        last.valid = true;
    }
    return last.lines;
}

}  // namespace

void trace_pilot_line(const PilotLine &line, const Sink &trace) {
    trace.print("pilote:%s\n", line.text.c_str());
    // Positions are traced up to the first one past the fields taken.
    const std::size_t shown = std::min(line.tokens.size(), kPilotFields + 1);
    for (std::size_t i = 0; i < shown; ++i) trace.print("%d-", static_cast<int>(i));
}

std::vector<PilotLine> parse_pilot(const std::string &content) {
    std::vector<PilotLine> lines;
    std::size_t pos = 0;
    int line_number = 1;
    while (pos < content.size()) {
        // A piece ends after its line feed or after kPilotChunk characters.
        const std::size_t newline = content.find('\n', pos);
        const std::size_t line_end = newline == std::string::npos ? content.size() : newline + 1;
        const std::size_t end = std::min(line_end, pos + kPilotChunk);
        lines.push_back(make_line(content.substr(pos, end - pos), line_number));
        lines.back().continued = end < line_end;
        if (end == line_end) ++line_number;
        pos = end;
    }
    return lines;
}

bool read_pilot_file(const char *path, std::string &content, bool *opened) {
    if (opened != nullptr) *opened = false;
    std::FILE *file = std::fopen(path, "r");
    if (file == nullptr) return false;
    if (opened != nullptr) *opened = true;
    // The content goes straight into `content`: no stdio buffer in between.
    std::setvbuf(file, nullptr, _IONBF, 0);
    content.clear();
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, n);
    // A directory opens on some systems and then fails its first read.
    const bool failed = std::ferror(file) != 0;
    const int cause = errno;
    std::fclose(file);
    if (failed) {
        content.clear();
        errno = cause;
        return false;
    }
    return true;
}

void apply_pilot_line(ElementSpec &slot, const PilotLine &line) {
    const ElementSpec &v = line.values;
    if (line.sets(0)) copy_field(slot.code, v.code);
    if (line.sets(1)) copy_field(slot.name, v.name);
    if (line.sets(2)) slot.nbits = v.nbits;
    if (line.sets(3)) slot.power = v.power;
    if (line.sets(4)) slot.scale = v.scale;
    if (line.sets(5)) slot.reference = slot.min_valid = v.reference;
    if (line.sets(6)) {
        slot.max_coded = v.max_coded;
        slot.max_valid = rules::largest_value(slot);
    }
    if (line.sets(7)) slot.mode_mask = v.mode_mask;
    if (line.sets(8)) copy_field(slot.unit, v.unit);
    if (line.sets(9)) slot.conv_factor = v.conv_factor;
    if (line.sets(10)) slot.conv_offset = v.conv_offset;
    if (line.sets(11)) slot.flag = v.flag;
    if (line.sets(12)) copy_field(slot.comment, v.comment);
    if (line.sets(13)) slot.min_valid = v.min_valid;
    if (line.sets(14)) slot.max_valid = v.max_valid;
}

bool kept_in_mode(std::uint64_t mask, int mode) {
    if (mode <= 0) return true;
    if (mode > 64) return false;
    return (mask >> (mode - 1) & 1u) != 0;
}

int load_specif(const std::string &content, signed char mode) {
    const Sink trace = Sink::to_file(trace::sink());
    const std::vector<PilotLine> &lines = lines_of(content);
    int kept = 0;
    // Reading stops once the table is full.
    walk_pilot_lines(
        lines, mode,
        [&](std::size_t i) {
            if (trace.on()) trace_pilot_line(lines[i], trace);
        },
        [](std::size_t k) -> ElementSpec & { return specel[k]; },
        [&kept](std::size_t, std::size_t k) {
            kept = static_cast<int>(k) + 1;
            return kept < VENTRAC_MAX_ELEMENTS;
        });
    return kept;
}

void report_unreadable_pilot(const char *path) {
    trace::error("%s - %s - %s : %s\n", APPLI, trace::ship_name(),
                 " erreur num 254: Erreur a l'ouverture du fichier pilote (DSI)", path);
}

}  // namespace ventrac

extern "C" int get_specif(const char *path, signed char mode) {
    static std::string content;
    if (!ventrac::read_pilot_file(path, content)) {
        ventrac::report_unreadable_pilot(path);
        return -254;
    }
    return ventrac::load_specif(content, mode);
}
