// SPDX-License-Identifier: Apache-2.0
// Six-bit armour: packed bytes to transmitted text and back.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#include "codec/codec.h"

namespace {

using Buffer = std::array<unsigned char, VENTRAC_PACKED_SIZE>;

class Armour : public ::testing::Test {
protected:
    void SetUp() override { ventrac_set_trace(nullptr); }
    void TearDown() override { ventrac_set_trace(stdout); }

    std::string arm(const char *id, const Buffer &packed, int nbytes) {
        std::string out(VENTRAC_MESSAGE_MAX, '\0');
        const int n = telexin(id, packed.data(), nbytes, "", out.data());
        out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return out;
    }
};

TEST_F(Armour, TwoBytesBecomeThreeCharactersBehindTheIdentifier) {
    Buffer b{};
    b[0] = 0xB9;
    b[1] = 0x60;
    const std::string text = arm("ABCD", b, 2);
    EXPECT_EQ(text, std::string("   ABCDnV\x40"));
    Buffer back{};
    char id[8];
    char model[8] = "x";
    EXPECT_EQ(telexout(static_cast<int>(text.size()), text.data(), id, model, back.data()), 3);
    EXPECT_STREQ(id, "ABCD");
    EXPECT_STREQ(model, "");
    EXPECT_EQ(back[0], 0xB9);
    EXPECT_EQ(back[1], 0x60);
    EXPECT_EQ(back[2], 0x00);
}

TEST_F(Armour, IdentifierIsTrimmedCutAndRightAligned) {
    Buffer b{};
    EXPECT_EQ(arm(" FNZ ", b, 0), "    FNZ");
    EXPECT_EQ(arm("ABCDEFGHI", b, 0), "ABCDEFG");
    const std::string long_id(300, 'Z');
    EXPECT_EQ(arm(long_id.c_str(), b, 0), "ZZZZZZZ");
}

TEST_F(Armour, CharacterCountFollowsThePackedSize) {
    Buffer b{};
    EXPECT_EQ(arm("A", b, 3).size(), 7u + 4);
    EXPECT_EQ(arm("A", b, 1).size(), 7u + 2);
    EXPECT_EQ(arm("A", b, 1024).size(), 7u + 1366);
    std::string out(16, '#');
    EXPECT_EQ(telexin("A", b.data(), 1025, "", out.data()), -1);
    EXPECT_EQ(telexin("A", b.data(), -1, "", out.data()), -1);
    EXPECT_EQ(out, std::string(16, '#'));
}

TEST_F(Armour, FullBufferRoundTripsAndTheLastCharacterIsDropped) {
    Buffer b;
    std::mt19937 draw(7);
    for (auto &byte : b) byte = static_cast<unsigned char>(draw());
    const std::string text = arm("SHIP", b, 1024);
    for (std::size_t i = 7; i < text.size(); ++i) {
        ASSERT_GE(static_cast<unsigned char>(text[i]), 0x40);
        ASSERT_LE(static_cast<unsigned char>(text[i]), 0x7F);
    }
    Buffer back{};
    char id[8];
    EXPECT_EQ(telexout(static_cast<int>(text.size()), text.data(), id, nullptr, back.data()), 1024);
    // The dropped character carried the last 2 bits of byte 1023.
    EXPECT_TRUE(std::equal(b.begin(), b.end() - 1, back.begin()));
    EXPECT_EQ(back[1023], b[1023] & 0xFC);
}

TEST_F(Armour, ShortTextsRebuildNothing) {
    Buffer back{};
    back[0] = 0x5A;
    char id[8];
    EXPECT_EQ(telexout(7, "  AB\0CD", id, nullptr, back.data()), 0);
    EXPECT_STREQ(id, "AB");
    EXPECT_EQ(back[0], 0x5A);
    EXPECT_EQ(telexout(3, "XYZWVUT", id, nullptr, back.data()), 0);
    EXPECT_STREQ(id, "XYZ");
}

}  // namespace
