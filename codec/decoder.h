// SPDX-License-Identifier: Apache-2.0
// The decoder's walk over the element table, with all its state in one
// DecodeEnv: the legacy decomprime() and every decoding context run it.
// Internal to the library (and its tests).
#ifndef VENTRAC_DECODER_H
#define VENTRAC_DECODER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/replication.h"
#include "pilot/sink.h"

namespace ventrac {

// A delayed replication the walk read: its kind ('1' or '4'), the count the
// factor gave, and the table index of its descriptor.
struct DelayedFactor {
    char kind;
    int count;
    int entry;
};

// What decoding an entry of a table needs that depends on the entry alone,
// worked out once per table rather than once per decoded element: the
// lengths of its texts and its display format.
struct PreparedEntry {
    std::uint16_t code_length = 0;
    std::uint16_t name_length = 0;
    std::uint16_t unit_length = 0;
    std::uint16_t comment_length = 0;
    bool character_data = false;  // unit "CCITTIA5": no display texts
    int width = 0;                // of the display format
    int decimals = 0;
    char format[12] = {};
};

PreparedEntry prepare_entry(const ElementSpec &e);

// Everything one decoding works with.
struct DecodeEnv {
    // The element table: entries past `table_size` (up to the 1024 a walk
    // may reach) read as a cleared entry.
    const ElementSpec *table = nullptr;
    int table_size = 0;
    // prepare_entry() of each of the `table_size` entries, or null. With
    // them, decoded entries get the pilot record's texts up to their
    // terminators; without them (donnees), the whole record, bytes past the
    // terminators included.
    const PreparedEntry *prepared = nullptr;
    // The decoded table (VENTRAC_MAX_ELEMENTS entries) and, when not null,
    // each entry's rules::Status.
    DecodedElement *out = nullptr;
    std::uint8_t *status = nullptr;
    // The delayed replications read, when not null.
    std::vector<DelayedFactor> *factors = nullptr;
    const unsigned char *packed = nullptr;
    std::size_t size = VENTRAC_PACKED_SIZE;  // bytes of `packed`; the rest reads as zero
    Sink trace;
    // Replication counters: groups of kind '1' entered, delayed factors of
    // kind '1'.
    std::int32_t num_rep_tr = -1;
    std::int32_t nb_rep_d_dev = -1;
    std::uint32_t adbit = 0;  // next bit address to read
    int nout = 0;             // next free decoded entry
    long steps = 0;           // checked against kMaxWalkSteps

    const ElementSpec &spec(int j) const;
};

// Display format of an element: "%<width>.<decimals>f", at most 11 characters.
// Integer digits come from |vmax| truncated and clamped to 0 .. 2^31 - 1
// (NaN counts as 0), so at most 10. Decimals: none when scale > 1, else
// ceil(|log10(scale)|) capped at 15; a negative scale counts by its
// magnitude, a scale of 0 takes the cap, NaN or an infinite scale takes none.
std::string cree_form(double vmax, double scale);

// Writes `v` into `out` (`size` bytes) as printf's "%<width>.<decimals>f"
// does (decimals 0 to 15), without allocating; cut to size - 1 characters
// like snprintf.
void format_fixed(char *out, std::size_t size, int width, int decimals, double v);

// Reads the operating mode from the head of the message, in entry 0's
// width: the low 8 bits, as a signed number. Traces a line feed after it.
signed char read_mode(DecodeEnv &env);

// Lists the first `count` entries of `table` and "IER=<count>".
void list_elements(const Sink &trace, const ElementSpec *table, int count);

// The data-type code of `mode`: a single entry for mode -1 stands for every
// mode; otherwise the first listed entry of the mode (at most 32 are read).
bool data_type_code(const DataTypeEntry &types, signed char mode, std::int32_t &code);

// Decodes the elements 1 .. count - 1 of the table from env.adbit, walking
// replicated groups as the message says. Returns false when the decoded
// table is full or the walk takes more than kMaxWalkSteps steps.
bool decode_elements(DecodeEnv &env, int count);

// The numbered error lines of the decoder.
extern const char *const kMessage253;
extern const char *const kMessage234;
extern const char *const kMessage252;

}  // namespace ventrac

#endif
