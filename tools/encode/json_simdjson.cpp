// SPDX-License-Identifier: Apache-2.0
// Records read with simdjson (Debian libsimdjson-dev): the whole line is
// parsed and checked, then its members are read off the parsed document.
#include <simdjson.h>

#include <string>
#include <vector>

#include "json_backends.h"

static_assert(ventrac::encode::JsonReader::kPadding >= simdjson::SIMDJSON_PADDING);
static_assert(static_cast<std::size_t>(ventrac::encode::kMaxJsonDepth) ==
              simdjson::DEFAULT_MAX_DEPTH);

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

// Where the walk of widen_integers() puts ".0": after each integer of 19
// digits or more. False when the walk fails, or goes deeper than is read.
bool find_long_integers(simdjson::ondemand::value value, const char *base, int depth,
                        std::vector<std::size_t> &ends) {
    if (depth > kMaxJsonDepth) return false;
    simdjson::ondemand::json_type type;
    if (value.type().get(type)) return false;
    switch (type) {
    case simdjson::ondemand::json_type::object: {
        simdjson::ondemand::object object;
        if (value.get_object().get(object)) return false;
        for (auto field : object) {
            simdjson::ondemand::value member;
            if (field.value().get(member) || !find_long_integers(member, base, depth + 1, ends))
                return false;
        }
        return true;
    }
    case simdjson::ondemand::json_type::array: {
        simdjson::ondemand::array array;
        if (value.get_array().get(array)) return false;
        for (auto item : array) {
            simdjson::ondemand::value v;
            if (item.get(v) || !find_long_integers(v, base, depth + 1, ends)) return false;
        }
        return true;
    }
    case simdjson::ondemand::json_type::number: {
        std::string_view token = value.raw_json_token();
        const std::size_t end = token.find_first_of(" \t\r\n");
        if (end != std::string_view::npos) token = token.substr(0, end);
        const std::size_t digits = token.size() - (token.front() == '-' ? 1 : 0);
        if (digits >= 19 && token.find_first_of(".eE") == std::string_view::npos)
            ends.push_back(static_cast<std::size_t>(token.data() + token.size() - base));
        return true;
    }
    default: return true;
    }
}

// simdjson's DOM refuses an integer beyond the 64 bits of an int64 or a
// uint64, which JSON allows and ventrac-decode writes for a large whole
// value (18446744073709551616). A line it refuses for a number is read
// again as a copy, `wide`, in which every integer of 19 digits or more has a
// fraction ".0", and so is the double it stands for. False when the line has
// no such integer, or its walk fails: the first refusal then stands.
bool widen_integers(std::string_view line, std::string &wide) {
    const simdjson::padded_string padded(line);
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document doc;
    simdjson::ondemand::value top;
    // Room for the levels the walk enters before it stops at kMaxJsonDepth.
    if (parser.allocate(padded.size(), static_cast<std::size_t>(kMaxJsonDepth) + 8) ||
        parser.iterate(padded).get(doc) || doc.get_value().get(top))
        return false;
    std::vector<std::size_t> ends;
    if (!find_long_integers(top, padded.data(), 1, ends) || ends.empty()) return false;
    wide.clear();
    std::size_t from = 0;
    for (const std::size_t end : ends) {
        wide.append(line.substr(from, end - from));
        wide.append(".0");
        from = end;
    }
    wide.append(line.substr(from));
    return true;
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
        auto error = (readable >= line.size() + simdjson::SIMDJSON_PADDING
                          ? parser_.parse(line.data(), line.size(), false)
                          : parser_.parse(line.data(), line.size(), true))
                         .get(doc);
        if (error == simdjson::NUMBER_ERROR && widen_integers(line, wide_))
            error = parser_.parse(wide_).get(doc);
        if (error) return std::string("the line is not JSON: ") + simdjson::error_message(error);
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
    std::string wide_;  // a line whose long integers are read as doubles
};

}  // namespace

std::unique_ptr<JsonReader> make_simdjson_reader() { return std::make_unique<SimdjsonReader>(); }

}  // namespace ventrac::encode
