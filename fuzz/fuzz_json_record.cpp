// SPDX-License-Identifier: Apache-2.0
// ventrac-encode's JSON record readers on any line. Every reader this build
// has must give the same answer: the same record, or a refusal. Each reader
// must also give the same answer read twice in a row (nothing kept from the
// line before) and read in place with padding after the line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "tools/encode/json_record.h"

namespace {

using ventrac::encode::JsonLibrary;
using ventrac::encode::JsonReader;
using ventrac::encode::Record;

struct Answer {
    std::string error;
    Record record;
    std::string file;
};

// The record in one line of text, for comparing and for the failure report.
std::string shown(const Answer &a) {
    if (!a.error.empty()) return "refused";
    std::string s = "'" + a.record.identifier + "' mode " + std::to_string(a.record.mode) +
                    " file '" + a.file + "'";
    for (const auto &e : a.record.elements) {
        s += " [" + e.code + "|" + e.name + "|";
        s += !e.number ? "not a number" : e.value ? std::to_string(*e.value) : "missing";
        s += "]";
    }
    return s;
}

bool same(const Answer &a, const Answer &b) {
    if (a.error.empty() != b.error.empty()) return false;
    if (!a.error.empty()) return true;
    if (a.record.identifier != b.record.identifier || a.record.mode != b.record.mode ||
        a.file != b.file || a.record.elements.size() != b.record.elements.size())
        return false;
    for (std::size_t i = 0; i < a.record.elements.size(); ++i) {
        const auto &x = a.record.elements[i];
        const auto &y = b.record.elements[i];
        if (x.code != y.code || x.name != y.name || x.number != y.number) return false;
        // Bit for bit, but one NaN is as good as another (none is read).
        if (x.number && x.value.has_value() != y.value.has_value()) return false;
        if (x.number && x.value && *x.value != *y.value) return false;
    }
    return true;
}

Answer read(JsonReader &reader, std::string_view line, std::size_t readable) {
    Answer a;
    a.error = reader.read(line, readable, a.record, a.file);
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    // The line in place, followed by padding that looks like JSON.
    std::string padded(line);
    padded.append(JsonReader::kPadding, '}');
    const std::string_view in_place(padded.data(), line.size());

    Answer first;
    const char *first_name = nullptr;
    for (const JsonLibrary library : ventrac::encode::json_libraries()) {
        const auto reader = ventrac::encode::make_json_reader(library);
        const char *name = ventrac::encode::json_library_name(library);
        const Answer a = read(*reader, line, line.size());
        const Answer again = read(*reader, in_place, padded.size());
        VT_FUZZ_CHECK(same(a, again), std::string(name) + " read the line again as " +
                                          shown(again) + ", first as " + shown(a));
        if (first_name == nullptr) {
            first = a;
            first_name = name;
        } else {
            VT_FUZZ_CHECK(same(first, a), std::string(first_name) + " read " + shown(first) + ", " +
                                              name + " read " + shown(a));
        }
    }
    return 0;
}
