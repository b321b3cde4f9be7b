// SPDX-License-Identifier: Apache-2.0
// ventrac-decode on messages written by ventrac: the values of the shipped
// example in the text and CSV formats, the lookups, the data-type file, the
// trace file, the failures with their statuses, messages given as lines, and
// the same bytes out whatever the number of threads. The JSON format is read
// back by decode_json_check.py.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "tools/decode/input.h"
#include "tools/decode/pipeline.h"

namespace {

namespace fs = std::filesystem;
using vt_test::quote;
using vt_test::read_file;
using vt_test::RunResult;
using vt_test::TempDir;
using vt_test::write_file;

const std::string kExamples = VENTRAC_EXAMPLES;

RunResult run_decode(const fs::path &dir, const std::string &args) {
    return vt_test::run_program(VENTRAC_DECODE_EXE, dir, args);
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Rows of CSV text: quoted fields may hold commas, quotes and line breaks.
std::vector<std::vector<std::string>> parse_csv(const std::string &text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || c == '\n')) {
            row.push_back(field);
            field.clear();
            if (c == '\n') rows.push_back(std::move(row)), row.clear();
        } else {
            field += c;
        }
    }
    return rows;
}

struct Expected {
    bool present;
    double value;
};

class DecodeTool : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string data = read_file(kExamples + "/ship_obs.txt");
        write_file(dir.file("ship_obs.txt"), data);
        encode("ship_obs.txt");
        std::istringstream in(data);
        int mode = 0, presence = 0;
        double value = 0;
        in >> mode;
        while (in >> presence >> value) expected.push_back({presence != 0, value});
        std::istringstream pilot(read_file(pilot_path));
        for (std::string line; std::getline(pilot, line);) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string s; std::getline(fields, s, ';');) f.push_back(s);
            resolution[f[1]] = std::stod(f[4]);
        }
    }
    void encode(const std::string &data) {
        ASSERT_NE(vt_test::run_ventrac(dir.path(), quote(pilot_path) + " " + data + " FNZ6042 MOD")
                      .status,
                  -1);
        ASSERT_TRUE(fs::exists(dir.path() / ("HPK_" + data)));
    }
    // The example observation in mode 2, which sends no wave elements (the
    // 18th and 19th values), encoded as HPK_mode2.txt.
    void encode_mode2() {
        std::vector<std::string> data = lines_of(read_file(dir.file("ship_obs.txt")));
        data[0] = "2";
        data.erase(data.begin() + 18, data.begin() + 20);
        std::string mode2;
        for (const std::string &line : data) mode2 += line + "\n";
        write_file(dir.file("mode2.txt"), mode2);
        encode("mode2.txt");
    }
    RunResult decode(const std::string &args) { return run_decode(dir.path(), args); }
    // Checks element `i`, named `name`, against the data file.
    void check_value(std::size_t i, const std::string &name, bool valid, double value) {
        ASSERT_LT(i, expected.size());
        const std::string base = name.substr(0, name.find("_D"));
        const double step = resolution.count(base) ? resolution[base]
                                                   : resolution[base.substr(0, base.size() - 3)];
        EXPECT_EQ(valid, expected[i].present) << name;
        if (valid) {
            EXPECT_LE(std::fabs(value - expected[i].value), step / 2) << name;
        }
    }

    TempDir dir;
    const std::string pilot_path = kExamples + "/ship.pilot";
    const std::string hpk = "HPK_ship_obs.txt";
    std::vector<Expected> expected;
    std::map<std::string, double> resolution;
};

TEST_F(DecodeTool, TextAndCsvGiveTheExampleValues) {
    RunResult r = decode(quote(pilot_path) + " " + hpk);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), expected.size() + 3);  // header, heading, rows, blank line
    EXPECT_EQ(lines[0], "HPK_ship_obs.txt: identifier FNZ6042, mode 1, data type 0, 26 elements");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::istringstream row(lines[i + 2]);
        std::string ident, code, name, text;
        row >> ident >> code >> name >> text;
        EXPECT_EQ(ident, "D0000" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1));
        const bool missing = lines[i + 2].size() > 9 &&
                             lines[i + 2].substr(lines[i + 2].size() - 9) == "  missing";
        check_value(i, name, !missing, std::stod(text));
    }

    r = decode("--csv " + quote(pilot_path) + " " + hpk);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = parse_csv(r.out);
    ASSERT_EQ(rows.size(), expected.size() + 1);
    EXPECT_EQ(rows[0][0], "file");
    EXPECT_EQ(rows[0][9], "value");
    EXPECT_EQ(rows[0][14], "missing");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::vector<std::string> &row = rows[i + 1];
        ASSERT_EQ(row.size(), rows[0].size());
        EXPECT_EQ(row[0] + row[1] + row[2] + row[3], "HPK_ship_obs.txtFNZ604210");
        const bool valid = row[8] == "1";
        EXPECT_EQ(row[9].empty(), !valid);
        EXPECT_EQ(row[14], valid ? "0" : "1") << row[6];
        check_value(i, row[6], valid, valid ? std::stod(row[9]) : 0.0);
    }
}

TEST_F(DecodeTool, GetPrintsConvertedValuesOrNA) {
    write_file(dir.file("short.hpk"), "ABCDEFG");
    const RunResult r = decode(
        std::string("--get 012101 TA --get 010061 PTEND3H --get 999999 NONE ") + "--get " +
        quote(" 020013 ") + " CLBASE_D000-001 " + quote(pilot_path) + " " + hpk + " short.hpk");
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_NEAR(std::stod(lines[0]), 285.35 - 273.15, 1e-9);
    EXPECT_EQ(lines[1] + lines[2] + lines[3], "NANA2700");
    // The file that cannot be decoded still gets one line per lookup.
    EXPECT_EQ(lines[4] + lines[5] + lines[6] + lines[7], "NANANANA");
}

TEST_F(DecodeTool, DataTypeFileGivesEachModeItsCode) {
    encode_mode2();
    write_file(dir.file("types"), "# mode type\n\n1 10\n 2\t-20 # no waves\r\n");
    RunResult r = decode("--datatype types " + quote(pilot_path) + " " + hpk + " HPK_mode2.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("HPK_ship_obs.txt: identifier FNZ6042, mode 1, data type 10, 26 elements\n"),
        std::string::npos);
    EXPECT_NE(r.out.find("HPK_mode2.txt: identifier FNZ6042, mode 2, data type -20, 24 elements\n"),
              std::string::npos);

    // Without mode 1 in the list: error 234 in one line of ours, the codec's
    // own line going to the trace file.
    write_file(dir.file("types"), "2 20\n");
    r = decode("--json --trace trace.txt --datatype types " + quote(pilot_path) + " " + hpk +
               " HPK_mode2.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "ventrac-decode: HPK_ship_obs.txt: error 234: operating mode 1 has no data-type code\n");
    EXPECT_EQ(lines_of(r.out).size(), 1u);
    const std::string trace = read_file(dir.file("trace.txt"));
    EXPECT_NE(trace.find("pilote:000000;MODE;4;"), std::string::npos);
    EXPECT_NE(trace.find("ventrac-decode - FNZ6042 -  erreur num 234"), std::string::npos);
}

TEST_F(DecodeTool, FilesThatCannotBeDecoded) {
    write_file(dir.file("empty.hpk"), "");
    write_file(dir.file("short.hpk"), "ABCDEFG");
    fs::create_directory(dir.path() / "folder.hpk");
    RunResult r =
        decode(quote(pilot_path) + " absent.hpk empty.hpk " + hpk + " short.hpk folder.hpk");
    EXPECT_EQ(r.status, 1);
#ifdef _WIN32
    // Windows refuses to open a folder as a file.
    const char *folder = "ventrac-decode: folder.hpk: cannot be opened (Permission denied)\n";
#else
    const char *folder = "ventrac-decode: folder.hpk: cannot be read (Is a directory)\n";
#endif
    EXPECT_EQ(
        r.err,
        std::string("ventrac-decode: absent.hpk: cannot be opened (No such file or directory)\n"
                    "ventrac-decode: empty.hpk: empty file\n"
                    "ventrac-decode: short.hpk: too short: 7 bytes, a message has at least 8\n") +
            folder);
    EXPECT_EQ(r.out.rfind(hpk + ": identifier FNZ6042", 0), 0u);
    // A pilot file that cannot be read or holds no line: one line before
    // anything is decoded, however many files follow, and no output file
    // made.
    write_file(dir.file("empty.pilot"), "");
    for (const std::string pilot : {"absent.pilot", "empty.pilot"}) {
        r = decode("--trace never.txt " + pilot + " " + hpk + " " + hpk + " --lines " + hpk);
        EXPECT_EQ(r.status, 2) << pilot;
        EXPECT_EQ(r.out, "") << pilot;
        EXPECT_FALSE(fs::exists(dir.path() / "never.txt")) << pilot;
        EXPECT_EQ(r.err.rfind("ventrac-decode: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(pilot), std::string::npos) << r.err;
        EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    }
}

TEST_F(DecodeTool, UsageErrors) {
    for (const std::string args : {"",
                                   "p.pilot",
                                   "--json p.pilot",
                                   "--bogus p.pilot f",
                                   "-x p.pilot f",
                                   "--get 012101 p.pilot",
                                   "--trace",
                                   "--json --csv p.pilot f",
                                   "--get 1 A --json p.pilot f",
                                   "--trace a --trace b p.pilot f",
                                   "--datatype absent p.pilot f",
                                   "--jobs 0 p.pilot f",
                                   "--jobs x p.pilot f",
                                   "--jobs 1025 p.pilot f",
                                   "--jobs",
                                   "--centre 5 p.pilot f",
                                   "--keep-implausible p.pilot f",
                                   "--bufr - --json p.pilot f",
                                   "--bufr - --get 1 A p.pilot f",
                                   "--bufr o --telex p.pilot f",
                                   "--bufr o --centre 65536 p.pilot f",
                                   "--bufr o --table-version -1 p.pilot f",
                                   "--bufr a --bufr b p.pilot f",
                                   "--bufr-subsets 5 p.pilot f",
                                   "--bufr-uncompressed p.pilot f",
                                   "--bufr o --bufr-subsets 0 p.pilot f",
                                   "--bufr o --bufr-subsets 10001 p.pilot f",
                                   "--bufr o --bufr-subsets"}) {
        const RunResult r = decode(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("ventrac-decode: ", 0), 0u) << args;
        EXPECT_NE(r.err.find("Usage: ventrac-decode [options] PILOT FILE..."), std::string::npos)
            << args;
        EXPECT_EQ(r.out, "") << args;
    }
    std::string many;
    for (int mode = 1; mode <= 33; ++mode) many += std::to_string(mode) + " 0\n";
    const std::pair<std::string, std::string> tables[] = {
        {"1\n", "types line 1: expected 'mode type', two integers from -128 to 127"},
        {"# x\n1 2 3\n", "types line 2: expected"},
        {"1 x2\n", "types line 1: expected"},
        {"1 128\n", "types line 1: expected"},
        {"1 2\n1 3\n", "types line 2: mode 1 is listed twice"},
        {many, "types line 33: more than 32 pairs"}};
    for (const auto &[table, message] : tables) {
        write_file(dir.file("types"), table);
        const RunResult r = decode("--datatype types " + quote(pilot_path) + " " + hpk);
        EXPECT_EQ(r.status, 2) << table;
        EXPECT_EQ(r.err.rfind("ventrac-decode: " + message, 0), 0u) << r.err;
    }
    EXPECT_EQ(decode("--help").status, 0);
    const RunResult v = decode("--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("ventrac-decode ", 0), 0u);
}

TEST_F(DecodeTool, CsvQuotingAndTelexLines) {
    write_file(dir.file("odd.pilot"),
               "000000;MODE;4;1;1;0;14;255;N;1;0;0;mode;;\n"
               "001001;a,b\"c;8;1;1;0;254;255;x\ry;1;0;1;say \"hi\", twice;;\n");
    write_file(dir.file("odd.txt"), "1\n1 42\n");
    vt_test::run_ventrac(dir.path(), "odd.pilot odd.txt " + quote("X,\"Y") + " MOD");
    RunResult r = decode("--csv odd.pilot HPK_odd.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = parse_csv(r.out);
    ASSERT_EQ(rows.size(), 2u);
    const std::vector<std::string> row = rows[1];
    ASSERT_EQ(row.size(), 15u);
    EXPECT_EQ(row[1] + "|" + row[6] + "|" + row[7] + "|" + row[9] + "|" + row[13],
              "X,\"Y|a,b\"c|x\ry|42|say \"hi\", twice");

    // The message, in telex lines of at most 69 characters, ends with '='.
    const std::string message = read_file(dir.file(hpk));
    r = decode("--telex " + quote(pilot_path) + " " + hpk);
    const std::string telex = r.out.substr(r.out.find("  telex:\n") + 9);
    std::string joined;
    for (const std::string &line : lines_of(telex)) {
        if (line.empty()) continue;
        EXPECT_LE(line.size(), 2u + 69u + 1u);
        joined += line.substr(2);
    }
    EXPECT_EQ(joined, message + "=");
}

// The data file of the example with some of its values replaced: value
// line `index` (0-based, after the mode) becomes `line`.
std::string with_values(const std::string &data,
                        const std::map<std::size_t, std::string> &changes) {
    std::vector<std::string> rows = lines_of(data);
    for (const auto &[index, line] : changes) rows.at(index + 1) = line;
    std::string out;
    for (const std::string &row : rows) out += row + "\n";
    return out;
}

TEST_F(DecodeTool, MissingAndImplausibleValuesAreToldApart) {
    // TA (the 13th value) at 330 K lies above its plausible 323.15 K; the
    // 3-hour pressure change of the example is not sent (all ones).
    write_file(dir.file("hot.txt"),
               with_values(read_file(dir.file("ship_obs.txt")), {{12, "1 330"}}));
    encode("hot.txt");
    RunResult r = decode(quote(pilot_path) + " HPK_hot.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> text = lines_of(r.out);
    auto row_of = [&](const std::string &name) {
        for (const std::string &line : text)
            if (line.find("  " + name + " ") != std::string::npos) return line;
        return std::string();
    };
    EXPECT_EQ(row_of("TA").substr(row_of("TA").size() - 13), "  implausible");
    EXPECT_EQ(row_of("PTEND3H").substr(row_of("PTEND3H").size() - 9), "  missing");
    EXPECT_EQ(row_of("TD").back(), 'K');

    r = decode("--json " + quote(pilot_path) + " HPK_hot.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find(
            "\"name\":\"TA\",\"unit\":\"K\",\"valid\":false,\"missing\":false,\"value\":null"),
        std::string::npos);
    EXPECT_NE(
        r.out.find(
            "\"name\":\"PTEND3H\",\"unit\":\"PA\",\"valid\":false,\"missing\":true,\"value\":null"),
        std::string::npos);
    EXPECT_NE(
        r.out.find(
            "\"name\":\"TD\",\"unit\":\"K\",\"valid\":true,\"missing\":false,\"value\":282.15"),
        std::string::npos);

    r = decode("--csv --telex " + quote(pilot_path) + " HPK_hot.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = parse_csv(r.out);
    ASSERT_EQ(rows.size(), expected.size() + 1);
    EXPECT_EQ(rows[0][14] + rows[0][15], "telexmissing");
    std::map<std::string, std::string> valid_missing;
    for (const auto &row : rows) valid_missing[row[6]] = row[8] + row[15];
    EXPECT_EQ(valid_missing["TA"], "00");
    EXPECT_EQ(valid_missing["PTEND3H"], "01");
    EXPECT_EQ(valid_missing["TD"], "10");
}

TEST_F(DecodeTool, LinesAreMessagesNamedByFileAndLine) {
    const std::string message = read_file(dir.file(hpk));
    // Line 1 ends CR LF, 2 and 3 are blank, 4 cannot be decoded, 6 has no
    // line feed.
    write_file(dir.file("log.txt"), message + "\r\n\n \t\r\nABCDEFG\n" + message + "\n" + message);
    const RunResult whole = decode("--json --telex " + quote(pilot_path) + " " + hpk);
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string record = whole.out.substr(whole.out.find(",\"identifier\""));

    for (const std::string name : {"log.txt", "-"}) {
        const std::string input = name == "-" ? " < log.txt" : "";
        const RunResult r =
            decode("--lines --json --telex " + quote(pilot_path) + " absent.txt " + name + input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err,
                  "ventrac-decode: absent.txt: cannot be opened (No such file or directory)\n"
                  "ventrac-decode: " +
                      name + ":4: too short: 7 bytes, a message has at least 8\n");
        // The carriage return is not part of the message: its telex lines
        // are those of the file.
        EXPECT_EQ(r.out, "{\"file\":\"" + name + ":1\"" + record + "{\"file\":\"" + name + ":5\"" +
                             record + "{\"file\":\"" + name + ":6\"" + record);
    }
    // Text output names the line too; an empty file of lines gives nothing.
    write_file(dir.file("none.txt"), "\n\r\n");
    const RunResult r = decode("--lines " + quote(pilot_path) + " none.txt log.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("log.txt:1: identifier FNZ6042, mode 1", 0), 0u);
    EXPECT_EQ(decode("--lines " + quote(pilot_path) + " none.txt").status, 0);
}

TEST_F(DecodeTool, LinesAcrossReadsAndTooLongLines) {
    using ventrac::decode::LineReader;
    const std::string message = read_file(dir.file(hpk));
    // A blank line that puts the carriage return of line 2 last in the first
    // read and its line feed first in the second; a message that spans the
    // second and third reads; a line too long to be kept; then messages.
    std::string log(LineReader::kBlock - 1 - message.size() - 1, ' ');
    log += "\n" + message + "\r\n";
    ASSERT_EQ(log.size(), LineReader::kBlock + 1);
    log += std::string(LineReader::kBlock - 30, ' ') + "\n" + message + "\n";
    log += std::string(LineReader::kMaxLine + 1, 'A') + "\r\n" + message + "\r\n" + message;
    write_file(dir.file("log.txt"), log);
    const RunResult whole = decode("--json --telex " + quote(pilot_path) + " " + hpk);
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string record = whole.out.substr(whole.out.find(",\"identifier\""));
    const RunResult r = decode("--lines --json --telex " + quote(pilot_path) + " log.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "ventrac-decode: log.txt:5: longer than 1048576 bytes, a message has at most 1373\n");
    std::string expected;
    for (const int line : {2, 4, 6, 7})
        expected += "{\"file\":\"log.txt:" + std::to_string(line) + "\"" + record;
    EXPECT_TRUE(r.out == expected) << r.out.substr(0, 400);
}

TEST_F(DecodeTool, LiveLinesGoOutAsTheyCome) {
    // A writer that sends a batch of lines at once (exactly a batch: the
    // batch is full just as the input pauses), then a line every 1.5 s (one
    // that cannot be decoded, a message), and waits before it ends its
    // output. Each record, and the error line, must come out before the
    // writer's next line: here within 1.2 s of the time it was sent, on
    // however loaded a machine (the program's own bound is 200 ms). A
    // program that waited for more lines, or for the end, would give the
    // first only after 4.5 s.
    const std::string message = read_file(dir.file(hpk));
    constexpr std::size_t kFirst = ventrac::decode::kLinesPerBatch;
    std::string first;
    for (std::size_t i = 0; i < kFirst; ++i) first += message + "\n";
    write_file(dir.file("first.txt"), first);
    write_file(dir.file("log.txt"), first + "ABC\n" + message + "\n");
    constexpr double kGap = 1.5, kBound = 1.2;
    const std::string gap = " sleep " + std::to_string(kGap) + ";";
    for (const char *jobs : {"1", "2"}) {
        const RunResult whole = decode(std::string("--json --lines --jobs ") + jobs + " " +
                                       quote(pilot_path) + " - < log.txt");
        const std::vector<std::string> records = lines_of(whole.out);
        ASSERT_EQ(records.size(), kFirst + 1) << whole.err;
        const std::string command = "cd " + quote(dir.path().string()) + " && (cat first.txt;" +
                                    gap + " echo ABC;" + gap + " sed -n " +
                                    std::to_string(kFirst + 2) + "p log.txt;" + gap + ") | " +
                                    quote(VENTRAC_DECODE_EXE) + " --json --lines --jobs " + jobs +
                                    " " + quote(pilot_path) + " - 2>&1";
        const auto start = std::chrono::steady_clock::now();
        std::FILE *pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::vector<double> arrivals;
        std::string out, line;
        for (int c; (c = std::fgetc(pipe)) != EOF;) {
            line += static_cast<char>(c);
            if (c != '\n') continue;
            arrivals.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            out += line;
            line.clear();
        }
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << jobs;
        // The same bytes as when the lines are all there at once.
        std::string expected;
        for (std::size_t i = 0; i < kFirst; ++i) expected += records[i] + "\n";
        EXPECT_TRUE(out == expected + whole.err + records.back() + "\n") << jobs;
        ASSERT_EQ(arrivals.size(), kFirst + 2) << out.substr(0, 300);
        for (std::size_t i = 0; i < arrivals.size(); ++i) {
            const double sent = kGap * static_cast<double>(i < kFirst ? 0 : i - kFirst + 1);
            EXPECT_LT(arrivals[i], sent + kBound) << "line " << i + 1 << ", --jobs " << jobs;
        }
    }
}

TEST_F(DecodeTool, AnyNumberOfThreadsWritesTheSameBytes) {
    // Messages of modes 1 and 2 (mode 2 has no data-type code here: error
    // 234), one with an implausible value, and files that cannot be
    // decoded, over more batches than the threads hold at once.
    encode_mode2();
    write_file(dir.file("hot.txt"),
               with_values(read_file(dir.file("ship_obs.txt")), {{12, "1 330"}, {1, "1 7"}}));
    encode("hot.txt");
    write_file(dir.file("types"), "1 10\n");
    write_file(dir.file("short"), "ABC");
    write_file(dir.file("empty"), "");
    const std::string messages[] = {read_file(dir.file(hpk)), read_file(dir.file("HPK_mode2.txt")),
                                    read_file(dir.file("HPK_hot.txt"))};
    constexpr unsigned kJobs = 3;
    const std::size_t files =
        ventrac::decode::kFilesPerBatch * (ventrac::decode::batches_for(kJobs) + 3) + 17;
    const std::size_t lines =
        ventrac::decode::kLinesPerBatch * (ventrac::decode::batches_for(kJobs) + 3) + 17;
    std::string list, log, last_file, last_line;  // the last messages that decode
    for (std::size_t i = 0; i < std::max(files, lines); ++i) {
        const std::string &m = messages[i % 3];
        if (i < lines) {
            log += (i % 7 == 3 ? std::string("garbage") : m) + (i % 5 == 0 ? "\r\n" : "\n");
            if (i % 7 != 3 && i % 3 != 1)
                last_line = std::string("log.txt:") + std::to_string(i + 1);
        }
        if (i >= files) continue;
        const std::string name = 'm' + std::to_string(i);
        if (i % 11 == 5) {
            list += i % 2 ? " short" : " empty";
        } else if (i % 13 == 7) {
            list += " absent";
        } else {
            write_file(dir.file(name), m);
            list += " " + name;
            if (i % 3 != 1) last_file = name;
        }
    }
    write_file(dir.file("log.txt"), log);
    const std::string common = "--datatype types " + quote(pilot_path);
    for (const std::string mode :
         {"--telex", "--json", "--csv --telex", "--get 012101 TA --get 004002 MONTH",
          "--trace trace.txt --json"}) {
        for (const std::string &input : std::vector<std::string>{list, " --lines log.txt"}) {
            const RunResult one = decode("--jobs 1 " + mode + " " + common + input);
            const std::string trace_one =
                mode.find("trace") != std::string::npos ? read_file(dir.file("trace.txt")) : "";
            const RunResult many = decode(std::string("--jobs ") + std::to_string(kJobs) + " " +
                                          mode + " " + common + input);
            const std::string trace_many =
                mode.find("trace") != std::string::npos ? read_file(dir.file("trace.txt")) : "";
            const std::string what = mode + (input == list ? " files" : " lines");
            EXPECT_EQ(one.status, 1) << what;
            EXPECT_EQ(many.status, one.status) << what;
            EXPECT_TRUE(one.out == many.out) << what;
            EXPECT_TRUE(one.err == many.err) << what;
            EXPECT_TRUE(trace_one == trace_many) << what;
            // Every message is there, in order: one error line for each
            // that fails, and what the others print.
            if (mode == "--json") {
                const std::vector<std::string> records = lines_of(one.out);
                const std::vector<std::string> errors = lines_of(one.err);
                const std::size_t count = input == list ? files : lines;
                EXPECT_EQ(records.size() + errors.size(), count) << what;
                ASSERT_FALSE(records.empty());
                const std::string &last = input == list ? last_file : last_line;
                EXPECT_EQ(records.back().rfind("{\"file\":\"" + last + "\"", 0), 0u) << what;
            }
            if (!trace_one.empty()) {
                EXPECT_NE(trace_one.find("erreur num 234"), std::string::npos);
            }
        }
    }
}

TEST_F(DecodeTool, BufrOutputIsTheSameOnAnyNumberOfThreads) {
    const RunResult probe = decode("--bufr probe.bufr " + quote(pilot_path) + " " + hpk);
    if (probe.err.find("this build has no BUFR support") != std::string::npos) {
        EXPECT_EQ(probe.status, 2);
        EXPECT_EQ(probe.err, "ventrac-decode: this build has no BUFR support\n");
        EXPECT_EQ(probe.out, "");
        return;
    }
    ASSERT_EQ(probe.status, 0) << probe.err;
    // Good messages and failing files over several batches: with --bufr
    // alone nothing but the error lines is printed.
    write_file(dir.file("short"), "ABC");
    std::string files, log;
    const std::size_t count =
        ventrac::decode::kFilesPerBatch * (ventrac::decode::batches_for(3) + 1) + 5;
    for (std::size_t i = 0; i < count; ++i) {
        files += i % 50 == 7 ? " short" : " " + hpk;
        log += i % 50 == 7 ? "ABC\n" : read_file(dir.file(hpk)) + "\n";
    }
    write_file(dir.file("log.txt"), log);
    const RunResult one = decode("--jobs 1 --bufr one.bufr " + quote(pilot_path) + files);
    const RunResult many = decode("--jobs 3 --bufr many.bufr " + quote(pilot_path) + files);
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(many.status, 1);
    EXPECT_EQ(one.out + many.out, "");
    EXPECT_EQ(one.err, many.err);
    const std::string bufr = read_file(dir.file("one.bufr"));
    EXPECT_TRUE(bufr == read_file(dir.file("many.bufr")));
    // One message per decoded message, each the size of the first.
    const std::string single = read_file(dir.file("probe.bufr"));
    ASSERT_EQ(single.rfind("BUFR", 0), 0u);
    EXPECT_EQ(bufr.size(), single.size() * (count - lines_of(one.err).size()));
    // The same messages from lines, on standard output.
    const RunResult lines = decode("--jobs 2 --lines --bufr - " + quote(pilot_path) + " log.txt");
    EXPECT_EQ(lines.status, 1);
    EXPECT_TRUE(lines.out == bufr);
    // With --json the records are printed too.
    const RunResult json = decode("--bufr both.bufr --json " + quote(pilot_path) + " " + hpk);
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(lines_of(json.out).size(), 1u);
    EXPECT_EQ(read_file(dir.file("both.bufr")), single);
}

}  // namespace
