// SPDX-License-Identifier: Apache-2.0
// The data file reader on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "front/datafile.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::string path = vt_fuzz::scratch_file("obs.txt");
    vt_fuzz::Input in(data, size);
    vt_fuzz::write_file(path, in.rest());

    const ventrac::front::DataFile d = ventrac::front::read_data_file(path);
    VT_FUZZ_CHECK(d.opened, "not opened");
    VT_FUZZ_CHECK(d.values.size() == VENTRAC_MAX_VALUES && d.presence.size() == VENTRAC_MAX_VALUES,
                  "value arrays resized");
    VT_FUZZ_CHECK(d.count >= 0 && d.count <= VENTRAC_MAX_VALUES,
                  "count " + std::to_string(d.count));
    if (d.error.empty()) {
        VT_FUZZ_CHECK(d.mode_read && d.error_line == 0, "accepted without a mode");
    } else {
        // The value lines before the one at fault are kept for the echo.
        VT_FUZZ_CHECK(d.error_line == 1 ? d.count == 0 : d.count == d.error_line - 2,
                      "refused at line " + std::to_string(d.error_line) + " after " +
                          std::to_string(d.count) + " values");
        VT_FUZZ_CHECK(d.mode_read == (d.error_line > 1), "mode read and error line disagree");
    }
    for (std::size_t k = static_cast<std::size_t>(d.count); k < VENTRAC_MAX_VALUES; ++k)
        VT_FUZZ_CHECK(d.presence[k] == 0 && d.values[k] == 0.0,
                      "value " + std::to_string(k) + " past the lines read is not missing");
    return 0;
}
