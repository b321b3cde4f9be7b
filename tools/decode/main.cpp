// SPDX-License-Identifier: Apache-2.0
// ventrac-decode: decodes HPK files with a pilot file and prints each
// observation as text, JSON Lines, CSV or bare looked-up values.
#include <cstdio>
#include <exception>

#include "run.h"

int main(int argc, char **argv) {
    try {
        return ventrac::decode::run(argc, argv);
    } catch (const std::exception &e) {  // memory or threads ran out
        std::fprintf(stderr, "ventrac-decode: %s\n", e.what());
        return 1;
    }
}
