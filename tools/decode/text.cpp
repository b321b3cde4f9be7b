// SPDX-License-Identifier: Apache-2.0
#include "text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "pilot/text.h"

namespace ventrac::decode {

namespace {

// Bytes a JSON string holds as they are: printable ASCII but '"' and '\\'.
constexpr auto kJsonPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c) plain[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    return plain;
}();

// Writes the escape of `c` at `p`; returns the end.
char *escape(char *p, unsigned char c) {
    constexpr char hex[] = "0123456789abcdef";
    *p++ = '\\';
    switch (c) {
    case '"': *p++ = '"'; break;
    case '\\': *p++ = '\\'; break;
    case '\n': *p++ = 'n'; break;
    case '\r': *p++ = 'r'; break;
    case '\t': *p++ = 't'; break;
    default:
        std::memcpy(p, "u00", 3);
        p[3] = hex[c >> 4];
        p[4] = hex[c & 0xF];
        p += 5;
        break;
    }
    return p;
}

std::uint64_t load8(const unsigned char *s) {
    std::uint64_t w;
    std::memcpy(&w, s, 8);
    return w;
}

std::uint64_t load4(const unsigned char *s) {
    std::uint32_t w;
    std::memcpy(&w, s, 4);
    return w;
}

// Whether one of the eight bytes of `w` is not kept as it is in a JSON
// string: below 0x20, 0x7F and above, a quote or a backslash. (The usual
// has-zero-byte test: it may flag more bytes than those, never fewer, and
// never flags a word that has none.)
[[gnu::always_inline]] inline bool any_special(std::uint64_t w) {
    constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    const std::uint64_t quote = w ^ (ones * '"'), backslash = w ^ (ones * '\\');
    // Below 0x20; a quote; a backslash; 0x7F (0x80 once one is added) and
    // above.
    return ((((w - ones * 0x20) & ~w) | ((quote - ones) & ~quote) |
             ((backslash - ones) & ~backslash) | w | (w + ones)) &
            highs) != 0;
}

void store8(char *p, std::uint64_t w) { std::memcpy(p, &w, 8); }
void store4(char *p, std::uint64_t w) {
    const auto low = static_cast<std::uint32_t>(w);
    std::memcpy(p, &low, 4);
}

// Copies s[0 .. size) to `p` when none of its bytes needs an escape, in
// words and without a call (most texts are a few bytes long); returns false
// otherwise, with part of the text perhaps copied.
bool copy_plain(char *p, const unsigned char *s, std::size_t size) {
    if (size >= 8) {
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            const std::uint64_t w = load8(s + i);
            if (any_special(w)) return false;
            store8(p + i, w);
        }
        const std::uint64_t last = load8(s + size - 8);  // read again in part
        if (any_special(last)) return false;
        store8(p + size - 8, last);
        return true;
    }
    if (size >= 4) {
        const std::uint64_t first = load4(s), last = load4(s + size - 4);
        if (any_special(first | last << 32)) return false;
        store4(p, first);
        store4(p + size - 4, last);
        return true;
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (!kJsonPlain[s[i]]) return false;
        p[i] = static_cast<char>(s[i]);
    }
    return true;
}

}  // namespace

void Buffer::grow(std::size_t n) {
    const std::size_t capacity = std::max({size_ + n, 2 * capacity_, std::size_t{64 * 1024}});
    std::unique_ptr<char[]> data(new char[capacity]);  // left uninitialised
    if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

Buffer &Buffer::operator<<(int number) {
    char *at = reserve(12);  // 10 digits and a sign at most
    commit(std::to_chars(at, at + 12, number).ptr);
    return *this;
}

namespace {

// The digits of `n` (n > 0) at `p`; returns the end.
char *write_digits(char *p, std::uint64_t n) { return std::to_chars(p, p + 20, n).ptr; }

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
constexpr int kMaxDecimals = 8;

// Whole numbers below 10^15 (most values) are exact in a double and their
// shortest form is their digits, unless the exponent form is shorter: m
// significant digits take m + (m > 1) + 4 characters as "d.ddde+XX". Their
// digits come from the integer conversion, much the cheaper one. Returns
// null when `value` is not such a number.
char *write_whole(char *p, double value) {
    if (!(std::fabs(value) < 1e15) || value != std::trunc(value) || value == 0.0) return nullptr;
    const auto whole = static_cast<long long>(value);
    char *end = std::to_chars(p, p + kNumberRoom, whole).ptr;
    const char *first = p + (whole < 0 ? 1 : 0);
    const char *last_significant = end;
    while (last_significant[-1] == '0') --last_significant;
    const long significant = last_significant - first;
    return end - first <= significant + (significant > 1 ? 1 : 0) + 4 ? end : nullptr;
}

// Numbers with a few decimals, such as the coding law gives (285.35): when
// n / 10^8 is `value` for a whole n, with |value| below 10^7, the decimal
// n / 10^8 reads back as `value` (the division and the reading both round
// the same exact ratio to the nearest double), and with at most 15
// significant digits no shorter decimal lies within half a unit of the last
// place of it. Its digits, trailing zeros dropped, are then what
// std::to_chars writes, unless the exponent form is shorter. Returns null
// when `value` is not such a number or the exponent form would win.
char *write_decimal(char *p, double value) {
    const double magnitude = std::fabs(value);
    if (!(magnitude < 1e7) || magnitude == 0.0) return nullptr;
    const double scaled = std::nearbyint(magnitude * kPowersOfTen[kMaxDecimals]);
    if (scaled / kPowersOfTen[kMaxDecimals] != magnitude) return nullptr;
    auto n = static_cast<std::uint64_t>(scaled);
    int decimals = kMaxDecimals;
    while (decimals > 0 && n % 10 == 0) {
        n /= 10;
        --decimals;
    }
    if (decimals == 0) return nullptr;  // whole: write_whole's case
    char digits[20];
    const int count = static_cast<int>(write_digits(digits, n) - digits);
    if (count <= decimals) {
        // Below 1: "0.00ddd" against "d.dde-XX".
        const int fixed = 2 + decimals;
        const int exponent_form = count + (count > 1 ? 1 : 0) + 4;
        if (exponent_form < fixed) return nullptr;
    }
    if (value < 0) *p++ = '-';
    if (count <= decimals) {
        *p++ = '0';
        *p++ = '.';
        std::memset(p, '0', static_cast<std::size_t>(decimals - count));
        p += decimals - count;
        return write_text(p, {digits, static_cast<std::size_t>(count)});
    }
    p = write_text(p, {digits, static_cast<std::size_t>(count - decimals)});
    *p++ = '.';
    return write_text(p, {digits + count - decimals, static_cast<std::size_t>(decimals)});
}

}  // namespace

char *write_number(char *p, double value) {
    if (!std::isfinite(value)) return write_text(p, "null");
    if (char *end = write_whole(p, value)) return end;
    if (char *end = write_decimal(p, value)) return end;
    return std::to_chars(p, p + kNumberRoom, value).ptr;
}

void append_number(Buffer &out, double value) {
    out.commit(write_number(out.reserve(kNumberRoom), value));
}

char *write_json_string(char *p, std::string_view text) {
    *p++ = '"';
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t size = text.size();
    // Most texts are printable ASCII without quote or backslash: checked
    // and copied eight bytes at a time.
    if (copy_plain(p, s, size)) {
        p += size;
        *p++ = '"';
        return p;
    }
    for (std::size_t i = 0; i < size;) {
        const unsigned char c = s[i];
        if (kJsonPlain[c]) {
            *p++ = static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0x80) {
            if (const std::size_t n = ventrac::utf8_length(text, i); n != 0) {
                std::memcpy(p, s + i, n);
                p += n;
                i += n;
                continue;
            }
        }
        p = escape(p, c);
        ++i;
    }
    *p++ = '"';
    return p;
}

void append_json_string(Buffer &out, std::string_view text) {
    out.commit(write_json_string(out.reserve(json_string_room(text.size())), text));
}

void append_csv_field(Buffer &out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.put(text);
        return;
    }
    out.put('"');
    for (char c : text) {
        if (c == '"') out.put('"');
        out.put(c);
    }
    out.put('"');
}

void append_printable(Buffer &out, std::string_view text) {
    for (char c : text) out.put(static_cast<unsigned char>(c) < 0x20 ? '?' : c);
}

}  // namespace ventrac::decode
