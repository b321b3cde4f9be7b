// SPDX-License-Identifier: Apache-2.0
// The library's trace: every step of reading, coding and extracting can be
// traced. The sink is standard output unless a program chooses another one
// or drops the trace (ventrac_set_trace). Call sites test tracing() before
// they format anything, so a dropped trace costs one test per call site.
#ifndef VENTRAC_TRACE_H
#define VENTRAC_TRACE_H

#include <cstdio>

#if defined(__GNUC__) || defined(__clang__)
#define VENTRAC_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VENTRAC_PRINTF_LIKE(fmt, args)
#endif

namespace ventrac::trace {

// The current sink, or nullptr when the trace is dropped.
std::FILE *sink() noexcept;

// True when trace lines are written somewhere.
inline bool tracing() noexcept { return sink() != nullptr; }

// Formats and writes to the sink; does nothing when the trace is dropped.
void print(const char *format, ...) noexcept VENTRAC_PRINTF_LIKE(1, 2);

// Formats and writes one of the library's error lines to the error sink
// (standard error unless a program chose another one or dropped them).
void error(const char *format, ...) noexcept VENTRAC_PRINTF_LIKE(1, 2);

// The ship name of error lines: nom_navire, or "" when it is NULL.
const char *ship_name() noexcept;

}  // namespace ventrac::trace

#endif
