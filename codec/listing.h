// SPDX-License-Identifier: Apache-2.0
// The listing of the element table that the encoder and the decoder trace,
// one line per element. Internal.
#ifndef VENTRAC_LISTING_H
#define VENTRAC_LISTING_H

#include "pilot/pilot.h"
#include "pilot/sink.h"

namespace ventrac {

// The two listings differ in two places, as their readers have always seen
// them: the encoder's puts two blanks before the unit and prints mode_mask
// as an unsigned number; the decoder's one blank, and mode_mask signed.
enum class Listing { Encoder, Decoder };

// Writes the line of `e` to `trace` in the given style.
void list_element(const Sink &trace, const ElementSpec &e, Listing style);

}  // namespace ventrac

#endif
