// SPDX-License-Identifier: Apache-2.0
// One observation of JSON Lines input.
#ifndef VENTRAC_ENCODE_JSON_RECORD_H
#define VENTRAC_ENCODE_JSON_RECORD_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "record.h"

namespace ventrac::encode {

// The JSON libraries a record can be read with. A build has those that were
// found when it was configured (json_libraries()).
enum class JsonLibrary { Simdjson, Nlohmann };

// The libraries this build reads with, the one the program uses first:
// simdjson when it was found, nlohmann/json otherwise. Never empty.
const std::vector<JsonLibrary> &json_libraries();

// "simdjson" or "nlohmann/json".
const char *json_library_name(JsonLibrary library);

// Reads records one line at a time. It holds the library's buffers, kept
// from line to line: one reader per thread.
class JsonReader {
public:
    // Bytes readable after a line that let a reader parse it where it
    // stands, without a copy.
    static constexpr std::size_t kPadding = 64;

    virtual ~JsonReader() = default;

    // Reads one JSON object in the shape ventrac-decode --json writes:
    // "identifier" (a text), "mode" (a whole number), "elements" (objects
    // with "code", "name" and "value"; a null or absent value is missing).
    // Other members are ignored; "file", when it is a text, is kept in
    // `file`. When a member comes twice, the last one counts. The whole line
    // must be JSON. Returns why the line is not such an object, or "";
    // `record` is replaced either way.
    std::string read(std::string_view line, Record &record, std::string &file) {
        return read(line, line.size(), record, file);
    }

    // The same, where `readable` (at least line.size()) bytes from
    // line.data() may be read; they are never written.
    virtual std::string read(std::string_view line, std::size_t readable, Record &record,
                             std::string &file) = 0;
};

// A reader on `library`, which must be one of json_libraries().
std::unique_ptr<JsonReader> make_json_reader(JsonLibrary library);

}  // namespace ventrac::encode

#endif
