// SPDX-License-Identifier: Apache-2.0
// What only Windows shows: files saved with CR LF, '\' and drive prefixes in
// paths, the full exit status, the console's line ends and file names
// outside ASCII. Built into the Windows suite only (run under Wine).
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using vt_test::crlf;
using vt_test::quote;
using vt_test::read_file;
using vt_test::run_ventrac;
using vt_test::TempDir;
using vt_test::write_file;

const std::string kWholeRun = std::string(VENTRAC_TEST_DATA) + "/whole_run/";

// The program's standard output as written, line ends included.
std::string raw_output(const fs::path &dir, const std::string &args) {
    TempDir capture;
    const std::string out = capture.file("out");
    const std::string command = "cd /d " + quote(dir.string()) + " && " + quote(VENTRAC_EXE) + " " +
                                args + " >" + quote(out) + " 2>NUL";
    std::system(command.c_str());
    return read_file(out);
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        write_file(dir.file("pilot.txt"), read_file(kWholeRun + "pilot.txt"));
        write_file(dir.file("obs.txt"), read_file(kWholeRun + "obs.txt"));
    }
    TempDir dir;
};

TEST_F(Windows, NotepadFilesGiveTheSameRun) {
    const vt_test::RunResult lf = run_ventrac(dir.path(), "pilot.txt obs.txt ABCD MOD");
    ASSERT_EQ(lf.status, 5);
    const std::string hpk = read_file(dir.file("HPK_obs.txt"));
    EXPECT_EQ(hpk, read_file(kWholeRun + "expected_HPK_obs.txt"));
    fs::create_directory(dir.path() / "crlf");
    write_file(dir.file("crlf/pilot.txt"), crlf(read_file(kWholeRun + "pilot.txt")));
    write_file(dir.file("crlf/obs.txt"), crlf(read_file(kWholeRun + "obs.txt")));
    const vt_test::RunResult r = run_ventrac(dir.path() / "crlf", "pilot.txt obs.txt ABCD MOD");
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, lf.out);
    EXPECT_EQ(r.out, read_file(kWholeRun + "expected_stdout.txt"));
    EXPECT_EQ(read_file(dir.file("crlf/HPK_obs.txt")), hpk);
}

TEST_F(Windows, ConsoleLinesEndInCrLf) {
    const std::string out = raw_output(dir.path(), "pilot.txt obs.txt ABCD MOD");
    EXPECT_EQ(out, crlf(read_file(kWholeRun + "expected_stdout.txt")));
    // The HPK file has no line end at all: it is written as it is.
    EXPECT_EQ(read_file(dir.file("HPK_obs.txt")), read_file(kWholeRun + "expected_HPK_obs.txt"));
}

TEST_F(Windows, BackslashesAndDrivePrefixes) {
    fs::create_directories(dir.path() / "ship" / "data");
    write_file(dir.file("ship/data/obs.txt"), read_file(kWholeRun + "obs.txt"));
    const std::string folder =
        fs::path(dir.path() / "ship" / "data").make_preferred().string() + "\\";
    ASSERT_EQ(folder.substr(1, 2), ":\\");
    vt_test::RunResult r =
        run_ventrac(dir.path(), "pilot.txt " + quote(folder + "obs.txt") + " ABCD MOD");
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.out.find("REP= " + folder + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("dans le fichier " + folder + "HPK_obs.txt :"), std::string::npos);
    EXPECT_EQ(read_file(dir.file("ship/data/HPK_obs.txt")),
              read_file(kWholeRun + "expected_HPK_obs.txt"));

    // Relative, with '\': beside the data file.
    r = run_ventrac(dir.path(), "pilot.txt ship\\data\\obs.txt WXYZ MOD");
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.out.find("REP= ship\\data\\\n"), std::string::npos) << r.out;
    EXPECT_EQ(read_file(dir.file("ship/data/HPK_obs.txt")).substr(0, 7), "   WXYZ");

    // A drive prefix and no folder: the drive's current folder, here the
    // test's folder.
    const std::string drive = folder.substr(0, 2);
    r = run_ventrac(dir.path(), "pilot.txt " + drive + "obs.txt DRIV MOD");
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.out.find("REP= " + drive + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(read_file(dir.file("HPK_obs.txt")).substr(0, 7), "   DRIV");

    // No folder at all: ".\" would do as well; "./" keeps the trace Linux gives.
    r = run_ventrac(dir.path(), "pilot.txt obs.txt ABCD MOD");
    EXPECT_NE(r.out.find("REP= ./\n"), std::string::npos);
    EXPECT_NE(r.out.find("dans le fichier ./HPK_obs.txt :"), std::string::npos);
}

// A pilot file of `n` 8-bit elements after a 4-bit mode element.
std::string byte_pilot(int n) {
    std::string p = "000000;MODE;4;1;1;0;15;255;U;1;0;1;mode;;\n";
    for (int i = 0; i < n; ++i) p += "000001;B;8;1;1;0;254;255;U;1;0;1;byte;;\n";
    return p;
}

TEST_F(Windows, ExitStatusIsTheWholeReadBackCount) {
    // 300 bytes: a count above 255, which Linux would cut to its low 8 bits.
    write_file(dir.file("pilot.txt"), byte_pilot(300));
    std::string data = "1\n";
    for (int i = 0; i < 300; ++i) data += "1 " + std::to_string(i % 200) + "\n";
    write_file(dir.file("obs.txt"), data);
    const vt_test::RunResult r = run_ventrac(dir.path(), "pilot.txt obs.txt ABCD MOD");
    const std::string hpk = read_file(dir.file("HPK_obs.txt"));
    ASSERT_GT(hpk.size(), 300u);
    std::vector<unsigned char> packed(VENTRAC_PACKED_SIZE, 0);
    char identifier[VENTRAC_IDENT_LEN + 1];
    char model[1];
    const int count =
        telexout(static_cast<int>(hpk.size()), hpk.data(), identifier, model, packed.data());
    EXPECT_GT(count, 255);
    EXPECT_EQ(r.status, count);
}

// Names outside ASCII reach the program as the C runtime passes them: in the
// system's ANSI code page. A character of that page works end to end.
TEST_F(Windows, FileNameInTheAnsiCodePage) {
    const std::wstring wide_name = L"obs_\u00e9t\u00e9.txt";  // "obs_ete.txt" with accents
    char narrow[64];
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, wide_name.c_str(), -1, narrow, sizeof narrow,
                                      nullptr, &lost);
    if (n == 0 || lost) GTEST_SKIP() << "the ANSI code page (" << GetACP() << ") has no e acute";
    fs::copy_file(dir.path() / "obs.txt", dir.path() / wide_name);
    const vt_test::RunResult r =
        run_ventrac(dir.path(), std::string("pilot.txt ") + quote(narrow) + " ABCD MOD");
    EXPECT_EQ(r.status, 5) << r.out << r.err;
    // Read through the wide name: the file has the name given.
    const fs::path hpk = dir.path() / (L"HPK_" + wide_name);
    ASSERT_TRUE(fs::exists(hpk));
    std::ifstream in(hpk, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes, read_file(kWholeRun + "expected_HPK_obs.txt"));
}

}  // namespace
