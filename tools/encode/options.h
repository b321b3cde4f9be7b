// SPDX-License-Identifier: Apache-2.0
// The command line of ventrac-encode.
#ifndef VENTRAC_ENCODE_OPTIONS_H
#define VENTRAC_ENCODE_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

namespace ventrac::encode {

struct Options {
    std::string pilot;
    std::vector<std::string> files;  // "-": standard input
    bool from_bufr = false;          // the files hold BUFR messages
    bool clip = false;               // send values out of range clipped, with a warning
    unsigned jobs = 0;               // 0: one thread per core
    std::optional<std::string> out_dir;
    std::optional<std::string> trace_path;
};

enum class Action { Encode, Help, Version, Usage };

struct CommandLine {
    Action action = Action::Usage;
    Options options;
    std::string error;  // for Action::Usage
};

constexpr unsigned kMaxJobs = 1024;

// Reads the arguments after the program's name.
CommandLine parse_command_line(int argc, const char *const *argv);

const char *usage_text();

// The threads that `jobs` asks for.
unsigned encoding_threads(unsigned jobs);

}  // namespace ventrac::encode

#endif
