// SPDX-License-Identifier: Apache-2.0
// Width-safe bit arithmetic: shifts by 64 or more give 0 instead of undefined
// behaviour, and all-ones masks of any width are exact.
#ifndef VENTRAC_BITOPS_H
#define VENTRAC_BITOPS_H

#include <cstdint>

namespace ventrac::bits {

constexpr std::uint64_t shift_left(std::uint64_t v, int n) noexcept { return n >= 64 ? 0 : v << n; }

constexpr std::uint64_t shift_right(std::uint64_t v, int n) noexcept {
    return n >= 64 ? 0 : v >> n;
}

// The all-ones value of a field of `width` bits (0 for a width of 0 or less;
// every bit for widths of 64 and more).
constexpr std::uint64_t all_ones(int width) noexcept {
    if (width <= 0) return 0;
    if (width >= 64) return ~std::uint64_t{0};
    return (std::uint64_t{1} << width) - 1;
}

}  // namespace ventrac::bits

#endif
