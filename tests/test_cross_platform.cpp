// SPDX-License-Identifier: Apache-2.0
// The Windows programs (the MinGW-w64 build, run under Wine) against the
// Linux ones on the same inputs: the shipped example, generated observations
// with nested and delayed groups of both kinds and missing values, values
// and masks wider than 32 bits, and runs that fail. The HPK bytes must be
// identical, the standard output and error identical once CR LF is read as
// LF, and the exit status the same modulo 256; the same from CR LF copies of
// the pilot and data files on Windows. ventrac-decode --json and
// ventrac-check must print what they print on Linux.
//
// Every Windows run of a test goes through one batch file, so that Wine
// starts once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "roundtrip.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using vt_test::crlf;
using vt_test::quote;
using vt_test::read_file;
using vt_test::TempDir;
using vt_test::write_file;

const std::string kWindowsBuild = VENTRAC_WINDOWS_BUILD;
const std::string kWinVentrac = kWindowsBuild + "/ventrac.exe";
const std::string kWinDecode = kWindowsBuild + "/tools/decode/ventrac-decode.exe";
const std::string kWinCheck = kWindowsBuild + "/tools/check/ventrac-check.exe";
const std::string kExamples = VENTRAC_EXAMPLES;

// Z: is the root of the Linux file system under Wine.
std::string wine_path(const fs::path &path) {
    std::string p = "Z:" + fs::absolute(path).lexically_normal().string();
    for (char &c : p)
        if (c == '/') c = '\\';
    return p;
}

std::string lf(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

int status_in(const std::string &path) {
    const std::string text = read_file(path);
    return text.empty() ? -1 : std::atoi(text.c_str());
}

struct Case {
    std::string name;
    std::string pilot;  // with LF line ends
    std::string data;   // with LF line ends; empty: no data file
    std::string identifier;
};

std::string data_file(const vt_test::RoundTripCase &c) {
    std::ostringstream out;
    out << static_cast<int>(c.mode) << "\n";
    char value[64];
    for (std::size_t i = 0; i < c.values.size(); ++i) {
        std::snprintf(value, sizeof value, "%.17g", c.values[i]);
        out << c.presence[i] << " " << value << "\n";
    }
    return out.str();
}

// What was compared, and where it differed.
struct Tally {
    int runs = 0;
    long long bytes = 0;
    std::vector<std::string> differences;

    void same(const std::string &what, const std::string &linux_side,
              const std::string &windows_side) {
        bytes += static_cast<long long>(linux_side.size());
        if (linux_side == windows_side) return;
        std::size_t at = 0;
        while (at < linux_side.size() && at < windows_side.size() &&
               linux_side[at] == windows_side[at])
            ++at;
        const std::size_t from = at < 40 ? 0 : at - 40;
        differences.push_back(what + ": from byte " + std::to_string(at) + ", Linux [" +
                              linux_side.substr(from, 80) + "], Windows [" +
                              windows_side.substr(from, 80) + "] (" +
                              std::to_string(linux_side.size()) + " and " +
                              std::to_string(windows_side.size()) + " bytes)");
    }
    void same_status(const std::string &what, int linux_status, int windows_status) {
        if (windows_status < 0 || linux_status != windows_status % 256)
            differences.push_back(what + ": status " + std::to_string(linux_status) +
                                  " on Linux, " + std::to_string(windows_status) + " on Windows");
    }
};

class CrossPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string &exe : {kWinVentrac, kWinDecode, kWinCheck})
            if (!fs::exists(exe))
                GTEST_SKIP() << exe
                             << " not found: build the Windows programs first (docs/windows.md)";
    }

    // Runs `command` (a batch file's lines) under Wine in `dir`.
    static void run_batch(const fs::path &dir, const std::string &lines) {
        const fs::path batch = dir / "run.bat";
        // The statuses are in files; the batch file itself ends with 0.
        write_file(batch.string(), "@echo off\r\n" + crlf(lines) + "exit /b 0\r\n");
        const std::string command = quote(VENTRAC_WINE_RUN) + " " +
                                    quote(kWindowsBuild + "/wine-prefix") + " cmd /c " +
                                    quote(wine_path(batch)) + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // One program run in a batch file: standard output and error and the
    // status go to files named after `tag`.
    static std::string batch_run(const std::string &exe, const std::string &args,
                                 const std::string &tag) {
        std::string line = "\"";
        line += wine_path(exe);
        return line + "\" " + args + " >" + tag + ".out 2>" + tag + ".err\n>" + tag +
               ".status echo %ERRORLEVEL%\n";
    }

    void compare(const std::vector<Case> &cases, Tally &tally) {
        const fs::path lin = dir.path() / "linux", win = dir.path() / "windows";
        std::string batch;
        std::vector<std::pair<fs::path, std::string>> runs;  // each folder's own lines
        for (const Case &c : cases) {
            for (const bool dos : {false, true}) {
                const fs::path folder = win / (c.name + (dos ? "_crlf" : ""));
                fs::create_directories(folder);
                write_file((folder / "pilot.txt").string(), dos ? crlf(c.pilot) : c.pilot);
                if (!c.data.empty())
                    write_file((folder / "obs.txt").string(), dos ? crlf(c.data) : c.data);
                std::string lines = "cd /d \"" + wine_path(folder) + "\"\n";
                lines += batch_run(kWinVentrac, "pilot.txt obs.txt \"" + c.identifier + "\" MOD",
                                   "ventrac");
                lines += batch_run(kWinDecode, "--json pilot.txt HPK_obs.txt", "decode");
                lines += batch_run(kWinCheck, "pilot.txt", "check");
                batch += lines;
                runs.emplace_back(folder, lines);
            }
            const fs::path folder = lin / c.name;
            fs::create_directories(folder);
            write_file((folder / "pilot.txt").string(), c.pilot);
            if (!c.data.empty()) write_file((folder / "obs.txt").string(), c.data);
        }
        run_batch(win, batch);
        // Wine's cmd now and then fails to start a program of a long batch
        // file ("Can't recognize ...", status 9009): the program never ran,
        // so that folder's runs are made again in a batch file of their own.
        // A program that ran and differs is never run again.
        for (const auto &[folder, lines] : runs) {
            bool started = true;
            for (const char *tag : {"ventrac", "decode", "check"})
                if (status_in((folder / (std::string(tag) + ".status")).string()) == 9009)
                    started = false;
            if (started) continue;
            std::printf("%s: a program did not start under Wine; its runs are made again\n",
                        folder.filename().string().c_str());
            fs::remove(folder / "HPK_obs.txt");
            run_batch(folder, lines);
        }

        for (const Case &c : cases) {
            const fs::path folder = lin / c.name;
            const vt_test::RunResult ventrac =
                vt_test::run_ventrac(folder, "pilot.txt obs.txt " + quote(c.identifier) + " MOD");
            const vt_test::RunResult decode =
                vt_test::run_program(VENTRAC_DECODE_EXE, folder, "--json pilot.txt HPK_obs.txt");
            const vt_test::RunResult check =
                vt_test::run_program(VENTRAC_CHECK_EXE, folder, "pilot.txt");
            const std::string hpk = read_file((folder / "HPK_obs.txt").string());
            for (const bool dos : {false, true}) {
                const fs::path w = win / (c.name + (dos ? "_crlf" : ""));
                const std::string what = c.name + (dos ? " (CR LF files)" : "");
                auto file = [&](const std::string &name) { return read_file((w / name).string()); };
                tally.runs += 3;
                tally.same(what + ": HPK file", hpk, file("HPK_obs.txt"));
                tally.same(what + ": ventrac output", ventrac.out, lf(file("ventrac.out")));
                tally.same(what + ": ventrac errors", ventrac.err, lf(file("ventrac.err")));
                tally.same_status(what + ": ventrac", ventrac.status,
                                  status_in((w / "ventrac.status").string()));
                tally.same(what + ": ventrac-decode --json output", decode.out,
                           lf(file("decode.out")));
                tally.same(what + ": ventrac-decode errors", decode.err, lf(file("decode.err")));
                tally.same_status(what + ": ventrac-decode", decode.status,
                                  status_in((w / "decode.status").string()));
                tally.same(what + ": ventrac-check output", without_bufr_lines(check.out),
                           without_bufr_lines(lf(file("check.out"))));
                tally.same(what + ": ventrac-check errors", check.err, lf(file("check.err")));
                tally.same_status(what + ": ventrac-check", check.status,
                                  status_in((w / "check.status").string()));
            }
        }
    }

    // The Windows build has no BUFR support: ventrac-check's "mode M:
    // BUFR: ..." lines say so there, and are left out of the comparison.
    static std::string without_bufr_lines(const std::string &text) {
        std::string kept;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            end = end == std::string::npos ? text.size() : end + 1;
            const std::string_view line(text.data() + at, end - at);
            const std::size_t colon = line.find(": BUFR: ");
            if (!(line.rfind("mode ", 0) == 0 && colon != std::string_view::npos)) kept += line;
            at = end;
        }
        return kept;
    }

    static void report(const char *what, std::size_t cases, const Tally &tally) {
        std::printf("%s: %zu cases, %d runs on each system, %lld bytes compared, %zu differences\n",
                    what, cases, tally.runs, tally.bytes, tally.differences.size());
        for (const std::string &d : tally.differences) ADD_FAILURE() << d;
    }

    TempDir dir;
};

TEST_F(CrossPlatform, ExampleAndGeneratedObservationsGiveTheSameBytes) {
    std::vector<Case> cases;
    cases.push_back({"example", read_file(kExamples + "/ship.pilot"),
                     read_file(kExamples + "/ship_obs.txt"), "FNZ6042"});
    const char *identifiers[] = {"FNZ6042", "ABCDEFGHIJ", "X", "AB CD", "6200143"};
    for (std::uint32_t seed = 1; seed <= 120; ++seed) {
        vt_test::SeededSource source(seed);
        const vt_test::RoundTripCase c = vt_test::make_round_trip_case(source);
        cases.push_back(
            {"generated" + std::to_string(seed), c.pilot, data_file(c), identifiers[seed % 5]});
    }
    Tally tally;
    compare(cases, tally);
    report("example and generated observations", cases.size(), tally);
}

// Numbers a 32-bit long would have cut: a 40-bit element whose max_coded is
// above 2^32, a line kept by mode 40 (bit 39 of its mask), a descriptor of
// more than ten digits; and runs that fail (no data file, no pilot line for
// the mode, an unreadable data line).
TEST_F(CrossPlatform, WideNumbersAndFailuresGiveTheSameResults) {
    const std::string mode = "000000;MODE;8;1;1;0;254;1099511627775;U;1;0;1;mode;;\n";
    std::vector<Case> cases = {
        {"wide_value",
         mode + "012101;WIDE;40;1;0.5;-100;1099511627774;1099511627775;K;1;0;1;wide;;\n",
         "1\n1 274877906943.5\n", "WIDE"},
        {"mode_40",
         mode + "012101;A;12;1;1;0;4094;549755813888;U;1;0;1;kept;;\n"
                "012102;B;12;1;1;0;4094;1;U;1;0;1;not kept;;\n",
         "40\n1 1234\n1 99\n", "M40"},
        {"long_descriptor", mode + "09876543210;L;16;1;1;0;65534;1099511627775;U;1;0;1;long;;\n",
         "3\n1 4321\n", "LONG"},
        {"no_data_file", mode + "012101;A;12;1;1;0;4094;255;U;1;0;1;a;;\n", "", "NONE"},
        {"mode_without_lines", "000000;MODE;8;1;1;0;254;1;U;1;0;1;mode;;\n", "5\n1 3\n", "NOLINE"},
        {"bad_data_line", mode + "012101;A;12;1;1;0;4094;255;U;1;0;1;a;;\n", "1\nnot a number\n",
         "BAD"},
    };
    Tally tally;
    compare(cases, tally);
    report("wide numbers and failures", cases.size(), tally);
}

// The zip for a ship's PC: cpack makes it, the example runs from the
// unzipped folder under Wine and writes the HPK bytes Linux writes.
TEST(WindowsZip, ExampleRunsFromTheUnzippedFolder) {
    if (!fs::exists(kWindowsBuild + "/CPackConfig.cmake"))
        GTEST_SKIP() << "no Windows build at " << kWindowsBuild << " (docs/windows.md)";
    TempDir dir;
    const fs::path packages = dir.path() / "packages";
    const std::string cpack = quote(VENTRAC_CPACK) + " -G ZIP -B " + quote(packages.string()) +
                              " --config " + quote(kWindowsBuild + "/CPackConfig.cmake") + " >" +
                              quote(dir.file("cpack.log")) + " 2>&1";
    // cpack first brings the Windows build up to date (its "preinstall").
    ASSERT_EQ(std::system(cpack.c_str()), 0)
        << read_file(dir.file("cpack.log"))
        << read_file((packages / "_CPack_Packages/win64/ZIP/PreinstallOutput.log").string());
    const std::string name = "ventrac-" VENTRAC_VERSION "-win64";
    const fs::path zip = packages / (name + ".zip");
    ASSERT_TRUE(fs::exists(zip)) << read_file(dir.file("cpack.log"));
    const fs::path unzipped = dir.path() / "unzipped";
    fs::create_directory(unzipped);
    const std::string extract = "cd " + quote(unzipped.string()) + " && " + quote(VENTRAC_CMAKE) +
                                " -E tar xf " + quote(zip.string());
    ASSERT_EQ(std::system(extract.c_str()), 0);

    const fs::path top = unzipped / name;
    for (const char *file : {"ventrac.exe", "ventrac-decode.exe", "ventrac-check.exe", "README.txt",
                             "example/ship.pilot", "example/ship_obs.txt", "doc/ventrac.txt",
                             "doc/ventrac-decode.txt", "doc/ventrac-check.txt"})
        EXPECT_TRUE(fs::exists(top / file)) << file;
    // ventrac-encode too, when the Windows build has its JSON library.
    if (fs::exists(kWindowsBuild + "/tools/encode/ventrac-encode.exe")) {
        for (const char *file : {"ventrac-encode.exe", "doc/ventrac-encode.txt"})
            EXPECT_TRUE(fs::exists(top / file)) << file;
    }
    // The example and the texts come with CR LF line ends.
    const std::string pilot = read_file((top / "example/ship.pilot").string());
    EXPECT_EQ(pilot, crlf(read_file(kExamples + "/ship.pilot")));
    EXPECT_EQ(lf(read_file((top / "README.txt").string())).find('\r'), std::string::npos);
    EXPECT_NE(read_file((top / "README.txt").string()).find("\r\n"), std::string::npos);

    // As README.txt says: from the example folder, ..\ventrac.exe.
    const std::string batch =
        "@echo off\r\ncd /d \"" + wine_path(top / "example") +
        "\"\r\n..\\ventrac.exe ship.pilot ship_obs.txt FNZ6042 MOD >run.out\r\n"
        ">run.status echo %ERRORLEVEL%\r\nexit /b 0\r\n";
    write_file(dir.file("run.bat"), batch);
    const std::string command = quote(VENTRAC_WINE_RUN) + " " +
                                quote(kWindowsBuild + "/wine-prefix") + " cmd /c " +
                                quote(wine_path(dir.path() / "run.bat")) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);

    const fs::path lin = dir.path() / "linux";
    fs::create_directory(lin);
    write_file((lin / "ship.pilot").string(), read_file(kExamples + "/ship.pilot"));
    write_file((lin / "ship_obs.txt").string(), read_file(kExamples + "/ship_obs.txt"));
    const vt_test::RunResult r = vt_test::run_ventrac(lin, "ship.pilot ship_obs.txt FNZ6042 MOD");
    const std::string hpk = read_file((lin / "HPK_ship_obs.txt").string());
    ASSERT_FALSE(hpk.empty());
    EXPECT_EQ(read_file((top / "example/HPK_ship_obs.txt").string()), hpk);
    EXPECT_EQ(status_in((top / "example/run.status").string()), r.status);
    EXPECT_EQ(lf(read_file((top / "example/run.out").string())), r.out);
}

}  // namespace
