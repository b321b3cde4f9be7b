// Printing on a second thread: observations are handed over a batch at a
// time and printed in order while the next batch decodes.
#ifndef VENTRAC_DECODE_WRITER_H
#define VENTRAC_DECODE_WRITER_H

#include <cstddef>
#include <future>
#include <vector>

#include "formats.h"
#include "text.h"

namespace ventrac::decode {

class Writer {
public:
    // Writes what comes before the first file at once.
    explicit Writer(const Printer &printer);
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // The observation to fill for the next file. It is printed, or its
    // failure reported on standard error, in the order the files came.
    Observation &next();
    // Prints what is left; returns whether standard output took everything.
    bool finish();

private:
    void hand_over();
    void print_batch(std::size_t count);  // on the printing thread
    void write_out();

    const Printer &printer_;
    std::vector<Observation> filling_;
    std::vector<Observation> printing_;
    std::size_t used_ = 0;
    Buffer out_;  // standard output, written in large blocks
    bool failed_ = false;
    // Last, so that it is destroyed first: its destruction waits for the
    // printing thread.
    std::future<void> pending_;
};

}  // namespace ventrac::decode

#endif
