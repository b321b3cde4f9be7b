// SPDX-License-Identifier: Apache-2.0
// The ventrac program as a whole: transcript, HPK file, exit statuses and the
// handling of bad input and failed writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "front/run.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using vt_test::quote;
using vt_test::read_file;
using vt_test::run_ventrac;
using vt_test::TempDir;
using vt_test::write_file;

const std::string kWholeRun = std::string(VENTRAC_TEST_DATA) + "/whole_run/";

// A pilot file of `n` 8-bit elements after a 4-bit mode element.
std::string byte_pilot(int n) {
    std::string p = "000000;MODE;4;1;1;0;15;255;U;1;0;1;mode;;\n";
    for (int i = 0; i < n; ++i) p += "000001;B;8;1;1;0;254;255;U;1;0;1;byte;;\n";
    return p;
}

class Front : public ::testing::Test {
protected:
    void SetUp() override {
        write_file(dir.file("pilot.txt"), read_file(kWholeRun + "pilot.txt"));
        write_file(dir.file("obs.txt"), read_file(kWholeRun + "obs.txt"));
    }
    vt_test::RunResult run(const std::string &data = "obs.txt", const std::string &id = "ABCD") {
        return run_ventrac(dir.path(), "pilot.txt " + quote(data) + " " + quote(id) + " MOD");
    }
    bool exists(const std::string &name) const { return fs::exists(dir.path() / name); }
    // Files other than the inputs left in the folder.
    int leftovers() const {
        int n = 0;
        for (const auto &entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            n += name != "pilot.txt" && name != "obs.txt" && name.rfind("HPK_", 0) != 0;
        }
        return n;
    }
    TempDir dir;
};

TEST_F(Front, WholeRunMatchesTheHandWrittenTranscript) {
    const vt_test::RunResult r = run();
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, read_file(kWholeRun + "expected_stdout.txt"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir.file("HPK_obs.txt")), read_file(kWholeRun + "expected_HPK_obs.txt"));
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(Front, OutputPathAndIdentifier) {
    fs::create_directories(dir.path() / "ship" / "data");
    write_file(dir.file("ship/data/obs.txt"), read_file(dir.file("obs.txt")));
    const std::string absolute = dir.file("ship/data/obs.txt");
    vt_test::RunResult r = run(absolute, "ABCDEFGHI");
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.out.find("ficin=" + absolute + "\nREP= " + dir.file("ship/data/") +
                         "\n indicatif=ABCDEFG\n"),
              std::string::npos);
    EXPECT_EQ(read_file(dir.file("ship/data/HPK_obs.txt")).substr(0, 7), "ABCDEFG");
#ifndef _WIN32
    // A path far longer than 255 characters (Windows' C runtime stops at 260).
    fs::path deep = dir.path();
    std::string relative;
    for (int i = 0; i < 12; ++i) relative += std::string(40, static_cast<char>('a' + i)) + "/";
    fs::create_directories(dir.path() / relative);
    write_file(dir.file(relative + "obs.txt"), read_file(dir.file("obs.txt")));
    r = run(relative + "obs.txt");
    EXPECT_EQ(r.status, 5);
    EXPECT_TRUE(exists(relative + "HPK_obs.txt"));
#endif
}

// Where the HPK file goes, with '/' alone (Linux) and with '\\' and drive
// prefixes as well (Windows): the data file's folder is kept as written.
TEST(HpkPath, FolderOfTheDataFileOnBothSystems) {
    struct Case {
        const char *data;
        bool windows;
        const char *directory;
        const char *path;
    };
    const Case cases[] = {
        {"obs.txt", false, "./", "./HPK_obs.txt"},
        {"/data/ship/obs.txt", false, "/data/ship/", "/data/ship/HPK_obs.txt"},
        {"a\\b\\obs.txt", false, "./", "./HPK_a\\b\\obs.txt"},
        {"C:obs.txt", false, "./", "./HPK_C:obs.txt"},
        {"obs.txt", true, "./", "./HPK_obs.txt"},
        {"C:\\obs\\obs.txt", true, "C:\\obs\\", "C:\\obs\\HPK_obs.txt"},
        {"Z:\\tmp\\bs\\sub\\o.txt", true, "Z:\\tmp\\bs\\sub\\", "Z:\\tmp\\bs\\sub\\HPK_o.txt"},
        {"C:/obs/obs.txt", true, "C:/obs/", "C:/obs/HPK_obs.txt"},
        {"sub\\dir/obs.txt", true, "sub\\dir/", "sub\\dir/HPK_obs.txt"},
        {"sub/dir\\obs.txt", true, "sub/dir\\", "sub/dir\\HPK_obs.txt"},
        {"C:obs.txt", true, "C:", "C:HPK_obs.txt"},
        {"d:obs.txt", true, "d:", "d:HPK_obs.txt"},
        {"\\\\server\\share\\obs.txt", true, "\\\\server\\share\\",
         "\\\\server\\share\\HPK_obs.txt"},
        {"1:obs.txt", true, "./", "./HPK_1:obs.txt"},
        {"obs:txt", true, "./", "./HPK_obs:txt"},
    };
    for (const Case &c : cases) {
        const ventrac::front::HpkPath p = ventrac::front::hpk_path(c.data, c.windows);
        EXPECT_EQ(p.directory, c.directory) << c.data << (c.windows ? " (Windows)" : "");
        EXPECT_EQ(p.path, c.path) << c.data << (c.windows ? " (Windows)" : "");
    }
}

TEST_F(Front, UsageAndUnreadableDataFile) {
    vt_test::RunResult r = run_ventrac(dir.path(), "pilot.txt obs.txt ABCD");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.out,
        "Utilisation de la commande : (4 arg)\n"
        "ventrac ref_fichier_pilote ref_fichier_data ID_WMO(7car max) code_model(7car max)\n");
    EXPECT_EQ(run_ventrac(dir.path(), "").status, 1);
    r = run("absent.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ficin=absent.txt\nREP= ./\n indicatif=ABCD\nPB Ouverture absent.txt\n");
}

TEST_F(Front, BadDataFilesAreRefusedWithoutWritingAnything) {
    struct Case {
        std::string content;
        std::string message;
    };
    std::string many = "1\n";
    for (int i = 0; i < 1025; ++i) many += "1 2\n";
    const Case cases[] = {
        {"", "PB Lecture bad.txt ligne 1 : fichier vide\n"},
        {"x3\n1 2\n", "PB Lecture bad.txt ligne 1 : mode operatoire illisible\n"},
        {"99999999999\n", "PB Lecture bad.txt ligne 1 : mode operatoire illisible\n"},
        {"3\n1 2\n1\n", "PB Lecture bad.txt ligne 3 : presence et valeur illisibles\n"},
        {"3\nabc\n", "PB Lecture bad.txt ligne 2 : presence et valeur illisibles\n"},
        {"3\n1 " + std::string(300, '5') + "\n",
         "PB Lecture bad.txt ligne 2 : ligne de plus de 255 caracteres\n"},
        {many, "PB Lecture bad.txt ligne 1026 : plus de 1024 valeurs\n"},
    };
    for (const Case &c : cases) {
        write_file(dir.file("bad.txt"), c.content);
        const vt_test::RunResult r = run("bad.txt");
        EXPECT_EQ(r.status, 1) << c.message;
        ASSERT_GE(r.out.size(), c.message.size());
        EXPECT_EQ(r.out.substr(r.out.size() - c.message.size()), c.message);
        EXPECT_FALSE(exists("HPK_bad.txt")) << c.message;
    }
}

TEST_F(Front, BlankAndAbsentValuesAreMissing) {
    // The second value line is blank; the file ends before the last value.
    write_file(dir.file("obs.txt"), "3\n1 12.34\n\n");
    vt_test::RunResult r = run();
    EXPECT_NE(r.out.find("i=1 0 0.000000\n"), std::string::npos);
    EXPECT_NE(r.out.find("\t\t i=2 j=1 val=0.000000 pres=0 valcod=4095"), std::string::npos);
    EXPECT_EQ(r.status, 5);
    write_file(dir.file("obs.txt"), "3\n");
    r = run();
    EXPECT_NE(r.out.find("\t\t i=2 j=1 val=0.000000 pres=0 valcod=4095"), std::string::npos);
    EXPECT_NE(r.out.find("      0.00  12 : 111111111111 <--"), std::string::npos);
    EXPECT_EQ(r.status, 5);
}

TEST_F(Front, EncoderFailureWritesNothing) {
    // Error lines start with the first 255 characters of the first argument.
    const std::string pilot(300, 'p');
    vt_test::RunResult r = run_ventrac(dir.path(), pilot + " obs.txt ABCD MOD");
    EXPECT_EQ(r.status, 254);
    EXPECT_EQ(r.err.rfind(pilot.substr(0, 255) + " - TEST -  erreur num 254", 0), 0u) << r.err;
    EXPECT_NE(r.out.find("Retour compression complete : nb octets = -254\n"), std::string::npos);
    EXPECT_FALSE(exists("HPK_obs.txt"));
    write_file(dir.file("obs.txt"), "40\n");  // no line has bit 39 of its mask set
    r = run();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Retour compression complete : nb octets = 0\n"), std::string::npos);
    EXPECT_FALSE(exists("HPK_obs.txt"));
}

TEST_F(Front, ReadBackCountsFollowTheMessageSize) {
    // 12 bits packed in 2 bytes: 10-byte file, read back as 3 bytes.
    write_file(dir.file("pilot.txt"), byte_pilot(1));
    write_file(dir.file("obs.txt"), "1\n1 7\n");
    vt_test::RunResult r = run();
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("10 octets ecrits\ndans le fichier ./HPK_obs.txt :\n"), std::string::npos);
    // Far above 762 bytes the whole file is still read back: 4 + 8 * 999
    // bits give 1000 bytes and 1341 file bytes.
    write_file(dir.file("pilot.txt"), byte_pilot(999));
    r = run();
    EXPECT_NE(r.out.find("1341 octets lus sur ./HPK_obs.txt\n"), std::string::npos);
    // 1334 characters carry 1001 bytes; Linux keeps the low 8 bits of the
    // status, Windows all of it.
#ifdef _WIN32
    EXPECT_EQ(r.status, 1001);
#else
    EXPECT_EQ(r.status, 1001 % 256);
#endif
}

TEST_F(Front, BitListingStopsAtTheEndOfTheBits) {
    // A delayed count of 0 skips its group: the listing, which follows the
    // table and not the replication, runs out of bits.
    write_file(dir.file("pilot.txt"),
               "000000;MODE;4;1;1;0;15;255;U;1;0;1;mode;;\n"
               "101000;N;4;1;1;0;14;255;U;1;0;1;count;;\n"
               "000001;G;12;1;1;0;4000;255;U;1;0;1;grouped;;\n"
               "000002;A;4;1;1;0;14;255;U;1;0;1;after;;\n");
    write_file(dir.file("obs.txt"), "1\n1 0\n1 9\n");
    const vt_test::RunResult r = run();
    EXPECT_EQ(r.status, 3);
    const std::string listing = r.out.substr(r.out.find("DONNEES PLEINE"));
    EXPECT_NE(listing.find("      0.00   4 : 0000 <--count \n"), std::string::npos);
    EXPECT_NE(listing.find("      9.00  12 : 10010000 <--grouped \n"), std::string::npos);
    EXPECT_EQ(listing.find("<--after"), std::string::npos);
}

TEST_F(Front, FailedWritesKeepTheEarlierFile) {
    ASSERT_EQ(run().status, 5);
    const std::string earlier = read_file(dir.file("HPK_obs.txt"));
#ifndef _WIN32
    // (A shell's file-size limit: Linux only.)
    // A longer message (1341 bytes) against a file-size limit of 1024
    // bytes: the write fails part-way. Only the error stream reaches a file,
    // through a pipe, out of the limit's reach.
    write_file(dir.file("pilot.txt"), byte_pilot(999));
    const std::string limited =
        "cd " + quote(dir.path().string()) + " && (ulimit -f 1; " + quote(VENTRAC_EXE) +
        " pilot.txt obs.txt ABCD MOD 2>&1 >/dev/null; echo status $? ) | cat >err";
    ASSERT_EQ(std::system(limited.c_str()), 0);
    const std::string err = read_file(dir.file("err"));
    EXPECT_NE(err.find("Erreur a l'ecriture du fichier ./HPK_obs.txt : File too large\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("status 1\n"), std::string::npos) << err;
    fs::remove(dir.path() / "err");
    EXPECT_EQ(read_file(dir.file("HPK_obs.txt")), earlier);
    EXPECT_EQ(leftovers(), 0);
#endif
    // The output path is a directory.
    fs::create_directory(dir.path() / "sub");
    write_file(dir.file("sub/obs.txt"), "3\n1 0\n1 60000\n");
    fs::create_directory(dir.path() / "sub" / "HPK_obs.txt");
    vt_test::RunResult r = run("sub/obs.txt");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("sub/HPK_obs.txt : "), std::string::npos);
    EXPECT_TRUE(fs::is_directory(dir.path() / "sub" / "HPK_obs.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "sub"), fs::directory_iterator()),
              2);
}

}  // namespace
