// Writes of the output file that cannot succeed report why and leave the
// folder as it was, with no temporary file behind. The program-level cases
// (file-size limit, path that is a folder) are in test_front.cpp.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

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

}  // namespace
