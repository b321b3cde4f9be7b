// SPDX-License-Identifier: Apache-2.0
// Encoder: coding law, replication and the limits of the packed buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/context.h"
#include "codec/encoder.h"
#include "codec/fields.h"
#include "test_support.h"

namespace {

using vt_test::TempDir;

std::string element(const std::string &code, int nbits, double scale = 1, double reference = 0,
                    long long max_coded = 255, double power = 1, const std::string &mask = "255") {
    char line[256];
    std::snprintf(line, sizeof line, "%s;E%s;%d;%.17g;%.17g;%.17g;%lld;%s;U;1;0;1;c%s;;\n",
                  code.c_str(), code.c_str(), nbits, power, scale, reference, max_coded,
                  mask.c_str(), code.c_str());
    return line;
}

const std::string kMode = element("000000", 4);

class Encoder : public ::testing::Test {
protected:
    void SetUp() override { ventrac_set_trace(nullptr); }
    void TearDown() override { ventrac_set_trace(stdout); }

    // Encodes `values` (all present unless listed in `missing`) under `pilot`
    // in mode 1 and returns the packed size.
    int encode(const std::string &pilot, const std::vector<double> &values,
               const std::vector<int> &missing = {}) {
        vt_test::write_file(dir.file("pilot"), pilot);
        std::vector<double> v(VENTRAC_MAX_VALUES, 0.0);
        std::vector<int> p(VENTRAC_MAX_VALUES, 0);
        for (std::size_t i = 0; i < values.size(); ++i) {
            v[i] = values[i];
            p[i] = 1;
        }
        for (int i : missing) p[static_cast<std::size_t>(i)] = 0;
        packed.fill(0xEE);
        return comprime(dir.file("pilot").c_str(), 1, v.data(), p.data(), packed.data(), &count);
    }

    // The packed bytes expected for the fields (value, width) in order.
    std::vector<unsigned char> stream(const std::vector<std::pair<long long, int>> &fields) {
        std::array<unsigned char, VENTRAC_PACKED_SIZE> b{};
        uint32_t pos = 0;
        for (const auto &[value, width] : fields)
            pak(b.data(), value, static_cast<signed char>(width), &pos);
        return {b.begin(), b.begin() + (pos + 7) / 8};
    }

    std::vector<unsigned char> packed_bytes(int n) { return {packed.begin(), packed.begin() + n}; }

    TempDir dir;
    std::array<unsigned char, VENTRAC_PACKED_SIZE> packed{};
    int count = -1;
};

TEST_F(Encoder, CodingLawRoundsClipsAndMarksMissing) {
    vt_test::write_file(dir.file("pilot"), kMode + element("012101", 10, 0.1, -50, 1023) +
                                               element("000002", 8, 1, 0, 200, 2));
    ASSERT_EQ(get_specif(dir.file("pilot").c_str(), 0), 3);
    const double v[] = {12.34, -60, 100, 50, 999};
    const int present[] = {1, 1, 1, 1, 0};
    EXPECT_EQ(ventrac::codage(1, 0, v, present), 623);
    EXPECT_EQ(ventrac::codage(1, 1, v, present), 0);
    EXPECT_EQ(ventrac::codage(1, 2, v, present), 1023);
    EXPECT_EQ(ventrac::codage(1, 4, v, present), 1023);
    EXPECT_EQ(ventrac::codage(2, 3, v, present), 7);  // power 2 codes the square root
    const std::string trace = vt_test::capture_trace([&] { ventrac::codage(1, 0, v, present); });
    EXPECT_EQ(trace, "\t\t i=1 j=0 val=12.340000 pres=1 valcod=623 \t c012101\n");
}

TEST_F(Encoder, UnrepresentableResultsCodeAsZero) {
    vt_test::write_file(dir.file("pilot"), kMode + element("000001", 12, 0, 0, 4000) +
                                               element("000002", 12, 1, 0, 4000, 0) +
                                               element("000003", 64) + element("000004", 100) +
                                               element("000005", 12, 1, 0, 4000));
    ASSERT_EQ(get_specif(dir.file("pilot").c_str(), 0), 6);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double v[] = {nan, inf, -inf, 1e300, 5, 5};
    const int present[] = {1, 1, 1, 1, 0, 1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ventrac::codage(5, i, v, present), 0) << v[i];
    EXPECT_EQ(ventrac::codage(1, 5, v, present), 0);   // scale 0
    EXPECT_EQ(ventrac::codage(2, 5, v, present), 0);   // power 0
    EXPECT_EQ(ventrac::codage(3, 4, v, present), -1);  // 64 ones
    EXPECT_EQ(ventrac::codage(4, 4, v, present), -1);
}

TEST_F(Encoder, DelayedReplicationRepeatsTheGroupByTheCountValue) {
    const std::string pilot = kMode + element("102000", 8) + element("000001", 5, 1, 0, 30) +
                              element("000002", 5, 1, 0, 30) + element("000003", 6, 1, 0, 60);
    ASSERT_EQ(encode(pilot, {3, 1, 2, 3, 4, 5, 6, 7}), 6);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(packed_bytes(6),
              stream({{1, 4}, {3, 8}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 6}}));
    EXPECT_EQ(packed[6], 0);  // the buffer is cleared before packing
    // 3.9 repeats three times and is sent as the 3 it repeats.
    ASSERT_EQ(encode(pilot, {3.9, 1, 2, 3, 4, 5, 6, 7}), 6);
    EXPECT_EQ(packed_bytes(6),
              stream({{1, 4}, {3, 8}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 6}}));
    // A missing count is sent as the count its value drives the walk with.
    ASSERT_EQ(encode(pilot, {1, 9, 8, 7}, {0}), 4);
    EXPECT_EQ(packed_bytes(4), stream({{1, 4}, {1, 8}, {9, 5}, {8, 5}, {7, 6}}));
    // A count of 0, or one that is not a number, skips the group.
    ASSERT_EQ(encode(pilot, {0, 7}), 3);
    EXPECT_EQ(packed_bytes(3), stream({{1, 4}, {0, 8}, {7, 6}}));
    ASSERT_EQ(encode(pilot, {std::nan(""), 7}), 3);
    EXPECT_EQ(packed_bytes(3), stream({{1, 4}, {0, 8}, {7, 6}}));
}

TEST_F(Encoder, FixedNestedAndKindFourGroups) {
    // Fixed: no bits for the descriptor, three elements written twice.
    const std::string fixed = kMode + element("103002", 8) + element("000001", 4, 1, 0, 14) +
                              element("000002", 4, 1, 0, 14) + element("000003", 4, 1, 0, 14);
    ASSERT_EQ(encode(fixed, {1, 2, 3, 4, 5, 6}), 4);
    EXPECT_EQ(packed_bytes(4), stream({{1, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 4}}));
    // Nested: an outer delayed group over X and an inner delayed group of Y.
    const std::string nested = kMode + element("103000", 4) + element("000001", 4, 1, 0, 14) +
                               element("401000", 4) + element("000002", 4, 1, 0, 14) +
                               element("000003", 4, 1, 0, 14);
    ASSERT_EQ(encode(nested, {2, 10, 1, 11, 11, 2, 12, 13, 9}), 5);
    EXPECT_EQ(
        packed_bytes(5),
        stream(
            {{1, 4}, {2, 4}, {10, 4}, {1, 4}, {11, 4}, {11, 4}, {2, 4}, {12, 4}, {13, 4}, {9, 4}}));
}

TEST_F(Encoder, BufferLimitIsExact) {
    // 4 bits of mode, then 8188 bits in elements of 46 bits ...
    std::string pilot = kMode;
    for (int i = 0; i < 178; ++i) pilot += element("000001", 46, 1, 0, 1);
    ASSERT_EQ(encode(pilot + element("000002", 0), {}), 1024);  // 4 + 178 * 46 = 8192
    EXPECT_EQ(count, 179 + 1);
    EXPECT_EQ(encode(pilot + element("000002", 1), {}), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(Encoder, ValueIndexesPastTheTablesReadAsMissing) {
    const std::string pilot = kMode + element("101999", 8) + element("000001", 1, 1, 0, 0) +
                              element("101999", 8) + element("000001", 1, 1, 0, 0);
    std::vector<double> zeros(VENTRAC_MAX_VALUES, 0.0);
    ASSERT_EQ(encode(pilot, zeros), (4 + 1998 + 7) / 8);
    const std::vector<std::uint8_t> bits = bitdpaq(packed.data(), 4 + 1998);
    EXPECT_EQ(std::count(bits.begin() + 4, bits.end(), 1), 1998 - VENTRAC_MAX_VALUES);
    EXPECT_EQ(std::count(bits.begin() + 4, bits.begin() + 4 + VENTRAC_MAX_VALUES, 1), 0);
}

TEST_F(Encoder, FailuresReportedByTheResult) {
    std::vector<double> v(VENTRAC_MAX_VALUES, 0.0);
    std::vector<int> p(VENTRAC_MAX_VALUES, 0);
    count = 9;
    vt_test::capture_stderr([&] {
        EXPECT_EQ(
            comprime(dir.file("absent").c_str(), 1, v.data(), p.data(), packed.data(), &count),
            -254);
    });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(encode(element("000000", 4, 1, 0, 15, 1, "2"), {}), 0);  // no line for mode 1
    // A huge count over a zero-width element writes nothing, forever: the
    // walk is bounded instead.
    EXPECT_EQ(encode(kMode + element("101000", 32, 1, 0, 4000000000) + element("000001", 0), {2e9}),
              0);
    EXPECT_EQ(count, 0);
}

// The count of a delayed replication is sent as the number of repetitions
// walked, and an observation whose count the decoder would not read back
// that way is refused, alike through comprime(), the encoding context and
// the ventrac program.
struct CountCase {
    const char *name;
    std::string count_line;      // the pilot line of the 101000 descriptor
    std::vector<double> values;  // count, the group's values, then the last element
    bool count_present;
    std::vector<std::pair<long long, int>> fields;  // expected; empty: refused
};

TEST_F(Encoder, DelayedCountIsSentAsTheRepetitionsWalkedOrRefused) {
    const std::string group = element("000001", 5, 1, 0, 30) + element("000003", 6, 1, 0, 60);
    const std::vector<CountCase> cases = {
        {"missing count",
         element("101000", 8),
         {2, 9, 8, 7},
         false,
         {{1, 4}, {2, 8}, {9, 5}, {8, 5}, {7, 6}}},
        {"fractional count",
         element("101000", 8),
         {2.6, 9, 8, 7},
         true,
         {{1, 4}, {2, 8}, {9, 5}, {8, 5}, {7, 6}}},
        // Code 5 reads back 2.5, two repetitions: the code stays as it was.
        {"fractional count read back whole",
         element("101000", 8, 0.5),
         {2.6, 9, 8, 7},
         true,
         {{1, 4}, {5, 8}, {9, 5}, {8, 5}, {7, 6}}},
        {"count that clips", element("101000", 8, 1, 0, 3), {5, 1, 2, 3, 4, 5, 7}, true, {}},
        {"count the law cannot bring back", element("101000", 8, 2), {3, 1, 2, 3, 7}, true, {}},
        {"count the law brings back",
         element("101000", 8, 2),
         {4, 1, 2, 3, 4, 7},
         true,
         {{1, 4}, {2, 8}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {7, 6}}},
        {"negative count", element("101000", 8), {-2, 7}, true, {{1, 4}, {0, 8}, {7, 6}}},
        {"negative count that reads back 1", element("101000", 8, 1, 1), {-2, 7}, true, {}},
        {"missing count of an all-ones width",
         element("101000", 2, 1, 0, 3),
         {3, 1, 2, 3, 7},
         false,
         {{1, 4}, {3, 2}, {1, 5}, {2, 5}, {3, 5}, {7, 6}}},
    };
    ventrac_cctx *cctx = ventrac_cctx_create();
    ASSERT_NE(cctx, nullptr);
    for (const CountCase &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string pilot = kMode + c.count_line + group;
        const bool refused = c.fields.empty();
        const std::vector<unsigned char> expected = refused ? std::vector<unsigned char>{}
                                                            : stream(c.fields);
        const int size = static_cast<int>(expected.size());

        std::string err = vt_test::capture_stderr([&] {
            EXPECT_EQ(
                encode(pilot, c.values, c.count_present ? std::vector<int>{} : std::vector<int>{0}),
                size);
        });
        if (refused) {
            EXPECT_EQ(count, 0);
            EXPECT_NE(err.find(" erreur num 246: "), std::string::npos) << err;
        } else {
            EXPECT_EQ(packed_bytes(size), expected);
            EXPECT_EQ(err, "");
        }

        ventrac_pilot *p = ventrac_pilot_parse(pilot.data(), pilot.size());
        ASSERT_NE(p, nullptr);
        std::vector<int> presence(c.values.size(), 1);
        presence[0] = c.count_present ? 1 : 0;
        std::array<unsigned char, VENTRAC_PACKED_SIZE> out{};
        int used = -1;
        const int r = ventrac_encode_packed(cctx, p, 1, c.values.data(), presence.data(),
                                            c.values.size(), out.data(), &used);
        ventrac_pilot_free(p);
        if (refused) {
            EXPECT_EQ(r, -VENTRAC_ERR_COUNT);
            EXPECT_TRUE(
                std::all_of(out.begin(), out.end(), [](unsigned char b) { return b == 0; }));
        } else {
            ASSERT_EQ(r, size);
            EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + r), expected);
            EXPECT_EQ(used, static_cast<int>(c.values.size()));
        }

        vt_test::write_file(dir.file("pilot"), pilot);
        std::string data = "1\n";
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "%d %.17g\n", presence[i], c.values[i]);
            data += line;
        }
        vt_test::write_file(dir.file("obs"), data);
        std::filesystem::remove(dir.file("HPK_obs"));
        const vt_test::RunResult run = vt_test::run_ventrac(dir.path(), "pilot obs ABCD MOD");
        if (refused) {
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err.rfind("pilot - TEST -  erreur num 246: ", 0), 0u) << run.err;
            EXPECT_FALSE(std::filesystem::exists(dir.file("HPK_obs")));
        } else {
            std::vector<char> text(VENTRAC_MESSAGE_MAX);
            const int length = telexin("ABCD", expected.data(), size, "", text.data());
            EXPECT_EQ(vt_test::read_file(dir.file("HPK_obs")),
                      std::string(text.data(), static_cast<std::size_t>(length)));
        }
    }
    ventrac_cctx_free(cctx);
}

}  // namespace
