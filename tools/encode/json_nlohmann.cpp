// SPDX-License-Identifier: Apache-2.0
// Records read with nlohmann/json (Debian nlohmann-json3-dev, header-only):
// the reader of builds without simdjson, the Windows one among them.
#include <nlohmann/json.hpp>

#include "json_backends.h"

namespace ventrac::encode {

namespace {

using json = nlohmann::json;

// Reads one record as nlohmann/json's parser hands its events over, keeping
// only the members the encoder reads: no document is built, and the texts
// ventrac-decode adds to every element are dropped as they are read. A
// refusal of the record is kept until the whole line has parsed, so that a
// line that is not JSON is always told as such, whatever it holds.
class RecordReader : public nlohmann::json_sax<json> {
public:
    RecordReader(Record &record, std::string &file) : record_(record), file_(file) {}

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
            } else if (top_ == Top::Elements) {
                elements_wrong_ = true;
            }
        } else if (in_elements()) {
            refuse_item();
        } else if (in_element()) {
            if (member_ == Member::Code) {
                element().code = std::move(s);
                has_code_ = true;
            } else if (member_ == Member::Name) {
                element().name = std::move(s);
                has_name_ = true;
            } else if (member_ == Member::Value) {
                element().value.reset();
                element().number = false;
            }
        }
        return true;
    }

    bool start_object(std::size_t) override {
        if (!open()) return false;
        if (depth_ == 0) {
            top_level_object_ = true;
        } else if (in_elements()) {
            record_.elements.emplace_back();
            in_item_ = true;
            has_code_ = has_name_ = false;
            member_ = Member::Other;
        } else {
            nested();
        }
        ++depth_;
        return true;
    }

    bool end_object() override {
        --depth_;
        if (in_elements() && in_item_) {
            in_item_ = false;
            if (!(has_code_ && has_name_) && refusal_.empty())
                refusal_ = element_error(record_.elements.size());
        }
        return true;
    }

    bool start_array(std::size_t) override {
        if (!open()) return false;
        if (depth_ == 1 && top_ == Top::Elements) {
            elements_seen_ = true;
        } else if (in_elements()) {
            refuse_item();
        } else if (depth_ > 0) {
            nested();
        }
        ++depth_;
        return true;
    }

    bool end_array() override {
        --depth_;
        return true;
    }

    bool key(string_t &k) override {
        if (depth_ == 1 && top_level_object_) {
            top_ = k == "identifier" ? Top::Identifier
                   : k == "mode"     ? Top::Mode
                   : k == "elements" ? Top::Elements
                   : k == "file"     ? Top::File
                                     : Top::Other;
            // The last of a member counts.
            if (top_ == Top::Identifier) has_identifier_ = false;
            if (top_ == Top::Elements) {
                record_.elements.clear();
                elements_seen_ = elements_wrong_ = false;
                refusal_.clear();
            }
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
        if (error_.empty()) error_ = std::string("the line is not JSON: ") + e.what();
        return false;
    }

    // After a whole parse: whether the record has every member it needs.
    std::string finish() {
        if (!error_.empty()) return error_;
        if (!top_level_object_) return "the line is not a JSON object";
        if (!refusal_.empty()) return refusal_;
        return finish_record(has_identifier_, mode_number_, mode_, elements_wrong_, record_);
    }

private:
    enum class Kind { Null, Number, Other };
    enum class Top { None, Identifier, Mode, Elements, File, Other };
    enum class Member { Code, Name, Value, Other };

    // Directly in the array of "elements" of the line's object.
    bool in_elements() const { return depth_ == 2 && top_ == Top::Elements && elements_seen_; }
    // Directly in one of its element objects.
    bool in_element() const { return depth_ == 3 && in_item_; }
    NamedValue &element() { return record_.elements.back(); }

    // An object or array about to open: false beyond the depth simdjson reads.
    bool open() {
        if (depth_ < kMaxJsonDepth) return true;
        error_ = "the line is not JSON: objects and arrays nested deeper than " +
                 std::to_string(kMaxJsonDepth);
        return false;
    }

    // An item of "elements" that is not an object.
    void refuse_item() {
        if (refusal_.empty()) refusal_ = element_error(record_.elements.size() + 1);
    }

    // An object or array opened as the value of a member.
    void nested() {
        if (depth_ == 1) {
            if (top_ == Top::Identifier) has_identifier_ = false;
            if (top_ == Top::Mode) mode_number_ = false;
            if (top_ == Top::Elements) elements_wrong_ = true;
        } else if (in_element()) {
            if (member_ == Member::Code) has_code_ = false;
            if (member_ == Member::Name) has_name_ = false;
            if (member_ == Member::Value) {
                element().value.reset();
                element().number = false;
            }
        }
    }

    bool scalar(Kind kind, double v) {
        if (depth_ == 1) {
            if (top_ == Top::Mode) {
                mode_number_ = kind == Kind::Number;
                mode_ = v;
            } else if (top_ == Top::Elements && kind != Kind::Null) {
                elements_wrong_ = true;
            }
        } else if (in_elements()) {
            refuse_item();
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
    std::string error_;    // the line is not JSON
    std::string refusal_;  // the first item of "elements" refused
    int depth_ = 0;
    Top top_ = Top::None;
    Member member_ = Member::Other;
    bool elements_seen_ = false, elements_wrong_ = false, in_item_ = false;
    bool has_identifier_ = false, mode_number_ = false;
    bool has_code_ = false, has_name_ = false;
    bool top_level_object_ = false;
    double mode_ = 0;
};

class NlohmannReader : public JsonReader {
public:
    using JsonReader::read;
    std::string read(std::string_view line, std::size_t, Record &record,
                     std::string &file) override {
        record.elements.clear();
        record.identifier.clear();
        // nlohmann/json stops at a NUL byte as at the end of the text, and
        // JSON has no place for one.
        if (line.find('\0') != std::string_view::npos)
            return "the line is not JSON: it holds a NUL byte";
        RecordReader reader(record, file);
        json::sax_parse(line.begin(), line.end(), &reader);
        return reader.finish();
    }
};

}  // namespace

std::unique_ptr<JsonReader> make_nlohmann_reader() { return std::make_unique<NlohmannReader>(); }

}  // namespace ventrac::encode
