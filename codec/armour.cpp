// SPDX-License-Identifier: Apache-2.0
// Six-bit text armour: the packed stream as characters 0x40 to 0x7F behind a
// right-aligned 7-character identifier.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "codec/armour.h"
#include "codec/codec.h"
#include "codec/fields.h"
#include "pilot/sink.h"
#include "pilot/text.h"

namespace {

constexpr int kGroupBits = 6;

// Number of six-bit characters that carry `nbytes` packed bytes.
int characters_for(int nbytes) {
    const int nbits = 8 * nbytes;
    return nbits / kGroupBits + (nbits % kGroupBits != 0 ? 1 : 0);
}

// Writes the identifier, trimmed and cut to 7 characters, right-aligned in
// the first 7 bytes of `out`.
void write_identifier(std::string_view identifier, char *out) {
    std::string_view kept = ventrac::trim_blanks(identifier);
    kept = kept.substr(0, VENTRAC_IDENT_LEN);
    const std::size_t pad = VENTRAC_IDENT_LEN - kept.size();
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, kept.data(), kept.size());
}

// Reads the identifier back: the first 7 characters of the text, fewer when
// a zero byte or the end of the text comes first, trimmed of blanks.
void read_identifier(const char *text, int length, char *identifier_out) {
    const std::size_t limit = static_cast<std::size_t>(std::clamp(length, 0, VENTRAC_IDENT_LEN));
    std::size_t n = 0;
    while (n < limit && text[n] != '\0') ++n;
    ventrac::copy_text(identifier_out, VENTRAC_IDENT_LEN + 1,
                       ventrac::trim_blanks(std::string_view(text, n)));
}

}  // namespace

namespace ventrac {

int write_text(const char *identifier, const unsigned char *packed, int nbytes, char *out,
               const Sink &trace) {
    if (identifier == nullptr || packed == nullptr || out == nullptr) return -1;
    if (nbytes < 0 || nbytes > VENTRAC_PACKED_SIZE) return -1;
    write_identifier(identifier, out);
    // The last group is completed with zero bits: bytes past `nbytes` read
    // as zero.
    const int n = characters_for(nbytes);
    std::uint32_t address = 0;
    for (int k = 0; k < n; ++k)
        out[VENTRAC_IDENT_LEN + k] = static_cast<char>(
            extract_field(packed, static_cast<std::size_t>(nbytes), kGroupBits, address, trace) |
            0x40);
    return VENTRAC_IDENT_LEN + n;
}

}  // namespace ventrac

extern "C" int telexin(const char *identifier, const unsigned char *packed, int nbytes,
                       const char * /*model*/, char *out) {
    return ventrac::write_text(identifier, packed, nbytes, out,
                               ventrac::Sink::to_file(ventrac::trace::sink()));
}

extern "C" int telexout(int length, const char *text, char *identifier_out, char *model_out,
                        unsigned char *packed) {
    read_identifier(text, length, identifier_out);
    if (model_out != nullptr) model_out[0] = '\0';
    if (length < VENTRAC_IDENT_LEN + 1) return 0;
    uint32_t position = 0;
    for (int k = VENTRAC_IDENT_LEN; k < length; ++k) {
        const auto group = static_cast<unsigned char>(text[k]) & 0x3Fu;
        pak(packed, group, kGroupBits, &position);
    }
    return static_cast<int>((position + 7) / 8);
}
