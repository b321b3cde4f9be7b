// SPDX-License-Identifier: Apache-2.0
// BUFR input in a build without ecCodes.
#include "bufr_input.h"

namespace ventrac::encode {

bool bufr_input_built() { return false; }

std::string read_bufr(const std::string &, const Layouts &, const std::function<void(Item &&)> &) {
    return "cannot be read: this ventrac-encode was built without ecCodes";
}

}  // namespace ventrac::encode
