// SPDX-License-Identifier: Apache-2.0
// cherche and cherche_meta on any tables and probes. Input: the counts
// nbparobs and nbmeta (two bytes each, signed), the number of decoded entries
// and of metadata entries to fill (a byte each, at most 16), the entries
// (texts of any length in their fields, terminated or not), then the probes,
// separated by zero bytes.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "codec/codec.h"
#include "fuzz_support.h"

namespace {

constexpr int kMaxFilled = 16;

// Copies the next text of the input into `field`, unterminated when it fills
// the field.
template <std::size_t N>
void fill(char (&field)[N], vt_fuzz::Input &in) {
    const std::string_view text = in.take(in.byte() % (N + 1));
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size());
}

std::string_view trim_blanks(std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// Descriptor and name, each trimmed of blanks, joined: what cherche compares.
std::string joined(std::string_view code, std::string_view name) {
    return std::string(trim_blanks(code)) + std::string(trim_blanks(name));
}

template <std::size_t N>
std::string_view field_text(const char (&field)[N]) {
    return {field, strnlen(field, N)};
}

// A probe, or NULL when it starts with 0x01.
const char *probe(const std::string &text) {
    return !text.empty() && text[0] == '\x01' ? nullptr : text.c_str();
}

// What cherche and cherche_meta read for the probe `text`.
std::string_view text_of(const std::string &text) {
    return probe(text) != nullptr ? std::string_view(text) : std::string_view();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    vt_fuzz::Input in(data, size);
    nbparobs = in.int16();
    nbmeta = in.int16();
    const int elements = in.byte() % (kMaxFilled + 1);
    const int metas = in.byte() % (kMaxFilled + 1);
    for (int i = 0; i < elements; ++i) {
        DecodedElement &d = donnees[i];
        fill(d.spec.code, in);
        fill(d.spec.name, in);
        d.valid = in.byte() % 3 == 0 ? 0 : 1;
        d.spec.flag = in.byte() % 3 == 0 ? 0 : 1;
        d.conv_value = i;
    }
    for (int i = 0; i < metas; ++i) {
        fill(meta_data[i].key, in);
        fill(meta_data[i].subkey, in);
    }
    const std::string code(in.until('\0')), name(in.until('\0'));
    const std::string key(in.until('\0')), subkey(in.until('\0'));

    int index = -2;
    const double value = cherche(probe(code), probe(name), &index);
    // The first entry under the probe's key decides, usable or not.
    const std::string key_probe = joined(text_of(code), text_of(name));
    int first = -1;
    for (int i = 0; i < std::min<std::int32_t>(nbparobs, VENTRAC_MAX_ELEMENTS) && first < 0; ++i)
        if (joined(field_text(donnees[i].spec.code), field_text(donnees[i].spec.name)) == key_probe)
            first = i;
    const bool usable = first >= 0 && donnees[first].valid != 0 && donnees[first].spec.flag != 0;
    VT_FUZZ_CHECK(index == (usable ? first : -1),
                  "index " + std::to_string(index) + ", first match " + std::to_string(first));
    VT_FUZZ_CHECK(value == (usable ? donnees[first].conv_value : -1.0), "value of another entry");
    cherche(probe(code), probe(name), nullptr);

    const char *found = cherche_meta(probe(key), probe(subkey));
    char *expected = nullptr;
    for (int i = 0; i < std::min<std::int32_t>(nbmeta, VENTRAC_MAX_META) && probe(key) != nullptr &&
                    expected == nullptr;
         ++i)
        if (field_text(meta_data[i].key) == key &&
            (text_of(subkey).empty() || field_text(meta_data[i].subkey) == subkey))
            expected = meta_data[i].value;
    VT_FUZZ_CHECK(found == expected, "cherche_meta found another entry");

    // The next input starts from empty tables.
    for (int i = 0; i < elements; ++i)
        std::memset(static_cast<void *>(&donnees[i]), 0, sizeof donnees[i]);
    for (int i = 0; i < metas; ++i)
        std::memset(static_cast<void *>(&meta_data[i]), 0, sizeof meta_data[i]);
    return 0;
}
