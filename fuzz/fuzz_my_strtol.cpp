// SPDX-License-Identifier: Apache-2.0
// my_strtol on any text: the first byte chooses whether an open file is
// handed in (it must be closed exactly when the result is 224), the rest is
// the text.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "pilot/pilot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const bool ready = (ventrac_set_errors(vt_fuzz::null_sink()), true);
    (void)ready;
    vt_fuzz::Input in(data, size);
    const bool with_file = (in.byte() & 1) != 0;
    const std::string text(in.rest());
    std::FILE *file = with_file ? std::fopen(vt_fuzz::null_device(), "r") : nullptr;
    if (with_file && file == nullptr)
        vt_fuzz::fail(std::string("cannot open ") + vt_fuzz::null_device());
    const int fd = file != nullptr ? fileno(file) : -1;

    std::int64_t out = 12345;
    const int result = my_strtol(&out, text.c_str(), file, "fuzz", 1);
    // The same number as the C library reads from the text.
    errno = 0;
    const long long expected = std::strtoll(text.c_str(), nullptr, 10);
    const bool out_of_range = errno == ERANGE;
    // The file is closed exactly when the result is 224.
    const bool open_after = fd >= 0 && vt_fuzz::descriptor_open(fd);
    if (result == 0) {
        VT_FUZZ_CHECK(!out_of_range && out == expected, "converted to " + std::to_string(out));
        VT_FUZZ_CHECK(open_after == (file != nullptr), "file closed on success");
        if (file != nullptr) std::fclose(file);
    } else {
        VT_FUZZ_CHECK(result == 224 && out_of_range && out == expected,
                      "result " + std::to_string(result) + " with " + std::to_string(out));
        VT_FUZZ_CHECK(!open_after, "file left open on a conversion error");
    }
    return 0;
}
