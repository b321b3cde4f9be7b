// Command line of ventrac-decode.
#ifndef VENTRAC_DECODE_OPTIONS_H
#define VENTRAC_DECODE_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

namespace ventrac::decode {

enum class Format { Text, Json, Csv, Get };

// One --get: a descriptor and a name, looked up with cherche().
struct Lookup {
    std::string code;
    std::string name;
};

struct Options {
    Format format = Format::Text;
    bool telex = false;
    std::optional<std::string> trace_path;
    std::optional<std::string> datatype_path;
    std::vector<Lookup> lookups;
    std::string pilot;
    std::vector<std::string> files;
};

enum class Action { Decode, Help, Version, Usage };

struct CommandLine {
    Action action = Action::Usage;
    Options options;
    std::string error;  // what is wrong, for Action::Usage
};

// Reads the arguments after the program name. Options and file names may
// come in any order; "--" ends the options.
CommandLine parse_command_line(int argc, const char *const *argv);

// The usage text, ending with a line feed.
const char *usage_text();

}  // namespace ventrac::decode

#endif
