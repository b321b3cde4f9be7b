#include "text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace ventrac::decode {

namespace {

// Length of the well-formed UTF-8 sequence starting at text[i] (2 to 4
// bytes), or 0 when there is none: no overlong forms, no surrogates, nothing
// above U+10FFFF.
std::size_t utf8_length(std::string_view text, std::size_t i) {
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

}  // namespace

void Buffer::grow(std::size_t n) {
    const std::size_t capacity = std::max({size_ + n, 2 * capacity_, std::size_t{4096}});
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

std::string_view trim_blanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void append_number(Buffer &out, double value) {
    if (!std::isfinite(value)) {
        out << "null";
        return;
    }
    char *at = out.reserve(32);  // the longest shortest form has 24 characters
    // Whole numbers below 10^15 (most values) are exact in a double and their
    // shortest form is their digits, unless the exponent form is shorter:
    // m significant digits take m + (m > 1) + 4 characters as "d.ddde+XX".
    // Their digits come from the integer conversion, much the cheaper one.
    if (std::fabs(value) < 1e15 && value == std::trunc(value) && value != 0.0) {
        const auto whole = static_cast<long long>(value);
        char *end = std::to_chars(at, at + 32, whole).ptr;
        const char *first = at + (whole < 0 ? 1 : 0);
        const char *last_significant = end;
        while (last_significant[-1] == '0') --last_significant;
        const long significant = last_significant - first;
        if (end - first <= significant + (significant > 1 ? 1 : 0) + 4) {
            out.commit(end);
            return;
        }
    }
    out.commit(std::to_chars(at, at + 32, value).ptr);
}

void append_json_string(Buffer &out, std::string_view text) {
    // Each byte takes at most 6 characters (\u00XX), plus the quotes.
    char *p = out.reserve(6 * text.size() + 2);
    *p++ = '"';
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char c = s[i];
        if (kJsonPlain[c]) {
            *p++ = static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0x80) {
            if (const std::size_t n = utf8_length(text, i); n != 0) {
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
    out.commit(p);
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
