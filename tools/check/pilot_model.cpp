#include "pilot_model.h"

#include <algorithm>
#include <cmath>

namespace check {

namespace {

Element element_of(const ElementSpec &spec, std::size_t line) {
    Element e;
    e.line = line;
    e.code = spec.code;
    e.name = spec.name;
    e.nbits = spec.nbits;
    e.power = spec.power;
    e.scale = spec.scale;
    e.reference = spec.reference;
    e.max_coded = spec.max_coded;
    e.min_valid = spec.min_valid;
    e.max_valid = spec.max_valid;
    return e;
}

// The same steps as load_specif(): every line is applied to the current slot
// over what the slot holds, and the slot moves on only when the line is kept,
// so a line that is not kept leaves its fields to the next line of the slot.
// The table starts cleared, as in a program that has loaded nothing yet (the
// encoder at sea). A line kept for a mode of 1 or more gives its mode_mask
// field itself (an inherited mask comes from a cleared slot or from a line
// that was not kept), and with it every field the checks read, so each line
// has the same values in every load that keeps it.
Load load_for_mode(const std::vector<ventrac::PilotLine> &lines, int mode) {
    std::vector<ElementSpec> table(VENTRAC_MAX_ELEMENTS);
    Load load;
    load.mode = mode;
    std::size_t slot = 0;
    for (std::size_t i = 0; i < lines.size() && slot < table.size(); ++i) {
        ventrac::apply_pilot_line(table[slot], lines[i]);
        if (ventrac::kept_in_mode(table[slot].mode_mask, mode)) {
            load.entries.push_back(element_of(table[slot], i));
            ++slot;
        }
    }
    return load;
}

int digit(char c) { return c >= '0' && c <= '9' ? c - '0' : 0; }

}  // namespace

bool Load::keeps_lines() const {
    return entries.size() > 1 || (entries.size() == 1 && entries[0].line != 0);
}

Pilot make_pilot(const std::string &path, const std::string &content) {
    Pilot p;
    p.path = path;
    p.lines = ventrac::parse_pilot(content);
    p.all = load_for_mode(p.lines, 0);
    for (int m = kFirstMode; m <= kLastMode; ++m) p.modes.push_back(load_for_mode(p.lines, m));
    return p;
}

Role role_of(const Load &load, std::size_t index) {
    if (index == 0) return Role::ModeElement;
    const std::string &code = load.entries[index].code;
    if (!opens_group(code)) return Role::Plain;
    return group_of(code).repetitions == 0 ? Role::DelayedGroup : Role::FixedGroup;
}

bool opens_group(const std::string &code) {
    return !code.empty() && (code[0] == '1' || code[0] == '4');
}

// Codes always hold at least six digits ("%6.6lu").
Group group_of(const std::string &code) {
    Group g;
    if (code.size() < 6) return g;
    g.size = digit(code[1]) * 10 + digit(code[2]);
    g.repetitions = digit(code[3]) * 100 + digit(code[4]) * 10 + digit(code[5]);
    return g;
}

std::uint64_t all_ones(int width) {
    if (width <= 0) return 0;
    if (width >= 64) return ~std::uint64_t{0};
    return (std::uint64_t{1} << width) - 1;
}

double decode(const Element &e, double coded) {
    // The very expression the reader uses for the default max_valid.
    return std::pow(coded, e.power) * e.scale + e.reference;
}

std::int64_t encode(const Element &e, double value) {
    const double x = std::pow((value - e.reference) / e.scale, 1.0 / e.power) + 0.5;
    std::int64_t c = 0;
    if (x >= -9223372036854775808.0 && x < 9223372036854775808.0) c = static_cast<std::int64_t>(x);
    if (c > e.max_coded) c = e.max_coded;
    return c < 0 ? 0 : c;
}

bool law_invertible(const Element &e) {
    return std::isfinite(e.power) && std::isfinite(e.scale) && std::isfinite(e.reference) &&
           e.power != 0 && e.scale != 0;
}

// c^power is monotonic over c > 0 whatever the sign of power, so the ends of
// the range lie among the values of 0, 1 and max_coded.
std::optional<std::pair<double, double>> law_range(const Element &e) {
    if (!law_invertible(e) || e.max_coded < 0) return std::nullopt;
    std::optional<std::pair<double, double>> range;
    for (const double c : {0.0, 1.0, static_cast<double>(e.max_coded)}) {
        if (c > static_cast<double>(e.max_coded)) continue;
        const double v = decode(e, c);
        if (!std::isfinite(v)) continue;
        if (!range) range = std::pair{v, v};
        range->first = std::min(range->first, v);
        range->second = std::max(range->second, v);
    }
    return range;
}

int repetitions_from(double value) {
    if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int>(value);
    return 0;
}

std::string printable(const std::string &text) {
    std::string out = text;
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

}  // namespace check
