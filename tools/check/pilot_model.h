// SPDX-License-Identifier: Apache-2.0
// The pilot file as ventrac-check sees it: the lines the library's reader
// takes, the element tables that loads for the operating modes build from
// them, and what an entry of a table does in a message. The coding law, the
// replication layout and the size walk are the codec's own (codec/rules.h).
#ifndef VENTRAC_CHECK_PILOT_MODEL_H
#define VENTRAC_CHECK_PILOT_MODEL_H

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pilot/pilot.h"
#include "pilot/reader.h"

namespace check {

// The operating modes a mode mask can select.
inline constexpr int kFirstMode = 1;
inline constexpr int kLastMode = 31;

// The entries one load keeps, in table order: table[0] is the mode element.
// The entries are the library's own ElementSpec, so that the codec's rules
// apply to them directly.
struct Load {
    int mode = 0;
    std::vector<ElementSpec> table;  // at most VENTRAC_MAX_ELEMENTS entries
    std::vector<std::size_t> lines;  // lines[i]: index in Pilot::lines of entry i
    // Lines the load would keep past a full table, in file order: the reader
    // stops once the table is full, so they are never read.
    std::vector<std::size_t> lost;

    int count() const { return static_cast<int>(table.size()); }
    // Whether the load keeps a line other than the first of the file.
    bool keeps_lines() const;
};

struct Pilot {
    std::string path;
    std::vector<ventrac::PilotLine> lines;  // as parse_pilot() cuts the file
    Load all;                               // mode 0: every line kept
    std::vector<Load> modes;                // modes kFirstMode .. kLastMode
    const Load &mode(int m) const { return modes[static_cast<std::size_t>(m - kFirstMode)]; }
};

// Parses `content` with the library's reader and makes the loads of mode 0
// and of modes 1 to 31, each from a cleared table as in a fresh program (the
// encoder at sea loads its mode this way).
Pilot make_pilot(const std::string &path, const std::string &content);

// The table the decoder reads a message of mode `mode` with: every line
// loaded over a cleared table (Pilot::all), then the lines of `mode` over
// that same table.
Load decoder_load(const Pilot &pilot, int mode);

// What an entry of a load does in a message.
enum class Role { ModeElement, Plain, FixedGroup, DelayedGroup };
Role role_of(const Load &load, std::size_t index);

// Whether power and scale are finite and not 0 and the reference finite.
bool law_invertible(const ElementSpec &e);
// The lowest and highest values the law gives for coded values 0 ..
// max_coded; empty when the law is not invertible or max_coded is negative.
std::optional<std::pair<double, double>> law_range(const ElementSpec &e);

// `text` with control characters shown as '?', to keep a finding on one line.
std::string printable(const std::string &text);

}  // namespace check

#endif
