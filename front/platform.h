// SPDX-License-Identifier: Apache-2.0
// What the program asks of the operating system beyond standard C++: one
// function per need, with the POSIX and the Windows way side by side in
// platform.cpp, so that nothing else in the program depends on the system.
#ifndef VENTRAC_FRONT_PLATFORM_H
#define VENTRAC_FRONT_PLATFORM_H

#include <cstdio>
#include <string>

namespace ventrac::front {

// Whether '\' separates directories in a path and "C:" begins one: true on
// Windows.
#ifdef _WIN32
inline constexpr bool kWindowsPaths = true;
#else
inline constexpr bool kWindowsPaths = false;
#endif

// Creates `path` for writing in binary mode, failing when it exists already
// (errno EEXIST), so that no other file is ever overwritten by it. Returns
// nullptr with errno set on failure.
std::FILE *create_new_binary_file(const std::string &path);

}  // namespace ventrac::front

#endif
