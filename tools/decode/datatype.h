// SPDX-License-Identifier: Apache-2.0
// The data-type codes of the operating modes, from a small text file of
// 'mode type' pairs.
#ifndef VENTRAC_DECODE_DATATYPE_H
#define VENTRAC_DECODE_DATATYPE_H

#include <string>
#include <string_view>

#include <ventrac/ventrac.h>

namespace ventrac::decode {

// The table used without a data-type file: code 0 for every mode.
ventrac_datatype_entry every_mode_type_zero();

// Fills `table` from the content of a data-type file: one pair of integers
// 'mode type' (each -128 to 127) per line, blanks or tabs between them;
// '#' starts a comment that runs to the end of the line; blank lines are
// skipped; at most 32 pairs, each mode once. Returns an empty text on
// success, else what is wrong and on which line ("line 3: ...").
std::string parse_datatype(std::string_view content, ventrac_datatype_entry &table);

}  // namespace ventrac::decode

#endif
