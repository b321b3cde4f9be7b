// SPDX-License-Identifier: Apache-2.0
// Lookups by descriptor and name in donnees, and by key in meta_data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codec/codec.h"

namespace {

void put(int i, const char *code, const char *name, int valid = 1, int flag = 1) {
    DecodedElement &d = donnees[i];
    std::strcpy(d.spec.code, code);
    std::strcpy(d.spec.name, name);
    d.valid = valid;
    d.spec.flag = static_cast<uint8_t>(flag);
    d.conv_value = 10.0 * i + 0.5;
}

void fill_decoded() {
    put(0, "001011", "ID");
    put(1, "031001", "NREP000");
    put(2, "012101", "TA_D000-000");
    put(3, "012101", "TA_D000-001");
    put(4, "012101", "TA");
    nbparobs = 5;
}

void put_meta(int i, const char *key, const char *subkey) {
    std::strcpy(meta_data[i].key, key);
    std::strcpy(meta_data[i].subkey, subkey);
}

}  // namespace

TEST(LookupCherche, MatchesTrimmedCodeAndNameJoined) {
    fill_decoded();
    int index = 0;
    EXPECT_EQ(cherche("012101", "TA_D000-001", &index), 30.5);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(cherche(" 012101 ", "TA_D000-001 ", &index), 30.5);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(cherche("0121", "01TA", &index), 40.5);
    EXPECT_EQ(index, 4);
    // Only the first nbparobs entries are searched; any count or probe length is safe.
    nbparobs = 4;
    EXPECT_EQ(cherche("012101", "TA", &index), -1.0);
    EXPECT_EQ(index, -1);
    nbparobs = 5000;
    const std::string long_probe(300, 'x');
    EXPECT_EQ(cherche(long_probe.c_str(), long_probe.c_str(), &index), -1.0);
    EXPECT_EQ(index, -1);
}

TEST(LookupCherche, FirstMatchDecidesEvenWhenUnusable) {
    fill_decoded();
    put(3, "012101", "TA_D000-000");  // a later, usable twin of entry 2
    int index = 0;
    for (auto [valid, flag] : {std::pair{0, 1}, std::pair{1, 0}}) {
        put(2, "012101", "TA_D000-000", valid, flag);
        index = 0;
        EXPECT_EQ(cherche("012101", "TA_D000-000", &index), -1.0);
        EXPECT_EQ(index, -1);
    }
}

TEST(LookupMeta, KeyAloneOrKeyAndSubkeyExactly) {
    put_meta(0, "K1", "A");
    put_meta(1, "K1", "B");
    put_meta(2, "K2", "B");
    nbmeta = 3;
    EXPECT_EQ(cherche_meta("K1", ""), meta_data[0].value);
    EXPECT_EQ(cherche_meta("K1", nullptr), meta_data[0].value);
    EXPECT_EQ(cherche_meta("K1", "B"), meta_data[1].value);
    EXPECT_EQ(cherche_meta("K2", "A"), nullptr);
    EXPECT_EQ(cherche_meta(" K1", ""), nullptr);  // no trimming
    nbmeta = 2;
    EXPECT_EQ(cherche_meta("K2", ""), nullptr);
    nbmeta = 100000;
    EXPECT_EQ(cherche_meta("absent", ""), nullptr);
    nbmeta = 0;
    EXPECT_EQ(cherche_meta("K1", ""), nullptr);
}
