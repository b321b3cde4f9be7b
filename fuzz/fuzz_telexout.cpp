// SPDX-License-Identifier: Apache-2.0
// telexout on any text: the identifier, then the low six bits of every
// character packed in order until the buffer is full.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "codec/codec.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const bool ready = (ventrac_set_trace(nullptr), true);
    (void)ready;
    if (size > 4096) return 0;
    const char *text = reinterpret_cast<const char *>(data);
    const int length = static_cast<int>(size);
    unsigned char packed[VENTRAC_PACKED_SIZE] = {};
    char identifier[VENTRAC_IDENT_LEN + 1];
    std::memset(identifier, '#', sizeof identifier);
    char model[1] = {'#'};

    const int n = telexout(length, text, identifier, model, packed);
    const std::size_t id_len = strnlen(identifier, sizeof identifier);
    VT_FUZZ_CHECK(id_len <= VENTRAC_IDENT_LEN, "identifier not terminated");
    VT_FUZZ_CHECK(id_len == 0 || (identifier[0] != ' ' && identifier[id_len - 1] != ' '),
                  "identifier not trimmed");
    VT_FUZZ_CHECK(model[0] == '\0', "model not emptied");

    // Characters whose six bits pass the end of the buffer are dropped.
    const int groups = length < VENTRAC_IDENT_LEN + 1
                           ? 0
                           : std::min(length - VENTRAC_IDENT_LEN, 8 * VENTRAC_PACKED_SIZE / 6);
    VT_FUZZ_CHECK(n == (6 * groups + 7) / 8, "rebuilt " + std::to_string(n) + " bytes");
    std::uint32_t address = 0;
    for (int k = 0; k < groups; ++k)
        VT_FUZZ_CHECK(depak(packed, 6, &address) == (text[VENTRAC_IDENT_LEN + k] & 0x3F),
                      "group " + std::to_string(k) + " differs");
    for (std::uint32_t bit = address; bit < 8 * VENTRAC_PACKED_SIZE; ++bit)
        VT_FUZZ_CHECK((packed[bit / 8] >> (7 - bit % 8) & 1) == 0, "bit set past the groups");
    return 0;
}
