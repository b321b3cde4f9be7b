// SPDX-License-Identifier: Apache-2.0
// Checks on the element tables that modes 1 to 31 load: the operating-mode
// element in front and the width it is sent in, replicated groups inside the
// table, elements a lookup cannot tell apart, lines past a full table, and
// the decoder's table of a mode against the encoder's.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "codec/bitops.h"
#include "codec/replication.h"
#include "codec/rules.h"
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
        if (load.lines.empty() || load.lines[0] == 0) continue;
        if (modes.empty()) usurper = load.lines[0];
        modes.push_back(m);
    }
    if (modes.empty()) return;
    f.error(line_number(p, 0),
            "the first line (the operating mode) is not kept in " + modes_text(modes) +
                (modes.size() == 1 ? ", which keeps" : ", which keep") + " other lines: line " +
                std::to_string(line_number(p, usurper)) + " is read as the operating mode there");
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
        for (std::size_t j = 1; j < load.table.size(); ++j) {
            const ElementSpec &e = load.table[j];
            if (!ventrac::opens_group(e.code)) continue;
            const std::size_t following = load.table.size() - 1 - j;
            const int size = ventrac::replication_of(e.code).group_size;
            if (static_cast<std::size_t>(size) <= following) continue;
            Reach &r = reaches[load.lines[j]];
            if (r.modes.empty()) r = {{}, following, size};
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
        for (std::size_t j = 1; j < load.table.size(); ++j) {
            while (!open.empty() && open.back().second < j) open.pop_back();
            const ElementSpec &e = load.table[j];
            const std::size_t line = load.lines[j];
            if (ventrac::opens_group(e.code)) {
                open.emplace_back(
                    j, j + static_cast<std::size_t>(ventrac::replication_of(e.code).group_size));
                continue;
            }
            // The group a plain element belongs to, by its descriptor's line
            // (one past the last line for none).
            const std::size_t group = open.empty() ? p.lines.size() : load.lines[open.back().first];
            const auto [it, fresh] = first_of.try_emplace({e.code, e.name, group}, line);
            if (fresh || !reported.insert(line).second) continue;
            f.warning(line_number(p, line), "same descriptor " + std::string(e.code) +
                                                " and name \"" + printable(e.name) + "\" as line " +
                                                std::to_string(line_number(p, it->second)) +
                                                " (mode " + std::to_string(m) +
                                                "): a lookup finds only the first");
        }
    }
}

// The decoder reads the mode from the head of the message in the width of
// entry 0 of its load of every line and keeps the low 8 bits as a signed
// number; the encoder writes the low bits of the mode in that width. A width
// of 0, or of 128 and more (handed to the packer as a negative width), sends
// no mode at all: check_width() reports it when the first line gives nbits,
// check_missing_fields() when it does not.
void check_mode_width(const Pilot &p, Findings &f) {
    if (p.all.table.empty()) return;
    const ElementSpec &first = p.all.table[0];
    const int width = ventrac::rules::packed_width(first);
    if (width <= 0) return;
    std::vector<int> modes;
    int first_read = 0;
    for (int m = kFirstMode; m <= kLastMode; ++m) {
        if (!p.mode(m).keeps_lines()) continue;
        const std::uint64_t sent = static_cast<std::uint64_t>(m) & ventrac::bits::all_ones(width);
        const int read = static_cast<signed char>(static_cast<std::uint8_t>(sent & 0xFFu));
        if (read == m) continue;
        if (modes.empty()) first_read = read;
        modes.push_back(m);
    }
    if (modes.empty()) return;
    f.error(line_number(p, p.all.lines[0]),
            "nbits " + std::to_string(first.nbits) + " of the operating mode cannot hold " +
                modes_text(modes) + (modes.size() == 1 ? ", which keeps" : ", which keep") +
                " other lines: the decoder reads mode " + std::to_string(modes.front()) +
                " as mode " + std::to_string(first_read));
}

// The reader stops once the table holds VENTRAC_MAX_ELEMENTS entries: the
// lines a load would keep after that are never read. Loads that lose lines
// from the same line on are reported together, mode 0 (every line, the
// decoder's first load) among them.
void check_full_table(const Pilot &p, Findings &f) {
    struct Loss {
        std::vector<int> modes;
        std::size_t more = 0;  // lost lines after this one, first load listed
    };
    std::map<std::size_t, Loss> losses;
    const auto add = [&losses](const Load &load) {
        if (load.lost.empty()) return;
        Loss &l = losses[load.lost.front()];
        if (l.modes.empty()) l.more = load.lost.size() - 1;
        l.modes.push_back(load.mode);
    };
    add(p.all);
    for (const Load &load : p.modes) add(load);
    for (const auto &[line, l] : losses) {
        std::vector<int> modes = l.modes;
        std::string loads;
        if (modes.front() == 0) {
            loads = "mode 0 (every line)";
            modes.erase(modes.begin());
            if (!modes.empty()) loads += " and ";
        }
        if (!modes.empty()) loads += modes_text(modes);
        std::string reason = "the element table is full before this line, the " +
                             std::to_string(VENTRAC_MAX_ELEMENTS + 1) + "th kept in " + loads;
        if (l.more == 0) {
            reason += ": it is never read";
        } else {
            reason += ": it and " + std::to_string(l.more) +
                      (l.more == 1 ? " more line kept there are" : " more lines kept there are") +
                      " never read";
            if (l.modes.size() > 1) reason += " (in mode " + std::to_string(l.modes.front()) + ")";
        }
        f.error(line_number(p, line), reason);
    }
}

bool same_number(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The fields of two entries that differ, in the order of the line's fields.
std::string differing_fields(const ElementSpec &a, const ElementSpec &b) {
    std::string fields;
    const auto add = [&fields](bool differs, const char *name) {
        if (differs) fields += (fields.empty() ? "" : ", ") + std::string(name);
    };
    add(std::strcmp(a.code, b.code) != 0, "code");
    add(std::strcmp(a.name, b.name) != 0, "name");
    add(a.nbits != b.nbits, "nbits");
    add(!same_number(a.power, b.power), "power");
    add(!same_number(a.scale, b.scale), "scale");
    add(!same_number(a.reference, b.reference), "reference");
    add(a.max_coded != b.max_coded, "max_coded");
    add(a.mode_mask != b.mode_mask, "mode_mask");
    add(std::strcmp(a.unit, b.unit) != 0, "unit");
    add(!same_number(a.conv_factor, b.conv_factor), "conv_factor");
    add(!same_number(a.conv_offset, b.conv_offset), "conv_offset");
    add(a.flag != b.flag, "flag");
    add(std::strcmp(a.comment, b.comment) != 0, "comment");
    add(!same_number(a.min_valid, b.min_valid), "min_valid");
    add(!same_number(a.max_valid, b.max_valid), "max_valid");
    return fields;
}

// The encoder loads a mode over a cleared table; the decoder loads every line
// first and then the lines of the message's mode over that same table. A
// field that no line of a slot gives keeps what the slot held: nothing in the
// encoder's table, what the load of every line put there in the decoder's.
// A line gives its fields from the first on, so a slot one of whose lines
// gives its mode_mask has the same fields 0 to 7 (and bounds) in both
// tables, and only the texts and display fields after them can differ: the
// decoded element is named the same and has the same value, but is shown,
// converted or found otherwise (a warning). A slot none of whose lines gives
// its mode_mask has none in the encoder's table and is not kept there, but
// the decoder may keep it: it then reads one element more than the encoder
// wrote, and every element after it from the wrong bits (an error, and the
// entries after it are not compared).
void check_decoder_tables(const Pilot &p, Findings &f) {
    std::map<std::size_t, std::vector<int>> extra;  // line the decoder keeps on its own
    std::map<std::pair<std::size_t, std::string>, std::vector<int>> differences;
    for (int m = kFirstMode; m <= kLastMode; ++m) {
        const Load &encoder = p.mode(m);
        if (encoder.table.empty()) continue;  // the encoder sends no message of this mode
        const Load decoder = decoder_load(p, m);
        for (std::size_t i = 0; i < decoder.lines.size(); ++i) {
            if (i >= encoder.lines.size() || encoder.lines[i] != decoder.lines[i]) {
                extra[decoder.lines[i]].push_back(m);
                break;
            }
            const std::string fields = differing_fields(encoder.table[i], decoder.table[i]);
            if (!fields.empty()) differences[{decoder.lines[i], fields}].push_back(m);
        }
    }
    const std::string cause = "the line does not give ";
    const std::string slot = ", and the decoder's slot holds what its load of every line put there";
    for (const auto &[line, modes] : extra)
        f.error(line_number(p, line),
                "in " + modes_text(modes) +
                    " the decoder keeps this line and the encoder does not: " + cause +
                    "its mode_mask" + slot +
                    "; the elements from here on are read from other bits");
    for (const auto &[key, modes] : differences)
        f.warning(line_number(p, key.first),
                  "in " + modes_text(modes) + " the decoder gives this line other " + key.second +
                      " than the encoder's table: " + cause + "them" + slot);
}

}  // namespace

void check_modes(const Pilot &p, Findings &f) {
    check_first_line(p, f);
    check_group_reach(p, f);
    check_duplicates(p, f);
    check_mode_width(p, f);
    check_full_table(p, f);
    check_decoder_tables(p, f);
}

}  // namespace check
