// Checks on the element tables that modes 1 to 31 load: the operating-mode
// element in front, replicated groups inside the table, and elements a
// lookup cannot tell apart.
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "findings.h"

namespace check {

namespace {

int line_number(const Pilot &p, std::size_t line) { return p.lines[line].line_number; }

std::string lines_text(std::size_t n) { return std::to_string(n) + (n == 1 ? " line" : " lines"); }

std::string modes_text(const std::vector<int> &modes) {
    return (modes.size() == 1 ? "mode " : "modes ") + mode_list(modes);
}

// Every load of a mode starts with the first line, the one element whose
// value is the mode itself; in a mode that skips it, another line takes its
// place and the decoder reads that line's width as the mode.
void check_first_line(const Pilot &p, Findings &f) {
    if (p.lines.empty()) {
        f.error(1, "the file has no line: every mode loads no element");
        return;
    }
    std::vector<int> modes;
    std::size_t usurper = 0;
    for (int m = kFirstMode; m <= kLastMode; ++m) {
        const Load &load = p.mode(m);
        if (load.entries.empty() || load.entries[0].line == 0) continue;
        if (modes.empty()) usurper = load.entries[0].line;
        modes.push_back(m);
    }
    if (modes.empty()) return;
    f.error(line_number(p, 0), "the first line (the operating mode) is not kept in " +
                                   modes_text(modes) +
                                   (modes.size() == 1 ? ", which keeps" : ", which keep") +
                                   " other lines: line " +
                                   std::to_string(line_number(p, usurper)) +
                                   " is read as the operating mode there");
}

// A group takes the XX entries after its descriptor in the table of the mode;
// past the last kept line the encoder and the decoder read whatever an
// earlier load left in the table.
void check_group_reach(const Pilot &p, Findings &f) {
    struct Reach {
        std::vector<int> modes;
        std::size_t following = 0;  // kept lines after the descriptor, first mode
        int size = 0;
    };
    std::map<std::size_t, Reach> reaches;
    for (int m = kFirstMode; m <= kLastMode; ++m) {
        const Load &load = p.mode(m);
        for (std::size_t j = 1; j < load.entries.size(); ++j) {
            const Element &e = load.entries[j];
            if (!opens_group(e.code)) continue;
            const std::size_t following = load.entries.size() - 1 - j;
            const Group g = group_of(e.code);
            if (static_cast<std::size_t>(g.size) <= following) continue;
            Reach &r = reaches[e.line];
            if (r.modes.empty()) r = {{}, following, g.size};
            r.modes.push_back(m);
        }
    }
    for (const auto &[line, r] : reaches)
        f.error(line_number(p, line),
                "replicated group of " + lines_text(static_cast<std::size_t>(r.size)) +
                    " reaches past the last line kept in " + modes_text(r.modes) + " (in mode " +
                    std::to_string(r.modes.front()) + ", " + lines_text(r.following) +
                    (r.following == 1 ? " follows" : " follow") + " it)");
}

// cherche() returns the first decoded element whose descriptor and name
// match. The decoder gives every element of a replicated group the same
// suffix for one repetition, so two plain elements with the same descriptor
// and name clash when they belong to the same group, or both to none.
void check_duplicates(const Pilot &p, Findings &f) {
    std::set<std::size_t> reported;
    for (int m = kFirstMode; m <= kLastMode; ++m) {
        const Load &load = p.mode(m);
        std::map<std::tuple<std::string, std::string, std::size_t>, std::size_t> first_of;
        std::vector<std::pair<std::size_t, std::size_t>> open;  // descriptor, last member
        for (std::size_t j = 1; j < load.entries.size(); ++j) {
            while (!open.empty() && open.back().second < j) open.pop_back();
            const Element &e = load.entries[j];
            if (opens_group(e.code)) {
                open.emplace_back(j, j + static_cast<std::size_t>(group_of(e.code).size));
                continue;
            }
            // The group a plain element belongs to, by its descriptor's line
            // (one past the last line for none).
            const std::size_t group =
                open.empty() ? p.lines.size() : load.entries[open.back().first].line;
            const auto [it, fresh] = first_of.try_emplace({e.code, e.name, group}, e.line);
            if (fresh || !reported.insert(e.line).second) continue;
            f.warning(line_number(p, e.line),
                      "same descriptor " + e.code + " and name \"" + printable(e.name) +
                          "\" as line " + std::to_string(line_number(p, it->second)) + " (mode " +
                          std::to_string(m) + "): a lookup finds only the first");
        }
    }
}

}  // namespace

void check_modes(const Pilot &p, Findings &f) {
    check_first_line(p, f);
    check_group_reach(p, f);
    check_duplicates(p, f);
}

}  // namespace check
