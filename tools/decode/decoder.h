// One HPK file from its bytes to the decoded table: packed bits rebuilt with
// telexout(), decoded with decomprime().
#ifndef VENTRAC_DECODE_DECODER_H
#define VENTRAC_DECODE_DECODER_H

#include <array>
#include <string>
#include <string_view>

#include "codec/codec.h"
#include "formats.h"

namespace ventrac::decode {

class MessageDecoder {
public:
    explicit MessageDecoder(std::string pilot) : pilot_(std::move(pilot)) {}

    // Decodes the content of an HPK file into `obs` (whose file name the
    // caller sets): its elements, also left in donnees until the next call,
    // or in obs.failure why it cannot be decoded.
    void decode(std::string_view content, Observation &obs);

private:
    std::string pilot_;
    std::array<unsigned char, VENTRAC_PACKED_SIZE> packed_{};
    char identifier_[VENTRAC_IDENT_LEN + 1] = {};
};

// The operating mode at the head of `packed`, read as the decoder reads it:
// the low 8 bits of the first field, `nbits` wide, as a signed number.
int message_mode(const unsigned char *packed, unsigned nbits);

}  // namespace ventrac::decode

#endif
