// SPDX-License-Identifier: Apache-2.0
// Pilot file reader, line splitting and trimming.
#include <gtest/gtest.h>

#include <string>

#include "pilot/pilot.h"
#include "pilot/text.h"
#include "test_support.h"

namespace {

using vt_test::capture_trace;
using vt_test::TempDir;
using vt_test::write_file;

const char *kStationLine = "001011;  Station ident ;8;1;1;0;255;3;CCITTIA5;1;0;0;IA5 text;;\n";

int load(const TempDir &dir, const std::string &content, signed char mode) {
    write_file(dir.file("p"), content);
    int kept = 0;
    capture_trace([&] { kept = get_specif(dir.file("p").c_str(), mode); });
    return kept;
}

TEST(Pilot, SplitAndTrim) {
    using V = std::vector<std::string>;
    EXPECT_EQ(my_split("a;;b\n", ";\n"), (V{"a", " ", "b"}));
    EXPECT_EQ(my_split("a;b", ";\n"), (V{"a", "b"}));
    EXPECT_EQ(my_split(";", ";\n"), (V{" "}));
    EXPECT_EQ(my_split("", ";\n"), V{});
    char out[16];
    str_sans_espace(out, "  x y  ");
    EXPECT_STREQ(out, "x y");
    str_sans_espace(out, "   ");
    EXPECT_STREQ(out, "");
    str_sans_espace(out, "\t x\t ");
    EXPECT_STREQ(out, "\t x\t");
}

TEST(Pilot, LineSetsEveryField) {
    TempDir dir;
    ASSERT_EQ(load(dir, kStationLine, 0), 1);
    const ElementSpec &e = specel[0];
    EXPECT_STREQ(e.code, "001011");
    EXPECT_STREQ(e.name, "Station ident");
    EXPECT_EQ(e.nbits, 8);
    EXPECT_EQ(e.power, 1);
    EXPECT_EQ(e.scale, 1);
    EXPECT_EQ(e.reference, 0);
    EXPECT_EQ(e.min_valid, 0);
    EXPECT_EQ(e.max_coded, 255);
    EXPECT_EQ(e.max_valid, 255);
    EXPECT_EQ(e.mode_mask, 3u);
    EXPECT_STREQ(e.unit, "CCITTIA5");
    EXPECT_EQ(e.conv_factor, 1);
    EXPECT_EQ(e.conv_offset, 0);
    EXPECT_EQ(e.flag, 0);
    EXPECT_STREQ(e.comment, "IA5 text");
}

TEST(Pilot, ModesSelectLinesAndUnkeptLinesShareASlot) {
    TempDir dir;
    const std::string two = std::string(kStationLine) + "1011;B;4;1;1;0;9;4;U;1;0;1;second\n";
    EXPECT_EQ(load(dir, two, 2), 1);
    EXPECT_STREQ(specel[0].name, "Station ident");
    EXPECT_EQ(load(dir, two, 3), 1);  // bit 2 of 4: only the second line, in slot 0
    EXPECT_STREQ(specel[0].name, "B");
    EXPECT_STREQ(specel[0].code, "001011");
    const std::string high = "101000;H;4;1;1;0;9;9223372036854775808;U;1;0;1;c\n";
    EXPECT_EQ(load(dir, high, 64), 1);
    EXPECT_STREQ(specel[0].code, "101000");
    EXPECT_EQ(load(dir, high, 63), 0);
    EXPECT_EQ(load(dir, high, 65), 0);
    EXPECT_EQ(load(dir, high, -3), 1);
}

TEST(Pilot, MissingFieldsKeepWhatTheSlotHeld) {
    TempDir dir;
    ASSERT_EQ(load(dir, std::string(kStationLine) + "\n" + "12;X\r\n", 0), 3);
    EXPECT_STREQ(specel[1].code, "000000");  // an empty line is one blank field
    EXPECT_STREQ(specel[2].code, "000012");
#ifdef _WIN32
    EXPECT_STREQ(specel[2].name, "X");  // read in text mode: CR LF is a line feed
#else
    EXPECT_STREQ(specel[2].name, "X\r");  // only the line feed ends the field
#endif
    // A short line inherits the fields of the line the slot held before.
    ASSERT_EQ(load(dir, std::string(kStationLine) + kStationLine, 0), 2);
    ASSERT_EQ(load(dir, std::string(kStationLine) + "7;Y\n", 0), 2);
    EXPECT_STREQ(specel[1].name, "Y");
    EXPECT_EQ(specel[1].nbits, 8);
    EXPECT_STREQ(specel[1].comment, "IA5 text");
    // A carriage return left in field 14 is not empty and reads as 0 (on
    // Windows the text-mode read drops it: the field stays empty).
    ASSERT_EQ(load(dir, "1;A;8;1;1;-5;255;3;U;1;0;1;c;-2;\r\n", 0), 1);
    EXPECT_EQ(specel[0].min_valid, -2);
#ifdef _WIN32
    EXPECT_EQ(specel[0].max_valid, 250);
#else
    EXPECT_EQ(specel[0].max_valid, 0);
#endif
}

TEST(Pilot, TraceShowsEachLineAndItsPositions) {
    TempDir dir;
    write_file(dir.file("p"), "1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18;19;20\n");
    const std::string trace = capture_trace([&] { get_specif(dir.file("p").c_str(), 0); });
    EXPECT_EQ(trace,
              "pilote:1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18;19;20\n\n"
              "0-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-");
    EXPECT_EQ(specel[0].max_valid, 15);  // field 14 is the last one taken
}

TEST(Pilot, OversizedInputIsCutToFit) {
    TempDir dir;
    const std::string name(100, 'n'), comment(1500, 'c');
    // The 1500-character comment makes the line longer than 511 characters:
    // it is read as several lines.
    EXPECT_EQ(load(dir, "123456789;" + name + ";8;1;1;0;1;1;" + std::string(80, 'u') + "\n", 0), 1);
    EXPECT_STREQ(specel[0].code, "1234567");
    EXPECT_EQ(std::string(specel[0].name), std::string(63, 'n'));
    EXPECT_EQ(std::string(specel[0].unit), std::string(63, 'u'));
    EXPECT_EQ(load(dir, "1;a;8;1;1;0;1;1;u;1;0;1;" + comment + "\n", 0), 3);
    EXPECT_EQ(std::string(specel[0].comment), std::string(511 - 24, 'c'));
}

TEST(Pilot, KeepsAtMost1024Lines) {
    TempDir dir;
    std::string lines;
    for (int i = 0; i < 1100; ++i) lines += std::to_string(i) + ";e;1;1;1;0;1;1;u;1;0;1;c\n";
    EXPECT_EQ(load(dir, lines, 0), 1024);
    EXPECT_STREQ(specel[1023].code, "001023");
}

TEST(Pilot, UnreadableFileIsError254) {
    TempDir dir;
    std::snprintf(APPLI, sizeof APPLI, "%s", "app");
    specel[0].nbits = 77;
    int result = 0;
    const std::string err =
        vt_test::capture_stderr([&] { result = get_specif(dir.file("absent").c_str(), 1); });
    EXPECT_EQ(result, -254);
    EXPECT_EQ(err, "app -  -  erreur num 254: Erreur a l'ouverture du fichier pilote (DSI) : " +
                       dir.file("absent") + "\n");
    EXPECT_EQ(specel[0].nbits, 77);
}

}  // namespace
