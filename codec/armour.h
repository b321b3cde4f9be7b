// SPDX-License-Identifier: Apache-2.0
// The six-bit text armour with an explicit trace sink: the step under
// telexin() and under every encoding context.
#ifndef VENTRAC_ARMOUR_H
#define VENTRAC_ARMOUR_H

#include "pilot/sink.h"

namespace ventrac {

// Writes the transmitted text of the first `nbytes` bytes of `packed` into
// `out` as telexin() does, tracing each six-bit group to `trace`. Reads
// `packed` only up to byte nbytes - 1. Returns the number of bytes written,
// or -1 (nothing written) for a NULL pointer or nbytes outside 0 to
// VENTRAC_PACKED_SIZE.
int write_text(const char *identifier, const unsigned char *packed, int nbytes, char *out,
               const Sink &trace);

}  // namespace ventrac

#endif
