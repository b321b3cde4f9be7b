// SPDX-License-Identifier: Apache-2.0
// Records read with simdjson (Debian libsimdjson-dev): the whole line is
// parsed and checked, then its members are read off the parsed document.
#include <simdjson.h>

#include "json_backends.h"

static_assert(ventrac::encode::JsonReader::kPadding >= simdjson::SIMDJSON_PADDING);
static_assert(static_cast<std::size_t>(ventrac::encode::kMaxJsonDepth) == simdjson::DEFAULT_MAX_DEPTH);

namespace ventrac::encode {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

bool is_number(element_type t) {
    return t == element_type::INT64 || t == element_type::UINT64 || t == element_type::DOUBLE;
}

double number_of(element e) {
    switch (e.type()) {
    case element_type::INT64: return static_cast<double>(int64_t(e));
    case element_type::UINT64: return static_cast<double>(uint64_t(e));
    default: return double(e);
    }
}

// One element object of "elements"; false when it lacks its code or name.
bool read_element(simdjson::dom::object object, NamedValue &v) {
    bool has_code = false, has_name = false;
    v.value.reset();
    v.number = true;
    for (const simdjson::dom::key_value_pair field : object) {
        const element_type t = field.value.type();
        if (field.key == "code") {
            has_code = t == element_type::STRING;
            if (has_code) v.code = std::string_view(field.value);
        } else if (field.key == "name") {
            has_name = t == element_type::STRING;
            if (has_name) v.name = std::string_view(field.value);
        } else if (field.key == "value") {
            v.value.reset();
            v.number = is_number(t) || t == element_type::NULL_VALUE;
            if (is_number(t)) v.value = number_of(field.value);
        }
    }
    return has_code && has_name;
}

class SimdjsonReader : public JsonReader {
public:
    using JsonReader::read;
    std::string read(std::string_view line, std::size_t readable, Record &record,
                     std::string &file) override {
        record.identifier.clear();
        // A byte order mark before the JSON is skipped, as nlohmann/json
        // skips it (a file saved by a Windows editor starts with one).
        if (line.substr(0, 3) == "\xef\xbb\xbf") {
            line.remove_prefix(3);
            readable -= 3;
        }
        element doc;
        // simdjson reads a line in place when the padding it needs follows
        // it, and copies it otherwise.
        const auto parsed = readable >= line.size() + simdjson::SIMDJSON_PADDING
                                ? parser_.parse(line.data(), line.size(), false)
                                : parser_.parse(line.data(), line.size(), true);
        if (const auto error = parsed.get(doc))
            return std::string("the line is not JSON: ") + simdjson::error_message(error);
        if (doc.type() != element_type::OBJECT) return "the line is not a JSON object";

        bool has_identifier = false, mode_number = false, elements_wrong = false;
        double mode = 0;
        element elements;
        bool has_elements = false;
        for (const simdjson::dom::key_value_pair field : simdjson::dom::object(doc)) {
            const element_type t = field.value.type();
            if (field.key == "identifier") {
                has_identifier = t == element_type::STRING;
                if (has_identifier) record.identifier = std::string_view(field.value);
            } else if (field.key == "file") {
                if (t == element_type::STRING) file = std::string_view(field.value);
            } else if (field.key == "mode") {
                mode_number = is_number(t);
                if (mode_number) mode = number_of(field.value);
            } else if (field.key == "elements") {
                elements_wrong = t != element_type::ARRAY && t != element_type::NULL_VALUE;
                has_elements = t == element_type::ARRAY;
                if (has_elements) elements = field.value;
            }
        }
        // The elements' texts keep their storage from record to record.
        std::size_t count = 0;
        if (has_elements) {
            for (const element item : simdjson::dom::array(elements)) {
                if (count == record.elements.size()) record.elements.emplace_back();
                NamedValue &v = record.elements[count++];
                v.spec = nullptr;
                if (item.type() != element_type::OBJECT ||
                    !read_element(simdjson::dom::object(item), v)) {
                    record.elements.resize(count);
                    return element_error(count);
                }
            }
        }
        record.elements.resize(count);
        return finish_record(has_identifier, mode_number, mode, elements_wrong, record);
    }

private:
    simdjson::dom::parser parser_;
};

}  // namespace

std::unique_ptr<JsonReader> make_simdjson_reader() { return std::make_unique<SimdjsonReader>(); }

}  // namespace ventrac::encode
