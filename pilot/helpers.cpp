// SPDX-License-Identifier: Apache-2.0
// Helpers for programs that link the codec: white-space trimming, number
// conversion for configuration readers, and the telex layout of a message.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "pilot/pilot.h"
#include "pilot/text.h"
#include "pilot/trace.h"

namespace {

// Longest line of a laid-out message, line ends not counted.
constexpr std::size_t kLineWidth = 69;
// Longest message the in-place layout takes; anything after it is dropped.
constexpr std::size_t kLongestMessage = 1023;
// Telex line end: carriage return, carriage return, line feed.
constexpr std::string_view kLineEnd = "\r\r\n";
// End of message mark, written after the last line.
constexpr std::string_view kMessageEnd = "=\r\r\n";

constexpr int kConversionError = 224;

static_assert(sizeof(long long) == sizeof(int64_t), "strtoll must yield 64 bits");

}  // namespace

extern "C" void sans_espace(char *dst, const char *src) {
    const std::string_view kept = ventrac::trim_white(src);
    std::memmove(dst, kept.data(), kept.size());
    dst[kept.size()] = '\0';
}

extern "C" int my_strtol(int64_t *out, const char *text, FILE *file, const char *what, int line) {
    // The trimmed text points into `text`, and what follows it there is white
    // space up to the terminator, which ends the conversion just as the end of
    // a trimmed copy would. So there is no copy and no length limit.
    const std::string_view number = ventrac::trim_white(text);
    errno = 0;
    *out = static_cast<int64_t>(std::strtoll(number.data(), nullptr, 10));
    // Some C libraries also set errno when there is no digit at all; that
    // text is taken as 0, so only a value out of range is an error.
    if (errno != ERANGE) return 0;

    if (file != nullptr) std::fclose(file);
    ventrac::trace::error("%s : %s (%s %d)\n", "Erreur de conversion lors du traitement de ",
                          what != nullptr ? what : "", "ligne", line);
    return kConversionError;
}

std::string decoupr_mes(std::string_view message) {
    std::string laid;
    std::size_t line_start = 0;
    std::size_t last_blank = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == ' ') last_blank = i;
        if (i + 1 - line_start <= kLineWidth) continue;

        // Character i would make the line one too long. Cut at the last blank
        // of the line, which then opens the next line. When the line has no
        // blank past its first character, the word does not fit: cut it after
        // kLineWidth characters, so that no line is empty or too long.
        const std::size_t cut = last_blank > line_start ? last_blank : i;
        laid.append(message.substr(line_start, cut - line_start));
        laid.append(kLineEnd);
        line_start = cut;
    }
    laid.append(message.substr(line_start));

    if (!laid.empty() && laid.back() == ' ') laid.pop_back();
    laid.append(kMessageEnd);
    return laid;
}

extern "C" void decoupr_mes(char *message) {
    std::size_t length = 0;
    while (length < kLongestMessage && message[length] != '\0') ++length;

    try {
        const std::string laid = decoupr_mes(std::string_view(message, length));
        std::memcpy(message, laid.c_str(), laid.size() + 1);
    } catch (const std::bad_alloc &) {
        // Out of memory: the message stays as it was.
    }
}
