// SPDX-License-Identifier: Apache-2.0
// Command line of ventrac-decode.
#ifndef VENTRAC_DECODE_OPTIONS_H
#define VENTRAC_DECODE_OPTIONS_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ventrac::decode {

// How the decoded records are printed; None when --bufr alone is asked for.
enum class Format { Text, Json, Csv, Get, None };

// One --get: a descriptor and a name, looked up as cherche() looks them up.
struct Lookup {
    std::string code;
    std::string name;
};

// The BUFR output: where it goes and what its section 1 says. Unset numbers
// take the BUFR writer's defaults.
struct BufrOptions {
    std::string path;  // "-": standard output
    bool keep_implausible = false;
    std::optional<long> centre;
    std::optional<long> subcentre;
    std::optional<long> table_version;
    long subsets = 1;           // most subsets in one BUFR message
    bool uncompressed = false;  // messages of several subsets left uncompressed
};

// Largest --bufr-subsets.
constexpr long kMaxSubsets = 10000;

struct Options {
    Format format = Format::Text;
    bool telex = false;
    bool lines = false;  // each line of each file is one message
    unsigned jobs = 0;   // decoding threads; 0: one per core
    std::optional<std::string> trace_path;
    std::optional<std::string> datatype_path;
    std::optional<BufrOptions> bufr;
    std::vector<Lookup> lookups;
    std::string pilot;
    // The message files: views of the arguments, which outlive the options
    // (a copy of thousands of names would only cost memory).
    std::vector<std::string_view> files;
};

enum class Action { Decode, Help, Version, Usage };

struct CommandLine {
    Action action = Action::Usage;
    Options options;
    std::string error;  // what is wrong, for Action::Usage
};

// Largest --jobs.
constexpr unsigned kMaxJobs = 1024;

// Reads the arguments after the program name. Options and file names may
// come in any order; "--" ends the options. Options::files views `argv`.
CommandLine parse_command_line(int argc, const char *const *argv);

// The usage text, ending with a line feed.
const char *usage_text();

// The number of threads to decode on: `jobs`, or one per core when 0.
unsigned decoding_threads(unsigned jobs);

}  // namespace ventrac::decode

#endif
