// SPDX-License-Identifier: Apache-2.0
// The meaning of every error number the library and its programs report.
#include "codec/errors.h"

#include <string>

#include <ventrac/ventrac.h>

namespace {
// The number without its sign; INT_MIN has no positive int.
long long magnitude(int code) { return code < 0 ? -static_cast<long long>(code) : code; }
}  // namespace

extern "C" const char *ventrac_error_text(int code) {
    switch (magnitude(code)) {
    case VENTRAC_ERR_PILOT: return "the pilot file cannot be opened or read";
    case VENTRAC_ERR_NO_ELEMENT: return "the pilot file has no line for the operating mode";
    case VENTRAC_ERR_TOO_MANY: return "more than 1024 decoded elements";
    case VENTRAC_ERR_SHORT_TEXT: return "the message is shorter than 8 characters";
    case VENTRAC_ERR_ARGUMENT: return "an argument is NULL or out of range";
    case VENTRAC_ERR_MEMORY: return "memory ran out";
    case VENTRAC_ERR_FULL: return "the message does not fit in 1024 bytes";
    case VENTRAC_ERR_COUNT:
        return "a delayed count would not be read back as the number of repetitions sent";
    case 244: return "the HPK file is empty";
    case 243: return "the HPK file cannot be opened";
    case VENTRAC_ERR_DATATYPE: return "the operating mode has no data-type code";
    case 224: return "a number does not fit in 64 bits";
    default: return "unknown error";
    }
}

namespace ventrac {

std::string error_line(int code, int mode) {
    std::string text = ventrac_error_text(code);
    if (mode != kNoMode) {
        static const std::string kTheMode = "the operating mode";
        const std::size_t at = text.find(kTheMode);
        if (at != std::string::npos)
            text.replace(at, kTheMode.size(), "operating mode " + std::to_string(mode));
    }
    return "error " + std::to_string(magnitude(code)) + ": " + text;
}

}  // namespace ventrac
