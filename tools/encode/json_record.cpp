#include "json_record.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace ventrac::encode {

namespace {

using json = nlohmann::json;

// Only the members the encoder reads are kept; the texts ventrac-decode
// adds to every element are dropped as they are parsed.
bool wanted(int depth, json::parse_event_t event, json &parsed) {
    if (event != json::parse_event_t::key) return true;
    const std::string &key = parsed.get_ref<const std::string &>();
    if (depth == 1)
        return key == "identifier" || key == "mode" || key == "elements" || key == "file";
    if (depth == 3) return key == "code" || key == "name" || key == "value";
    return true;
}

}  // namespace

std::string parse_json_record(std::string_view line, Record &record, std::string &file) {
    json doc;
    try {
        doc = json::parse(line.begin(), line.end(), wanted);
    } catch (const json::parse_error &e) {
        return std::string("the line is not JSON: ") + e.what();
    }
    if (!doc.is_object()) return "the line is not a JSON object";

    const auto id = doc.find("identifier");
    if (id == doc.end() || !id->is_string()) return "no \"identifier\" text";
    record.identifier = id->get<std::string>();

    const auto mode = doc.find("mode");
    if (mode == doc.end() || !mode->is_number()) return "no \"mode\" number";
    const double m = mode->get<double>();
    if (!(m >= -128 && m <= 127) || m != std::trunc(m))
        return "no such mode: " + mode->dump() + " (operating modes are whole numbers from -128 to 127)";
    record.mode = static_cast<int>(m);

    if (const auto f = doc.find("file"); f != doc.end() && f->is_string()) file = f->get<std::string>();

    record.elements.clear();
    const auto elements = doc.find("elements");
    if (elements == doc.end()) return {};
    if (!elements->is_array()) return "\"elements\" is not an array";
    record.elements.reserve(elements->size());
    std::size_t n = 0;
    for (const json &e : *elements) {
        ++n;
        const auto code = e.is_object() ? e.find("code") : e.end();
        const auto name = e.is_object() ? e.find("name") : e.end();
        if (!e.is_object() || code == e.end() || name == e.end() || !code->is_string() || !name->is_string())
            return "element " + std::to_string(n) + " has no \"code\" and \"name\" texts";
        NamedValue v;
        v.code = code->get<std::string>();
        v.name = name->get<std::string>();
        const auto value = e.find("value");
        if (value != e.end() && !value->is_null()) {
            if (value->is_number())
                v.value = value->get<double>();
            else
                v.number = false;
        }
        record.elements.push_back(std::move(v));
    }
    return {};
}

}  // namespace ventrac::encode
