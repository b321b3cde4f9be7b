// SPDX-License-Identifier: Apache-2.0
#include "formats.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "pilot/text.h"

namespace ventrac::decode {

namespace {

// ---- text -----------------------------------------------------------------

void append_padded(Buffer &out, std::string_view text, std::size_t width, bool right) {
    const std::size_t pad = width > text.size() ? width - text.size() : 0;
    if (right) out.fill(pad, ' ');
    append_printable(out, text);
    if (!right) out.fill(pad, ' ');
}

// The laid-out message, one telex line per output line.
void append_telex_lines(Buffer &out, std::string_view message) {
    const std::string laid_out = decoupr_mes(message);
    constexpr std::string_view end_of_line = "\r\r\n";
    std::string_view rest = laid_out;
    while (!rest.empty()) {
        const std::size_t end = rest.find(end_of_line);
        out << "  ";
        append_printable(out, rest.substr(0, end));
        out << '\n';
        rest = end == std::string_view::npos ? std::string_view()
                                             : rest.substr(end + end_of_line.size());
    }
}

void print_text(const Observation &obs, bool telex, Buffer &out) {
    append_printable(out, obs.file);
    out << ": identifier ";
    append_printable(out, obs.identifier);
    out << ", mode " << obs.mode << ", data type " << obs.type_code << ", "
        << static_cast<int>(obs.elements.size()) << " elements\n";
    constexpr int kColumns = 6;
    using Row = std::array<std::string_view, kColumns>;
    std::vector<Row> rows;
    rows.reserve(obs.elements.size() + 1);
    rows.push_back({"ident", "code", "name", "value", "converted", "unit"});
    for (const Element &e : obs.elements)
        rows.push_back({e.ident, e.code, e.name, e.text, e.conv_text, e.unit});
    std::size_t width[kColumns] = {};
    for (const Row &row : rows)
        for (int c = 0; c < kColumns; ++c) width[c] = std::max(width[c], row[c].size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Validity validity = r > 0 ? obs.elements[r - 1].validity : Validity::Valid;
        const bool marked = validity != Validity::Valid;
        for (int c = 0; c < kColumns; ++c) {
            out << "  ";
            // Values to the right; the unit padded only when a mark follows.
            append_padded(out, rows[r][c], c == 5 && !marked ? 0 : width[c], c == 3 || c == 4);
        }
        out << (validity == Validity::Missing       ? "  missing\n"
                : validity == Validity::Implausible ? "  implausible\n"
                                                    : "\n");
    }
    if (telex) {
        out << "  telex:\n";
        append_telex_lines(out, obs.message);
    }
    out << '\n';
}

// ---- JSON -----------------------------------------------------------------

// A number of a valid element, else null.
char *write_json_value(char *p, double value, bool valid) {
    return valid ? write_number(p, value) : write_text(p, "null");
}

void print_json(const Observation &obs, bool telex, Buffer &out) {
    out << "{\"file\":";
    append_json_string(out, obs.file);
    out << ",\"identifier\":";
    append_json_string(out, obs.identifier);
    out << ",\"mode\":" << obs.mode << ",\"data_type\":" << obs.type_code << ",\"elements\":[";
    // Room for the member names and the punctuation of one element.
    constexpr std::size_t kElementFrame = 192;
    for (const Element &t : obs.elements) {
        const bool valid = t.valid();
        const std::size_t texts = t.ident.size() + t.code.size() + t.name.size() + t.unit.size() +
                                  t.text.size() + t.conv_text.size() + t.comment.size();
        // One reservation for the whole element: the writes below need no
        // check of their own.
        char *p = out.reserve(kElementFrame + 7 * json_string_room(0) + json_string_room(texts) +
                              2 * kNumberRoom);
        p = write_text(p, &t == obs.elements.data() ? "{\"ident\":" : ",{\"ident\":");
        p = write_json_string(p, t.ident);
        p = write_text(p, ",\"code\":");
        p = write_json_string(p, t.code);
        p = write_text(p, ",\"name\":");
        p = write_json_string(p, t.name);
        p = write_text(p, ",\"unit\":");
        p = write_json_string(p, t.unit);
        p = write_text(p, valid ? ",\"valid\":true,\"missing\":false,\"value\":"
                          : t.validity == Validity::Missing
                              ? ",\"valid\":false,\"missing\":true,\"value\":"
                              : ",\"valid\":false,\"missing\":false,\"value\":");
        char *number = p;
        p = write_json_value(p, t.value, valid);
        const std::size_t number_size = static_cast<std::size_t>(p - number);
        p = write_text(p, ",\"conv_value\":");
        // Most elements are shown unconverted: the same number, the same text.
        if (std::memcmp(&t.conv_value, &t.value, sizeof t.value) == 0)
            p = static_cast<char *>(std::memmove(p, number, number_size)) + number_size;
        else
            p = write_json_value(p, t.conv_value, valid);
        p = write_text(p, ",\"text\":");
        p = write_json_string(p, t.text);
        p = write_text(p, ",\"conv_text\":");
        p = write_json_string(p, t.conv_text);
        p = write_text(p, ",\"comment\":");
        p = write_json_string(p, t.comment);
        *p++ = '}';
        out.commit(p);
    }
    out << ']';
    if (telex) {
        out << ",\"telex\":";
        append_json_string(out, decoupr_mes(obs.message));
    }
    out << "}\n";
}

// ---- CSV ------------------------------------------------------------------

void print_csv(const Observation &obs, bool telex, Buffer &out) {
    if (obs.elements.empty()) return;
    // The columns every row of the file starts with: written for the first
    // row, copied for the others.
    const std::size_t head_start = out.size();
    append_csv_field(out, obs.file);
    out << ',';
    append_csv_field(out, obs.identifier);
    out << ',' << obs.mode << ',' << obs.type_code << ',';
    const std::string head(out.view().substr(head_start));
    const std::string laid_out = telex ? decoupr_mes(obs.message) : std::string();
    for (const Element &t : obs.elements) {
        const bool valid = t.valid();
        if (&t != obs.elements.data()) out << head;
        for (std::string_view text : {t.ident, t.code, t.name, t.unit}) {
            append_csv_field(out, text);
            out << ',';
        }
        out << (valid ? "1," : "0,");
        if (valid) append_number(out, t.value);
        out << ',';
        if (valid) append_number(out, t.conv_value);
        for (std::string_view text : {t.text, t.conv_text, t.comment}) {
            out << ',';
            append_csv_field(out, text);
        }
        if (telex) {
            out << ',';
            append_csv_field(out, laid_out);
        }
        out << (t.validity == Validity::Missing ? ",1\n" : ",0\n");
    }
}

}  // namespace

Printer::Printer(const Options &options)
    : format_(options.format), telex_(options.telex), lookups_(options.lookups.size()) {}

void Printer::begin(Buffer &out) const {
    if (format_ != Format::Csv) return;
    out << "file,identifier,mode,data_type,ident,code,name,unit,valid,value,conv_value,text,"
           "conv_text,comment"
        << (telex_ ? ",telex,missing\n" : ",missing\n");
}

void Printer::print_failure(Buffer &out) const {
    if (format_ == Format::Get)
        for (std::size_t i = 0; i < lookups_; ++i) out << "NA\n";
}

void Printer::print(const Observation &obs, Buffer &out) const {
    switch (format_) {
    case Format::Text: print_text(obs, telex_, out); break;
    case Format::Json: print_json(obs, telex_, out); break;
    case Format::Csv: print_csv(obs, telex_, out); break;
    case Format::Get: out << obs.values; break;
    case Format::None: break;
    }
}

}  // namespace ventrac::decode
