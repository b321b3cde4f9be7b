// SPDX-License-Identifier: Apache-2.0
// The reader of ventrac-decode's data-type file on any bytes. A table it
// accepts holds at most 32 pairs of numbers from -128 to 127, each mode
// once, and reads back the same when written out again as 'mode type'
// lines; a refusal names a line of the input.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/codec.h"
#include "fuzz_support.h"
#include "tools/decode/datatype.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char *>(data), size);
    DataTypeEntry table{};
    const std::string problem = ventrac::decode::parse_datatype(content, table);
    if (!problem.empty()) {
        // "line N: ...", N from 1 to the number of lines.
        VT_FUZZ_CHECK(problem.rfind("line ", 0) == 0, "refusal without a line: " + problem);
        long line = 0;
        const char *first = problem.data() + 5, *last = problem.data() + problem.size();
        const auto [end, ec] = std::from_chars(first, last, line);
        VT_FUZZ_CHECK(ec == std::errc() && end != last && *end == ':', "line number: " + problem);
        std::size_t lines = 1;
        for (const char c : content) lines += c == '\n';
        VT_FUZZ_CHECK(line >= 1 && static_cast<std::size_t>(line) <= lines,
                      "line out of range: " + problem);
        return 0;
    }
    VT_FUZZ_CHECK(table.nb_modes >= 0 && table.nb_modes <= 32, "pair count out of range");
    std::string written;
    for (int i = 0; i < table.nb_modes; ++i) {
        VT_FUZZ_CHECK(table.modes[i] >= -128 && table.modes[i] <= 127, "mode out of range");
        VT_FUZZ_CHECK(table.types[i] >= -128 && table.types[i] <= 127, "type out of range");
        for (int k = 0; k < i; ++k)
            VT_FUZZ_CHECK(table.modes[k] != table.modes[i], "mode listed twice");
        written += std::to_string(table.modes[i]) + " " + std::to_string(table.types[i]) + "\n";
    }
    DataTypeEntry again{};
    VT_FUZZ_CHECK(ventrac::decode::parse_datatype(written, again).empty(), "written table refused");
    VT_FUZZ_CHECK(again.nb_modes == table.nb_modes, "pair count changed");
    for (int i = 0; i < table.nb_modes; ++i)
        VT_FUZZ_CHECK(again.modes[i] == table.modes[i] && again.types[i] == table.types[i],
                      "pair changed");
    return 0;
}
