// SPDX-License-Identifier: Apache-2.0
// The coding law of an element, its one home: the physical value v of a
// coded integer c is c^power * scale + reference. The pilot reader derives
// the default upper plausibility bound from it; the encoder, the decoder and
// ventrac-check reach it through codec/rules.h.
#ifndef VENTRAC_LAW_H
#define VENTRAC_LAW_H

#include <cmath>

#include <ventrac/types.h>

namespace ventrac {

// x raised to `power`, as the coding law uses it; the usual power 1 skips
// the library call (pow(x, 1) is x exactly).
inline double law_power(double x, double power) { return power == 1.0 ? x : std::pow(x, power); }

namespace rules {

// The physical value of coded integer `coded`: coded^power * scale + reference.
inline double physical_value(const ventrac_element_spec &e, double coded) {
    return law_power(coded, e.power) * e.scale + e.reference;
}

// The physical value the largest coded integer gives: the default upper
// plausibility bound, and the magnitude the display format is sized for.
inline double largest_value(const ventrac_element_spec &e) {
    return physical_value(e, static_cast<double>(e.max_coded));
}

}  // namespace rules
}  // namespace ventrac

#endif
