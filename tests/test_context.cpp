// SPDX-License-Identifier: Apache-2.0
// Decoding and encoding contexts: the same tables, texts, packed bits, trace
// and error lines as the process-wide C interface, why an element is not
// valid, the delayed replications read, and the contract of each call.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/context.h"
#include "context_support.h"
#include "roundtrip.h"
#include "test_support.h"

namespace {

using vt_test::describe_context;
using vt_test::PilotPtr;
using vt_test::TempDir;

void append(void *user, const char *text, std::size_t length) {
    static_cast<std::string *>(user)->append(text, length);
}

struct Contexts {
    ventrac::DctxPtr d{ventrac_dctx_create()};
    ventrac::CctxPtr c{ventrac_cctx_create()};
};

// The decoded table of decomprime(), from a cleared element table as in a
// fresh program, in the same words as describe_context().
std::string describe_donnees(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += vt_test::describe_entry(donnees[i]);
    return text;
}

void every_mode_code_zero() {
    TypeDonnee = DataTypeEntry{};
    TypeDonnee.nb_modes = 1;
    TypeDonnee.modes[0] = -1;
}

// Every generated message decodes through a context to the table, trace and
// packed bits of comprime() and decomprime(), and encodes to the same text
// as comprime() and telexin().
TEST(Context, AgreesWithTheProcessWideInterface) {
    TempDir dir;
    Contexts x;
    every_mode_code_zero();
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        vt_test::SeededSource source(seed);
        const vt_test::RoundTripCase c = vt_test::make_round_trip_case(source);
        const std::string path = dir.file('p' + std::to_string(seed));
        vt_test::write_file(path, c.pilot);
        std::vector<double> values(VENTRAC_MAX_VALUES, 0.0);
        std::vector<int> presence(VENTRAC_MAX_VALUES, 0);
        std::copy(c.values.begin(), c.values.end(), values.begin());
        std::copy(c.presence.begin(), c.presence.end(), presence.begin());

        unsigned char legacy[VENTRAC_PACKED_SIZE];
        int kept = 0;
        std::memset(specel, 0, sizeof specel);
        ventrac_set_trace(nullptr);
        const int octets =
            comprime(path.c_str(), c.mode, values.data(), presence.data(), legacy, &kept);
        ASSERT_GT(octets, 0) << "seed " << seed;
        char legacy_text[VENTRAC_MESSAGE_MAX];
        const int legacy_length = telexin("ID", legacy, octets, nullptr, legacy_text);

        std::memset(specel, 0, sizeof specel);
        signed char type = 0;
        int error = 0;
        int count = 0;
        const std::string legacy_trace = vt_test::capture_trace(
            [&] { count = decomprime(path.c_str(), legacy, &type, &error); });
        ASSERT_GE(count, 0) << "seed " << seed;

        const PilotPtr pilot = vt_test::open_pilot(path);
        unsigned char packed[VENTRAC_PACKED_SIZE];
        int used = -1;
        ASSERT_EQ(ventrac_encode_packed(x.c.get(), pilot.get(), c.mode, c.values.data(),
                                        c.presence.data(), c.values.size(), packed, &used),
                  octets);
        EXPECT_EQ(std::memcmp(packed, legacy, VENTRAC_PACKED_SIZE), 0) << "seed " << seed;
        EXPECT_EQ(used, static_cast<int>(c.values.size())) << "seed " << seed;
        char text[VENTRAC_MESSAGE_MAX];
        ASSERT_EQ(ventrac_encode_text(x.c.get(), pilot.get(), c.mode, c.values.data(),
                                      c.presence.data(), c.values.size(), "ID", text, sizeof text),
                  legacy_length);
        EXPECT_EQ(std::string(text, legacy_length), std::string(legacy_text, legacy_length));

        std::string trace;
        ventrac_dctx_set_trace_fn(x.d.get(), append, &trace);
        ASSERT_EQ(ventrac_decode_text(x.d.get(), pilot.get(), text, legacy_length), count);
        ventrac_dctx_set_trace(x.d.get(), nullptr);
        EXPECT_EQ(describe_context(x.d.get()), describe_donnees(count)) << "seed " << seed;
        EXPECT_EQ(trace, legacy_trace) << "seed " << seed;
        EXPECT_STREQ(ventrac_dctx_identifier(x.d.get()), "ID");
        EXPECT_EQ(ventrac_dctx_mode(x.d.get()), c.mode);
    }
    ventrac_set_trace(stdout);
}

// A pilot with a plausibility range, a delayed group of each kind, and
// values present, implausible and missing.
const char *const kPilot =
    "000000;MODE;4;1;1;0;14;3;NUMERIC;1;0;0;mode;;\n"
    "012101;TA;12;1;0.1;200;4000;3;K;1;-273.15;1;air;250;320\n"
    "101000;NREP;4;1;1;0;14;3;NUMERIC;1;0;1;count;;\n"
    "010004;P;8;1;10;0;254;3;PA;1;0;1;pressure;;\n"
    "401000;NHID;4;1;1;0;14;3;NUMERIC;1;0;1;hidden count;;\n"
    "020001;VIS;8;1;1;0;254;3;M;1;0;1;visibility;;\n";

TEST(Context, SaysWhyAnElementIsNotValidAndWhichCountsItRead) {
    Contexts x;
    const PilotPtr pilot(ventrac_pilot_parse(kPilot, std::strlen(kPilot)));
    ASSERT_NE(pilot, nullptr);
    //                     TA    NREP  P    P  NHID VIS VIS VIS
    const double v[] = {400.0, 2, 1000, 0, 3, 7, 8, 9};
    const int p[] = {1, 1, 1, 0, 1, 1, 0, 1};
    unsigned char packed[VENTRAC_PACKED_SIZE];
    ASSERT_GT(ventrac_encode_packed(x.c.get(), pilot.get(), 1, v, p, 8, packed, nullptr), 0);
    ASSERT_EQ(ventrac_decode_packed(x.d.get(), pilot.get(), packed, sizeof packed), 7);
    const int expected[] = {VENTRAC_STATUS_IMPLAUSIBLE, VENTRAC_STATUS_VALID,
                            VENTRAC_STATUS_VALID,       VENTRAC_STATUS_MISSING,
                            VENTRAC_STATUS_VALID,       VENTRAC_STATUS_MISSING,
                            VENTRAC_STATUS_VALID};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(ventrac_dctx_status(x.d.get(), i), expected[i]) << i;
        EXPECT_EQ(ventrac_dctx_element(x.d.get(), i)->valid, expected[i] == VENTRAC_STATUS_VALID)
            << i;
    }
    EXPECT_EQ(ventrac_dctx_status(x.d.get(), 7), -1);
    EXPECT_EQ(ventrac_dctx_element(x.d.get(), 7), nullptr);
    EXPECT_STREQ(ventrac_dctx_element(x.d.get(), 1)->spec.code, "031001");
    EXPECT_STREQ(ventrac_dctx_element(x.d.get(), 1)->spec.name, "NREP000");

    char kinds[4] = {};
    int counts[4] = {}, entries[4] = {};
    ASSERT_EQ(ventrac_dctx_factors(x.d.get(), kinds, counts, entries, 4), 2);
    EXPECT_EQ(std::string(kinds, 2), "14");
    EXPECT_EQ(counts[0], 2);
    EXPECT_EQ(counts[1], 3);
    EXPECT_EQ(entries[0], 2);
    EXPECT_EQ(entries[1], 4);

    int index = 0;
    EXPECT_DOUBLE_EQ(ventrac_dctx_find(x.d.get(), " 010004", "P_D000-000 ", &index), 1000.0);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(ventrac_dctx_find(x.d.get(), "012101", "TA", &index), -1.0);  // implausible
    EXPECT_EQ(index, -1);
}

TEST(Context, RefusesWhatItCannotDecodeOrEncode) {
    Contexts x;
    char error[200] = "untouched";
    EXPECT_EQ(ventrac_pilot_open("/nonexistent/ship.pilot", error, sizeof error), nullptr);
    EXPECT_STREQ(error,
                 "cannot open the pilot file /nonexistent/ship.pilot: No such file or directory");
    char tiny[8];
    EXPECT_EQ(ventrac_pilot_open("/nonexistent/ship.pilot", tiny, sizeof tiny), nullptr);
    EXPECT_STREQ(tiny, "cannot ");  // cut, and terminated

    const PilotPtr pilot(ventrac_pilot_parse(kPilot, std::strlen(kPilot)));
    const PilotPtr empty(ventrac_pilot_parse("", 0));
    ASSERT_NE(empty, nullptr);
    std::string errors;
    ventrac_dctx_set_errors_fn(x.d.get(), append, &errors);
    ventrac_dctx_set_names(x.d.get(), "app", "SHIP");

    EXPECT_EQ(ventrac_decode_text(x.d.get(), pilot.get(), "ABCDEFG", 7), -VENTRAC_ERR_SHORT_TEXT);
    EXPECT_EQ(ventrac_decode_text(x.d.get(), nullptr, "ABCDEFGH", 8), -VENTRAC_ERR_ARGUMENT);
    EXPECT_EQ(ventrac_decode_packed(nullptr, pilot.get(), nullptr, 0), -VENTRAC_ERR_ARGUMENT);
    EXPECT_EQ(errors, "");

    const unsigned char mode3[1] = {0x30};  // mode 3: no line of the pilot
    EXPECT_EQ(ventrac_decode_packed(x.d.get(), pilot.get(), mode3, 1), -VENTRAC_ERR_NO_ELEMENT);
    EXPECT_EQ(ventrac_dctx_count(x.d.get()), 0);
    EXPECT_EQ(ventrac_dctx_mode(x.d.get()), 3);
    EXPECT_EQ(errors, std::string("app - SHIP -  erreur num 253: Aucun parametre n'est accessible "
                                  "sur fichier pilote (DSO) \n"));
    errors.clear();
    EXPECT_EQ(ventrac_decode_packed(x.d.get(), empty.get(), mode3, 1), -VENTRAC_ERR_NO_ELEMENT);

    DataTypeEntry types{};
    types.nb_modes = 1;
    types.modes[0] = 3;
    types.types[0] = 12;
    ventrac_dctx_set_datatypes(x.d.get(), &types);
    const unsigned char mode1[1] = {0x10};
    errors.clear();
    EXPECT_EQ(ventrac_decode_packed(x.d.get(), pilot.get(), mode1, 1), -VENTRAC_ERR_DATATYPE);
    EXPECT_EQ(errors,
              "app - SHIP -  erreur num 234 - Mode operatoire non repertorie dans le "
              "fichier DataType : 1\n");
    ventrac_dctx_set_datatypes(x.d.get(), nullptr);
    EXPECT_GE(ventrac_decode_packed(x.d.get(), pilot.get(), mode1, 1), 0);

    // Encoding: an output too small writes nothing; a mode without lines
    // packs nothing.
    const double v[] = {300.0};
    const int p[] = {1};
    char out[9];
    std::memset(out, '*', sizeof out);
    EXPECT_EQ(ventrac_encode_text(x.c.get(), pilot.get(), 1, v, p, 1, "ID", out, sizeof out),
              -VENTRAC_ERR_ARGUMENT);
    EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '*'));
    unsigned char packed[VENTRAC_PACKED_SIZE];
    EXPECT_EQ(ventrac_encode_packed(x.c.get(), pilot.get(), 3, v, p, 1, packed, nullptr),
              -VENTRAC_ERR_NO_ELEMENT);
    EXPECT_EQ(ventrac_encode_text(x.c.get(), pilot.get(), 3, v, p, 1, "ID", out, sizeof out),
              -VENTRAC_ERR_NO_ELEMENT);
    EXPECT_EQ(ventrac_encode_packed(x.c.get(), pilot.get(), 300, v, p, 1, packed, nullptr),
              -VENTRAC_ERR_ARGUMENT);
    EXPECT_EQ(ventrac_encode_packed(x.c.get(), pilot.get(), 1, nullptr, p, 1, packed, nullptr),
              -VENTRAC_ERR_ARGUMENT);
}

// Every way an encoding fails has its own negative number, and every number
// the library returns has a text.
TEST(Context, EncodingFailuresAreNegativeNumbersWithTexts) {
    Contexts x;
    unsigned char packed[VENTRAC_PACKED_SIZE];
    int used = -7;
    // 600 values of 16 bits: 9600 bits after the mode, more than the buffer.
    std::string wide = "000000;MODE;8;1;1;0;255;1;;1;0;1;mode\n";
    for (int i = 0; i < 600; ++i) wide += "012101;V;16;1;1;0;65534;1;K;1;0;1;v\n";
    const PilotPtr full(ventrac_pilot_parse(wide.data(), wide.size()));
    const std::vector<double> v(600, 1.0);
    const std::vector<int> p(600, 1);
    EXPECT_EQ(ventrac_encode_packed(x.c.get(), full.get(), 1, v.data(), p.data(), v.size(), packed,
                                    &used),
              -VENTRAC_ERR_FULL);
    EXPECT_EQ(used, -7);
    // A delayed group of one zero-width element repeated 100000 times packs
    // nothing but walks past the step bound.
    const char *endless =
        "000000;MODE;8;1;1;0;255;1;;1;0;1;mode\n"
        "101000;N;17;1;1;0;131071;1;;1;0;1;n\n"
        "012101;Z;0;1;1;0;0;1;K;1;0;1;z\n";
    const PilotPtr steps(ventrac_pilot_parse(endless, std::strlen(endless)));
    const double count[] = {100000.0};
    const int present[] = {1};
    EXPECT_EQ(ventrac_encode_packed(x.c.get(), steps.get(), 1, count, present, 1, packed, nullptr),
              -VENTRAC_ERR_TOO_MANY);

    const int numbers[] = {VENTRAC_ERR_PILOT,
                           VENTRAC_ERR_NO_ELEMENT,
                           VENTRAC_ERR_TOO_MANY,
                           VENTRAC_ERR_DATATYPE,
                           VENTRAC_ERR_SHORT_TEXT,
                           VENTRAC_ERR_ARGUMENT,
                           VENTRAC_ERR_MEMORY,
                           VENTRAC_ERR_FULL,
                           224,
                           243,
                           244};
    std::set<std::string> texts;
    for (int n : numbers) {
        EXPECT_STREQ(ventrac_error_text(n), ventrac_error_text(-n));
        EXPECT_STRNE(ventrac_error_text(n), "unknown error") << n;
        texts.insert(ventrac_error_text(n));
    }
    EXPECT_EQ(texts.size(), std::size(numbers));
    EXPECT_STREQ(ventrac_error_text(0), "unknown error");
    EXPECT_STREQ(ventrac_error_text(INT_MIN), "unknown error");
}

// A pilot that cannot be read to its end is refused, never taken as the
// lines read before the failure: a directory opens but fails its first read.
TEST(Context, APilotThatCannotBeReadIsRefused) {
    const std::string dir = ::testing::TempDir();
    char error[300] = "";
    EXPECT_EQ(ventrac_pilot_open(dir.c_str(), error, sizeof error), nullptr);
#ifdef _WIN32
    // Windows refuses to open a folder as a file.
    const std::string failure = "cannot open the pilot file ";
#else
    const std::string failure = "cannot read the pilot file ";
#endif
    EXPECT_EQ(std::string(error).rfind(failure + dir + ": ", 0), 0u) << error;
    ventrac_set_errors(nullptr);
    EXPECT_EQ(get_specif(dir.c_str(), 0), -254);
    ventrac_set_errors(stderr);
}

}  // namespace
