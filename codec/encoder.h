// SPDX-License-Identifier: Apache-2.0
// The encoder's walk over the element table, with all its state in one
// EncodeEnv: the legacy comprime() and every encoding context run it.
// Internal to the library (and its tests).
#ifndef VENTRAC_ENCODER_H
#define VENTRAC_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <optional>

#include <ventrac/ventrac.h>
#include "codec/codec.h"
#include "pilot/sink.h"

namespace ventrac {

// Everything one encoding works with.
struct EncodeEnv {
    // The element table: entries past `table_size` (up to the 1024 a walk
    // may reach) read as a cleared entry.
    const ElementSpec *table = nullptr;
    int table_size = 0;
    // Values and presence flags; indexes from `nvalues` on read as missing.
    const double *values = nullptr;
    const int *presence = nullptr;
    std::size_t nvalues = 0;
    unsigned char *buffer = nullptr;  // VENTRAC_PACKED_SIZE bytes
    Sink trace;
    std::uint32_t bitpos = 0;
    int ival = 0;     // next value to consume
    long steps = 0;   // checked against kMaxWalkSteps
    int failure = 0;  // why the walk stopped: a negative error number
    // A refused delayed count: the repetitions it would have sent.
    int refused_count = 0;

    const ElementSpec &spec(int j) const;
};

// Clears the buffer, writes `mode` in entry 0's width, then codes and packs
// the values of entries 1 .. count - 1, walking replicated groups. Returns
// the packed size in bytes, or -VENTRAC_ERR_FULL when a field does not fit,
// -VENTRAC_ERR_TOO_MANY when the walk takes more than kMaxWalkSteps steps,
// -VENTRAC_ERR_COUNT when a delayed count would not be read back as the
// number of repetitions sent (`refused_count`).
int pack_message(EncodeEnv &env, signed char mode, int count);

// The code a delayed count is sent with. `sent` repetitions are walked (the
// count taken from the value, 0 when negative or unusable); `today` is the
// code the value and its presence flag give. The decoder must read `sent`
// back: `today` is kept when it does, else `sent` itself is coded as a
// present value; nothing when neither reads back as `sent`.
std::optional<std::int64_t> delayed_count_code(const ElementSpec &e, int sent, std::int64_t today);

// The number of repetitions the decoder walks for a delayed count sent as
// `code` under `e`.
int count_read_back(const ElementSpec &e, std::int64_t code);

// The error line of a refused count, without the leading names.
extern const char *const kMessage246;

// Coded integer of value `ival` under element specel[j]: the inverse of the
// coding law, rounded, clipped to 0 .. max_coded; the all-ones value of the
// element's width when the value is missing. A result that is not a number
// or lies outside the 64-bit range codes as 0. Traces the coded value.
std::int64_t codage(int j, int ival, const double *values, const int *presence);

}  // namespace ventrac

#endif
