// SPDX-License-Identifier: Apache-2.0
#include "context_support.h"

#include <cstdio>

namespace vt_test {

PilotPtr open_pilot(const std::string &path) {
    return PilotPtr(ventrac_pilot_open(path.c_str(), nullptr, 0));
}

std::string describe_entry(const DecodedElement &d) {
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "|%d|%.17g|%.17g|", d.valid, d.value, d.conv_value);
    return std::string(d.ident) + "|" + d.spec.code + "|" + d.spec.name + numbers + d.text + "|" +
           d.conv_text + "|" + d.format + "|" + d.spec.unit + "|" + d.spec.comment + "\n";
}

std::string describe_context(const ventrac_dctx *dctx) {
    std::string text;
    for (int i = 0; i < ventrac_dctx_count(dctx); ++i)
        text += describe_entry(*ventrac_dctx_element(dctx, i));
    return text;
}

}  // namespace vt_test
