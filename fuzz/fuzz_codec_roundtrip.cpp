// SPDX-License-Identifier: Apache-2.0
// Encode then decode: a pilot file, a mode and values generated from the
// input (plain elements, fixed, delayed and nested groups of both kinds,
// lines of other modes) come back from the decoder, every present value in
// range within half a resolution step.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "roundtrip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    vt_test::DataSource source(data, size);
    const vt_test::RoundTripCase c = vt_test::make_round_trip_case(source);
    const std::string failure = vt_test::check_round_trip(c, vt_fuzz::scratch_dir());
    VT_FUZZ_CHECK(failure.empty(), failure + "\npilot file:\n" + c.pilot);
    vt_fuzz::clear_element_table(c.pilot);
    return 0;
}
