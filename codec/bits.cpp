// SPDX-License-Identifier: Apache-2.0
// Bit fields of the packed buffer, most significant bit first.
#include <algorithm>
#include <cinttypes>
#include <cstdint>

#include "codec/bitops.h"
#include "codec/codec.h"
#include "codec/fields.h"
#include "pilot/sink.h"
#include "pilot/trace.h"

namespace {

using ventrac::bits::all_ones;
using ventrac::bits::shift_left;
using ventrac::bits::shift_right;

constexpr std::uint64_t kBufferBits = 8u * VENTRAC_PACKED_SIZE;

// Whether a field of `nbits` starting at `bitpos` ends inside the buffer.
// A negative width is taken the way an unsigned 32-bit sum takes it.
bool field_fits(signed char nbits, std::uint32_t bitpos) {
    std::uint64_t end;
    if (nbits < 0)
        end = static_cast<std::uint32_t>(static_cast<std::uint32_t>(nbits) + bitpos);
    else
        end = std::uint64_t{bitpos} + static_cast<std::uint64_t>(nbits);
    return (end + 7) / 8 <= VENTRAC_PACKED_SIZE;
}

// Bytes past the buffer's `size` bytes read as zero.
unsigned byte_at(const unsigned char *data, std::size_t size, std::uint32_t index) {
    return index < size ? data[index] : 0u;
}

}  // namespace

extern "C" int pak(unsigned char *buffer, int64_t value, signed char nbits, uint32_t *bitpos) {
    if (!field_fits(nbits, *bitpos)) return 0;
    int remaining = nbits;
    std::uint64_t bits = static_cast<std::uint64_t>(value) & all_ones(remaining);
    while (remaining > 0) {
        const int offset = static_cast<int>(*bitpos % 8);
        const int n = std::min(8 - offset, remaining);
        const std::uint64_t piece = shift_right(bits, remaining - n) << (8 - n - offset);
        buffer[*bitpos / 8] |= static_cast<unsigned char>(piece & 0xFFu);
        *bitpos += static_cast<std::uint32_t>(n);
        remaining -= n;
        bits &= all_ones(remaining);
    }
    return 1;
}

namespace ventrac {

std::int64_t extract_field(const unsigned char *data, std::size_t size, signed char nbits,
                           std::uint32_t &adbit, const Sink &trace) {
    const bool tracing = trace.on();
    if (tracing)
        trace.print("---- \nENTREE DEPAK: On extrait %d bits a partir du bit num %d\n", nbits,
                    static_cast<int>(adbit));
    std::uint64_t value = 0;
    int remaining = nbits;
    while (remaining > 0) {
        const std::uint32_t noct = adbit / 8;
        const int nd = static_cast<int>(adbit % 8);
        const int avail = 8 - nd;
        const int nb = std::min(avail, remaining);
        const unsigned pk = byte_at(data, size, noct);
        const unsigned tmp1 = (pk >> (avail - nb)) & 0xFFu;
        if (tracing)
            trace.print("DEPAK: adbit=%d no=%d noct=%d nd=%d nb=%dpk=%u tmp1=%u",
                        static_cast<int>(adbit), remaining, static_cast<int>(noct), nd, nb, pk,
                        tmp1);
        adbit += static_cast<std::uint32_t>(nb);
        remaining -= nb;
        value |= shift_left(tmp1 & all_ones(nb), remaining);
        if (tracing) trace.print("\t\tval=%" PRIx64 "  \tno=%d\n", value, remaining);
    }
    return static_cast<std::int64_t>(value);
}

}  // namespace ventrac

extern "C" int64_t depak(const unsigned char *data, signed char nbits, uint32_t *adbit) {
    return ventrac::extract_field(data, VENTRAC_PACKED_SIZE, nbits, *adbit,
                                  ventrac::Sink::to_file(ventrac::trace::sink()));
}

std::vector<std::uint8_t> bitdpaq(const unsigned char *data, int nbits) {
    const int count = static_cast<int>(std::clamp<std::int64_t>(nbits, 0, kBufferBits));
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) bits[i] = (data[i / 8] >> (7 - i % 8)) & 1u;
    return bits;
}
