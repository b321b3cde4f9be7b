// SPDX-License-Identifier: Apache-2.0
#include "pilot/sink.h"

#include <new>
#include <string>

namespace ventrac {

void Sink::print(const char *format, ...) const noexcept {
    if (!on()) return;
    va_list args;
    va_start(args, format);
    vprint(format, args);
    va_end(args);
}

void Sink::vprint(const char *format, va_list args) const noexcept {
    if (file != nullptr) {
        std::vfprintf(file, format, args);
        return;
    }
    if (write == nullptr) return;
    // Most lines fit the stack buffer; a longer one (a listing line with a
    // long comment) is formatted again into one of its size.
    char small[512];
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    if (n < 0) {
        va_end(again);
        return;
    }
    const auto length = static_cast<std::size_t>(n);
    if (length < sizeof small) {
        write(user, small, length);
    } else {
        try {
            std::string text(length + 1, '\0');
            std::vsnprintf(text.data(), text.size(), format, again);
            write(user, text.data(), length);
        } catch (const std::bad_alloc &) {
        }
    }
    va_end(again);
}

}  // namespace ventrac
