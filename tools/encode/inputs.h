// SPDX-License-Identifier: Apache-2.0
// The observations of a run, as they come from the input files, in order.
#ifndef VENTRAC_ENCODE_INPUTS_H
#define VENTRAC_ENCODE_INPUTS_H

#include <string>

#include "record.h"

namespace ventrac::encode {

// One observation to encode: a JSON line still to be read, or a record
// already read (from BUFR), or why there is none.
struct Item {
    std::string where;  // FILE:LINE, or FILE:message M subset S
    std::string stem;   // what tells it from the others of its file, for file names
    std::string line;   // JSON text, when `parsed` is false
    bool parsed = false;
    bool positional = false;  // the record's values are in the encoder's order

    Record record;
    std::string file;   // the record's own file name, when it gave one
    std::string error;  // set when the input cannot give this observation
};

}  // namespace ventrac::encode

#endif
