// SPDX-License-Identifier: Apache-2.0
// The observation data file: a mode line, then one "presence value" line per
// value the encoder consumes.
#ifndef VENTRAC_FRONT_DATAFILE_H
#define VENTRAC_FRONT_DATAFILE_H

#include <string>
#include <vector>

#include "codec/codec.h"

namespace ventrac::front {

// Longest data line accepted, line feed excluded.
inline constexpr std::size_t kMaxDataLine = 255;

struct DataFile {
    bool opened = false;     // false: the file could not be opened
    int mode = 0;            // first line
    bool mode_read = false;  // the first line parsed
    // One entry per value line read, padded with missing values (presence 0,
    // value 0) up to VENTRAC_MAX_VALUES so the encoder may ask past the end.
    std::vector<double> values = std::vector<double>(VENTRAC_MAX_VALUES, 0.0);
    std::vector<int> presence = std::vector<int>(VENTRAC_MAX_VALUES, 0);
    int count = 0;  // value lines read and accepted
    // When the file is refused: the 1-based line at fault and why.
    int error_line = 0;
    std::string error;
};

// Reads and checks the whole file. A blank value line is a missing value.
// The file is refused (error set) when it is empty, when its first line is
// not an integer, when a value line is not an integer followed by a real,
// when a line is longer than kMaxDataLine characters, or when it holds more
// than VENTRAC_MAX_VALUES value lines. The lines before the one at fault are
// kept, so that they can be echoed.
DataFile read_data_file(const std::string &path);

}  // namespace ventrac::front

#endif
