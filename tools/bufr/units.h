// SPDX-License-Identifier: Apache-2.0
// Pilot units against WMO Table B units.
#ifndef VENTRAC_BUFR_UNITS_H
#define VENTRAC_BUFR_UNITS_H

#include <string>
#include <string_view>

namespace ventrac::bufr {

// The unit in one spelling: lower case, blanks removed, the usual pilot
// spellings replaced by the Table B symbol (see bufr.h), every code table
// ("CODE TABLE", "Common CODE TABLE C-11", ...) as "codetable".
std::string canonical_unit(std::string_view unit);

// Whether a pilot unit names a Table B unit.
inline bool same_unit(std::string_view pilot, std::string_view table_b) {
    return canonical_unit(pilot) == canonical_unit(table_b);
}

// Whether a Table B unit marks character data.
inline bool is_character_unit(std::string_view table_b) {
    return canonical_unit(table_b) == "ccittia5";
}

}  // namespace ventrac::bufr

#endif
