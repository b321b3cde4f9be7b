// SPDX-License-Identifier: Apache-2.0
// The readers of JSON records, one a library, and what they share.
#ifndef VENTRAC_ENCODE_JSON_BACKENDS_H
#define VENTRAC_ENCODE_JSON_BACKENDS_H

#include <memory>
#include <string>

#include "json_record.h"

namespace ventrac::encode {

// Objects and arrays nested deeper than this, the line's object counted,
// are refused as not JSON by every reader: simdjson's limit (the standard
// lets a reader set one), kept by the others so that every build reads the
// same lines.
constexpr int kMaxJsonDepth = 1024;

std::unique_ptr<JsonReader> make_simdjson_reader();
std::unique_ptr<JsonReader> make_nlohmann_reader();

// Once a line's members are read: whether the record has those it needs,
// in this order. Sets record.mode from `mode`. Returns why not, or "".
std::string finish_record(bool has_identifier, bool mode_number, double mode, bool elements_wrong,
                          Record &record);

// Why element `number` (from 1) of "elements" is refused: not an object, or
// no "code" or "name" text.
std::string element_error(std::size_t number);

}  // namespace ventrac::encode

#endif
