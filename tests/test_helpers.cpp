// SPDX-License-Identifier: Apache-2.0
// White-space trimming, number conversion and telex layout of messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pilot/pilot.h"
#include "pilot/text.h"
#include "test_support.h"

namespace {

const std::string kNl = "\r\r\n", kEnd = "=\r\r\n";

TEST(HelpersSansEspace, TrimsOuterWhiteSpaceOnly) {
    char buf[32] = "  in place \n";
    sans_espace(buf, buf);
    EXPECT_STREQ(buf, "in place");
    sans_espace(buf, "\t 12 \r\n");
    EXPECT_STREQ(buf, "12");
    sans_espace(buf, "\v a\tb \f");
    EXPECT_STREQ(buf, "\v a\tb");
    sans_espace(buf, " \t\n\f\r");
    EXPECT_STREQ(buf, "");
}

TEST(HelpersMyStrtol, ConvertsOrClosesTheFileAndReports) {
    const std::string report = "Erreur de conversion lors du traitement de  : seuil (ligne 12)\n";
    const struct {
        std::string text;
        int64_t value;
        int status;
    } cases[] = {{" 42\n", 42, 0},
                 {"abc", 0, 0},
                 {"\t-17 x", -17, 0},
                 {"9223372036854775807", INT64_MAX, 0},
                 {std::string(300, '0') + "7", 7, 0},
                 {"9223372036854775808", INT64_MAX, 224},
                 {" -99999999999999999999\n", INT64_MIN, 224},
                 {"1" + std::string(300, '0'), INT64_MAX, 224}};
    for (const auto &c : cases) {
        FILE *file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        const int fd = fileno(file);
        int64_t out = -1;
        int status = -1;
        bool closed = false;
        const std::string err = vt_test::capture_stderr([&] {
            status = my_strtol(&out, c.text.c_str(), file, "seuil", 12);
            closed = !vt_test::descriptor_open(fd);
        });
        EXPECT_EQ(status, c.status) << c.text;
        EXPECT_EQ(out, c.value) << c.text;
        EXPECT_EQ(closed, c.status != 0) << c.text;
        EXPECT_EQ(err, c.status != 0 ? report : "") << c.text;
        if (!closed) std::fclose(file);
    }
    int64_t out = 0;
    EXPECT_EQ(vt_test::capture_stderr(
                  [&] { my_strtol(&out, "-9223372036854775809", nullptr, nullptr, 3); }),
              "Erreur de conversion lors du traitement de  :  (ligne 3)\n");
}

std::string words(int count, const std::string &word) {
    std::string text;
    for (int i = 0; i < count; ++i) text += word;
    return text;
}

TEST(HelpersDecouprMes, CutsAtTheLastBlankOrAfter69Characters) {
    const std::string a(69, 'A'), x(150, 'X');
    EXPECT_EQ(decoupr_mes(words(10, "ABCDEFGHI ")),
              words(6, "ABCDEFGHI ") + "ABCDEFGHI" + kNl + " ABCDEFGHI ABCDEFGHI ABCDEFGHI" + kEnd);
    EXPECT_EQ(decoupr_mes(std::string_view()), kEnd);
    EXPECT_EQ(decoupr_mes(a), a + kEnd);
    EXPECT_EQ(decoupr_mes(a.substr(2) + "  "), a.substr(2) + " " + kEnd);
    EXPECT_EQ(decoupr_mes(a + " "), a + kNl + kEnd);
    EXPECT_EQ(decoupr_mes(a.substr(35) + " " + a.substr(34)),
              a.substr(35) + kNl + " " + a.substr(34) + kEnd);
    EXPECT_EQ(decoupr_mes(x), x.substr(81) + kNl + x.substr(81) + kNl + x.substr(138) + kEnd);
    EXPECT_EQ(decoupr_mes("AB " + x.substr(50)),
              "AB" + kNl + " " + x.substr(82) + kNl + x.substr(118) + kEnd);
}

TEST(HelpersDecouprMes, LinesStayWithinWidthAndKeepEveryCharacter) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string message;
        for (std::size_t length = random() % 400; message.size() < length;)
            message += std::string(random() % 3 + 1, ' ') + std::string(random() % 90 + 1, 'w');
        const std::string laid = decoupr_mes(message);
        ASSERT_EQ(laid.substr(laid.size() - kEnd.size()), kEnd);
        const std::size_t body = laid.size() - kEnd.size();
        std::string rebuilt;
        std::size_t start = 0;
        for (std::size_t end; (end = laid.find(kNl, start)) < body; start = end + kNl.size()) {
            EXPECT_TRUE(end > start && end - start <= 69) << message;  // neither empty nor long
            rebuilt.append(laid, start, end - start);
        }
        EXPECT_LE(body - start, 69u) << message;
        rebuilt.append(laid, start, body - start);
        if (!message.empty() && message.back() == ' ') message.pop_back();
        EXPECT_EQ(rebuilt, message);
    }
}

// Lays `message` out in place in a buffer of `room` bytes followed by a guard.
std::string laid_in_place(const std::string &message, std::size_t room) {
    std::vector<char> buf(room + 16, '#');
    std::memcpy(buf.data(), message.c_str(), message.size() + 1);
    decoupr_mes(buf.data());
    EXPECT_EQ(std::string(buf.data() + room, 16), std::string(16, '#'));
    return buf.data();
}

TEST(HelpersDecouprMes, InPlaceStaysWithinTheDocumentedRoom) {
    // Blank pairs every 70 characters force the most cuts: 28.
    const std::string worst = words(15, "  " + std::string(68, 'X')).substr(0, 1023);
    EXPECT_EQ(decoupr_mes(worst).size(), 1023u + 28 * 3 + 4);
    EXPECT_EQ(laid_in_place(worst, 1112), decoupr_mes(worst));
    const std::string long_one = words(150, "ABCDEFGHI ");
    EXPECT_EQ(laid_in_place(long_one, long_one.size() + 1),
              decoupr_mes(std::string_view(long_one).substr(0, 1023)));
}

}  // namespace
