// SPDX-License-Identifier: Apache-2.0
// Lookups in the decoded-element table and in the metadata table: linear
// searches that stop at the first match.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "codec/codec.h"
#include "codec/lookup.h"
#include "pilot/text.h"

extern "C" {
int32_t nbparobs;
MetaEntry meta_data[VENTRAC_MAX_META];
int32_t nbmeta;
}

namespace {

// A text field read up to its terminator, or to its end when it has none.
template <std::size_t N>
std::string_view field_text(const char (&field)[N]) {
    return {field, ventrac::field_length(field, N)};
}

std::string_view text_or_empty(const char *text) { return text != nullptr ? text : ""; }

// Descriptor and name trimmed of blanks and joined: the text lookups compare.
std::string joined_key(std::string_view code, std::string_view name) {
    std::string key(ventrac::trim_blanks(code));
    key += ventrac::trim_blanks(name);
    return key;
}

// Number of table entries actually searched for a count set by the caller.
int searched(std::int32_t count, int capacity) {
    return std::clamp<std::int32_t>(count, 0, capacity);
}

}  // namespace

namespace ventrac {

double find_decoded(const DecodedElement *table, int count, const char *code, const char *name,
                    int *index) {
    const std::string probe = joined_key(text_or_empty(code), text_or_empty(name));
    int found = -1;
    double result = -1.0;
    for (int i = 0; i < count; ++i) {
        const DecodedElement &d = table[i];
        if (joined_key(field_text(d.spec.code), field_text(d.spec.name)) != probe) continue;
        // The first entry that matches decides, usable or not.
        if (d.valid != 0 && d.spec.flag != 0) {
            found = i;
            result = d.conv_value;
        }
        break;
    }
    if (index != nullptr) *index = found;
    return result;
}

}  // namespace ventrac

extern "C" double cherche(const char *code, const char *name, int *index) {
    return ventrac::find_decoded(donnees, searched(nbparobs, VENTRAC_MAX_ELEMENTS), code, name,
                                 index);
}

extern "C" char *cherche_meta(const char *key, const char *subkey) {
    if (key == nullptr) return nullptr;
    const std::string_view wanted_sub = text_or_empty(subkey);
    const int n = searched(nbmeta, VENTRAC_MAX_META);
    for (int i = 0; i < n; ++i) {
        MetaEntry &m = meta_data[i];
        if (field_text(m.key) != key) continue;
        if (wanted_sub.empty() || field_text(m.subkey) == wanted_sub) return m.value;
    }
    return nullptr;
}
