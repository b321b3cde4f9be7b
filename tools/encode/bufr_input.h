// SPDX-License-Identifier: Apache-2.0
// BUFR input: each subset written the way ventrac-decode --bufr writes an
// observation becomes a record.
#ifndef VENTRAC_ENCODE_BUFR_INPUT_H
#define VENTRAC_ENCODE_BUFR_INPUT_H

#include <functional>
#include <string>

#include "inputs.h"

namespace ventrac::encode {

// Whether this build reads BUFR (ecCodes was found).
bool bufr_input_built();

// Reads the BUFR messages of `path` ("-": standard input) and hands one item
// per subset to `take`, in order: a record when the subset's descriptors are
// 001011 followed by those of an operating mode of the pilot, else the
// reason. Returns "" or why the file cannot be read.
std::string read_bufr(const std::string &path, const Layouts &layouts,
                      const std::function<void(Item &&)> &take);

}  // namespace ventrac::encode

#endif
