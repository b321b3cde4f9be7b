// The pilot file as ventrac-check sees it: the lines the library's reader
// takes, the element tables that loads for the operating modes build from
// them, and the coding law of an element.
#ifndef VENTRAC_CHECK_PILOT_MODEL_H
#define VENTRAC_CHECK_PILOT_MODEL_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pilot/reader.h"

namespace check {

// The operating modes a mode mask can select.
inline constexpr int kFirstMode = 1;
inline constexpr int kLastMode = 31;

// The fields of a loaded element that the checks read.
struct Element {
    std::size_t line = 0;  // index of the reader's line in Pilot::lines
    std::string code;
    std::string name;
    int nbits = 0;
    double power = 0;
    double scale = 0;
    double reference = 0;
    std::int64_t max_coded = 0;
    double min_valid = 0;
    double max_valid = 0;
};

// The entries one load keeps, in table order: entries[0] is the mode element.
struct Load {
    int mode = 0;
    std::vector<Element> entries;
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
// and of modes 1 to 31, each from a cleared table as in a fresh program.
Pilot make_pilot(const std::string &path, const std::string &content);

// What an entry of a load does in a message.
enum class Role { ModeElement, Plain, FixedGroup, DelayedGroup };
Role role_of(const Load &load, std::size_t index);

// A replication descriptor F XX YYY: XX following entries, YYY repetitions.
struct Group {
    int size = 0;
    int repetitions = 0;
};
bool opens_group(const std::string &code);
Group group_of(const std::string &code);

// The all-ones value of `width` bits (every bit for 64 and more).
std::uint64_t all_ones(int width);

// The coding law value = coded^power * scale + reference.
double decode(const Element &e, double coded);
// The coded integer of a present value, as the encoder computes it: rounded,
// clipped to 0 .. max_coded; a result that is not a number or outside the
// 64-bit range codes as 0.
std::int64_t encode(const Element &e, double value);
// Whether power and scale are finite and not 0 and the reference finite.
bool law_invertible(const Element &e);
// The lowest and highest values the law gives for coded values 0 ..
// max_coded; empty when the law is not invertible or max_coded is negative.
std::optional<std::pair<double, double>> law_range(const Element &e);

// The repetition count the decoder takes from a decoded value: truncated
// toward zero; NaN or a value outside the 32-bit range gives none.
int repetitions_from(double value);

// `text` with control characters shown as '?', to keep a finding on one line.
std::string printable(const std::string &text);

}  // namespace check

#endif
