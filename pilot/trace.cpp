// SPDX-License-Identifier: Apache-2.0
#include "pilot/trace.h"

#include <cstdarg>

#include "pilot/pilot.h"

namespace {
// Standard output is the default sink; it cannot be named in a constant
// initialiser, so "not chosen yet" is kept apart from "dropped".
bool sink_chosen = false;
std::FILE *chosen_sink = nullptr;
bool error_sink_chosen = false;
std::FILE *chosen_error_sink = nullptr;

std::FILE *error_sink() { return error_sink_chosen ? chosen_error_sink : stderr; }

void write_formatted(std::FILE *out, const char *format, va_list args) {
    if (out != nullptr) std::vfprintf(out, format, args);
}
}  // namespace

namespace ventrac::trace {

std::FILE *sink() noexcept { return sink_chosen ? chosen_sink : stdout; }

void print(const char *format, ...) noexcept {
    std::FILE *out = sink();
    if (out == nullptr) return;  // a dropped trace costs no more than this test
    va_list args;
    va_start(args, format);
    write_formatted(out, format, args);
    va_end(args);
}

void error(const char *format, ...) noexcept {
    va_list args;
    va_start(args, format);
    write_formatted(error_sink(), format, args);
    va_end(args);
}

const char *ship_name() noexcept { return nom_navire != nullptr ? nom_navire : ""; }

}  // namespace ventrac::trace

extern "C" void ventrac_set_trace(FILE *sink) {
    sink_chosen = true;
    chosen_sink = sink;
}

extern "C" FILE *ventrac_trace_sink(void) { return ventrac::trace::sink(); }

extern "C" void ventrac_set_errors(FILE *sink) {
    error_sink_chosen = true;
    chosen_error_sink = sink;
}
