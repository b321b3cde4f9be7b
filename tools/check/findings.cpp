// SPDX-License-Identifier: Apache-2.0
#include <algorithm>

#include "findings.h"

namespace check {

std::size_t Findings::count(Severity s) const {
    return static_cast<std::size_t>(std::count_if(
        items_.begin(), items_.end(), [s](const Finding &f) { return f.severity == s; }));
}

void Findings::print(std::ostream &out, const std::string &path) const {
    std::vector<Finding> sorted = items_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Finding &a, const Finding &b) {
        return a.line_number < b.line_number;
    });
    for (const Finding &f : sorted)
        out << path << ':' << f.line_number << ": "
            << (f.severity == Severity::Error ? "error" : "warning") << ": " << f.reason << '\n';
}

int check_pilot(const std::string &path, const std::string &content, std::ostream &out) {
    const Pilot pilot = make_pilot(path, content);
    Findings findings;
    check_lines(pilot, findings);
    check_elements(pilot, findings);
    check_modes(pilot, findings);
    findings.print(out, path);
    print_summary(out, pilot, findings);
    if (findings.count(Severity::Error) > 0) return kErrors;
    return findings.count(Severity::Warning) > 0 ? kWarnings : kClean;
}

std::string mode_list(const std::vector<int> &modes) {
    std::string text;
    for (std::size_t i = 0; i < modes.size();) {
        std::size_t j = i;
        while (j + 1 < modes.size() && modes[j + 1] == modes[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(modes[i]);
        if (j > i) {
            text += '-';
            text += std::to_string(modes[j]);
        }
        i = j + 1;
    }
    return text;
}

}  // namespace check
