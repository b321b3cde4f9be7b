// SPDX-License-Identifier: Apache-2.0
// Faults that earlier tests leave out: an output folder that does not exist,
// and delayed counts far outside the range of a repetition count. The other
// failed writes (file-size limit, path that is a folder) are in
// test_front.cpp.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "front/outfile.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(OutputFile, MissingFolderIsReportedAndNothingIsCreated) {
    vt_test::TempDir dir;
    std::string reason;
    EXPECT_FALSE(
        ventrac::front::write_file_replacing(dir.file("absent/HPK_obs.txt"), "ABC", 3, reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Encoding, DelayedCountsOutsideTheIntRangeRepeatNothing) {
    vt_test::TempDir dir;
    const std::string pilot = dir.file("pilot");
    vt_test::write_file(pilot,
                        "000000;MODE;4;1;1;0;15;255;U;1;0;1;mode;;\n"
                        "101000;N;32;1;1;0;4294967294;255;U;1;0;1;count;;\n"
                        "000001;G;8;1;1;0;254;255;U;1;0;1;grouped;;\n");
    ventrac_set_trace(nullptr);
    for (const double count : {1e10, 4294967296.0, -1e10}) {
        std::vector<double> values(VENTRAC_MAX_VALUES, 7.0);
        std::vector<int> presence(VENTRAC_MAX_VALUES, 1);
        values[0] = count;
        unsigned char packed[VENTRAC_PACKED_SIZE];
        int kept = 0;
        // The mode and the count alone: 36 bits.
        EXPECT_EQ(comprime(pilot.c_str(), 1, values.data(), presence.data(), packed, &kept), 5)
            << count;
    }
    ventrac_set_trace(stdout);
}

}  // namespace
