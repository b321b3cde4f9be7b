// SPDX-License-Identifier: Apache-2.0
// Where one codec call writes its trace or its error lines: a file, a
// function that takes each piece of text, or nowhere. A sink is a plain value
// handed down the call, so two contexts on two threads never share one.
#ifndef VENTRAC_SINK_H
#define VENTRAC_SINK_H

#include <cstdarg>
#include <cstdio>

#include <ventrac/ventrac.h>
#include "pilot/trace.h"

namespace ventrac {

struct Sink {
    std::FILE *file = nullptr;
    ventrac_write_fn write = nullptr;
    void *user = nullptr;

    static Sink to_file(std::FILE *f) noexcept { return {f, nullptr, nullptr}; }
    static Sink to_function(ventrac_write_fn fn, void *user) noexcept {
        return {nullptr, fn, user};
    }

    // Whether anything is written: call sites test it before they format.
    bool on() const noexcept { return file != nullptr || write != nullptr; }

    // Formats and writes; does nothing when the sink is off. A text that
    // cannot be formatted for want of memory is dropped.
    void print(const char *format, ...) const noexcept VENTRAC_PRINTF_LIKE(2, 3);
    void vprint(const char *format, va_list args) const noexcept;
};

}  // namespace ventrac

#endif
