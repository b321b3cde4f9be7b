// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <charconv>
#include <string_view>
#include <thread>

#include "tools/threads.h"

namespace ventrac::encode {

namespace {

CommandLine usage_error(std::string error) {
    CommandLine c;
    c.action = Action::Usage;
    c.error = std::move(error);
    return c;
}

}  // namespace

const char *usage_text() {
    return "Usage: ventrac-encode [options] PILOT FILE...\n"
           "Encodes observations given by name with the pilot file PILOT and prints\n"
           "each message on a line: the identifier, then the six-bit characters.\n"
           "Each line of each FILE ('-': standard input) is one observation in JSON,\n"
           "as ventrac-decode --json writes it:\n"
           "  {\"identifier\": ..., \"mode\": ..., \"elements\": [{\"code\": ..., \"name\": ...,\n"
           "   \"value\": ...}, ...]}\n"
           "\n"
           "  --from-bufr    each FILE holds BUFR messages, as ventrac-decode --bufr\n"
           "                 writes them: one observation per subset\n"
           "  --out DIR      write one HPK file per observation into DIR instead\n"
           "  --clip         send a value its element cannot carry clipped, with a\n"
           "                 warning (refused otherwise)\n"
           "  --trace FILE   write the encoder's trace to FILE\n"
           "  --jobs N       encode on N threads (default: one per core); the output\n"
           "                 is the same for any N\n"
           "  --help         print this text\n"
           "  --version      print the version\n"
           "\n"
           "An observation that cannot be encoded is reported on standard error as\n"
           "FILE:LINE: reason, and the others are encoded.\n"
           "Exit status: 0 when every observation was encoded, 1 otherwise, 2 on a\n"
           "usage error or a pilot file that cannot be read.\n";
}

unsigned encoding_threads(unsigned jobs) { return threads_for_jobs(jobs, kMaxJobs); }

CommandLine parse_command_line(int argc, const char *const *argv) {
    CommandLine c;
    Options &o = c.options;
    bool options_ended = false;
    std::vector<std::string> positional;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            positional.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help") {
            c.action = Action::Help;
            return c;
        } else if (arg == "--version") {
            c.action = Action::Version;
            return c;
        } else if (arg == "--from-bufr") {
            o.from_bufr = true;
        } else if (arg == "--clip") {
            o.clip = true;
        } else if (arg == "--out" || arg == "--trace") {
            if (i + 1 >= argc)
                return usage_error(std::string(arg) + " needs a " +
                                   (arg == "--out" ? "folder" : "file name"));
            std::optional<std::string> &target = arg == "--out" ? o.out_dir : o.trace_path;
            if (target) return usage_error(std::string(arg) + " is given twice");
            target = argv[++i];
        } else if (arg == "--jobs") {
            long jobs = 0;
            const std::string_view text = i + 1 < argc ? std::string_view(argv[++i])
                                                       : std::string_view();
            const char *end = text.data() + text.size();
            const auto [ptr, ec] = std::from_chars(text.data(), end, jobs);
            if (text.empty() || ec != std::errc() || ptr != end || jobs < 1 ||
                jobs > static_cast<long>(kMaxJobs))
                return usage_error("--jobs needs a number from 1 to " + std::to_string(kMaxJobs));
            o.jobs = static_cast<unsigned>(jobs);
        } else {
            return usage_error("unknown option " + std::string(arg));
        }
    }
    if (positional.size() < 2)
        return usage_error("a pilot file and at least one input file are needed");
    o.pilot = positional.front();
    o.files.assign(positional.begin() + 1, positional.end());
    c.action = Action::Encode;
    return c;
}

}  // namespace ventrac::encode
