// SPDX-License-Identifier: Apache-2.0
// Replication descriptors, shared by the encoder and the decoder.
#ifndef VENTRAC_REPLICATION_H
#define VENTRAC_REPLICATION_H

#include "pilot/pilot.h"

namespace ventrac {

// A descriptor F XX YYY whose first character is '1' or '4' opens a group of
// the XX following table entries, repeated YYY times (000: the count is
// carried in the message as this descriptor's own coded value).
struct Replication {
    char kind;        // '1' or '4'
    int group_size;   // XX
    int repetitions;  // YYY
    bool delayed() const { return repetitions == 0; }
};

inline bool opens_group(const char *code) { return code[0] == '1' || code[0] == '4'; }

// Reads XX and YYY from a descriptor that opens a group.
Replication replication_of(const char *code);

// Walks never go past the element table, whatever a group's size claims.
inline int table_end(int i2) { return i2 < VENTRAC_MAX_ELEMENTS ? i2 : VENTRAC_MAX_ELEMENTS; }

// Upper bound on the steps of one walk over the element table (elements,
// descriptors and repetitions visited), in either direction. The packed
// buffer's 8192 bits and the 1024 decoded entries bound every walk that
// writes something; this bound also ends walks that write nothing, such as a
// huge count over zero-width elements, kind '4' factors or empty groups.
constexpr long kMaxWalkSteps = 64L * 1024;

// Class 31 descriptor of a delayed replication factor of kind '1', by its
// width: the code the decoder gives the factor's entry.
inline const char *factor_code(int nbits) {
    if (nbits == 1) return "031000";
    return nbits > 8 ? "031002" : "031001";
}

// A repetition count taken from a physical value: truncated toward zero;
// NaN or a value outside the 32-bit range gives no repetition.
int repetition_count(double value) noexcept;

}  // namespace ventrac

#endif
