// SPDX-License-Identifier: Apache-2.0
// Decoder: values, validity, texts, replication names, data-type codes, error
// lines and the limits of a walk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/decoder.h"
#include "test_support.h"

namespace {

using vt_test::TempDir;

// One pilot line, by default sent in modes 1 to 7.
std::string el(const std::string &code, const std::string &name, int nbits = 8,
               const std::string &law = "1;1;0;254", const std::string &tail = "PA;1;0;1;c;;",
               const std::string &mask = "127") {
    return code + ";" + name + ";" + std::to_string(nbits) + ";" + law + ";" + mask + ";" + tail +
           "\n";
}
std::string mode_line(const std::string &mask = "127") {
    return el("000000", "MODE", 8, "1;1;0;255", "NUMERIC;1;0;0;mode;;", mask);
}
const std::string kMode = mode_line();

struct Decoded {
    int n = 0;
    signed char type = 0;
    int error = -7;
    std::string err;
};

// Error lines name the application and the ship; the trace is dropped.
struct Quiet {
    char ship[8] = "SHIP";
    char *saved_ship = nom_navire;
    Quiet() {
        std::strcpy(APPLI, "app");
        nom_navire = ship;
        ventrac_set_trace(nullptr);
    }
    ~Quiet() {
        nom_navire = saved_ship;
        ventrac_set_trace(stdout);
    }
};

Decoded decode_packed(const std::string &pilot_path, const unsigned char *packed) {
    Decoded d;
    d.err = vt_test::capture_stderr(
        [&] { d.n = decomprime(pilot_path.c_str(), packed, &d.type, &d.error); });
    return d;
}

// Encodes `values` (NaN marks a missing one) under `pilot`, then decodes.
Decoded round_trip(const std::string &pilot, const std::vector<double> &values,
                   signed char mode = 1) {
    TempDir dir;
    vt_test::write_file(dir.file("p"), pilot);
    std::vector<double> v(VENTRAC_MAX_VALUES, 0.0);
    std::vector<int> present(VENTRAC_MAX_VALUES, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        present[i] = std::isnan(values[i]) ? 0 : 1;
        v[i] = present[i] ? values[i] : 0.0;
    }
    unsigned char packed[VENTRAC_PACKED_SIZE];
    int kept = 0;
    EXPECT_GT(comprime(dir.file("p").c_str(), mode, v.data(), present.data(), packed, &kept), 0);
    return decode_packed(dir.file("p"), packed);
}

void any_mode_type(int type) {
    TypeDonnee.nb_modes = 1;
    TypeDonnee.modes[0] = -1;
    TypeDonnee.types[0] = type;
}

std::string name(int i) { return donnees[i].spec.name; }

// The names, descriptors or identifiers of the first `n` entries, blank-separated.
std::string listed(int n, const char *(*field)(const DecodedElement &)) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        if (i) text += ' ';
        text += field(donnees[i]);
    }
    return text;
}
const char *name_of(const DecodedElement &d) { return d.spec.name; }
const char *code_of(const DecodedElement &d) { return d.spec.code; }
const char *ident_of(const DecodedElement &d) { return d.ident; }

}  // namespace

TEST(DecoderFormat, WidthFromRangeDecimalsFromResolution) {
    using ventrac::cree_form;
    EXPECT_EQ(cree_form(40.95, 0.01), "%6.2f");
    EXPECT_EQ(cree_form(255, 1), "%5.0f");
    EXPECT_EQ(cree_form(12.5, 0.5), "%5.1f");
    EXPECT_EQ(cree_form(110000, 10), "%8.0f");
    EXPECT_EQ(cree_form(0, 1), "%3.0f");
    // Ranges and resolutions the digits cannot follow are capped.
    EXPECT_EQ(cree_form(1e12, 1), "%12.0f");
    EXPECT_EQ(cree_form(-INFINITY, 1e-300), "%27.15f");
    EXPECT_EQ(cree_form(NAN, NAN), "%3.0f");
    EXPECT_EQ(cree_form(5, 0), "%18.15f");
    EXPECT_EQ(cree_form(5, -0.01), "%5.2f");
}

// Display texts are written without printf: they must still give printf's
// digits, ties to even on the exact binary value, for every width and number
// of decimals the formats use.
TEST(DecoderFormat, FixedTextsMatchPrintf) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.125,
                                  0.375,
                                  2.5,
                                  -2.5,
                                  1e15,
                                  -1e-9,
                                  12.345,
                                  99.995,
                                  4503599627370495.0,
                                  1e300,
                                  -273.15,
                                  223.15,
                                  0.05,
                                  1.005,
                                  NAN,
                                  INFINITY,
                                  -INFINITY};
    std::mt19937_64 draw(7);
    for (int i = 0; i < 3000; ++i) {
        const double magnitude = std::ldexp(1.0, static_cast<int>(draw() % 70) - 20);
        values.push_back(magnitude * (static_cast<double>(draw() % 2000001) / 1e6 - 1.0));
        // Values the decoder makes: raw^power * scale + reference.
        values.push_back(static_cast<double>(draw() % 65536) * 0.01 - 273.15);
    }
    for (const double v : values) {
        for (int decimals = 0; decimals <= 15; ++decimals) {
            for (const int width : {3, 9, 27}) {
                char expected[256], got[256];
                std::snprintf(expected, sizeof expected, "%*.*f", width, decimals, v);
                ventrac::format_fixed(got, sizeof got, width, decimals, v);
                ASSERT_STREQ(got, expected) << v << " with " << decimals << " decimals";
            }
        }
    }
    char cut[8];
    ventrac::format_fixed(cut, sizeof cut, 12, 2, 3.14159);
    EXPECT_STREQ(cut, "       ");  // cut as snprintf cuts it
}

TEST(DecoderValues, TextsValidityAndConversion) {
    Quiet quiet;
    any_mode_type(300);
    const std::string temp = el("012101", "T", 12, "1;0.01;0;4095", "K;2;1;1;c;;");
    const Decoded d =
        round_trip(kMode + temp + temp + el("010004", "P", 8, "1;1;0;254", "PA;1;0;1;c;10;100") +
                       el("010004", "Q", 8, "2;1;0;254"),
                   {12.34, NAN, 200, 49});
    ASSERT_EQ(d.n, 4);
    EXPECT_EQ(d.error, -7);
    EXPECT_EQ(d.type, 44);  // low 8 bits of 300
    EXPECT_DOUBLE_EQ(donnees[0].value, 12.34);
    EXPECT_STREQ(donnees[0].text, " 12.34");
    EXPECT_STREQ(donnees[0].format, "%6.2f");
    EXPECT_DOUBLE_EQ(donnees[0].conv_value, 25.68);
    EXPECT_STREQ(donnees[0].conv_text, " 25.68");
    EXPECT_EQ(donnees[0].valid, 1);
    // Missing: all ones, value 0, texts formatted from 0.
    EXPECT_EQ(donnees[1].valid, 0);
    EXPECT_EQ(donnees[1].value, 0.0);
    EXPECT_STREQ(donnees[1].text, "  0.00");
    // Outside the plausible range: kept, but not usable.
    EXPECT_EQ(donnees[2].valid, 0);
    EXPECT_EQ(donnees[2].value, 200.0);
    EXPECT_EQ(donnees[3].value, 49.0);  // 7 squared
}

TEST(DecoderNames, DelayedGroupSuffixesItsElements) {
    Quiet quiet;
    any_mode_type(1);
    const std::string tail = el("012101", "TA", 12, "1;0.1;0;4094") + el("010004", "P");
    Decoded d = round_trip(kMode + el("001011", "ID") + el("101000", "NREP") + tail,
                           {7, 2, 280.1, 281.2, 100});
    ASSERT_EQ(d.n, 5);
    EXPECT_EQ(listed(5, name_of), "ID NREP000 TA_D000-000 TA_D000-001 P");
    EXPECT_EQ(listed(5, code_of), "001011 031001 012101 012101 010004");
    EXPECT_EQ(listed(5, ident_of), "D000001 D000002 D000003 D000004 D000005");
    EXPECT_DOUBLE_EQ(donnees[3].value, 281.2);
    EXPECT_EQ(num_rep_tr, 0);
    EXPECT_EQ(nb_rep_d_dev, 0);

    // A kind '4' factor is overwritten and adds no suffix.
    d = round_trip(kMode + el("001011", "ID") + el("401000", "NREP") + tail,
                   {7, 2, 280.1, 281.2, 100});
    ASSERT_EQ(d.n, 4);
    EXPECT_EQ(listed(4, name_of), "ID TA TA P");
    EXPECT_EQ(num_rep_tr, -1);

    // The factor's descriptor follows its width.
    for (auto [bits, code] : {std::pair{1, "031000"}, std::pair{9, "031002"}}) {
        ASSERT_EQ(
            round_trip(kMode + el("101000", "N", bits, "1;1;0;1") + el("010004", "P"), {1, 5}).n,
            2);
        EXPECT_STREQ(donnees[0].spec.code, code);
    }
}

TEST(DecoderNames, NestedGroupsExtendTheSuffix) {
    Quiet quiet;
    any_mode_type(1);
    const Decoded d = round_trip(kMode + el("103000", "NA") + el("012101", "X") +
                                     el("101000", "NB") + el("010004", "Y") + el("020001", "Z"),
                                 {2, 10, 1, 20, 11, 2, 21, 22, 30});
    ASSERT_EQ(d.n, 9);
    EXPECT_EQ(listed(9, name_of),
              "NA000 X_D000-000 NB001 Y_D000-000_D001-000 X_D000-001 NB002 Y_D000-001_D001-000 "
              "Y_D000-001_D001-001 Z");
    const double values[] = {2, 10, 1, 20, 11, 2, 21, 22, 30};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(donnees[i].value, values[i]);
    EXPECT_EQ(num_rep_tr, 1);
    EXPECT_EQ(nb_rep_d_dev, 2);
}

TEST(DecoderDataType, ModeListAndError234) {
    Quiet quiet;
    const std::string pilot = kMode + el("010004", "P");
    TypeDonnee.nb_modes = 2;
    TypeDonnee.modes[0] = 3, TypeDonnee.modes[1] = 7;
    TypeDonnee.types[0] = 12, TypeDonnee.types[1] = 14;
    EXPECT_EQ(round_trip(pilot, {1}, 7).type, 14);
    Decoded d = round_trip(pilot, {1}, 5);
    EXPECT_EQ(d.n, -1);
    EXPECT_EQ(d.error, 234);
    EXPECT_EQ(d.err,
              "app - SHIP -  erreur num 234 - Mode operatoire non repertorie dans le fichier "
              "DataType : 5\n");
    // Counts above 32 search the 32 entries the lists hold.
    TypeDonnee.nb_modes = 40;
    TypeDonnee.modes[31] = 5, TypeDonnee.types[31] = 55;
    EXPECT_EQ(round_trip(pilot, {1}, 5).type, 55);
    TypeDonnee.nb_modes = 0;
    nom_navire = nullptr;
    EXPECT_EQ(round_trip(pilot, {1}, 7).err.substr(0, 10), "app -  -  ");
}

TEST(DecoderErrors, PilotFileErrors254And253) {
    Quiet quiet;
    TempDir dir;
    const unsigned char packed[VENTRAC_PACKED_SIZE] = {2};
    Decoded d = decode_packed(dir.file("none"), packed);
    const std::string cause =
        "app - SHIP -  erreur num 254: Erreur a l'ouverture du fichier pilote (DSI)";
    EXPECT_EQ(d.err,
              cause + " : " + dir.file("none") + "\n" + cause + " " + dir.file("none") + "\n");
    EXPECT_EQ(d.error, 254);
    // Every line is read, but none belongs to the message's mode 2.
    vt_test::write_file(dir.file("p"), mode_line("1"));
    d = decode_packed(dir.file("p"), packed);
    EXPECT_EQ(d.n, -1);
    EXPECT_EQ(d.error, 253);
    EXPECT_EQ(
        d.err,
        "app - SHIP -  erreur num 253: Aucun parametre n'est accessible sur fichier pilote (DSO) " +
            dir.file("p") + "\n");
}

TEST(DecoderErrors, Limit252EndsEveryWalk) {
    Quiet quiet;
    any_mode_type(1);
    TempDir dir;
    // Mode 1, then a count of 65535 in 16 bits.
    const unsigned char packed[VENTRAC_PACKED_SIZE] = {1, 0xFF, 0xFF};
    // Elements of 0 bits fill the table: exactly 1024 entries are written.
    vt_test::write_file(dir.file("p"),
                        kMode + el("101000", "N", 16, "1;1;0;65535") + el("012101", "E", 0));
    std::strcpy(donnees[1023].spec.name, "old");
    Decoded d = decode_packed(dir.file("p"), packed);
    EXPECT_EQ(d.n, -1);
    EXPECT_EQ(d.error, 252);
    EXPECT_EQ(
        d.err,
        "app - SHIP -  erreur num 252: Le nombre d'elements decompresses depasse le nombre max "
        "attendu (DSO) (1024)\n");
    EXPECT_EQ(name(1023), "E_D000-1022");
    // A group of kind '4' factors alone writes no entry; the step bound ends it.
    vt_test::write_file(dir.file("p"),
                        kMode + el("101000", "N", 16, "1;1;0;65535") + el("400000", "F", 0));
    d = decode_packed(dir.file("p"), packed);
    EXPECT_EQ(d.error, 252);
}

TEST(DecoderLifecycle, CharacterDataLongNamesAndTableEnd) {
    Quiet quiet;
    any_mode_type(1);
    for (DecodedElement &e : donnees) {
        std::strcpy(e.text, "stale");
        std::strcpy(e.conv_text, "stale");
        std::strcpy(e.format, "%1.0f");
    }
    const std::string long_name(60, 'L');
    Decoded d = round_trip(kMode + el("001011", "ID", 8, "1;1;0;254", "CCITTIA5;2;1;1;c;;") +
                               el("101000", "N") + el("012101", long_name) + el("401000", "F") +
                               el("010004", "W"),
                           {65, 1, 3, 0});
    ASSERT_EQ(d.n, 3);
    EXPECT_EQ(donnees[0].conv_value, 131.0);
    EXPECT_STREQ(donnees[0].text, "");
    EXPECT_STREQ(donnees[0].conv_text, "");
    EXPECT_STREQ(donnees[0].format, "");
    EXPECT_EQ(name(2), long_name + "_D0");
    // The last kind '4' factor keeps its slot past the count, texts untouched.
    EXPECT_STREQ(donnees[3].spec.code, "401000");
    EXPECT_STREQ(donnees[3].text, "stale");

    // A group that reaches past the 1024th table entry stops at the table's end.
    std::string pilot = kMode;
    for (int i = 1; i < 1022; ++i) pilot += el("100001", "G", 0);
    d = round_trip(pilot + el("010004", "LAST") + el("105002", "G"), {42});
    ASSERT_EQ(d.n, 1);
    EXPECT_EQ(donnees[0].value, 42.0);
}

TEST(DecoderTrace, ListingAndSequenceLines) {
    any_mode_type(1);
    TempDir dir;
    const std::string all_modes = "18446744073709551615";  // listed as a signed -1
    vt_test::write_file(dir.file("p"),
                        kMode + el("010004", "P", 8, "1;1;0;254", "PA;1;0;1;c;;", all_modes));
    const unsigned char packed[VENTRAC_PACKED_SIZE] = {1, 9};
    const std::string trace = vt_test::capture_trace(
        [&] { decomprime(dir.file("p").c_str(), packed, nullptr, nullptr); });
    const std::string expected =
        "\n010004 P  8  1    1.00000 0.000000    254  -1 PA    1.000     0.00 1 c\nIER=2\n"
        "\tSequence num 0 i1=1 i2=2\n";
    EXPECT_NE(trace.find(expected), std::string::npos) << trace;
}
