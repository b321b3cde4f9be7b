// SPDX-License-Identifier: Apache-2.0
// ventrac-decode's JSON, CSV and text writers on observations with any
// texts (any bytes), any numbers (NaN and infinities included) and any
// validity. Input: a flag byte (bit 0: --telex), the mode and the data-type
// code (two bytes each), the file name and the identifier, the number of
// elements (a byte, at most 7), for each its seven texts, its validity and
// its two numbers (8 bytes each), then the message. A text is a length byte
// and that many bytes.
//
// The JSON line is read back by a strict parser of this file: every text
// comes back as written (each byte outside a valid UTF-8 sequence as the
// character of its Latin-1 value), every number as std::to_chars writes it.
// The CSV rows are read back field by field to the same texts and numbers.
// The text table keeps to its lines and shows no control character.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "pilot/text.h"
#include "tools/decode/formats.h"

namespace {

using ventrac::decode::Element;
using ventrac::decode::Observation;
using ventrac::decode::Validity;

// ---- a strict JSON reader ---------------------------------------------------

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    std::string text;               // a string's value, or a number's characters
    std::vector<Json> items;        // an array's, or an object's member values
    std::vector<std::string> keys;  // an object's member names

    const Json &operator[](const std::string &name) const {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == name) return items[i];
        vt_fuzz::fail("no member " + name);
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : s_(text) {}

    Json document() {
        Json v = value();
        VT_FUZZ_CHECK(at_ == s_.size(), "JSON: text after the value");
        return v;
    }

private:
    char peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }
    void expect(char c) {
        VT_FUZZ_CHECK(peek() == c, std::string("JSON: expected ") + c);
        ++at_;
    }
    bool literal(std::string_view word) {
        if (s_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    Json value() {
        Json v;
        const char c = peek();
        if (c == '{') {
            v.kind = Json::Object;
            ++at_;
            if (peek() == '}') return ++at_, v;
            for (;;) {
                v.keys.push_back(string());
                expect(':');
                v.items.push_back(value());
                if (peek() == '}') return ++at_, v;
                expect(',');
            }
        }
        if (c == '[') {
            v.kind = Json::Array;
            ++at_;
            if (peek() == ']') return ++at_, v;
            for (;;) {
                v.items.push_back(value());
                if (peek() == ']') return ++at_, v;
                expect(',');
            }
        }
        if (c == '"') {
            v.kind = Json::String;
            v.text = string();
            return v;
        }
        if (literal("null")) return v;
        if (literal("true") || literal("false")) {
            v.kind = Json::Bool;
            v.boolean = s_[at_ - 1] == 'e' && s_[at_ - 2] == 'u';
            return v;
        }
        v.kind = Json::Number;
        const std::size_t start = at_;
        if (peek() == '-') ++at_;
        VT_FUZZ_CHECK(peek() >= '0' && peek() <= '9', "JSON: not a value");
        while (at_ < s_.size() && std::strchr("0123456789.eE+-", s_[at_]) != nullptr) ++at_;
        v.text = std::string(s_.substr(start, at_ - start));
        double parsed = 0;
        const auto [end, ec] =
            std::from_chars(v.text.data(), v.text.data() + v.text.size(), parsed);
        VT_FUZZ_CHECK(ec == std::errc() && end == v.text.data() + v.text.size(),
                      "JSON: bad number " + v.text);
        return v;
    }

    // A string; its \uXXXX escapes (the writer only uses those below 0x100)
    // come back in UTF-8.
    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            VT_FUZZ_CHECK(at_ < s_.size(), "JSON: string not closed");
            const auto c = static_cast<unsigned char>(s_[at_++]);
            if (c == '"') return out;
            VT_FUZZ_CHECK(c >= 0x20, "JSON: raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char e = peek();
            ++at_;
            const char *simple = std::strchr("\"\\/bfnrt", e);
            VT_FUZZ_CHECK(e != '\0' && (simple != nullptr || e == 'u'), "JSON: bad escape");
            if (e != 'u') {
                out += "\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"];
                continue;
            }
            unsigned code = 0;
            const auto [end, ec] = std::from_chars(
                s_.data() + at_, s_.data() + std::min(at_ + 4, s_.size()), code, 16);
            VT_FUZZ_CHECK(ec == std::errc() && end == s_.data() + at_ + 4, "JSON: bad \\u escape");
            at_ += 4;
            VT_FUZZ_CHECK(code < 0x100, "JSON: unexpected escape above 0xFF");
            append_utf8(out, code);
        }
    }

public:
    static void append_utf8(std::string &out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

private:
    std::string_view s_;
    std::size_t at_ = 0;
};

// What a JSON string of `bytes` reads back as: each valid UTF-8 sequence as
// it is, every other byte as the character of its Latin-1 value.
std::string json_reading(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
        const unsigned c = b(i);
        std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        unsigned code = n == 4 ? c & 0x07 : n == 3 ? c & 0x0F : c & 0x1F;
        bool valid = c >= 0xC0 && c <= 0xF7 && i + n <= bytes.size();
        for (std::size_t k = 1; valid && k < n; ++k) {
            valid = (b(i + k) & 0xC0) == 0x80;
            code = code << 6 | (b(i + k) & 0x3F);
        }
        // Not overlong, not a surrogate, not above U+10FFFF.
        const unsigned least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        valid = valid && code >= least && !(code >= 0xD800 && code <= 0xDFFF) && code <= 0x10FFFF;
        if (valid) {
            out.append(bytes.substr(i, n));
            i += n;
        } else {
            JsonReader::append_utf8(out, c);
            ++i;
        }
    }
    return out;
}

// The number as std::to_chars writes it, or "null" when not finite.
std::string shortest(double value) {
    if (!std::isfinite(value)) return "null";
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// ---- CSV ------------------------------------------------------------------

std::vector<std::vector<std::string>> read_csv(std::string_view text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, was_quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            VT_FUZZ_CHECK(field.empty() && !was_quoted, "CSV: quote inside a field");
            quoted = was_quoted = true;
        } else if (c == ',' || c == '\n') {
            row.push_back(std::move(field));
            field.clear();
            was_quoted = false;
            if (c == '\n') rows.push_back(std::move(row)), row.clear();
        } else {
            VT_FUZZ_CHECK(!was_quoted, "CSV: text after a closing quote");
            VT_FUZZ_CHECK(c != '\r', "CSV: carriage return outside quotes");
            field += c;
        }
    }
    VT_FUZZ_CHECK(!quoted && field.empty() && row.empty(), "CSV: last row not ended");
    return rows;
}

ventrac::decode::Options options(ventrac::decode::Format format, bool telex) {
    ventrac::decode::Options o;
    o.format = format;
    o.telex = telex;
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using ventrac::decode::Buffer;
    using ventrac::decode::Format;
    using ventrac::decode::Printer;
    vt_fuzz::Input in(data, size);
    const bool telex = (in.byte() & 1) != 0;
    std::deque<std::string> texts;  // every text the observation views (they never move)
    auto text = [&] { return std::string_view(texts.emplace_back(in.take(in.byte()))); };
    Observation obs;
    obs.mode = in.int16();
    obs.type_code = in.int16();
    obs.file = text();
    obs.identifier = text();
    const int count = in.byte() % 8;
    for (int i = 0; i < count; ++i) {
        Element e;
        for (std::string_view *t :
             {&e.ident, &e.code, &e.name, &e.unit, &e.text, &e.conv_text, &e.comment})
            *t = text();
        e.validity = static_cast<Validity>(in.byte() % 3);
        for (double *number : {&e.value, &e.conv_value}) {
            const std::string_view bytes = in.take(8);
            std::uint64_t bits = 0;
            std::memcpy(&bits, bytes.data(), bytes.size());
            std::memcpy(number, &bits, sizeof *number);
        }
        obs.elements.push_back(e);
    }
    obs.message = texts.emplace_back(in.rest());
    const std::string laid_out = telex ? decoupr_mes(obs.message) : std::string();

    // JSON: one line, read back whole.
    {
        Buffer out;
        Printer(options(Format::Json, telex)).print(obs, out);
        const std::string_view line = out.view();
        VT_FUZZ_CHECK(!line.empty() && line.back() == '\n', "JSON: line not ended");
        VT_FUZZ_CHECK(line.find('\n') == line.size() - 1, "JSON: line feed inside the line");
        const Json doc = JsonReader(line.substr(0, line.size() - 1)).document();
        VT_FUZZ_CHECK(json_reading(line) == std::string(line), "JSON: not valid UTF-8");
        VT_FUZZ_CHECK(doc["file"].text == json_reading(obs.file), "JSON: file");
        VT_FUZZ_CHECK(doc["identifier"].text == json_reading(obs.identifier), "JSON: identifier");
        VT_FUZZ_CHECK(doc["mode"].text == std::to_string(obs.mode), "JSON: mode");
        VT_FUZZ_CHECK(doc["data_type"].text == std::to_string(obs.type_code), "JSON: data_type");
        const Json &elements = doc["elements"];
        VT_FUZZ_CHECK(elements.items.size() == obs.elements.size(), "JSON: element count");
        for (std::size_t i = 0; i < obs.elements.size(); ++i) {
            const Element &e = obs.elements[i];
            const Json &j = elements.items[i];
            const std::pair<const char *, std::string_view> members[] = {
                {"ident", e.ident},    {"code", e.code}, {"name", e.name},
                {"unit", e.unit},      {"text", e.text}, {"conv_text", e.conv_text},
                {"comment", e.comment}};
            for (const auto &[name, value] : members)
                VT_FUZZ_CHECK(j[name].kind == Json::String && j[name].text == json_reading(value),
                              std::string("JSON: member ") + name);
            VT_FUZZ_CHECK(j["valid"].boolean == e.valid(), "JSON: valid");
            VT_FUZZ_CHECK(j["missing"].boolean == (e.validity == Validity::Missing),
                          "JSON: missing");
            for (const auto &[name, value] :
                 {std::pair{"value", e.value}, std::pair{"conv_value", e.conv_value}}) {
                const std::string expected = e.valid() ? shortest(value) : "null";
                const Json &got = j[name];
                VT_FUZZ_CHECK(
                    (got.kind == Json::Null ? std::string("null") : got.text) == expected,
                    std::string("JSON: ") + name + " " + got.text + " instead of " + expected);
            }
        }
        if (telex) VT_FUZZ_CHECK(doc["telex"].text == json_reading(laid_out), "JSON: telex");
    }

    // CSV: a header row, then one row per element.
    {
        Buffer out;
        const Printer printer(options(Format::Csv, telex));
        printer.begin(out);
        printer.print(obs, out);
        const auto rows = read_csv(out.view());
        VT_FUZZ_CHECK(rows.size() == obs.elements.size() + 1, "CSV: row count");
        const std::size_t columns = rows[0].size();
        VT_FUZZ_CHECK(columns == (telex ? 16u : 15u), "CSV: header");
        for (std::size_t i = 0; i < obs.elements.size(); ++i) {
            const Element &e = obs.elements[i];
            const std::vector<std::string> &r = rows[i + 1];
            VT_FUZZ_CHECK(r.size() == columns, "CSV: column count");
            const std::vector<std::string> expected = {std::string(obs.file),
                                                       std::string(obs.identifier),
                                                       std::to_string(obs.mode),
                                                       std::to_string(obs.type_code),
                                                       std::string(e.ident),
                                                       std::string(e.code),
                                                       std::string(e.name),
                                                       std::string(e.unit),
                                                       e.valid() ? "1" : "0",
                                                       e.valid() ? shortest(e.value) : "",
                                                       e.valid() ? shortest(e.conv_value) : "",
                                                       std::string(e.text),
                                                       std::string(e.conv_text),
                                                       std::string(e.comment)};
            for (std::size_t c = 0; c < expected.size(); ++c)
                VT_FUZZ_CHECK(r[c] == expected[c], "CSV: column " + rows[0][c]);
            if (telex) VT_FUZZ_CHECK(r[14] == laid_out, "CSV: telex");
            VT_FUZZ_CHECK(r.back() == (e.validity == Validity::Missing ? "1" : "0"),
                          "CSV: missing");
        }
    }

    // Text: a heading, a header row, one row per element (a mark on those
    // not valid), the telex lines, a blank line; no control character.
    {
        Buffer out;
        Printer(options(Format::Text, telex)).print(obs, out);
        const std::string_view text = out.view();
        std::size_t lines = 0;
        for (const char c : text) {
            lines += c == '\n';
            VT_FUZZ_CHECK(c == '\n' || static_cast<unsigned char>(c) >= 0x20,
                          "text: control character");
        }
        std::size_t telex_lines = 0;
        if (telex) {
            telex_lines = 1;  // "  telex:"
            for (std::size_t at = 0; (at = laid_out.find("\r\r\n", at)) != std::string::npos;
                 at += 3)
                ++telex_lines;
        }
        VT_FUZZ_CHECK(lines == obs.elements.size() + 3 + telex_lines, "text: line count");
        VT_FUZZ_CHECK(text.size() >= 2 && text.substr(text.size() - 2) == "\n\n",
                      "text: blank line at the end");
    }
    return 0;
}
