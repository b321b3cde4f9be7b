// SPDX-License-Identifier: Apache-2.0
// The ventrac program run in-process on any pilot file and data file: the
// input is the pilot file, a zero byte, the data file, a zero byte and the
// identifier.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "codec/codec.h"
#include "front/run.h"
#include "fuzz_support.h"

namespace fs = std::filesystem;

namespace {

void quiet_standard_output() {
    std::fflush(stdout);
    if (std::freopen(vt_fuzz::null_device(), "w", stdout) == nullptr)
        vt_fuzz::fail("cannot quiet stdout");
    ventrac_set_trace(nullptr);
    ventrac_set_errors(nullptr);
}

std::string read_all(const std::string &path) {
    std::string content;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return content;
    char chunk[2048];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) content.append(chunk, n);
    std::fclose(f);
    return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const bool ready = (quiet_standard_output(), true);
    (void)ready;
    const std::string pilot = vt_fuzz::scratch_file("pilot.txt");
    const std::string obs = vt_fuzz::scratch_file("obs.txt");
    const std::string hpk = vt_fuzz::scratch_file("HPK_obs.txt");
    vt_fuzz::Input in(data, size);
    const std::string_view pilot_text = in.until('\0');
    vt_fuzz::write_file(pilot, pilot_text);
    vt_fuzz::write_file(obs, in.until('\0'));
    const std::string identifier(in.rest());

    const char *argv[] = {"ventrac", pilot.c_str(), obs.c_str(), identifier.c_str(), "MOD"};
    const int status = ventrac::front::run(5, argv);
    std::fflush(stdout);

    // A success reads back at least 2 bytes, so 1 is always a failure.
    VT_FUZZ_CHECK(status >= 1 && status <= VENTRAC_PACKED_SIZE, "status " + std::to_string(status));
    const bool written = fs::exists(hpk);
    VT_FUZZ_CHECK(written == (status != 1),
                  "HPK file and status " + std::to_string(status) + " disagree");
    int files = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(vt_fuzz::scratch_dir()))
        ++files;
    VT_FUZZ_CHECK(files == 2 + written, "files left behind");
    if (written) {
        const std::string message = read_all(hpk);
        VT_FUZZ_CHECK(message.size() > 7 && message.size() <= VENTRAC_MESSAGE_MAX,
                      "HPK file of " + std::to_string(message.size()) + " bytes");
        for (std::size_t k = 7; k < message.size(); ++k)
            VT_FUZZ_CHECK((message[k] & 0xC0) == 0x40, "character out of 0x40..0x7F");
        // The read-back takes every character whose bits fit in the buffer.
        const std::size_t chars =
            std::min<std::size_t>(message.size() - 7, 8 * VENTRAC_PACKED_SIZE / 6);
        VT_FUZZ_CHECK(static_cast<std::size_t>(status) == (6 * chars + 7) / 8,
                      "read-back count " + std::to_string(status) + " for " +
                          std::to_string(message.size()) + " file bytes");
        fs::remove(hpk);
    }
    vt_fuzz::clear_element_table(pilot_text);
    return 0;
}
