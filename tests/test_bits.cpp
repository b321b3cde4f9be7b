// SPDX-License-Identifier: Apache-2.0
// Bit fields: packing, extraction, their trace and their limits.
#include <gtest/gtest.h>

#include <array>

#include "codec/codec.h"
#include "codec/fields.h"
#include "test_support.h"

namespace {

using Buffer = std::array<unsigned char, VENTRAC_PACKED_SIZE>;

TEST(Bits, PackAndExtractFieldsAcrossBytes) {
    Buffer b{};
    uint32_t pos = 0;
    ASSERT_EQ(pak(b.data(), 5, 3, &pos), 1);
    ASSERT_EQ(pak(b.data(), 1, 1, &pos), 1);
    ASSERT_EQ(pak(b.data(), 300, 9, &pos), 1);
    EXPECT_EQ(pos, 13u);
    EXPECT_EQ(b[0], 0xB9);
    EXPECT_EQ(b[1], 0x60);
    uint32_t at = 0;
    ventrac_set_trace(nullptr);
    EXPECT_EQ(depak(b.data(), 3, &at), 5);
    EXPECT_EQ(depak(b.data(), 1, &at), 1);
    EXPECT_EQ(depak(b.data(), 9, &at), 300);
    EXPECT_EQ(at, 13u);
    ventrac_set_trace(stdout);
}

TEST(Bits, FieldsMustEndInsideTheBuffer) {
    Buffer b{};
    uint32_t pos = 8192 - 7;
    EXPECT_EQ(pak(b.data(), 0xFF, 8, &pos), 0);
    EXPECT_EQ(pos, 8192u - 7);
    EXPECT_EQ(b[1023], 0);
    EXPECT_EQ(pak(b.data(), 0x7F, 7, &pos), 1);
    EXPECT_EQ(b[1023], 0x7F);
    // A position far past the end never wraps round into the buffer.
    uint32_t far = 0xFFFFFFFEu;
    EXPECT_EQ(pak(b.data(), 1, 4, &far), 0);
}

TEST(Bits, ValuesAreMaskedToTheirWidth) {
    Buffer b{};
    uint32_t pos = 2;
    ASSERT_EQ(pak(b.data(), 0xFFF, 4, &pos), 1);
    EXPECT_EQ(b[0], 0x3C);  // nothing spills in front of the field
    pos = 8;
    ASSERT_EQ(pak(b.data(), -1, 3, &pos), 1);
    EXPECT_EQ(b[1], 0xE0);
}

TEST(Bits, WideAndNegativeWidths) {
    ventrac_set_trace(nullptr);
    Buffer b{};
    uint32_t pos = 0;
    ASSERT_EQ(pak(b.data(), -1, 64, &pos), 1);
    uint32_t at = 0;
    EXPECT_EQ(depak(b.data(), 64, &at), -1);
    // Above 64 bits the 64-bit value is preceded by zeros.
    Buffer w{};
    pos = 0;
    ASSERT_EQ(pak(w.data(), -1, 70, &pos), 1);
    EXPECT_EQ(w[0], 0x03);
    at = 0;
    EXPECT_EQ(depak(w.data(), 70, &at), -1);
    EXPECT_EQ(at, 70u);
    // A negative width writes nothing; it fails only when the position is
    // smaller than the width's magnitude.
    Buffer n{};
    pos = 3;
    EXPECT_EQ(pak(n.data(), 1, -5, &pos), 0);
    pos = 9;
    EXPECT_EQ(pak(n.data(), 1, -5, &pos), 1);
    EXPECT_EQ(pos, 9u);
    EXPECT_EQ(n, Buffer{});
    at = 4;
    EXPECT_EQ(depak(n.data(), -3, &at), 0);
    EXPECT_EQ(at, 4u);
    ventrac_set_trace(stdout);
}

TEST(Bits, ExtractionTraceShowsEveryStep) {
    Buffer b{};
    b[0] = 0x41;
    b[1] = 0xB9;
    std::string trace = vt_test::capture_trace([&] {
        uint32_t at = 0;
        depak(b.data(), 6, &at);
    });
    EXPECT_EQ(trace,
              "---- \nENTREE DEPAK: On extrait 6 bits a partir du bit num 0\n"
              "DEPAK: adbit=0 no=6 noct=0 nd=0 nb=6pk=65 tmp1=16\t\tval=10  \tno=0\n");
    // Bytes print as 0 to 255, never negative.
    trace = vt_test::capture_trace([&] {
        uint32_t at = 6;
        depak(b.data(), 6, &at);
    });
    EXPECT_EQ(trace,
              "---- \nENTREE DEPAK: On extrait 6 bits a partir du bit num 6\n"
              "DEPAK: adbit=6 no=6 noct=0 nd=6 nb=2pk=65 tmp1=65\t\tval=10  \tno=4\n"
              "DEPAK: adbit=8 no=4 noct=1 nd=0 nb=4pk=185 tmp1=11\t\tval=1b  \tno=0\n");
}

TEST(Bits, ExtractionPastTheBufferReadsZeros) {
    Buffer b;
    b.fill(0xFF);
    ventrac_set_trace(nullptr);
    uint32_t at = 8190;
    EXPECT_EQ(depak(b.data(), 8, &at), 0xC0);
    at = 9000;
    EXPECT_EQ(depak(b.data(), 12, &at), 0);
    ventrac_set_trace(stdout);
}

TEST(Bits, SpreadBitsOnePerByte) {
    Buffer b{};
    b[0] = 0xA0;
    EXPECT_EQ(bitdpaq(b.data(), 4), (std::vector<std::uint8_t>{1, 0, 1, 0}));
    EXPECT_EQ(bitdpaq(b.data(), 100000).size(), 8192u);
    EXPECT_TRUE(bitdpaq(b.data(), -3).empty());
}

}  // namespace
