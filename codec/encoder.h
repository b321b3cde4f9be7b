// Encoder steps exposed to the tests and to the other parts of the codec.
#ifndef VENTRAC_ENCODER_H
#define VENTRAC_ENCODER_H

#include <cstdint>

namespace ventrac {

// Coded integer of value `ival` under element specel[j]: the inverse of the
// coding law, rounded, clipped to 0 .. max_coded; the all-ones value of the
// element's width when the value is missing. A result that is not a number
// or lies outside the 64-bit range codes as 0. Traces the coded value.
std::int64_t codage(int j, int ival, const double *values, const int *presence);

// `x` truncated toward zero, or INT64_MIN when it is NaN or out of range.
std::int64_t to_int64_or_min(double x) noexcept;

}  // namespace ventrac

#endif
