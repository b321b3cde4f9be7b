// SPDX-License-Identifier: Apache-2.0
// Writing a file so that a failure never leaves it truncated nor destroys
// the file that was there before.
#ifndef VENTRAC_FRONT_OUTFILE_H
#define VENTRAC_FRONT_OUTFILE_H

#include <cstddef>
#include <string>

namespace ventrac::front {

// Writes `size` bytes to a new temporary file in the directory of `path`,
// checks every write and the close, then renames it onto `path`.
// Returns true on success. On failure returns false with `reason` set to the
// system's reason, leaves any earlier file at `path` unchanged and removes
// the temporary file.
bool write_file_replacing(const std::string &path, const char *data, std::size_t size,
                          std::string &reason);

}  // namespace ventrac::front

#endif
