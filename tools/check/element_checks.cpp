// SPDX-License-Identifier: Apache-2.0
// Checks on each element with the values the reader gives it. They read the
// load of mode 0, which keeps every line in a slot of its own: a line kept in
// a mode of 1 or more has the same values there (see pilot_model.cpp), and a
// line kept in no such mode is still sent in mode 0. A check runs only when
// the line gives every field it reads: a value a line leaves out depends on
// the lines and loads before it, and line_checks.cpp reports that.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "codec/rules.h"
#include "findings.h"

namespace check {

namespace {

// Widths up to 53 bits code every integer exactly in a double.
constexpr int kMaxExactWidth = 53;
// Delayed counts are checked from the lowest to this many repetitions.
constexpr int kLargestCountChecked = 1000;

std::string number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

namespace rules = ventrac::rules;

constexpr std::size_t kNbits = 2, kReference = 5, kMaxCoded = 6;

// Fields are given from position 0 on, so giving `position` gives all before.
bool gives(const ventrac::PilotLine &line, std::size_t position) {
    return line.tokens.size() > position;
}

void check_width(int line, const ElementSpec &e, Role role, Findings &f) {
    const std::string subject = role == Role::ModeElement ? "the operating mode" : "the value";
    if (e.nbits == 0)
        f.error(line, "nbits is 0: " + subject + " is never sent");
    else if (e.nbits > kMaxExactWidth)
        f.error(line, "nbits " + std::to_string(e.nbits) + " is above 53: " + subject +
                          " is not coded exactly");
}

void check_max_coded(int line, const ElementSpec &e, Findings &f) {
    if (e.max_coded < 0)
        f.error(line, "max_coded is read as " + std::to_string(e.max_coded) +
                          ": every present value codes as 0");
    else if (static_cast<std::uint64_t>(e.max_coded) > rules::missing_code(e))
        f.error(line, "max_coded " + std::to_string(e.max_coded) + " does not fit in " +
                          std::to_string(e.nbits) + " bits (at most " +
                          std::to_string(rules::missing_code(e)) +
                          "): larger coded values lose their high bits");
}

// Returns whether the law can be inverted.
bool check_law(int line, const ElementSpec &e, Findings &f) {
    std::string faults;
    const auto add = [&faults](const std::string &fault) {
        faults += (faults.empty() ? "" : ", ") + fault;
    };
    if (e.scale == 0) add("scale is 0");
    if (e.power == 0) add("power is 0");
    if (!std::isfinite(e.scale)) add("scale is not a finite number");
    if (!std::isfinite(e.power)) add("power is not a finite number");
    if (!std::isfinite(e.reference)) add("reference is not a finite number");
    if (faults.empty()) return true;
    f.error(line, "the coding law cannot be inverted: " + faults);
    return false;
}

// A delayed count must come back whole: the encoder repeats the group by the
// count in the data, the decoder by the count it reads from the message. Every
// whole count n that the law reaches, from the lowest (at least 0) to the
// highest (at most kLargestCountChecked), is coded as the encoder codes a
// present value and decoded; the decoder's count, the decoded value truncated
// toward zero, must be n again.
void check_count_law(int line, const ElementSpec &e, Findings &f) {
    const auto range = law_range(e);
    if (!range) return;
    const double lowest = std::fmax(0.0, std::ceil(range->first));
    const double highest =
        std::fmin(static_cast<double>(kLargestCountChecked), std::floor(range->second));
    if (!(lowest <= highest)) return;
    for (int n = static_cast<int>(lowest); n <= static_cast<int>(highest); ++n) {
        const std::int64_t c = rules::coded_value(e, n);
        const int back =
            ventrac::repetition_count(rules::physical_value(e, static_cast<double>(c)));
        if (back == n) continue;
        f.error(line, "delayed count does not code whole counts exactly: a count of " +
                          std::to_string(n) + " is sent as " + std::to_string(c) +
                          " and read back as " + std::to_string(back));
        return;
    }
}

void check_all_ones(int line, const ElementSpec &e, Findings &f) {
    if (e.nbits > 0 && e.nbits < 64 && e.max_coded >= 0 &&
        static_cast<std::uint64_t>(e.max_coded) == rules::missing_code(e))
        f.warning(line, "max_coded " + std::to_string(e.max_coded) + " is all ones in " +
                            std::to_string(e.nbits) +
                            " bits: a present value clipped to it reads as missing");
}

// Each present code must come back: the value the decoder makes of it, coded
// again as the encoder codes it, must give the same code. Where the values
// are too large for their step, a double cannot tell neighbouring values
// apart, and a value comes back a step off, or as the all-ones code of a
// missing value. Values are largest, and steps smallest against them, at
// the ends of the range: the codes checked are the few at each end.
void check_resolution(int line, const ElementSpec &e, Findings &f) {
    if (e.nbits <= 0 || e.nbits > kMaxExactWidth || e.max_coded < 0) return;
    const std::uint64_t top =
        std::min(static_cast<std::uint64_t>(e.max_coded), rules::missing_code(e) - 1);
    constexpr std::uint64_t kEnd = 3;  // codes checked at each end
    const auto comes_back = [&](std::uint64_t c) {
        const double value = rules::physical_value(e, static_cast<double>(c));
        const std::int64_t back = rules::coded_value(e, value);
        if (back == static_cast<std::int64_t>(c)) return true;
        char shown[32];
        std::snprintf(shown, sizeof shown, "%.17g", value);
        f.error(line, "code " + std::to_string(c) + " reads as " + shown +
                          ", which is sent as code " + std::to_string(back) +
                          ": the values are too large for their step to be told apart");
        return false;
    };
    for (std::uint64_t c = 0; c < kEnd && c <= top; ++c)
        if (!comes_back(c)) return;
    for (std::uint64_t c = std::max(kEnd, top < kEnd ? 0 : top - kEnd + 1); c <= top; ++c)
        if (!comes_back(c)) return;
}

// The decoder marks a value outside min_valid .. max_valid as not valid. Bounds
// that reach past what the law codes let a clipped value through as
// plausible; bounds that leave out the whole range reject every value.
void check_bounds(int line, const ElementSpec &e, Findings &f) {
    const auto range = law_range(e);
    if (!range || std::isnan(e.min_valid) || std::isnan(e.max_valid)) return;
    const auto [lo, hi] = *range;
    const double slack = 1e-9 * std::fmax(1.0, std::fmax(std::fabs(lo), std::fabs(hi)));
    const std::string bounds =
        "plausibility bounds " + number(e.min_valid) + " .. " + number(e.max_valid);
    const std::string law = " the coding law gives (" + number(lo) + " .. " + number(hi) + ")";
    if (e.min_valid > e.max_valid || e.min_valid > hi + slack || e.max_valid < lo - slack)
        f.warning(line,
                  bounds + " leave out every value" + law + ": every value reads as not valid");
    else if (e.min_valid < lo - slack || e.max_valid > hi + slack)
        f.warning(line, bounds + " reach past the values" + law +
                            ": a value clipped to its ends passes as plausible");
}

}  // namespace

void check_elements(const Pilot &p, Findings &f) {
    const Load &load = p.all;
    for (std::size_t i = 0; i < load.table.size(); ++i) {
        const ElementSpec &e = load.table[i];
        const ventrac::PilotLine &text = p.lines[load.lines[i]];
        const int line = text.line_number;
        const Role role = role_of(load, i);
        if (role == Role::FixedGroup || !gives(text, kNbits)) continue;  // no value, or inherited
        check_width(line, e, role, f);
        if (role == Role::ModeElement) continue;  // only its width is used
        const bool invertible = gives(text, kReference) && check_law(line, e, f);
        if (!gives(text, kMaxCoded)) continue;
        check_max_coded(line, e, f);
        if (role == Role::DelayedGroup) {
            // The decoder reads a count coded as all ones as a count.
            if (invertible) check_count_law(line, e, f);
            continue;
        }
        check_all_ones(line, e, f);
        if (invertible) {
            check_resolution(line, e, f);
            check_bounds(line, e, f);
        }
    }
}

}  // namespace check
