// SPDX-License-Identifier: Apache-2.0
// Encode then decode generated pilot files and observations: every present
// value comes back within half a resolution step, every missing one as not
// valid, and every entry with the name and identifier of its place.
#include <gtest/gtest.h>

#include "roundtrip.h"
#include "test_support.h"

namespace {

TEST(RoundTrip, GeneratedObservationsComeBack) {
    vt_test::TempDir dir;
    int groups = 0;
    for (std::uint32_t seed = 1; seed <= 400; ++seed) {
        vt_test::SeededSource source(seed);
        const vt_test::RoundTripCase c = vt_test::make_round_trip_case(source);
        groups += c.pilot.find("\n1") != std::string::npos ||
                  c.pilot.find("\n4") != std::string::npos;
        ASSERT_EQ(vt_test::check_round_trip(c, dir.path().string()), "") << "seed " << seed << "\n"
                                                                         << c.pilot;
    }
    EXPECT_GT(groups, 200);  // the generator does reach replication
}

}  // namespace
