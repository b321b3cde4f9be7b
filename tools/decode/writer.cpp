#include "writer.h"

#include <cstdio>
#include <utility>

namespace ventrac::decode {

namespace {
// Files per batch: the hand-over between the threads stays rare.
constexpr std::size_t kBatch = 128;
// Standard output is written in blocks of about this size.
constexpr std::size_t kOutputBlock = 64 * 1024;
}  // namespace

Writer::Writer(const Printer &printer)
    : printer_(printer), filling_(kBatch), printing_(kBatch) {
    printer_.begin(out_);
}

Observation &Writer::next() {
    if (used_ == filling_.size()) hand_over();
    return filling_[used_++];
}

bool Writer::finish() {
    hand_over();
    pending_.get();
    write_out();
    return std::fflush(stdout) == 0 && !failed_;
}

void Writer::hand_over() {
    if (pending_.valid()) pending_.get();
    std::swap(filling_, printing_);
    const std::size_t count = std::exchange(used_, 0);
    // Printed in this thread, when the batch is collected, if no other
    // thread can be had.
    pending_ = std::async(std::launch::async | std::launch::deferred,
                          [this, count] { print_batch(count); });
}

void Writer::print_batch(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const Observation &obs = printing_[i];
        printer_.print(obs, out_);
        if (obs.failure.empty()) {
            if (out_.size() >= kOutputBlock) write_out();
            continue;
        }
        // What came before the failure is shown before it.
        write_out();
        std::fflush(stdout);
        std::fprintf(stderr, "ventrac-decode: %s: %s\n", obs.file.c_str(), obs.failure.c_str());
    }
}

void Writer::write_out() {
    const std::string_view text = out_.view();
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        failed_ = true;
    out_.clear();
}

}  // namespace ventrac::decode
