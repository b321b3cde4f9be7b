// SPDX-License-Identifier: Apache-2.0
// One observation of JSON Lines input.
#ifndef VENTRAC_ENCODE_JSON_RECORD_H
#define VENTRAC_ENCODE_JSON_RECORD_H

#include <string>
#include <string_view>

#include "record.h"

namespace ventrac::encode {

// Reads one JSON object in the shape ventrac-decode --json writes:
// "identifier" (a text), "mode" (a whole number), "elements" (objects with
// "code", "name" and "value"; a null or absent value is missing). Other
// members are ignored; "file", when it is a text, is kept in `file`.
// Returns why the line is not such an object, or "".
std::string parse_json_record(std::string_view line, Record &record, std::string &file);

}  // namespace ventrac::encode

#endif
