// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <charconv>
#include <string_view>
#include <thread>

#include "tools/threads.h"

namespace ventrac::decode {

namespace {

CommandLine usage_error(std::string error) {
    CommandLine c;
    c.action = Action::Usage;
    c.error = std::move(error);
    return c;
}

// A whole argument holding an integer from `low` to `high`.
bool integer_in(std::string_view text, long low, long high, long &value) {
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && value >= low && value <= high;
}

// Output choices that cannot go together: --get prints values alone, and
// BUFR on standard output leaves no room for anything else there.
std::string conflict(const Options &o, bool json, bool csv, bool bufr_setting) {
    if (json && csv) return "--json and --csv cannot be used together";
    if (!o.lookups.empty() && (json || csv || o.telex))
        return "--get prints values alone: it cannot be used with --json, --csv or --telex";
    if (!o.bufr) {
        if (bufr_setting)
            return "--keep-implausible, --centre, --subcentre, --table-version, --bufr-subsets and "
                   "--bufr-uncompressed go with --bufr";
        return {};
    }
    if (o.bufr->path == "-" && (json || csv || o.telex || !o.lookups.empty()))
        return "--bufr - writes to standard output: it cannot be used with --json, --csv, --get "
               "or --telex";
    if (o.telex && !json && !csv)
        return "with --bufr only --json or --csv print the records: --telex needs one of them";
    return {};
}

}  // namespace

const char *usage_text() {
    return "Usage: ventrac-decode [options] PILOT FILE...\n"
           "Decodes HPK files with the pilot file PILOT and prints each observation.\n"
           "\n"
           "  --json             one JSON object per message, one per line\n"
           "  --csv              one CSV row per element, after a header row\n"
           "  --get CODE NAME    print only this element's converted value, 'NA' when\n"
           "                     it is absent or not usable (repeatable)\n"
           "  --datatype FILE    data-type codes by operating mode: 'mode type' lines\n"
           "  --telex            also print each message laid out in telex lines\n"
           "  --trace FILE       write the codec's trace and error lines to FILE\n"
           "  --lines            each line of each FILE ('-': standard input) is one\n"
           "                     message, named FILE:LINE; blank lines are skipped\n"
           "  --jobs N           decode on N threads (default: one per core)\n"
           "  --bufr OUT         write one BUFR edition 4 message per decoded message\n"
           "                     to OUT ('-': standard output); the records are then\n"
           "                     printed only with --json, --csv or --get\n"
           "  --keep-implausible in BUFR, keep values outside their plausible bounds\n"
           "                     (written as missing otherwise)\n"
           "  --centre N         BUFR originating centre (0 to 65535)\n"
           "  --subcentre N      BUFR originating sub-centre (0 to 65535)\n"
           "  --table-version N  BUFR master table version (1 to 255; 0, the default:\n"
           "                     the lowest installed that defines every descriptor of\n"
           "                     the message as the newest does)\n"
           "  --bufr-subsets N   put up to N consecutive messages of one layout (mode and\n"
           "                     delayed counts) into one BUFR message of N subsets\n"
           "                     (1 to 10000; default 1: one message each)\n"
           "  --bufr-uncompressed  write messages of several subsets uncompressed\n"
           "  --help             print this text\n"
           "  --version          print the version\n"
           "\n"
           "Exit status: 0 when every message decoded, 1 otherwise, 2 on a usage error\n"
           "or a pilot file that cannot be read.\n";
}

unsigned decoding_threads(unsigned jobs) { return threads_for_jobs(jobs, kMaxJobs); }

CommandLine parse_command_line(int argc, const char *const *argv) {
    CommandLine c;
    Options &o = c.options;
    bool json = false, csv = false, options_ended = false, bufr_setting = false;
    BufrOptions bufr;
    std::vector<std::string_view> positional;
    positional.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));  // grown once
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            positional.emplace_back(arg);
            continue;
        }
        // Number of values the option takes; checked before they are read.
        auto needs = [&](int n) { return i + n < argc; };
        // An option's number, checked against its range.
        auto number = [&](long low, long high, long &value) {
            return needs(1) && integer_in(argv[++i], low, high, value);
        };
        auto range = [&](long low, long high) {
            return std::string(arg) + " needs a number from " + std::to_string(low) + " to " +
                   std::to_string(high);
        };
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
        } else if (arg == "--lines") {
            o.lines = true;
        } else if (arg == "--keep-implausible") {
            bufr.keep_implausible = bufr_setting = true;
        } else if (arg == "--bufr-uncompressed") {
            bufr.uncompressed = bufr_setting = true;
        } else if (arg == "--bufr-subsets") {
            if (!number(1, kMaxSubsets, bufr.subsets)) return usage_error(range(1, kMaxSubsets));
            bufr_setting = true;
        } else if (arg == "--get") {
            if (!needs(2)) return usage_error("--get needs a descriptor and a name");
            o.lookups.push_back({argv[i + 1], argv[i + 2]});
            i += 2;
        } else if (arg == "--datatype" || arg == "--trace" || arg == "--bufr") {
            if (!needs(1)) return usage_error(std::string(arg) + " needs a file name");
            const bool twice = arg == "--trace"  ? o.trace_path.has_value()
                               : arg == "--bufr" ? o.bufr.has_value()
                                                 : o.datatype_path.has_value();
            if (twice) return usage_error(std::string(arg) + " is given twice");
            const std::string path = argv[++i];
            if (arg == "--trace")
                o.trace_path = path;
            else if (arg == "--datatype")
                o.datatype_path = path;
            else
                o.bufr.emplace().path = path;
        } else if (arg == "--jobs") {
            long jobs = 0;
            if (!number(1, kMaxJobs, jobs)) return usage_error(range(1, kMaxJobs));
            o.jobs = static_cast<unsigned>(jobs);
        } else if (arg == "--centre" || arg == "--subcentre" || arg == "--table-version") {
            const long high = arg == "--table-version" ? 255 : 65535;
            const long low = 0;
            long value = 0;
            if (!number(low, high, value)) return usage_error(range(low, high));
            (arg == "--centre"      ? bufr.centre
             : arg == "--subcentre" ? bufr.subcentre
                                    : bufr.table_version) = value;
            bufr_setting = true;
        } else {
            return usage_error("unknown option " + std::string(arg));
        }
    }
    if (o.bufr) {
        bufr.path = o.bufr->path;
        o.bufr = bufr;
    }
    if (std::string error = conflict(o, json, csv, bufr_setting); !error.empty())
        return usage_error(error);
    if (positional.size() < 2)
        return usage_error("a pilot file and at least one HPK file are needed");
    o.format = !o.lookups.empty() ? Format::Get
               : json             ? Format::Json
               : csv              ? Format::Csv
               : o.bufr           ? Format::None
                                  : Format::Text;
    o.pilot = std::string(positional.front());
    positional.erase(positional.begin());
    o.files = std::move(positional);
    c.action = Action::Decode;
    return c;
}

}  // namespace ventrac::decode
