// SPDX-License-Identifier: Apache-2.0
#include "json_record.h"

#include <cmath>
#include <cstdio>

#include "json_backends.h"

namespace ventrac::encode {

const std::vector<JsonLibrary> &json_libraries() {
    static const std::vector<JsonLibrary> built = {
#ifdef VENTRAC_JSON_SIMDJSON
        JsonLibrary::Simdjson,
#endif
#ifdef VENTRAC_JSON_NLOHMANN
        JsonLibrary::Nlohmann,
#endif
    };
    return built;
}

const char *json_library_name(JsonLibrary library) {
    return library == JsonLibrary::Simdjson ? "simdjson" : "nlohmann/json";
}

std::unique_ptr<JsonReader> make_json_reader(JsonLibrary library) {
#ifdef VENTRAC_JSON_SIMDJSON
    if (library == JsonLibrary::Simdjson) return make_simdjson_reader();
#endif
#ifdef VENTRAC_JSON_NLOHMANN
    if (library == JsonLibrary::Nlohmann) return make_nlohmann_reader();
#endif
    (void)library;
    return nullptr;
}

std::string element_error(std::size_t number) {
    return "element " + std::to_string(number) + " has no \"code\" and \"name\" texts";
}

std::string finish_record(bool has_identifier, bool mode_number, double mode, bool elements_wrong,
                          Record &record) {
    if (!has_identifier) return "no \"identifier\" text";
    if (!mode_number) return "no \"mode\" number";
    if (!(mode >= -128 && mode <= 127) || mode != std::trunc(mode)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", mode);
        return std::string("no such mode: ") + text +
               " (operating modes are whole numbers from -128 to 127)";
    }
    record.mode = static_cast<int>(mode);
    if (elements_wrong) return "\"elements\" is not an array";
    return {};
}

}  // namespace ventrac::encode
