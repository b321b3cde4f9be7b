// Splitting and trimming of text.
#include "pilot/text.h"

#include <cstring>

#include "pilot/pilot.h"

namespace ventrac {

std::string_view trim_blanks(std::string_view text) noexcept {
    const std::size_t first = text.find_first_not_of(' ');
    // An empty result still points into `text`, so that copies from it never
    // take a null source.
    if (first == std::string_view::npos) return text.substr(text.size());
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

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
