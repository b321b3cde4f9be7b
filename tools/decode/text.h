// SPDX-License-Identifier: Apache-2.0
// Text building blocks of the output formats: an output buffer with cheap
// appends, fixed-size library fields as views, numbers in their shortest
// form, JSON strings and CSV fields.
#ifndef VENTRAC_DECODE_TEXT_H
#define VENTRAC_DECODE_TEXT_H

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "pilot/text.h"

namespace ventrac::decode {

// Output text built up in memory. Appends are inline: the formats make
// dozens of them per element.
class Buffer {
public:
    // Room for `n` more characters, to be written at end() and kept with
    // commit().
    char *reserve(std::size_t n) {
        if (capacity_ - size_ < n) grow(n);
        return data_.get() + size_;
    }
    void commit(const char *end) { size_ = static_cast<std::size_t>(end - data_.get()); }
    void put(char c) { *reserve(1) = c, ++size_; }
    void put(std::string_view text) {
        char *at = reserve(text.size());
        if (!text.empty()) std::memcpy(at, text.data(), text.size());
        size_ += text.size();
    }
    void fill(std::size_t n, char c) {
        std::memset(reserve(n), c, n);
        size_ += n;
    }
    Buffer &operator<<(std::string_view text) { return put(text), *this; }
    Buffer &operator<<(char c) { return put(c), *this; }
    Buffer &operator<<(int number);

    std::string_view view() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }

private:
    void grow(std::size_t n);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// A terminated text of a fixed-size field, never read past the field. The
// terminator is looked for eight bytes at a time, inline: the decoded
// tables are read field by field, seven fields an element.
template <std::size_t N>
[[gnu::always_inline]] inline std::string_view field(const char (&text)[N]) {
    constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    std::size_t i = 0;
    // The first flagged byte is the first zero: the lowest on a little-endian
    // machine (others take the plain search).
    for (; std::endian::native == std::endian::little && i + 8 <= N; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, text + i, 8);
        if (const std::uint64_t zero = (w - ones) & ~w & highs; zero != 0)
            return {text, i + static_cast<std::size_t>(std::countr_zero(zero)) / 8};
    }
    for (; i < N; ++i)
        if (text[i] == '\0') return {text, i};
    return {text, N};
}

// Room write_number() needs.
constexpr std::size_t kNumberRoom = 32;

// The shortest text that reads back as `value`, exactly as std::to_chars
// writes it; "null" when it is NaN or infinite. Writes at `p`, which has
// kNumberRoom characters of room; returns the end.
char *write_number(char *p, double value);
void append_number(Buffer &out, double value);

// Room write_json_string() needs for a text of `size` bytes.
constexpr std::size_t json_string_room(std::size_t size) { return 6 * size + 2; }

// `text` as a JSON string, quotes included. Quotes, backslashes and control
// characters are escaped; valid UTF-8 sequences are kept; every byte that is
// not part of one is written as \u00XX, its Latin-1 reading. Writes at `p`,
// which has json_string_room(text.size()) characters of room; returns the
// end.
char *write_json_string(char *p, std::string_view text);
void append_json_string(Buffer &out, std::string_view text);

// Copies `text` to `p`; returns the end.
inline char *write_text(char *p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// `text` as a CSV field: quoted, quotes doubled, when it holds a comma, a
// quote, a carriage return or a line feed; as it is otherwise.
void append_csv_field(Buffer &out, std::string_view text);

// `text` for a terminal: control characters below 0x20 become '?'. 0x7F
// stays: it is one of the message's own characters.
void append_printable(Buffer &out, std::string_view text);

}  // namespace ventrac::decode

#endif
