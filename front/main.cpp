// SPDX-License-Identifier: Apache-2.0
// ventrac: packs one ship observation into a six-bit message file.
#include <csignal>

#include "front/run.h"

int main(int argc, char **argv) {
#ifdef SIGXFSZ
    // A file-size limit must make the write fail and be reported, not kill
    // the process half-way through the HPK file.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return ventrac::front::run(argc, argv);
}
