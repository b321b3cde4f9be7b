// SPDX-License-Identifier: Apache-2.0
// The pilot file reader on any bytes: the first byte is the mode, the rest is
// the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "pilot/pilot.h"

namespace {

bool terminated(const char *field, std::size_t size) {
    return std::memchr(field, '\0', size) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::string path = [] {
        ventrac_set_trace(vt_fuzz::null_sink());
        ventrac_set_errors(vt_fuzz::null_sink());
        return vt_fuzz::scratch_file("pilot");
    }();
    vt_fuzz::Input in(data, size);
    const auto mode = static_cast<signed char>(in.byte());
    const std::string_view content = in.rest();
    vt_fuzz::write_file(path, content);

    const int kept = get_specif(path.c_str(), mode);
    VT_FUZZ_CHECK(kept >= 0 && kept <= VENTRAC_MAX_ELEMENTS, "kept " + std::to_string(kept));
    VT_FUZZ_CHECK(mode <= 64 || kept == 0, "lines kept for a mode above 64");
    for (int i = 0; i < kept; ++i) {
        const ElementSpec &e = specel[i];
        VT_FUZZ_CHECK(terminated(e.code, sizeof e.code) && terminated(e.name, sizeof e.name) &&
                          terminated(e.unit, sizeof e.unit) &&
                          terminated(e.comment, sizeof e.comment),
                      "unterminated text in entry " + std::to_string(i));
        if (mode > 0)
            VT_FUZZ_CHECK((e.mode_mask >> (mode - 1) & 1u) != 0,
                          "entry " + std::to_string(i) + " is not of mode " + std::to_string(mode));
    }
    // Later inputs must not see what this one left in the table.
    vt_fuzz::clear_element_table(content);
    return 0;
}
