// SPDX-License-Identifier: Apache-2.0
#include "pilot_model.h"

#include <algorithm>
#include <cmath>

#include "codec/replication.h"
#include "codec/rules.h"

namespace check {

namespace {

// The same steps as load_specif(): every line is applied to the current slot
// over what the slot holds, and the slot moves on only when the line is kept,
// so a line that is not kept leaves its fields to the next line of the slot.
// Slot k starts as under[k] (a cleared slot past the end of `under`). With no
// table under it, a line kept for a mode of 1 or more gives its mode_mask
// field itself (an inherited mask comes from a cleared slot or from a line
// that was not kept), and with it every field the checks read, so each line
// has the same values in every such load that keeps it.
//
// Once the table is full the reader stops; the walk goes on over cleared
// slots only to tell which of the remaining lines the load would have kept.
Load load_over(const std::vector<ventrac::PilotLine> &lines, int mode,
               const std::vector<ElementSpec> &under) {
    const auto slot_start = [&under](std::size_t k) {
        return k < under.size() ? under[k] : ElementSpec{};
    };
    Load load;
    load.mode = mode;
    ElementSpec slot = slot_start(0);
    std::size_t at = 0;  // the slot `slot` stands for
    ventrac::walk_pilot_lines(
        lines, mode, [](std::size_t) {},
        [&](std::size_t k) -> ElementSpec & {
            if (k != at) {
                slot = slot_start(k);
                at = k;
            }
            return slot;
        },
        [&load, &slot](std::size_t i, std::size_t k) {
            if (k < VENTRAC_MAX_ELEMENTS) {
                load.table.push_back(slot);
                load.lines.push_back(i);
            } else {
                load.lost.push_back(i);
            }
            return true;
        });
    return load;
}

}  // namespace

bool Load::keeps_lines() const { return lines.size() > 1 || (lines.size() == 1 && lines[0] != 0); }

Pilot make_pilot(const std::string &path, const std::string &content) {
    Pilot p;
    p.path = path;
    p.lines = ventrac::parse_pilot(content);
    p.all = load_over(p.lines, 0, {});
    for (int m = kFirstMode; m <= kLastMode; ++m) p.modes.push_back(load_over(p.lines, m, {}));
    return p;
}

Load decoder_load(const Pilot &p, int mode) { return load_over(p.lines, mode, p.all.table); }

Role role_of(const Load &load, std::size_t index) {
    if (index == 0) return Role::ModeElement;
    const char *code = load.table[index].code;
    if (!ventrac::opens_group(code)) return Role::Plain;
    return ventrac::replication_of(code).delayed() ? Role::DelayedGroup : Role::FixedGroup;
}

bool law_invertible(const ElementSpec &e) {
    return std::isfinite(e.power) && std::isfinite(e.scale) && std::isfinite(e.reference) &&
           e.power != 0 && e.scale != 0;
}

// c^power is monotonic over c > 0 whatever the sign of power, so the ends of
// the range lie among the values of 0, 1 and max_coded.
std::optional<std::pair<double, double>> law_range(const ElementSpec &e) {
    if (!law_invertible(e) || e.max_coded < 0) return std::nullopt;
    std::optional<std::pair<double, double>> range;
    for (const double c : {0.0, 1.0, static_cast<double>(e.max_coded)}) {
        if (c > static_cast<double>(e.max_coded)) continue;
        const double v = ventrac::rules::physical_value(e, c);
        if (!std::isfinite(v)) continue;
        if (!range) range = std::pair{v, v};
        range->first = std::min(range->first, v);
        range->second = std::max(range->second, v);
    }
    return range;
}

std::string printable(const std::string &text) {
    std::string out = text;
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

}  // namespace check
