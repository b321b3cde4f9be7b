// SPDX-License-Identifier: Apache-2.0
// decomprime on any packed bytes, pilot file and data-type table, then cherche
// on what it decoded. Input: a flag byte (bit 0: trace formatted), the
// number of data-type entries (signed byte), that many mode and type bytes
// (at most 32 pairs), the pilot file, a zero byte, the packed bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "codec/codec.h"
#include "fuzz_support.h"

namespace {

bool terminated(const char *field, std::size_t size) {
    return std::memchr(field, '\0', size) != nullptr;
}

// `value` printed with the element's display format, as printf prints it.
std::string printed(const char *format, double value) {
    int width = 0, decimals = 0;
    if (std::sscanf(format, "%%%d.%df", &width, &decimals) != 2) return "bad format";
    char text[256];
    if (std::isnan(value)) {
        // As glibc's printf writes it, and the library on every system
        // (MinGW's printf drops the sign).
        std::snprintf(text, sizeof text, "%*s", width, std::signbit(value) ? "-nan" : "nan");
        return text;
    }
    std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
    return text;
}

std::string padded_ident(int position) {
    char text[16];
    std::snprintf(text, sizeof text, "D%6.6d", position);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::string path = [] {
        ventrac_set_errors(vt_fuzz::null_sink());
        return vt_fuzz::scratch_file("pilot");
    }();
    vt_fuzz::Input in(data, size);
    ventrac_set_trace((in.byte() & 1) != 0 ? vt_fuzz::null_sink() : nullptr);
    std::memset(static_cast<void *>(&TypeDonnee), 0, sizeof TypeDonnee);
    TypeDonnee.nb_modes = static_cast<std::int8_t>(in.byte());
    for (int i = 0; i < TypeDonnee.nb_modes && i < 32; ++i) {
        TypeDonnee.modes[i] = static_cast<std::int8_t>(in.byte());
        TypeDonnee.types[i] = static_cast<std::int8_t>(in.byte());
    }
    const std::string_view pilot = in.until('\0');
    vt_fuzz::write_file(path, pilot);
    unsigned char packed[VENTRAC_PACKED_SIZE] = {};
    const std::string_view bytes = in.take(VENTRAC_PACKED_SIZE);
    if (!bytes.empty()) std::memcpy(packed, bytes.data(), bytes.size());

    signed char type_code = 0;
    int error = -7;
    const int n = decomprime(path.c_str(), packed, &type_code, &error);
    if (n < 0) {
        VT_FUZZ_CHECK(n == -1 && (error == 253 || error == 234 || error == 252),
                      "result " + std::to_string(n) + " error " + std::to_string(error));
    } else {
        VT_FUZZ_CHECK(n <= VENTRAC_MAX_ELEMENTS && error == -7, "count " + std::to_string(n));
    }
    VT_FUZZ_CHECK(num_rep_tr >= -1 && nb_rep_d_dev >= -1, "replication counters below -1");

    nbparobs = n < 0 ? 0 : n;
    for (int i = 0; i < nbparobs; ++i) {
        const DecodedElement &d = donnees[i];
        const std::string where = "entry " + std::to_string(i);
        VT_FUZZ_CHECK(terminated(d.spec.code, sizeof d.spec.code) &&
                          terminated(d.spec.name, sizeof d.spec.name) &&
                          terminated(d.text, sizeof d.text) &&
                          terminated(d.conv_text, sizeof d.conv_text) &&
                          terminated(d.format, sizeof d.format),
                      "unterminated text in " + where);
        VT_FUZZ_CHECK(d.ident == padded_ident(i + 1), where + " has ident " + d.ident);
        if (std::strcmp(d.spec.unit, "CCITTIA5") != 0)
            VT_FUZZ_CHECK(
                d.text == printed(d.format, d.value) &&
                    d.conv_text == printed(d.format, d.conv_value),
                where + " texts '" + d.text + "' '" + d.conv_text + "' for format " + d.format);
        if (i >= 32) continue;
        // The lookup finds this entry or an earlier one under the same key,
        // and gives its converted value.
        int index = -2;
        const double value = cherche(d.spec.code, d.spec.name, &index);
        VT_FUZZ_CHECK(index >= -1 && index <= i, where + " found at " + std::to_string(index));
        if (index >= 0) {
            const double expected = donnees[index].conv_value;
            VT_FUZZ_CHECK(value == expected || (std::isnan(value) && std::isnan(expected)),
                          where + " looked up with another value");
        } else {
            VT_FUZZ_CHECK(value == -1.0, where + ": not found but not -1");
        }
    }
    vt_fuzz::clear_element_table(pilot);
    return 0;
}
