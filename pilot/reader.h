// SPDX-License-Identifier: Apache-2.0
// The pilot file line by line, as get_specif() reads it, for C++ programs
// that inspect pilot files (ventrac-check) and for get_specif() itself.
#ifndef VENTRAC_PILOT_READER_H
#define VENTRAC_PILOT_READER_H

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "pilot/law.h"
#include "pilot/pilot.h"
#include "pilot/text.h"

namespace ventrac {

struct Sink;

// Longest piece of a line read at once; a longer line is read as several.
inline constexpr std::size_t kPilotChunk = 511;
// Number of pilot fields taken from a line (positions 0 to 14).
inline constexpr std::size_t kPilotFields = 15;

// One line of a pilot file as the reader takes it: at most kPilotChunk
// characters, ending with its line feed when the file has one there.
struct PilotLine {
    std::string text;                 // as read, cut at a zero byte
    int line_number = 0;              // 1-based line of the file it comes from
    bool continued = false;           // a longer line goes on in the next piece
    std::vector<std::string> tokens;  // my_split(text, ";\n")
    // The fields the line sets, converted once: bit i of `given` says
    // whether position i sets something (positions 13 and 14 only when not
    // blank), and `values` holds what it sets.
    std::uint32_t given = 0;
    ElementSpec values{};

    bool sets(std::size_t position) const { return (given >> position & 1u) != 0; }
};

// Splits the content of a pilot file into the lines the reader takes.
std::vector<PilotLine> parse_pilot(const std::string &content);

// Reads the pilot file at `path` whole. Returns false when it cannot be
// opened or cannot be read to its end (a directory, a read error), with
// errno telling why; *opened (when given) then says whether it was opened.
// A file that fails part way never counts as read.
bool read_pilot_file(const char *path, std::string &content, bool *opened = nullptr);

// Sets the fields of `slot` that `line` gives, the way get_specif() does:
// field 5 sets the reference and the lower bound, field 6 the largest coded
// value and the upper bound derived from the slot's law at that moment.
// Fields the line does not give keep what the slot held.
void apply_pilot_line(ElementSpec &slot, const PilotLine &line);

// Whether a line whose mode mask is `mask` is kept for `mode`: every line
// for modes of 0 or less, bit mode - 1 for modes 1 to 64, none above.
bool kept_in_mode(std::uint64_t mask, int mode);

// The one walk of a load, which get_specif(), the pilot of the thread-safe
// interface and ventrac-check all run: each line read is applied to the slot
// the load is at, over what that slot holds, and the load moves to the next
// slot only when the line is kept for `mode` (a line that is not kept leaves
// its fields to the next line of the same slot).
//   read(i)        is called as line i is read, before it is applied;
//   slot(k)        gives slot k (an ElementSpec &), which the line goes into;
//   keep(i, k)     is called when line i is kept in slot k, and returns
//                  whether the load goes on to the next line.
template <class Read, class Slot, class Keep>
void walk_pilot_lines(const std::vector<PilotLine> &lines, int mode, Read &&read, Slot &&slot,
                      Keep &&keep) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        read(i);
        ElementSpec &s = slot(k);
        apply_pilot_line(s, lines[i]);
        if (!kept_in_mode(s.mode_mask, mode)) continue;
        if (!keep(i, k)) return;
        ++k;
    }
}

// Loads `specel` from the content of a pilot file as get_specif() does,
// tracing every line; returns the number of kept lines (0 to 1024).
int load_specif(const std::string &content, signed char mode);

// Traces one line as a load reads it: "pilote:" and the line, then the
// field positions taken.
void trace_pilot_line(const PilotLine &line, const Sink &trace);

// Writes error 254 for the pilot file `path` to standard error.
void report_unreadable_pilot(const char *path);

}  // namespace ventrac

#endif
