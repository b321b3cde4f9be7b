// SPDX-License-Identifier: Apache-2.0
// Six-bit armour and back: telexin then telexout gives the packed bytes and
// the identifier back, for every size from 0 to 1024 bytes. Input: the size
// (two bytes, modulo 1025), the identifier up to a zero byte, then bytes that
// are repeated to fill the packed buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "codec/codec.h"
#include "fuzz_support.h"

namespace {

std::string_view trim_blanks(std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const bool ready = (ventrac_set_trace(nullptr), true);
    (void)ready;
    vt_fuzz::Input in(data, size);
    const int nbytes = static_cast<std::uint16_t>(in.int16()) % (VENTRAC_PACKED_SIZE + 1);
    const std::string identifier(in.until('\0'));
    const std::string_view fill = in.rest();
    unsigned char packed[VENTRAC_PACKED_SIZE] = {};
    for (int i = 0; i < nbytes && !fill.empty(); ++i)
        packed[i] = static_cast<unsigned char>(fill[static_cast<std::size_t>(i) % fill.size()]);

    char text[VENTRAC_MESSAGE_MAX];
    const int length = telexin(identifier.c_str(), packed, nbytes, nullptr, text);
    VT_FUZZ_CHECK(length == 7 + (8 * nbytes + 5) / 6, "message of " + std::to_string(length));
    const std::string_view kept = trim_blanks(identifier).substr(0, VENTRAC_IDENT_LEN);
    VT_FUZZ_CHECK(std::string_view(text, 7).substr(7 - kept.size()) == kept &&
                      std::string_view(text, 7 - kept.size()).find_first_not_of(' ') ==
                          std::string_view::npos,
                  "identifier not right-aligned");
    for (int k = 7; k < length; ++k)
        VT_FUZZ_CHECK((text[k] & 0xC0) == 0x40, "character out of 0x40..0x7F");

    unsigned char rebuilt[VENTRAC_PACKED_SIZE] = {};
    char identifier_back[VENTRAC_IDENT_LEN + 1];
    const int n = telexout(length, text, identifier_back, nullptr, rebuilt);
    VT_FUZZ_CHECK(identifier_back == trim_blanks(kept),
                  "identifier read back as " + std::string(identifier_back));
    if (nbytes == 0) {
        VT_FUZZ_CHECK(n == 0, "bytes rebuilt from an empty message");
        return 0;
    }
    // One byte more when the last character carries zero bits into a new
    // byte; at 1024 bytes the last character does not fit and its two data
    // bits, the low bits of the last byte, are lost.
    VT_FUZZ_CHECK(n == nbytes + (nbytes % 3 != 0 && nbytes < VENTRAC_PACKED_SIZE ? 1 : 0),
                  std::to_string(n) + " bytes rebuilt from " + std::to_string(nbytes));
    if (nbytes == VENTRAC_PACKED_SIZE) packed[VENTRAC_PACKED_SIZE - 1] &= 0xFC;
    VT_FUZZ_CHECK(std::memcmp(packed, rebuilt, sizeof packed) == 0, "bytes differ after the trip");
    return 0;
}
