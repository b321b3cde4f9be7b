// SPDX-License-Identifier: Apache-2.0
#include "json_record.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace ventrac::encode {

namespace {

using json = nlohmann::json;

// Reads one record as nlohmann/json's parser hands its events over, keeping
// only the members the encoder reads: no document is built, and the texts
// ventrac-decode adds to every element are dropped as they are read.
class RecordReader : public nlohmann::json_sax<json> {
public:
    RecordReader(Record &record, std::string &file) : record_(record), file_(file) {}

    std::string error;

    bool null() override { return scalar(Kind::Null, 0.0); }
    bool boolean(bool) override { return scalar(Kind::Other, 0.0); }
    bool number_integer(number_integer_t v) override {
        return scalar(Kind::Number, static_cast<double>(v));
    }
    bool number_unsigned(number_unsigned_t v) override {
        return scalar(Kind::Number, static_cast<double>(v));
    }
    bool number_float(number_float_t v, const string_t &) override {
        return scalar(Kind::Number, v);
    }
    bool binary(binary_t &) override { return scalar(Kind::Other, 0.0); }

    bool string(string_t &s) override {
        if (depth_ == 1) {
            if (top_ == Top::Identifier) {
                record_.identifier = std::move(s);
                has_identifier_ = true;
            } else if (top_ == Top::File) {
                file_ = std::move(s);
            } else if (top_ == Top::Mode) {
                mode_number_ = false;
            }
        } else if (in_element()) {
            if (member_ == Member::Code) {
                element().code = std::move(s);
                has_code_ = true;
            } else if (member_ == Member::Name) {
                element().name = std::move(s);
                has_name_ = true;
            } else if (member_ == Member::Value) {
                element().number = false;
            }
        }
        return true;
    }

    bool start_object(std::size_t) override {
        if (depth_ == 0) {
            ++depth_;
            return true;
        }
        nested(true);
        ++depth_;
        if (depth_ == 3 && top_ == Top::Elements) {
            record_.elements.emplace_back();
            has_code_ = has_name_ = false;
            member_ = Member::Other;
        }
        return true;
    }

    bool end_object() override {
        if (depth_ == 3 && top_ == Top::Elements && !(has_code_ && has_name_)) {
            error = "element " + std::to_string(record_.elements.size()) +
                    " has no \"code\" and \"name\" texts";
            return false;
        }
        --depth_;
        return true;
    }

    bool start_array(std::size_t) override {
        if (depth_ == 0) {
            error = "the line is not a JSON object";
            return false;
        }
        if (depth_ == 1 && top_ == Top::Elements) {
            elements_seen_ = true;
        } else {
            nested(false);
        }
        ++depth_;
        return true;
    }

    bool end_array() override {
        --depth_;
        return true;
    }

    bool key(string_t &k) override {
        if (depth_ == 1) {
            top_ = k == "identifier" ? Top::Identifier
                   : k == "mode"     ? Top::Mode
                   : k == "elements" ? Top::Elements
                   : k == "file"     ? Top::File
                                     : Top::Other;
            if (top_ == Top::Elements) elements_seen_ = false;
        } else if (in_element()) {
            member_ = k == "code"    ? Member::Code
                      : k == "name"  ? Member::Name
                      : k == "value" ? Member::Value
                                     : Member::Other;
            if (member_ == Member::Code) has_code_ = false;
            if (member_ == Member::Name) has_name_ = false;
        }
        return true;
    }

    bool parse_error(std::size_t, const std::string &,
                     const nlohmann::detail::exception &e) override {
        error = std::string("the line is not JSON: ") + e.what();
        return false;
    }

    // After a whole parse: whether the record has every member it needs.
    std::string finish() {
        if (!error.empty()) return error;
        if (!top_level_object_) return "the line is not a JSON object";
        if (!has_identifier_) return "no \"identifier\" text";
        if (!has_mode_) return "no \"mode\" number";
        if (!mode_number_) return "no \"mode\" number";
        if (!(mode_ >= -128 && mode_ <= 127) || mode_ != std::trunc(mode_))
            return "no such mode: " + mode_text() +
                   " (operating modes are whole numbers from -128 to 127)";
        record_.mode = static_cast<int>(mode_);
        if (elements_wrong_) return "\"elements\" is not an array";
        return {};
    }

    void top_level(bool object) { top_level_object_ = object; }

private:
    enum class Kind { Null, Number, Other };
    enum class Top { None, Identifier, Mode, Elements, File, Other };
    enum class Member { Code, Name, Value, Other };

    bool in_element() const { return depth_ == 3 && top_ == Top::Elements && elements_seen_; }
    NamedValue &element() { return record_.elements.back(); }

    std::string mode_text() const {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", mode_);
        return text;
    }

    // An object or array opened as the value of a member.
    void nested(bool object) {
        if (depth_ == 1) {
            if (top_ == Top::Mode) mode_number_ = false, has_mode_ = true;
            if (top_ == Top::Elements) elements_wrong_ = true;
        } else if (depth_ == 2 && top_ == Top::Elements && elements_seen_ && !object) {
            elements_wrong_ = true;
        } else if (in_element()) {
            if (member_ == Member::Code) has_code_ = false;
            if (member_ == Member::Name) has_name_ = false;
            if (member_ == Member::Value) element().number = false;
        }
    }

    bool scalar(Kind kind, double v) {
        if (depth_ == 0) {
            error = "the line is not a JSON object";
            return false;
        }
        if (depth_ == 1) {
            if (top_ == Top::Mode) {
                has_mode_ = true;
                mode_number_ = kind == Kind::Number;
                mode_ = v;
            } else if (top_ == Top::Elements && kind != Kind::Null) {
                elements_wrong_ = true;
            }
        } else if (depth_ == 2 && top_ == Top::Elements && elements_seen_) {
            error = "element " + std::to_string(record_.elements.size() + 1) +
                    " has no \"code\" and \"name\" texts";
            return false;
        } else if (in_element()) {
            if (member_ == Member::Code) has_code_ = false;
            if (member_ == Member::Name) has_name_ = false;
            if (member_ == Member::Value) {
                element().value.reset();
                element().number = kind != Kind::Other;
                if (kind == Kind::Number) element().value = v;
            }
        }
        return true;
    }

    Record &record_;
    std::string &file_;
    int depth_ = 0;
    Top top_ = Top::None;
    Member member_ = Member::Other;
    bool elements_seen_ = false, elements_wrong_ = false;
    bool has_identifier_ = false, has_mode_ = false, mode_number_ = false;
    bool has_code_ = false, has_name_ = false;
    bool top_level_object_ = false;
    double mode_ = 0;
};

}  // namespace

std::string parse_json_record(std::string_view line, Record &record, std::string &file) {
    record.elements.clear();
    RecordReader reader(record, file);
    // The first character that is not white space tells an object.
    const std::size_t first = line.find_first_not_of(" \t\r\n");
    reader.top_level(first != std::string_view::npos && line[first] == '{');
    json::sax_parse(line.begin(), line.end(), &reader);
    return reader.finish();
}

}  // namespace ventrac::encode
