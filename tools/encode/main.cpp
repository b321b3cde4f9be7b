// SPDX-License-Identifier: Apache-2.0
// ventrac-encode: encodes observations given by name (JSON Lines, or BUFR)
// with a pilot file, many in one run.
#include <cstdio>
#include <exception>

#include "run.h"

int main(int argc, char **argv) {
    try {
        return ventrac::encode::run(argc, argv);
    } catch (const std::exception &e) {  // memory or threads ran out
        std::fprintf(stderr, "ventrac-encode: %s\n", e.what());
        return 1;
    }
}
