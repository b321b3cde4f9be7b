#include "options.h"

#include <string_view>

namespace ventrac::decode {

namespace {

CommandLine usage_error(std::string error) {
    CommandLine c;
    c.action = Action::Usage;
    c.error = std::move(error);
    return c;
}

// Output formats that cannot go together: --get prints values alone.
std::string conflict(const Options &o, bool json, bool csv) {
    if (json && csv) return "--json and --csv cannot be used together";
    if (!o.lookups.empty() && (json || csv || o.telex))
        return "--get prints values alone: it cannot be used with --json, --csv or --telex";
    return {};
}

}  // namespace

const char *usage_text() {
    return "Usage: ventrac-decode [options] PILOT FILE...\n"
           "Decodes HPK files with the pilot file PILOT and prints each observation.\n"
           "\n"
           "  --json             one JSON object per file, one per line\n"
           "  --csv              one CSV row per element, after a header row\n"
           "  --get CODE NAME    print only this element's converted value, 'NA' when\n"
           "                     it is absent or not usable (repeatable)\n"
           "  --datatype FILE    data-type codes by operating mode: 'mode type' lines\n"
           "  --telex            also print each message laid out in telex lines\n"
           "  --trace FILE       write the codec's trace and error lines to FILE\n"
           "  --help             print this text\n"
           "  --version          print the version\n"
           "\n"
           "Exit status: 0 when every file decoded, 1 otherwise, 2 on a usage error.\n";
}

CommandLine parse_command_line(int argc, const char *const *argv) {
    CommandLine c;
    Options &o = c.options;
    bool json = false, csv = false, options_ended = false;
    std::vector<std::string> positional;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            positional.emplace_back(arg);
            continue;
        }
        // Number of values the option takes; checked before they are read.
        auto needs = [&](int n) { return i + n < argc; };
        if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help") {
            c.action = Action::Help;
            return c;
        } else if (arg == "--version") {
            c.action = Action::Version;
            return c;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--csv") {
            csv = true;
        } else if (arg == "--telex") {
            o.telex = true;
        } else if (arg == "--get") {
            if (!needs(2)) return usage_error("--get needs a descriptor and a name");
            o.lookups.push_back({argv[i + 1], argv[i + 2]});
            i += 2;
        } else if (arg == "--datatype" || arg == "--trace") {
            std::optional<std::string> &path = arg == "--trace" ? o.trace_path : o.datatype_path;
            if (!needs(1)) return usage_error(std::string(arg) + " needs a file name");
            if (path) return usage_error(std::string(arg) + " is given twice");
            path = argv[++i];
        } else {
            return usage_error("unknown option " + std::string(arg));
        }
    }
    if (std::string error = conflict(o, json, csv); !error.empty()) return usage_error(error);
    if (positional.size() < 2) return usage_error("a pilot file and at least one HPK file are needed");
    o.format = !o.lookups.empty() ? Format::Get : json ? Format::Json : csv ? Format::Csv : Format::Text;
    o.pilot = positional.front();
    o.files.assign(positional.begin() + 1, positional.end());
    c.action = Action::Decode;
    return c;
}

}  // namespace ventrac::decode
