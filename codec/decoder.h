// Decoder steps exposed to the tests and to the other parts of the codec.
#ifndef VENTRAC_DECODER_H
#define VENTRAC_DECODER_H

#include <cstdint>
#include <string>

#include "codec/replication.h"

namespace ventrac {

// State of one decoding walk, shared by the nested sequence walks.
struct DecodeWalk {
    const unsigned char *packed;  // VENTRAC_PACKED_SIZE-byte buffer
    std::uint32_t adbit = 0;      // next bit address to read
    int nout = 0;                 // next free entry of donnees
    long steps = 0;               // steps taken, checked against kMaxWalkSteps
};

// Display format of an element: "%<width>.<decimals>f", at most 11 characters.
// Integer digits come from |vmax| truncated and clamped to 0 .. 2^31 - 1
// (NaN counts as 0), so at most 10. Decimals: none when scale > 1, else
// ceil(|log10(scale)|) capped at 15; a negative scale counts by its
// magnitude, a scale of 0 takes the cap, NaN or an infinite scale takes none.
std::string cree_form(double vmax, double scale);

// Decodes specel[j] at bit address `adbit` of `packed` into donnees[out]
// (j and out must lie in 0..1023) and advances `adbit` past it. Appends
// `suffix` to the name, cut to the name's 63 characters. A kind '4' factor
// only gets its spec, value and validity.
void dextrait(int j, int out, const unsigned char *packed, std::uint32_t &adbit,
              const std::string &suffix);

// Walks specel[start] .. specel[start + nbpar - 1] (start >= 0; never past
// the table's end) `nbsec` times, decoding into donnees from walk.nout;
// leaves `start` on the last element of the range. `depth` 0 leaves names as they are; deeper
// walks suffix them, from the caller's `suffix`.
// Returns false when donnees is full or the walk takes more than
// kMaxWalkSteps steps.
bool un_pak_n_seq(int &start, int nbpar, int nbsec, DecodeWalk &walk, int depth,
                  const std::string &suffix);

}  // namespace ventrac

#endif
