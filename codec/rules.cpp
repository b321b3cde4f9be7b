// SPDX-License-Identifier: Apache-2.0
#include "codec/rules.h"

#include <algorithm>

namespace ventrac::rules {

namespace {

// The packed buffer holds 8192 bits; sizes are kept up to a bound well above.
constexpr std::uint64_t kSizeBound = std::uint64_t{1} << 40;

// The bits the packer writes for an element: none for a negative width.
std::uint64_t written_bits(const ElementSpec &e) {
    const int width = packed_width(e);
    return width > 0 ? static_cast<std::uint64_t>(width) : 0;
}

std::uint64_t saturated_sum(std::uint64_t a, std::uint64_t b) {
    return std::min(kSizeBound, a + b);
}

// One pass over the entries first .. first + n - 1. Passes of a fixed group
// all write the same bits, so one pass is multiplied.
MessageSize pass(const ElementSpec *table, int count, int first, int n) {
    MessageSize s;
    const int end = table_end(first + n);
    for (int j = first; j < end; ++j) {
        if (j >= count) {
            s.unknown = true;
            return s;
        }
        const ElementSpec &e = table[j];
        std::uint64_t bits = written_bits(e);
        if (opens_group(e.code)) {
            const Replication rep = replication_of(e.code);
            // A delayed group sends its count (at 0 here), not its elements.
            if (!rep.delayed()) {
                const MessageSize inner = pass(table, count, j + 1, rep.group_size);
                if (inner.unknown) return inner;
                bits =
                    std::min(kSizeBound, inner.bits * static_cast<std::uint64_t>(rep.repetitions));
            }
            j += rep.group_size;
        }
        s.bits = saturated_sum(s.bits, bits);
    }
    return s;
}

}  // namespace

std::int64_t to_int64_or_min(double x) noexcept {
    // Every double in [-2^63, 2^63) converts exactly; anything else (NaN
    // included) takes the most negative value, as an out-of-range result.
    if (x >= -9223372036854775808.0 && x < 9223372036854775808.0)
        return static_cast<std::int64_t>(x);
    return INT64_MIN;
}

std::int64_t coded_value(const ElementSpec &e, double value) noexcept {
    const double x = law_power((value - e.reference) / e.scale, 1.0 / e.power);
    std::int64_t c = to_int64_or_min(x + 0.5);
    if (c > e.max_coded) c = e.max_coded;
    return c < 0 ? 0 : c;
}

MessageSize message_size(const ElementSpec *table, int count) {
    if (count <= 0) return {};
    MessageSize s = pass(table, count, 1, count - 1);
    if (!s.unknown) s.bits = saturated_sum(s.bits, written_bits(table[0]));
    return s;
}

}  // namespace ventrac::rules
