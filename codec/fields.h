// SPDX-License-Identifier: Apache-2.0
// Bit fields read with an explicit trace sink and buffer size: the step
// under depak() and under every decoding context.
#ifndef VENTRAC_FIELDS_H
#define VENTRAC_FIELDS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pilot/sink.h"

namespace ventrac {

// Extracts the `nbits`-bit field at bit address `adbit` of `data` and
// advances `adbit` by `nbits`, tracing each step to `trace` as depak() does.
// Bytes from `size` on read as zero: never reads data[size] or beyond.
// Returns 0 for a width of 0 or less (adbit then stays); widths above 64
// keep the low 64 bits.
std::int64_t extract_field(const unsigned char *data, std::size_t size, signed char nbits,
                           std::uint32_t &adbit, const Sink &trace);

}  // namespace ventrac

// Spreads the first `nbits` bits of the packed buffer `data` into one byte per
// bit (0 or 1), bit i of the stream in entry i. `nbits` is clamped to
// 0 .. 8 * VENTRAC_PACKED_SIZE.
std::vector<std::uint8_t> bitdpaq(const unsigned char *data, int nbits);

#endif
