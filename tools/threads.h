// SPDX-License-Identifier: Apache-2.0
// How many threads a companion program runs for --jobs N. Internal.
#ifndef VENTRAC_TOOLS_THREADS_H
#define VENTRAC_TOOLS_THREADS_H

#include <thread>

namespace ventrac {

// N itself, or for 0 one per core the system reports (1 when it reports
// none), at most `most`.
inline unsigned threads_for_jobs(unsigned jobs, unsigned most) {
    if (jobs != 0) return jobs;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores > most ? most : cores;
}

}  // namespace ventrac

#endif
