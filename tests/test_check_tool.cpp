// SPDX-License-Identifier: Apache-2.0
// ventrac-check run as a program: one faulty pilot file per finding, the
// shipped example, the summary against the encoder, and the command line;
// and its pilot model in process, against the library's reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "pilot/pilot.h"
#include "test_support.h"
#include "tools/check/findings.h"

namespace {

using vt_test::quote;
using vt_test::read_file;
using vt_test::RunResult;
using vt_test::TempDir;
using vt_test::write_file;

RunResult run_check(const TempDir &dir, const std::string &args) {
    return vt_test::run_program(VENTRAC_CHECK_EXE, dir.path(), args);
}

// The summary line of a mode's BUFR readiness, "mode M: BUFR: ...".
bool is_bufr_line(const std::string &text) {
    const std::size_t colon = text.find(": BUFR: ");
    return text.rfind("mode ", 0) == 0 && colon != std::string::npos &&
           text.find_first_not_of("0123456789", 5) == colon;
}

// `out` without its BUFR lines, each checked to follow the size line of its
// own mode. A build without ecCodes says "not checked"; one with it says
// "yes" or "no: " and a reason.
std::string without_bufr_lines(const std::string &out) {
    std::istringstream in(out);
    std::string kept, previous;
    for (std::string text; std::getline(in, text); previous = text) {
        if (!is_bufr_line(text)) {
            kept += text + "\n";
            continue;
        }
        const std::string mode = text.substr(0, text.find(": BUFR: ") + 1);
        EXPECT_EQ(previous.substr(0, mode.size() + 1), mode + " ") << out;
        EXPECT_FALSE(is_bufr_line(previous)) << out;
        const std::string said = text.substr(mode.size() + 7);
        if (check::bufr_checked())
            EXPECT_TRUE(said == "yes" || said.rfind("no: ", 0) == 0) << text;
        else
            EXPECT_EQ(said, "not checked (built without ecCodes)");
    }
    return kept;
}

// What the BUFR line of `mode` says on a mode that can go out as BUFR.
std::string bufr_ready(int mode) {
    return "mode " + std::to_string(mode) +
           ": BUFR: " + (check::bufr_checked() ? "yes" : "not checked (built without ecCodes)") +
           "\n";
}

// A pilot line of 15 fields with the coding-law fields given.
std::string line(const std::string &code, const std::string &law, int mask = 3,
                 const std::string &name = "A", const std::string &tail = "c;;") {
    return code + ";" + name + ";" + law + ";" + std::to_string(mask) + ";U;1;0;1;" + tail + "\n";
}
// nbits;power;scale;reference;max_coded
const std::string kByte = "8;1;1;0;254";
const std::string kMode = line("000000", "4;1;1;0;14", 3, "MODE");
const std::string kGood = line("000001", kByte);

// A line per element, descriptors 000001 on, named E1 on, kept in the modes
// of `mask`.
std::string elements(int first, int count, int mask) {
    std::string text;
    for (int i = first; i < first + count; ++i) {
        char code[16];  // room for any int, though the tests stay below 1,000,000
        std::snprintf(code, sizeof code, "%6.6d", i);
        text += line(code, kByte, mask, 'E' + std::to_string(i));
    }
    return text;
}

// 1026 lines: the mode, 1023 lines of modes 1 and 2, then one of mode 1 and
// one of mode 2. A load keeps at most 1024.
const std::string kFullTable =
    kMode + elements(1, 1023, 3) + elements(1024, 1, 1) + elements(1025, 1, 2);

// The encoder loads a mode over a cleared table, the decoder after every
// line. Line 4 gives no unit, conv_factor, flag or comment: in mode 2 it
// lands in the slot line 3 fills in the decoder's load of every line.
const std::string kInheritedTexts = kMode + line("000001", kByte, 1, "A") +
                                    line("000002", kByte, 2, "B") + "000003;C;8;1;1;0;254;2\n";
// Line 4 gives no mode_mask either: the decoder keeps it in mode 2 from what
// line 3 left in the slot, the encoder does not keep it.
const std::string kInheritedMask = kMode + line("000001", kByte, 1, "A") +
                                   line("000002", kByte, 2, "B") + "000003;C;8;1;1;0;254\n";

struct Case {
    std::string pilot;
    std::string finding;  // expected in the output, "" for a clean file
    int status;
};

TEST(CheckToolFindings, EachFaultIsReportedWithItsLineAndStatus) {
    const Case cases[] = {
        // Errors.
        {kMode + line("000001", "8;1;1;0;300"), "p:2: error: max_coded 300 does not fit in 8 bits",
         2},
        {kMode + line("000001", "8;1;1;0;18446744073709551615"),
         "p:2: error: max_coded is read as -1", 2},
        {kMode + line("000001", "0;1;1;0;0"), "p:2: error: nbits is 0: the value is never sent", 2},
        {kMode + line("000001", "54;1;1;0;254"), "p:2: error: nbits 54 is above 53", 2},
        // Near 2^53 a double holds only whole numbers: code c reads as c + 0.5,
        // which rounds to another code. Even whole values: the encoder rounds
        // c + 0.5 down, which above 2^52 is not a double either. Below 2^52
        // every code comes back.
        {kMode + line("000001", "53;1;1;0.5;9007199254740990"),
         "p:2: error: code 9007199254740989 reads as 9007199254740990, which is sent as code "
         "9007199254740990: the values are too large for their step to be told apart",
         2},
        {kMode + line("000001", "53;1;1;0;9007199254740990"),
         "p:2: error: code 9007199254740989 reads as 9007199254740989, which is sent as code "
         "9007199254740990",
         2},
        {kMode + line("000001", "52;1;1;0;4503599627370494"), "", 0},
        // The largest present code under a step of 2 rounds to all ones.
        {kMode + line("000001", "52;1;2;9489.39;4503599627370494"),
         "p:2: error: code 4503599627370492 reads as 9007199254750474, which is sent as code "
         "4503599627370493",
         2},
        {line("000000", "0;1;1;0;0") + kGood, "p:1: error: nbits is 0: the operating mode", 2},
        {kMode + line("101000", "0;1;1;0;0") + kGood, "p:2: error: nbits is 0", 2},
        {kMode + line("000001", "8;1;0;0;254"),
         "p:2: error: the coding law cannot be inverted: scale is 0", 2},
        {kMode + line("000001", "8;0;1;0;254"),
         "p:2: error: the coding law cannot be inverted: power is 0", 2},
        {kMode + line("102000", kByte) + kGood,
         "p:2: error: replicated group of 2 lines reaches past the last line kept in modes 1-2", 2},
        // Line 3 is kept in mode 1 only: the group reaches past the end in mode 2.
        {kMode + line("101000", kByte) + line("000001", kByte, 1),
         "p:2: error: replicated group of 1 line reaches past the last line kept in mode 2 "
         "(in mode 2, 0 lines follow it)",
         2},
        {kMode + line("101000", "8;1;2;0;254") + kGood,
         "p:2: error: delayed count does not code whole counts exactly: a count of 1 is sent as 1 "
         "and read back as 2",
         2},
        {kMode + line("101000", "8;2;1;0;254") + kGood,
         "a count of 2 is sent as 1 and read back as 1", 2},
        // 3 * 0.3333333 comes back just below 1 and the decoder truncates it.
        {kMode + line("101000", "8;1;0.3333333;0;254") + kGood,
         "a count of 1 is sent as 3 and read back as 0", 2},
        {kMode + line("000001", kByte, 3, std::string(64, 'n')),
         "p:2: error: name of 64 characters is cut to 63", 2},
        {kMode + "000001;A;8;1;1;0;254;3;" + std::string(64, 'u') + ";1;0;1;c;;\n",
         "p:2: error: unit of 64 characters is cut to 63", 2},
        {kMode + line("000001", kByte, 3, "A", std::string(1024, 'c') + ";;"),
         "p:2: error: comment of 1024 characters is cut to 1023", 2},
        {kMode + line("23456789", kByte),
         "p:2: error: descriptor 23456789 has 8 digits: the reader keeps 2345678", 2},
        {kMode + line("000001", kByte, 3, "A", std::string(500, 'c') + ";;"),
         "p:2: error: line of 533 characters is read as 2 lines", 2},
        // 511 characters and the line feed make two pieces; 510 make one.
        {kMode + line("000001", kByte, 3, "A", std::string(478, 'c') + ";;"),
         "p:2: error: line of 511 characters", 2},
        {kMode + line("000001", kByte, 3, "A", std::string(477, 'c') + ";;"), "", 0},
        {line("000000", "4;1;1;0;14", 1) + kGood,
         "p:1: error: the first line (the operating mode) is not kept in mode 2, which keeps "
         "other lines: line 2",
         2},
        {"", "p:1: error: the file has no line", 2},
        // The mode is sent in the first line's width.
        {line("000000", "2;1;1;0;3", 15, "MODE") + kGood + line("000002", kByte, 8),
         "p:1: error: nbits 2 of the operating mode cannot hold mode 4, which keeps other lines: "
         "the decoder reads mode 4 as mode 0",
         2},
        {line("000000", "3;1;1;0;7", 2147483647, "MODE") + line("000001", kByte, 2147483647),
         "p:1: error: nbits 3 of the operating mode cannot hold modes 8-31, which keep other "
         "lines: the decoder reads mode 8 as mode 0",
         2},
        {kFullTable,
         "p:1025: error: the element table is full before this line, the 1025th kept in mode 0 "
         "(every line) and mode 1: it and 1 more line kept there are never read (in mode 0)\n",
         2},
        {kFullTable,
         "p:1026: error: the element table is full before this line, the 1025th kept in mode 2: "
         "it is never read\n",
         2},
        {kInheritedMask,
         "p:4: error: in mode 2 the decoder keeps this line and the encoder does not: the line "
         "does not give its mode_mask",
         2},
        // Warnings.
        {kMode + line("000001", "8;1;1;0;255"), "p:2: warning: max_coded 255 is all ones in 8 bits",
         1},
#ifdef _WIN32
        // Pilot files are read in text mode there: CR LF is a line feed.
        {kMode + "000001;A;8;1;1;0;254;3;U;1;0;1;c;;\r\n", "", 0},
#else
        {kMode + "000001;A;8;1;1;0;254;3;U;1;0;1;c;;\r\n",
         "p:2: warning: carriage return before the line feed stays at the end of field 14 "
         "(max_valid): the field is no longer empty and sets max_valid to 0",
         1},
#endif
        {kMode + "000001;A;8;1;1;0;254;3\n",
         "p:2: warning: only 8 of 15 fields: fields 8 (unit) to 12 (comment)", 1},
        {kMode + kGood + "\n", "p:3: warning: empty line", 1},
        {kMode + kGood + kGood,
         "p:3: warning: same descriptor 000001 and name \"A\" as line 2 (mode 1)", 1},
        {kMode + line("102002", "0;1;1;0;0") + kGood + kGood,
         "p:4: warning: same descriptor 000001 and name \"A\" as line 3", 1},
        {kMode + line("000001", "8;1;0.5;0;254", 3, "A", "c;-5;100"),
         "p:2: warning: plausibility bounds -5 .. 100 reach past the values the coding law "
         "gives (0 .. 127)",
         1},
        {kMode + line("000001", kByte, 3, "A", "c;300;400"),
         "p:2: warning: plausibility bounds 300 .. 400 leave out every value", 1},
        {kInheritedTexts,
         "p:4: warning: in mode 2 the decoder gives this line other unit, conv_factor, flag, "
         "comment than the encoder's table",
         1},
        // Clean: what carries no value, all ones on a count, exact count laws,
        // one name per mode, a name repeated in another group.
        {kMode + line("101002", "0;1;1;0;0") + kGood + kGood, "", 0},
        {kMode + line("101000", "8;1;1;0;255") + kGood, "", 0},
        {kMode + line("101000", "8;1;0.1;0;254") + kGood, "", 0},
        {kMode + line("101000", "8;1;1;2;254") + kGood, "", 0},
        {kMode + line("000001", kByte, 1) + line("000001", kByte, 2), "", 0},
        {kMode + kGood + line("101000", kByte) + kGood, "", 0},
        // Modes 1 to 3 fit in 2 bits; 1024 kept lines fill the table.
        {line("000000", "2;1;1;0;3", 7, "MODE") + kGood + line("000002", kByte, 4), "", 0},
        {kMode + elements(1, 1023, 3), "", 0},
        // Lines that give every field read the same in both tables,
        // whatever the lines of other modes before them.
        {kMode + line("000001", kByte, 1, "A") + line("000002", kByte, 2, "B") +
             line("000003", kByte, 2, "C"),
         "", 0},
    };
    TempDir dir;
    for (const Case &c : cases) {
        write_file(dir.file("p"), c.pilot);
        const RunResult r = run_check(dir, "p");
        EXPECT_EQ(r.status, c.status) << c.pilot << r.out;
        const std::string expected = c.finding.empty() ? "p: 0 errors, 0 warnings\n" : c.finding;
        EXPECT_NE(r.out.find(expected), std::string::npos) << c.pilot << r.out;
        EXPECT_EQ(r.err, "");
    }
}

TEST(CheckToolFindings, FindingsComeInLineOrderBeforeTheSummary) {
    TempDir dir;
    write_file(dir.file("p"), line("000000", "4;1;1;0;14", 1) + line("000001", "8;1;1;0;255") +
                                  line("000002", "8;1;1;0;300"));
    const RunResult r = run_check(dir, "p");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(without_bufr_lines(r.out),
              "p:1: error: the first line (the operating mode) is not kept in mode 2, which keeps "
              "other lines: line 2 is read as the operating mode there\n"
              "p:2: warning: max_coded 255 is all ones in 8 bits: a present value clipped to it "
              "reads as missing\n"
              "p:3: error: max_coded 300 does not fit in 8 bits (at most 255): larger coded values "
              "lose their high bits\n"
              "p: 2 errors, 1 warning\n"
              "mode 1: 3 elements; without replication 20 bits, 3 bytes, 4 six-bit characters\n"
              "mode 2: 2 elements; without replication 16 bits, 2 bytes, 3 six-bit characters\n");
}

TEST(CheckToolSummary, ShippedExampleIsClean) {
    TempDir dir;
    const std::string ship = std::string(VENTRAC_EXAMPLES) + "/ship.pilot";
    const RunResult r = run_check(dir, quote(ship));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, ship +
                         ": 0 errors, 0 warnings\n"
                         "mode 1: 24 elements; without replication 218 bits, 28 bytes, "
                         "38 six-bit characters\n" +
                         bufr_ready(1) +
                         "mode 2: 22 elements; without replication 202 bits, 26 bytes, "
                         "35 six-bit characters\n" +
                         bufr_ready(2));
}

// Each mode line of the summary gives the number of lines the encoder keeps
// and the bytes it packs when every value is 0, delayed counts included.
TEST(CheckToolSummary, SizesMatchTheEncoder) {
    TempDir dir;
    const std::string nested = line("000000", "5;1;1;0;30") + line("000001", "7;1;1;0;100") +
                               line("103003", "0;1;1;0;0") + line("000002", "9;1;1;0;500") +
                               line("101000", "6;1;1;0;62") + line("000003", "11;1;1;0;2000") +
                               line("000004", "13;1;1;0;8000", 2);
    const std::string pilots[] = {read_file(std::string(VENTRAC_EXAMPLES) + "/ship.pilot"), nested};
    std::vector<double> values(VENTRAC_MAX_VALUES, 0.0);
    std::vector<int> presence(VENTRAC_MAX_VALUES, 1);
    std::vector<unsigned char> buffer(VENTRAC_PACKED_SIZE);
    ventrac_set_trace(nullptr);
    for (const std::string &pilot : pilots) {
        write_file(dir.file("p"), pilot);
        std::istringstream out(without_bufr_lines(run_check(dir, "p").out));
        int modes = 0;
        for (std::string text; std::getline(out, text);) {
            if (text.rfind("mode ", 0) != 0) continue;
            ++modes;
            const int mode = std::stoi(text.substr(5));
            int kept = 0;
            const int bytes = comprime(dir.file("p").c_str(), static_cast<signed char>(mode),
                                       values.data(), presence.data(), buffer.data(), &kept);
            const std::string expected = "mode " + std::to_string(mode) + ": " +
                                         std::to_string(kept) + " elements; without replication ";
            EXPECT_EQ(text.substr(0, expected.size()), expected);
            EXPECT_NE(text.find(", " + std::to_string(bytes) + " bytes, "), std::string::npos)
                << text;
        }
        EXPECT_EQ(modes, 2) << pilot;
    }
    ventrac_set_trace(stdout);
}

// Whether `load` holds the first `count` entries of the library's table.
void expect_table(const check::Load &load, int count, const std::string &what) {
    ASSERT_EQ(load.count(), count) << what;
    const auto same_number = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (int i = 0; i < count; ++i) {
        const ElementSpec &a = load.table[static_cast<std::size_t>(i)];
        const ElementSpec &b = specel[i];
        const bool same =
            std::strcmp(a.code, b.code) == 0 && std::strcmp(a.name, b.name) == 0 &&
            a.nbits == b.nbits && same_number(a.power, b.power) && same_number(a.scale, b.scale) &&
            same_number(a.reference, b.reference) && a.max_coded == b.max_coded &&
            a.mode_mask == b.mode_mask && std::strcmp(a.unit, b.unit) == 0 &&
            same_number(a.conv_factor, b.conv_factor) &&
            same_number(a.conv_offset, b.conv_offset) && same_number(a.min_valid, b.min_valid) &&
            same_number(a.max_valid, b.max_valid) && a.flag == b.flag &&
            std::strcmp(a.comment, b.comment) == 0;
        EXPECT_TRUE(same) << what << ", entry " << i;
    }
}

// The encoder's table of a mode is what get_specif() loads over a cleared
// table; the decoder's is what it loads over the table of every line.
TEST(CheckToolModel, TablesMatchTheLibraryReader) {
    TempDir dir;
    const std::string pilots[] = {
        read_file(std::string(VENTRAC_EXAMPLES) + "/ship.pilot"),
        kInheritedTexts,
        kInheritedMask,
        kFullTable,
        // Empty lines, lines without a mask or texts, a mode element sent
        // only in some modes.
        line("000000", "5;1;1;0;30", 5, "MODE") + "\n000005;D;6\n" + line("000001", kByte, 5, "A") +
            "000002;B;8;1;1;0;254;6\n000003;C;8;1;1;0;254\n" + "101000;N;8;1;1;0;254;7;U\n\n" +
            line("000004", kByte, 4),
    };
    const auto clear = [] { std::fill(specel, specel + VENTRAC_MAX_ELEMENTS, ElementSpec{}); };
    ventrac_set_trace(nullptr);
    for (const std::string &pilot : pilots) {
        write_file(dir.file("p"), pilot);
        const std::string path = dir.file("p");
        const check::Pilot p = check::make_pilot(path, pilot);
        clear();
        expect_table(p.all, get_specif(path.c_str(), 0), pilot.substr(0, 80) + ", mode 0");
        for (int m = check::kFirstMode; m <= check::kLastMode; ++m) {
            const std::string what = pilot.substr(0, 80) + ", mode " + std::to_string(m);
            clear();
            expect_table(p.mode(m), get_specif(path.c_str(), static_cast<signed char>(m)),
                         what + ", encoder");
            clear();
            get_specif(path.c_str(), 0);
            expect_table(check::decoder_load(p, m),
                         get_specif(path.c_str(), static_cast<signed char>(m)), what + ", decoder");
        }
    }
    clear();
    ventrac_set_trace(stdout);
}

TEST(CheckToolCommandLine, OptionsUsageAndUnreadableFiles) {
    TempDir dir;
    write_file(dir.file("-p"), kMode + kGood);
    struct Call {
        std::string args;
        int status;
        std::string out;  // expected at the start of standard output
        std::string err;  // expected at the start of standard error
    };
    const Call calls[] = {
        {"--help", 0, "Usage: ventrac-check [--] PILOT\n", ""},
        {"--version", 0, "ventrac-check ", ""},
        {"-- -p", 0, "-p: 0 errors, 0 warnings\n", ""},
        {"", 2, "", "ventrac-check: no pilot file given\nUsage: ventrac-check"},
        {"a b", 2, "", "ventrac-check: one pilot file at a time\nUsage:"},
        {"-p", 2, "", "ventrac-check: unknown option -p\nUsage:"},
        {"absent", 2, "", "ventrac-check: cannot read absent"},
        {".", 2, "", "ventrac-check: cannot read .: it is a folder\n"},
    };
    for (const Call &c : calls) {
        const RunResult r = run_check(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << c.args;
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.args;
        if (c.out.empty()) {
            EXPECT_EQ(r.out, "") << c.args;
        }
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "") << c.args;
        }
    }
    // An unreadable file gets one line.
    const std::string err = run_check(dir, "absent").err;
    EXPECT_EQ(err.find('\n'), err.size() - 1);
}

}  // namespace
