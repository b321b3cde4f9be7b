// SPDX-License-Identifier: Apache-2.0
// Decoding on several threads with the output in input order.
//
// The messages are handed out in batches, each numbered in input order.
// Worker threads take a batch, read its files (or receive its lines),
// decode every message and print it into the batch's own buffers; then the
// worker that finishes a batch writes out every finished batch that is next
// by number, unless another worker is already writing (which then writes it
// too). A fixed pool of batches bounds the memory: a worker waits for a
// free batch, and a batch is free again once written. So the output is the
// same for any number of threads, and the memory does not grow with the
// number of messages.
#ifndef VENTRAC_DECODE_PIPELINE_H
#define VENTRAC_DECODE_PIPELINE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "input.h"
#include "text.h"

namespace ventrac::decode {

// Files per batch, and lines (or bytes of lines) per batch, unless the
// source is given other counts.
constexpr std::size_t kFilesPerBatch = 64;
constexpr std::size_t kLinesPerBatch = 64;
constexpr std::size_t kLineBytesPerBatch = 1 << 20;
// Batches in the pool for `threads` decoding threads.
constexpr std::size_t batches_for(unsigned threads) { return 2 * std::size_t{threads} + 2; }

// One line of a batch of lines: where its text lies in Batch::text.
struct InputLine {
    std::size_t offset = 0;
    std::size_t length = 0;
    long number = 0;
    bool too_long = false;
};

// A line for standard error, written once standard output holds the first
// `out_offset` bytes of the batch's output.
struct ErrorLine {
    std::size_t out_offset = 0;
    std::string text;  // with its line feed
};

struct Batch {
    std::uint64_t sequence = 0;
    // What to decode: files [first, first + count) of the list, or lines of
    // the file `source`.
    std::size_t first = 0, count = 0;
    std::string source;
    std::string text;
    std::vector<InputLine> lines;
    std::string source_failure;  // the file of lines could not be opened or read
    // The input paused after this batch: what it wrote is flushed at once
    // rather than left in the streams' buffers.
    bool flush = false;

    // What the batch wrote.
    Buffer out;    // standard output
    Buffer trace;  // the trace file
    Buffer bufr;   // BUFR messages
    std::vector<ErrorLine> errors;
    bool failed = false;  // a message was not decoded (or not written as BUFR)

    void clear_output() {
        out.clear();
        trace.clear();
        bufr.clear();
        errors.clear();
        failed = false;
    }
    void error(const std::string &line) { errors.push_back({out.size(), line}); }
};

// Where the batches come from: called under the pipeline's lock, in turn.
class BatchSource {
public:
    virtual ~BatchSource() = default;
    // Fills the input part of `batch`; false when nothing is left.
    virtual bool next(Batch &batch) = 0;
};

// The names of files, kFilesPerBatch at a time.
class FileListSource final : public BatchSource {
public:
    explicit FileListSource(std::size_t files, std::size_t per_batch = kFilesPerBatch)
        : files_(files), per_batch_(per_batch) {}
    bool next(Batch &batch) override;

private:
    std::size_t files_, per_batch_;
    std::size_t position_ = 0;
};

// The lines of every file of a list ("-" is standard input), streamed. A
// batch ends early when the input pauses (a pipe or a terminal holds no
// further whole line), so that a live feed is decoded as it comes.
class LineSource final : public BatchSource {
public:
    explicit LineSource(const std::vector<std::string_view> &files,
                        std::size_t per_batch = kLinesPerBatch,
                        std::size_t bytes_per_batch = kLineBytesPerBatch)
        : files_(files), per_batch_(per_batch), bytes_per_batch_(bytes_per_batch) {}
    bool next(Batch &batch) override;

private:
    const std::vector<std::string_view> &files_;
    std::size_t per_batch_, bytes_per_batch_;
    std::size_t position_ = 0;  // the file being read
    std::unique_ptr<LineReader> reader_;
};

// Decodes and prints one batch; one per thread.
class BatchWorker {
public:
    virtual ~BatchWorker() = default;
    virtual void process(Batch &batch) = 0;
};

// Where the written batches go.
struct Sinks {
    std::FILE *out = stdout;
    std::FILE *trace = nullptr;  // null: no trace
    std::FILE *bufr = nullptr;   // null: no BUFR
};

// Runs the batches of `source` through `workers` (one thread each) and
// writes them in order to `sinks`, error lines to standard error; the
// calling thread waits. `head` is written first. Returns true when every message decoded. A write that fails
// leaves the stream's error indicator set (std::ferror). Rethrows what a
// worker threw (memory running out), after stopping the others.
bool run_pipeline(BatchSource &source, const std::vector<BatchWorker *> &workers,
                  std::string_view head, const Sinks &sinks);

}  // namespace ventrac::decode

#endif
