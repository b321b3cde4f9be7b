// SPDX-License-Identifier: Apache-2.0
// The ventrac program: encodes one observation and writes its HPK file.
#ifndef VENTRAC_FRONT_RUN_H
#define VENTRAC_FRONT_RUN_H

#include <string>

#include <ventrac/types.h>

#include "front/platform.h"

namespace ventrac::front {

// Exit statuses other than the read-back byte count.
inline constexpr int kStatusUsage = 1;           // usage, data file, encoder, write
inline constexpr int kStatusPilotMissing = 254;  // the pilot file cannot be opened
inline constexpr int kStatusHpkUnreadable = 243;
inline constexpr int kStatusHpkEmpty = 244;

// Largest HPK file ventrac writes: the largest transmitted text.
inline constexpr int kHpkMaxSize = VENTRAC_MESSAGE_MAX;

// Where the HPK file of the data file `data` goes: `directory` (traced after
// "REP= ") is `data` up to and including its last separator, "./" when it
// has none; `path` is directory + "HPK_" + the name after it. With
// `windows_paths`, '\\' separates as '/' does, and a drive prefix with no
// separator after it ("C:obs.txt") is the directory ("C:HPK_obs.txt").
struct HpkPath {
    std::string directory;
    std::string path;
};
HpkPath hpk_path(const std::string &data, bool windows_paths = kWindowsPaths);

// Runs `ventrac ref_fichier_pilote ref_fichier_data ID_WMO code_model` and
// returns the process's exit status.
int run(int argc, const char *const *argv);

// Reads the HPK file at `path` back into the packed buffer (ORing the bits
// in). Returns the number of packed bytes rebuilt, or minus the exit status
// (243 or 244) when the file cannot be opened or is empty.
int lect_HPK(const std::string &path, unsigned char *packed, bool verbose);

}  // namespace ventrac::front

#endif
