// SPDX-License-Identifier: Apache-2.0
#include "codec/listing.h"

#include <cinttypes>
#include <cstdint>

namespace ventrac {

void list_element(const Sink &trace, const ElementSpec &e, Listing style) {
    if (!trace.on()) return;
    if (style == Listing::Encoder)
        trace.print("%s %s %2d %2.0f %10.5f %f %6" PRId64 " %3" PRIu64
                    "  %.16s %8.3f %8.2f %1d %s\n",
                    e.code, e.name, e.nbits, e.power, e.scale, e.reference, e.max_coded,
                    e.mode_mask, e.unit, e.conv_factor, e.conv_offset, e.flag, e.comment);
    else
        trace.print("%s %s %2d %2.0f %10.5f %f %6" PRId64 " %3" PRId64
                    " %.16s %8.3f %8.2f %1d %s\n",
                    e.code, e.name, e.nbits, e.power, e.scale, e.reference, e.max_coded,
                    static_cast<std::int64_t>(e.mode_mask), e.unit, e.conv_factor, e.conv_offset,
                    e.flag, e.comment);
}

}  // namespace ventrac
