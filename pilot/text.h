// SPDX-License-Identifier: Apache-2.0
// Text helpers shared inside the library (not part of the C interface).
#ifndef VENTRAC_TEXT_H
#define VENTRAC_TEXT_H

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace ventrac {

// `text` without its leading and trailing blanks (' ' only). The result
// always lies inside `text`, empty or not, so that copies from it never take
// a null source when text.data() is not null. Every blank trimming of the
// library and its programs is this one.
inline std::string_view trim_blanks(std::string_view text) noexcept {
    std::size_t first = 0, last = text.size();
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    return text.substr(first, last - first);
}

// `text` without its leading and trailing white space: blank, tab, line feed,
// form feed and carriage return (a vertical tab is kept). The result always
// lies inside `text`, empty or not, so its data() is never null when
// text.data() is not.
std::string_view trim_white(std::string_view text) noexcept;

// Length of the text in a fixed field of `size` bytes: up to its terminator,
// or `size` when it has none. Never reads past the field.
inline std::size_t field_length(const char *field, std::size_t size) noexcept {
    const void *end = std::memchr(field, '\0', size);
    return end == nullptr ? size : static_cast<std::size_t>(static_cast<const char *>(end) - field);
}

// Copies a terminated text field into a field of the same size, up to its
// terminator: most texts are far shorter than their field.
template <std::size_t N>
void copy_field(char (&dst)[N], const char (&src)[N]) noexcept {
    std::memcpy(dst, src, field_length(src, N - 1) + 1);
}

// Copies `src` into the fixed field `dst` of `size` bytes (size >= 1), cut to
// size - 1 characters and always terminated.
void copy_text(char *dst, std::size_t size, std::string_view src) noexcept;

// Length of the well-formed UTF-8 sequence of 2 to 4 bytes starting at
// text[i] (i < text.size()), or 0 when there is none: no overlong forms, no
// surrogates, nothing above U+10FFFF. Never reads past the text.
std::size_t utf8_length(std::string_view text, std::size_t i) noexcept;

// `text` as ventrac-decode --json, ventrac-encode and the Python module
// show it: well-formed UTF-8 as it is, every other byte as its Latin-1
// character, in UTF-8.
std::string shown_text(std::string_view text);

}  // namespace ventrac

/*
 * Cuts `text` at every character of `delimiters`. The text between two
 * delimiters, or before the first one, is a token, and an empty one becomes
 * the one-blank token " "; the text after the last delimiter is a last token
 * when it is not empty. Reads `text` up to its terminator only.
 */
std::vector<std::string> my_split(const char *text, const char *delimiters);

/*
 * Returns `message` laid out in telex lines as decoupr_mes(char *) lays it
 * out, without the 1023-character limit: lines of at most 69 characters
 * separated by "\r\r\n", one trailing blank dropped, "=\r\r\n" at the end.
 * Reads exactly message.size() characters and never changes them.
 * Throws std::bad_alloc when memory runs out, and nothing else.
 * Pass a string literal as std::string_view: GCC would otherwise take it for
 * the char * of decoupr_mes(char *) and lay it out in place.
 */
std::string decoupr_mes(std::string_view message);

#endif
