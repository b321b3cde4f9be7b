// SPDX-License-Identifier: Apache-2.0
// The observations of a run, as they come from the input files, in order.
#ifndef VENTRAC_ENCODE_INPUTS_H
#define VENTRAC_ENCODE_INPUTS_H

#include <cstddef>
#include <string>

#include "record.h"

namespace ventrac::encode {

// One observation to encode: a JSON line still to be read, or a record
// already read (from BUFR), or why there is none.
struct Item {
    // Where it comes from: a JSON line's file and number, or, for BUFR,
    // `where` ("FILE: message M subset S") and `stem` ("M_S", for file
    // names).
    const std::string *source = nullptr;
    long number = 0;
    std::string where;
    std::string stem;

    // A JSON line: its text in the batch's (the ventrac-encode runner's).
    std::size_t offset = 0, length = 0;
    bool parsed = false;
    bool positional = false;  // the record's values are in the encoder's order

    Record record;      // a record already read
    std::string file;   // the record's own file name, when it gave one
    std::string error;  // set when the input cannot give this observation
};

}  // namespace ventrac::encode

#endif
