// SPDX-License-Identifier: Apache-2.0
// ventrac-encode: observations by name give back the bytes ventrac writes
// (the shipped example in both modes, generated pilots with nested groups of
// both kinds), bad records are reported one by one while the others come
// out, and the output does not depend on the number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "codec/context.h"
#include "roundtrip.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using vt_test::quote;
using vt_test::read_file;
using vt_test::RunResult;
using vt_test::TempDir;
using vt_test::write_file;

const std::string kExamples = VENTRAC_EXAMPLES;
const std::string kPilot = kExamples + "/ship.pilot";

RunResult run_encode(const fs::path &dir, const std::string &args) {
    return vt_test::run_program(VENTRAC_ENCODE_EXE, dir, args);
}
RunResult run_decode(const fs::path &dir, const std::string &args) {
    return vt_test::run_program(VENTRAC_DECODE_EXE, dir, args);
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The example's data file in `mode` (2 sends no wave elements, the 18th and
// 19th values), written as NAME and encoded by ventrac as HPK_NAME.
std::string ventrac_message(const TempDir &dir, const std::string &name, int mode) {
    std::vector<std::string> data = lines_of(read_file(kExamples + "/ship_obs.txt"));
    data[0] = std::to_string(mode);
    if (mode == 2) data.erase(data.begin() + 18, data.begin() + 20);
    std::string text;
    for (const std::string &line : data) text += line + "\n";
    write_file(dir.file(name), text);
    vt_test::run_ventrac(dir.path(), quote(kPilot) + " " + name + " FNZ6042 MOD");
    return read_file(dir.file("HPK_" + name));
}

// A JSON record of the example's mode 1 shape with `elements` as given.
std::string record(const std::string &id, int mode, const std::string &elements) {
    return "{\"identifier\":\"" + id + "\",\"mode\":" + std::to_string(mode) + ",\"elements\":[" +
           elements + "]}\n";
}

TEST(EncodeTool, ShippedExampleRoundTripsInBothModes) {
    TempDir dir;
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        const std::string name = "obs" + std::to_string(mode) + ".txt";
        const std::string message = ventrac_message(dir, name, mode);
        ASSERT_FALSE(message.empty());
        const RunResult json = run_decode(dir.path(), "--json " + quote(kPilot) + " HPK_" + name);
        ASSERT_EQ(json.status, 0) << json.err;
        write_file(dir.file("in.jsonl"), json.out);
        RunResult r = run_encode(dir.path(), quote(kPilot) + " in.jsonl");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, message + "\n");
        EXPECT_EQ(r.err, "");
        // Standard input, and one file per observation named after the record.
        fs::create_directory(dir.path() / "out");
        r = run_encode(dir.path(), "--out out " + quote(kPilot) + " - < in.jsonl");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(read_file(dir.file("out/HPK_" + name)), message);
        // The lines read back by ventrac-decode --lines give the same JSON.
        write_file(dir.file("lines.txt"), message + "\n");
        const RunResult again =
            run_decode(dir.path(), "--json --lines " + quote(kPilot) + " lines.txt");
        EXPECT_EQ(again.out.substr(again.out.find("\"identifier\"")),
                  json.out.substr(json.out.find("\"identifier\"")));
    }
}

// A record of ventrac-decode --json (one line) with its elements, objects
// without nested braces, sorted by descriptor and name; elements of the same
// descriptor and name keep their order.
std::string elements_sorted_by_name(const std::string &json) {
    const std::size_t open = json.find('[', json.find("\"elements\":"));
    const std::size_t close = json.rfind(']');
    struct Entry {
        std::string key, text;
    };
    std::vector<Entry> entries;
    for (std::size_t at = open + 1; at < close;) {
        const std::size_t begin = json.find('{', at);
        if (begin == std::string::npos || begin > close) break;
        const std::size_t end = json.find('}', begin);
        const std::string text = json.substr(begin, end + 1 - begin);
        const std::size_t code = text.find("\"code\":"), name = text.find("\"name\":");
        entries.push_back({text.substr(code, text.find(',', code) - code) +
                               text.substr(name, text.find(',', name) - name),
                           text});
        at = end + 1;
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.key < b.key; });
    std::string out = json.substr(0, open + 1);
    for (std::size_t i = 0; i < entries.size(); ++i) out += (i ? "," : "") + entries[i].text;
    return out + json.substr(close);
}

// Generated pilots: nested delayed and fixed groups of kinds '1' and '4',
// counts from 0 to 3. The decoder's JSON gives back the encoder's bytes,
// and so does the same JSON without the class 31 count entries, the counts
// then being the repetitions the record gives.
TEST(EncodeTool, GeneratedPilotsRoundTripWithAndWithoutTheirCounts) {
    TempDir dir;
    ventrac_cctx *cctx = ventrac_cctx_create();
    int zero_counts = 0, kind4 = 0, ambiguous = 0, sorted = 0;
    // Seeds 1 to 40, and two whose kind '4' groups read back in another way.
    std::vector<std::uint32_t> seeds = {212, 300};
    for (std::uint32_t seed = 1; seed <= 40; ++seed) seeds.push_back(seed);
    for (const std::uint32_t seed : seeds) {
        SCOPED_TRACE(seed);
        vt_test::SeededSource source(seed);
        const vt_test::RoundTripCase c = vt_test::make_round_trip_case(source);
        ventrac_pilot *pilot = ventrac_pilot_parse(c.pilot.data(), c.pilot.size());
        char text[VENTRAC_MESSAGE_MAX];
        const int length = ventrac_encode_text(cctx, pilot, c.mode, c.values.data(),
                                               c.presence.data(), c.values.size(), "SHIP1", text,
                                               sizeof text);
        ventrac_pilot_free(pilot);
        ASSERT_GT(length, 0);
        const std::string message(text, static_cast<std::size_t>(length));
        write_file(dir.file("case.pilot"), c.pilot);
        write_file(dir.file("HPK_case"), message);
        const RunResult json = run_decode(dir.path(), "--json case.pilot HPK_case");
        ASSERT_EQ(json.status, 0) << json.err;
        zero_counts += json.out.find("\"value\":0,\"conv_value\":0,\"text\":\"0\"") !=
                           std::string::npos &&
                       json.out.find("\"code\":\"0310") != std::string::npos;
        kind4 += c.pilot.find("\n4") != std::string::npos;
        // Without the count entries: drop every element whose code is 031xxx.
        std::string stripped;
        {
            const std::string &j = json.out;
            std::size_t at = 0;
            while (true) {
                const std::size_t entry = j.find("{\"ident\":", at);
                if (entry == std::string::npos) {
                    stripped += j.substr(at);
                    break;
                }
                const std::size_t close = j.find('}', entry);
                const bool count = j.compare(j.find("\"code\":", entry) + 7, 5, "\"031") == 0;
                stripped += j.substr(at, entry - at);
                if (!count) stripped += j.substr(entry, close + 1 - entry);
                at = close + 1;
            }
            // The commas left behind by dropped entries.
            for (std::size_t p; (p = stripped.find(",,")) != std::string::npos;)
                stripped.erase(p, 1);
            for (std::size_t p; (p = stripped.find("[,")) != std::string::npos;)
                stripped.erase(p + 1, 1);
            for (std::size_t p; (p = stripped.find(",]")) != std::string::npos;)
                stripped.erase(p, 1);
        }
        // Without kind '4' groups, whose counts the decoder does not list,
        // elements are found by name; only elements of the same name are
        // told apart by their order. So the same record sorted by name
        // gives the same message.
        if (c.pilot.find("\n4") == std::string::npos) {
            write_file(dir.file("sorted.jsonl"), elements_sorted_by_name(json.out));
            const RunResult r = run_encode(dir.path(), "case.pilot sorted.jsonl");
            EXPECT_EQ(r.status, 0) << r.err << c.pilot;
            EXPECT_EQ(r.out, message + "\n") << c.pilot << json.out;
            ++sorted;
        }
        write_file(dir.file("in.jsonl"), json.out + stripped);
        const RunResult r = run_encode(dir.path(), "case.pilot in.jsonl");
        EXPECT_EQ(r.status, 0) << r.err << c.pilot;
        const std::vector<std::string> out = lines_of(r.out);
        ASSERT_EQ(out.size(), 2u);
        for (const std::string &line : out) {
            if (line == message) continue;
            // The decoder does not list kind '4' counts: a kind '4' group in
            // the repetitions of another may be read back with its elements
            // in another repetition, which decodes to the same elements.
            ++ambiguous;
            EXPECT_TRUE(c.pilot.find("\n4") != std::string::npos) << c.pilot << json.out;
            write_file(dir.file("HPK_case"), line);
            EXPECT_EQ(run_decode(dir.path(), "--json case.pilot HPK_case").out, json.out)
                << c.pilot;
        }
    }
    ventrac_cctx_free(cctx);
    EXPECT_GT(zero_counts, 0);
    EXPECT_GT(kind4, 0);
    EXPECT_EQ(ambiguous, 4);
    EXPECT_GT(sorted, 5);
}

// A pilot with a delayed count in steps of 2 (a count of 3 reads back 4)
// and a plain element of 0 .. 60.
const std::string kSmallPilot =
    "000000;MODE;4;1;1;0;14;3;N;1;0;0;m;;\n"
    "101000;N;8;1;2;0;254;3;U;1;0;1;n;;\n"
    "001001;W;6;1;1;0;60;3;U;1;0;1;w;;\n"
    "001002;V;6;1;1;0;60;3;U;1;0;1;v;;\n";

TEST(EncodeTool, BadRecordsAreReportedAndEveryGoodOneComesOut) {
    TempDir dir;
    write_file(dir.file("small.pilot"), kSmallPilot);
    const std::string good1 = record("A", 1,
                                     R"({"code":"031001","name":"N000","value":2},)"
                                     R"({"code":"001001","name":"W_D000-000","value":1},)"
                                     R"({"code":"001001","name":"W_D000-001","value":2},)"
                                     R"({"code":"001002","name":"V","value":3})");
    const std::string good2 = record("B", 1, R"({"code":"001002","name":"V","value":null})");
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"{\"identifier\":\"C\",\"mode\":1,\n", "not JSON"},
        {record("D", 5, ""), "no line for operating mode 5"},
        {record("E", 1, R"({"code":"001002","name":"VV","value":3})"),
         "001002 VV is not in operating mode 1"},
        {record("F", 1, R"({"code":"001002","name":"V","value":"3"})"),
         "001002 V: the value is not a number"},
        {record("G", 1, R"({"code":"001002","name":"V","value":61})"),
         "61 lies outside what its width and law can carry"},
        {record(
             "H", 1,
             R"({"code":"031001","name":"N000","value":3},{"code":"001002","name":"V","value":1})"),
         "error 246"},
        {record("TOOLONG12", 1, ""), "longer than 7"},
    };
    std::string input = good1;
    for (const auto &b : bad) input += b.first + good2;
    write_file(dir.file("in.jsonl"), input);
    RunResult r = run_encode(dir.path(), "small.pilot in.jsonl");
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> out = lines_of(r.out);
    ASSERT_EQ(out.size(), 1 + bad.size());
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_EQ(out[i], out[1]);
    // The good messages decode as they were given.
    write_file(dir.file("good.txt"), out[0] + "\n" + out[1] + "\n");
    const RunResult decoded = run_decode(dir.path(), "--json --lines small.pilot good.txt");
    EXPECT_EQ(decoded.status, 0);
    EXPECT_NE(decoded.out.find(
                  R"("name":"W_D000-001","unit":"U","valid":true,"missing":false,"value":2)"),
              std::string::npos)
        << decoded.out;
    EXPECT_NE(
        decoded.out.find(R"("name":"V","unit":"U","valid":false,"missing":true,"value":null)"),
        std::string::npos);
    const std::vector<std::string> err = lines_of(r.err);
    ASSERT_EQ(err.size(), bad.size()) << r.err;
    for (std::size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(err[i].rfind("in.jsonl:" + std::to_string(2 + 2 * i) + ": ", 0), 0u) << err[i];
        EXPECT_NE(err[i].find(bad[i].second), std::string::npos) << err[i];
    }
    // With its counts given, a record's elements may come in any order.
    write_file(dir.file("shuffled.jsonl"),
               record("A", 1,
                      R"({"code":"001002","name":"V","value":3},)"
                      R"({"code":"001001","name":"W_D000-001","value":2},)"
                      R"({"code":"031001","name":"N000","value":2},)"
                      R"({"code":"001001","name":"W_D000-000","value":1})"));
    EXPECT_EQ(run_encode(dir.path(), "small.pilot shuffled.jsonl").out, out[0] + "\n");
    // --clip sends the value clipped, with a warning.
    write_file(dir.file("clip.jsonl"), bad[4].first);
    r = run_encode(dir.path(), "--clip small.pilot clip.jsonl");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lines_of(r.out).size(), 1u);
    EXPECT_NE(r.err.find("clip.jsonl:1: warning: element 001002 V: value 61 lies outside"),
              std::string::npos)
        << r.err;
}

TEST(EncodeTool, OutputIsTheSameForAnyNumberOfThreads) {
    TempDir dir;
    write_file(dir.file("small.pilot"), kSmallPilot);
    std::string input;
    for (int i = 0; i < 3000; ++i) {
        const int n = i % 5;
        std::string elements =
            "{\"code\":\"031001\",\"name\":\"N000\",\"value\":" + std::to_string(2 * (n % 3)) + "}";
        for (int k = 0; k < 2 * (n % 3); ++k)
            elements += ",{\"code\":\"001001\",\"name\":\"W_D000-00" + std::to_string(k) +
                        "\",\"value\":" + std::to_string((i + k) % 70) + "}";
        input += record('S' + std::to_string(i % 1000), 1, elements);
    }
    write_file(dir.file("in.jsonl"), input);
    const RunResult one = run_encode(dir.path(), "--jobs 1 --trace t1 small.pilot in.jsonl");
    const RunResult many = run_encode(dir.path(), "--jobs 3 --trace t3 small.pilot in.jsonl");
    EXPECT_EQ(one.status, 1);  // values of 61 and more are refused
    EXPECT_GT(lines_of(one.out).size(), 2000u);
    EXPECT_GT(lines_of(one.err).size(), 100u);
    EXPECT_EQ(one.status, many.status);
    EXPECT_EQ(one.out, many.out);
    EXPECT_EQ(one.err, many.err);
    EXPECT_EQ(read_file(dir.file("t1")), read_file(dir.file("t3")));
    EXPECT_NE(read_file(dir.file("t1")).find("valcod="), std::string::npos);
}

TEST(EncodeTool, TwoRecordsNeverWriteOneFile) {
    TempDir dir;
    write_file(dir.file("small.pilot"), kSmallPilot);
    const std::string one = R"({"file":"x/HPK_a","identifier":"A","mode":1,"elements":[]})"
                            "\n";
    write_file(dir.file("in.jsonl"), one + one + record("B", 1, ""));
    fs::create_directory(dir.path() / "out");
    const RunResult r = run_encode(dir.path(), "--out out small.pilot in.jsonl");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "in.jsonl:2: not written: HPK_a would replace the file of in.jsonl:1\n");
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "HPK_a"));
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "HPK_B_3"));
}

#ifdef VENTRAC_ENCODE_BUFR
// ventrac-decode --bufr, then ventrac-encode --from-bufr: the example's
// resolution is BUFR's, so both modes give back ventrac's bytes. A subset
// no mode of the pilot file describes is reported by message and subset.
TEST(EncodeTool, BufrFromTheDecoderGivesBackTheMessages) {
    TempDir dir;
    const std::string one = ventrac_message(dir, "obs1.txt", 1);
    const std::string two = ventrac_message(dir, "obs2.txt", 2);
    const RunResult bufr =
        run_decode(dir.path(), "--bufr all.bufr " + quote(kPilot) + " HPK_obs1.txt HPK_obs2.txt");
    ASSERT_EQ(bufr.status, 0) << bufr.err;
    RunResult r = run_encode(dir.path(), "--from-bufr " + quote(kPilot) + " all.bufr - < all.bufr");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, one + "\n" + two + "\n" + one + "\n" + two + "\n");
    // Without its last line the pilot file has no mode with these descriptors.
    std::string pilot = read_file(kPilot);
    pilot.erase(pilot.rfind('\n', pilot.size() - 2) + 1);
    write_file(dir.file("short.pilot"), pilot);
    r = run_encode(dir.path(), "--from-bufr short.pilot all.bufr");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(
        r.err,
        "all.bufr: message 1 subset 1: no operating mode of the pilot file has these descriptors\n"
        "all.bufr: message 2 subset 1: no operating mode of the pilot file has these descriptors\n");
    write_file(dir.file("junk"), "no message here");
    r = run_encode(dir.path(), "--from-bufr " + quote(kPilot) + " junk all.bufr");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, one + "\n" + two + "\n");
    EXPECT_EQ(r.err, "ventrac-encode: junk holds no BUFR message\n");
}
#endif

TEST(EncodeTool, UsageHelpAndVersion) {
    TempDir dir;
    EXPECT_EQ(run_encode(dir.path(), "--help").status, 0);
    EXPECT_EQ(run_encode(dir.path(), "--version").out, "ventrac-encode " VENTRAC_VERSION "\n");
    EXPECT_EQ(run_encode(dir.path(), "").status, 2);
    EXPECT_EQ(run_encode(dir.path(), "--jobs 0 p f").status, 2);
    const RunResult r = run_encode(dir.path(), "absent.pilot -");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("absent.pilot"), std::string::npos);
}

}  // namespace
