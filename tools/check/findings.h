// SPDX-License-Identifier: Apache-2.0
// Findings of ventrac-check and the checks that make them, one file each:
// line_checks.cpp (the text of each line), element_checks.cpp (each element
// with the values the reader gives it), mode_checks.cpp (the element tables
// of modes 1 to 31, the encoder's and the decoder's) and summary.cpp.
// check_pilot() runs them all; the program (main.cpp) reads the file.
#ifndef VENTRAC_CHECK_FINDINGS_H
#define VENTRAC_CHECK_FINDINGS_H

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "pilot_model.h"

namespace check {

enum class Severity { Warning, Error };

struct Finding {
    int line_number = 0;  // 1-based line of the file
    Severity severity = Severity::Warning;
    std::string reason;  // one line, no line feed
};

class Findings {
public:
    void error(int line_number, std::string reason) {
        items_.push_back({line_number, Severity::Error, std::move(reason)});
    }
    void warning(int line_number, std::string reason) {
        items_.push_back({line_number, Severity::Warning, std::move(reason)});
    }
    std::size_t count(Severity s) const;
    // "PILOT:LINE: error: reason" lines in line order, each line's findings
    // in the order they were made.
    void print(std::ostream &out, const std::string &path) const;

private:
    std::vector<Finding> items_;
};

void check_lines(const Pilot &pilot, Findings &findings);
void check_elements(const Pilot &pilot, Findings &findings);
void check_modes(const Pilot &pilot, Findings &findings);

// The counts, then for each mode that keeps a line besides the first its
// number of elements and the size of its message without replication, and a
// line saying whether its messages can go out as BUFR.
void print_summary(std::ostream &out, const Pilot &pilot, const Findings &findings);

// Whether this build tells if a mode's messages can go out as BUFR (it is
// built with ecCodes); otherwise each mode's BUFR line says "not checked".
bool bufr_checked();

// Exit statuses of ventrac-check.
inline constexpr int kClean = 0;
inline constexpr int kWarnings = 1;
inline constexpr int kErrors = 2;  // also an unreadable file and a usage error

// Checks the pilot file `content`, named `path` in the report, and writes the
// findings and the summary to `out`. Returns kClean, kWarnings or kErrors.
int check_pilot(const std::string &path, const std::string &content, std::ostream &out);

// "1", "1-3, 5": the modes in `modes` (sorted, distinct), runs shown as ranges.
std::string mode_list(const std::vector<int> &modes);

}  // namespace check

#endif
