// SPDX-License-Identifier: Apache-2.0
// Splitting and trimming of text.
#include "pilot/text.h"

#include <cstring>

#include "pilot/pilot.h"

namespace ventrac {

std::string_view trim_white(std::string_view text) noexcept {
    constexpr std::string_view white = " \t\n\f\r";
    const std::size_t first = text.find_first_not_of(white);
    if (first == std::string_view::npos) return text.substr(text.size());
    const std::size_t last = text.find_last_not_of(white);
    return text.substr(first, last - first + 1);
}

void copy_text(char *dst, std::size_t size, std::string_view src) noexcept {
    const std::size_t n = src.size() < size - 1 ? src.size() : size - 1;
    std::memmove(dst, src.data(), n);
    dst[n] = '\0';
}

std::string shown_text(std::string_view text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = utf8_length(text, i); n != 0) {
            utf8.append(text.substr(i, n));
            i += n;
        } else {
            // U+0080 .. U+00FF in UTF-8.
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return utf8;
}

std::size_t utf8_length(std::string_view text, std::size_t i) noexcept {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < n || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return n;
}

}  // namespace ventrac

extern "C" void str_sans_espace(char *dst, const char *src) {
    const std::string_view kept = ventrac::trim_blanks(src);
    std::memmove(dst, kept.data(), kept.size());
    dst[kept.size()] = '\0';
}

std::vector<std::string> my_split(const char *text, const char *delimiters) {
    std::vector<std::string> tokens;
    const std::string_view rest_of(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i < rest_of.size(); ++i) {
        if (std::strchr(delimiters, rest_of[i]) == nullptr) continue;
        if (i == start)
            tokens.emplace_back(" ");
        else
            tokens.emplace_back(rest_of.substr(start, i - start));
        start = i + 1;
    }
    if (start < rest_of.size()) tokens.emplace_back(rest_of.substr(start));
    return tokens;
}
