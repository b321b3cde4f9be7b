// SPDX-License-Identifier: Apache-2.0
// ventrac-check PILOT: reads a pilot file the way the codec does and reports
// what would go wrong when messages are encoded at sea or decoded ashore.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "findings.h"
#include "pilot/reader.h"

namespace {

#ifndef VENTRAC_CHECK_VERSION
#define VENTRAC_CHECK_VERSION "unknown"
#endif

using check::kClean;
using check::kErrors;

const char kUsage[] =
    "Usage: ventrac-check [--] PILOT\n"
    "       ventrac-check --help | --version\n";

const char kDescription[] =
    "\n"
    "Reads the pilot file PILOT line by line as ventrac does and reports, one\n"
    "line each and in line order, what would go wrong at sea or ashore:\n"
    "  PILOT:LINE: error: REASON\n"
    "  PILOT:LINE: warning: REASON\n"
    "then the number of errors and warnings and, for each operating mode 1 to 31\n"
    "that keeps a line besides the first, its number of elements and the size of\n"
    "a message without replication (every delayed count 0, fixed groups repeated\n"
    "as their descriptor says), then whether its messages can go out as BUFR.\n"
    "\n"
    "Exit status: 0 nothing found, 1 warnings only, 2 errors, an unreadable file\n"
    "or a usage error.\n";

int usage_error(const std::string &problem) {
    std::cerr << "ventrac-check: " << problem << '\n' << kUsage;
    return kErrors;
}

// Reads the file as get_specif() does; a folder reads as no file at all.
bool read_pilot(const std::string &path, std::string &content) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        std::cerr << "ventrac-check: cannot read " << path << ": it is a folder\n";
        return false;
    }
    errno = 0;
    if (ventrac::read_pilot_file(path.c_str(), content)) return true;
    std::cerr << "ventrac-check: cannot read " << path;
    if (errno != 0) std::cerr << ": " << std::strerror(errno);
    std::cerr << '\n';
    return false;
}

int check_file(const std::string &path) {
    std::string content;
    if (!read_pilot(path, content)) return kErrors;
    const int status = check::check_pilot(path, content, std::cout);
    std::cout.flush();
    return std::cout ? status : kErrors;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && first == "--help") {
        std::cout << kUsage << kDescription;
        return kClean;
    }
    if (argc == 2 && first == "--version") {
        std::cout << "ventrac-check " << VENTRAC_CHECK_VERSION << '\n';
        return kClean;
    }
    if (argc == 3 && first == "--") return check_file(argv[2]);
    if (argc < 2) return usage_error("no pilot file given");
    if (argc > 2) return usage_error("one pilot file at a time");
    if (first.size() > 1 && first[0] == '-') return usage_error("unknown option " + first);
    return check_file(first);
}
