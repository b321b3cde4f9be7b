// SPDX-License-Identifier: Apache-2.0
// The rules of the message, one home each: the coding law and its inverse,
// the all-ones missing value, the replication layout and its repetition
// count, the plausibility of a decoded value and the size of a message.
// The encoder, the decoder and ventrac-check all call these; none keeps a
// copy of its own. Internal to the library and its companion programs.
#ifndef VENTRAC_RULES_H
#define VENTRAC_RULES_H

#include <cmath>
#include <cstdint>

#include "codec/bitops.h"
#include "codec/replication.h"
#include "pilot/law.h"
#include "pilot/pilot.h"
#include "pilot/reader.h"

namespace ventrac::rules {

// The coding law (physical_value, largest_value) lives in pilot/law.h.

// `x` truncated toward zero, or INT64_MIN when it is NaN or out of range.
std::int64_t to_int64_or_min(double x) noexcept;

// The coded integer of a present value: the inverse of the law, rounded,
// clipped to 0 .. max_coded; a result that is not a number or lies outside
// the 64-bit range codes as 0.
std::int64_t coded_value(const ElementSpec &e, double value) noexcept;

// The all-ones value of the element's width: the code of a missing value
// (every bit for widths of 64 and more).
inline std::uint64_t missing_code(const ElementSpec &e) { return bits::all_ones(e.nbits); }

// The width the packer is handed: the 8-bit width read as a signed number,
// so that widths of 128 and more write and read nothing.
inline signed char packed_width(const ElementSpec &e) { return static_cast<signed char>(e.nbits); }

// Why a decoded element is usable or not.
enum class Status { Valid, Missing, Implausible };

// The status of raw code `raw` under a plain element (not a replication
// descriptor): all ones is missing; a value outside min_valid .. max_valid
// (NaN included) is implausible.
inline Status status_of(const ElementSpec &e, std::uint64_t raw, double value) {
    if (raw == missing_code(e)) return Status::Missing;
    return value >= e.min_valid && value <= e.max_valid ? Status::Valid : Status::Implausible;
}

// The size of a message of `count` table entries, the mode element
// included, walked as the encoder walks it with every delayed count at 0 and
// every fixed group repeated YYY times. `unknown` when a group reaches past
// the last entry (the walk would read entries the load did not keep).
struct MessageSize {
    std::uint64_t bits = 0;  // saturates at 2^40
    bool unknown = false;
};
MessageSize message_size(const ElementSpec *table, int count);

}  // namespace ventrac::rules

#endif
