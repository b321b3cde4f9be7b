// SPDX-License-Identifier: Apache-2.0
// One line per error number, for the companion programs and the Python
// module: the text ventrac_error_text() gives, behind "error N: ". Internal.
#ifndef VENTRAC_ERRORS_H
#define VENTRAC_ERRORS_H

#include <string>

namespace ventrac {

// The mode a refused message was read with, when it is known.
inline constexpr int kNoMode = -1000;

// "error N: " and the meaning of `code` (either sign). When `mode` is not
// kNoMode, "the operating mode" in that meaning becomes "operating mode M".
std::string error_line(int code, int mode = kNoMode);

}  // namespace ventrac

#endif
