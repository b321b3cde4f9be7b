// SPDX-License-Identifier: Apache-2.0
#include "pipeline.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace ventrac::decode {

bool FileListSource::next(Batch &batch) {
    if (position_ >= files_) return false;
    batch.first = position_;
    batch.count = std::min(per_batch_, files_ - position_);
    position_ += batch.count;
    return true;
}

bool LineSource::next(Batch &batch) {
    batch.text.clear();
    batch.lines.clear();
    batch.source_failure.clear();
    batch.flush = false;
    while (position_ < files_.size()) {
        batch.source = files_[position_];
        if (!reader_) {
            reader_ = std::make_unique<LineReader>(batch.source);
            if (!reader_->failure().empty()) {
                // Reported by the batch on its own, in its place in the order.
                batch.source_failure = reader_->failure();
                reader_.reset();
                ++position_;
                return true;
            }
        }
        std::string_view line;
        long number = 0;
        bool too_long = false;
        while (batch.lines.size() < per_batch_ && batch.text.size() < bytes_per_batch_ &&
               reader_->next(line, number, too_long, !batch.lines.empty())) {
            batch.lines.push_back({batch.text.size(), line.size(), number, too_long});
            batch.text.append(line);
        }
        if (reader_->waiting()) {
            batch.flush = true;  // the lines come no faster than they are decoded
            return true;
        }
        if (batch.lines.size() == per_batch_ || batch.text.size() >= bytes_per_batch_) {
            batch.flush = reader_->would_wait();  // full just as the input pauses
            return true;
        }
        // The file ended (or failed): its last lines, then the next file.
        batch.source_failure = reader_->failure();
        reader_.reset();
        ++position_;
        // Standard input, next, may be a live feed: what came before it
        // goes out now.
        batch.flush = position_ < files_.size() && files_[position_] == "-";
        if (!batch.lines.empty() || !batch.source_failure.empty()) return true;
    }
    return false;
}

namespace {

void put(std::FILE *file, std::string_view text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), file);
}

// Writes one batch: standard output and standard error interleaved as the
// messages came, then the trace and the BUFR messages.
void write_batch(const Batch &batch, const Sinks &sinks) {
    const std::string_view out = batch.out.view();
    std::size_t at = 0;
    for (const ErrorLine &e : batch.errors) {
        // What came before the failure is shown before it.
        put(sinks.out, out.substr(at, e.out_offset - at));
        at = e.out_offset;
        std::fflush(sinks.out);
        std::fputs(e.text.c_str(), stderr);
    }
    put(sinks.out, out.substr(at));
    if (sinks.trace != nullptr) put(sinks.trace, batch.trace.view());
    if (sinks.bufr != nullptr) put(sinks.bufr, batch.bufr.view());
    if (batch.flush) {
        std::fflush(sinks.out);
        if (sinks.trace != nullptr) std::fflush(sinks.trace);
        if (sinks.bufr != nullptr) std::fflush(sinks.bufr);
    }
}

// The shared state of the threads. There is no writing thread: the worker
// that finishes a batch writes it, and every finished batch after it, when
// no other worker is writing, so the output leaves in order from the core
// that has just printed it. The source has a lock of its own: a worker
// waiting there for a live feed's next line keeps no other from writing.
class Pipeline {
public:
    Pipeline(BatchSource &source, const Sinks &sinks, std::size_t batches)
        : source_(source), sinks_(sinks), pool_(batches), done_(batches) {
        for (Batch &b : pool_) free_.push_back(&b);
    }

    // A worker thread's loop.
    void work(BatchWorker &worker) {
        try {
            for (;;) {
                Batch *batch = nullptr;
                {
                    std::unique_lock lock(mutex_);
                    free_ready_.wait(lock, [&] { return !free_.empty() || stop_; });
                    if (stop_) return;
                    batch = free_.back();
                    free_.pop_back();
                }
                {
                    std::lock_guard source_lock(source_mutex_);
                    if (exhausted_ || !source_.next(*batch)) {
                        exhausted_ = true;
                        std::lock_guard lock(mutex_);
                        free_.push_back(batch);
                        free_ready_.notify_all();
                        return;
                    }
                    batch->sequence = next_sequence_++;
                }
                batch->clear_output();
                worker.process(*batch);
                finish(batch);
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            if (!error_) error_ = std::current_exception();
            stop_ = true;
            free_ready_.notify_all();
        }
    }

    // After every worker has returned: whether every message decoded.
    // Rethrows a worker's exception.
    bool all_decoded() const {
        if (error_) std::rethrow_exception(error_);
        return !failed_;
    }

    void stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        free_ready_.notify_all();
    }

private:
    // Hands a processed batch over, then writes what is ready in order
    // unless another worker is at it (that one then writes this one too).
    void finish(Batch *batch) {
        std::unique_lock lock(mutex_);
        done_[batch->sequence % done_.size()] = batch;
        if (writing_) return;
        writing_ = true;
        for (;;) {
            Batch *&slot = done_[written_ % done_.size()];
            if (slot == nullptr || slot->sequence != written_) break;
            Batch *ready = slot;
            slot = nullptr;
            ++written_;
            lock.unlock();
            write_batch(*ready, sinks_);
            lock.lock();
            failed_ = failed_ || ready->failed;
            free_.push_back(ready);
            free_ready_.notify_one();
        }
        writing_ = false;
    }

    BatchSource &source_;
    const Sinks &sinks_;
    std::vector<Batch> pool_;
    std::mutex source_mutex_;  // guards source_, next_sequence_ and exhausted_
    std::mutex mutex_;         // guards the rest
    std::condition_variable free_ready_;
    std::vector<Batch *> free_;
    std::vector<Batch *> done_;  // finished batches, by sequence modulo the pool
    std::uint64_t next_sequence_ = 0, written_ = 0;
    bool exhausted_ = false, stop_ = false, writing_ = false, failed_ = false;
    std::exception_ptr error_;
};

}  // namespace

bool run_pipeline(BatchSource &source, const std::vector<BatchWorker *> &workers,
                  std::string_view head, const Sinks &sinks) {
    put(sinks.out, head);
    Pipeline pipeline(source, sinks, batches_for(static_cast<unsigned>(workers.size())));
    std::vector<std::thread> threads;
    threads.reserve(workers.size());
    // Whatever happens here, every thread is stopped and joined before the
    // pipeline goes.
    struct Joiner {
        Pipeline &pipeline;
        std::vector<std::thread> &threads;
        bool finished = false;
        ~Joiner() {
            if (!finished) pipeline.stop();
            for (std::thread &t : threads)
                if (t.joinable()) t.join();
        }
    } joiner{pipeline, threads};
    for (BatchWorker *w : workers) threads.emplace_back([&pipeline, w] { pipeline.work(*w); });
    for (std::thread &t : threads) t.join();
    joiner.finished = true;
    return pipeline.all_decoded();
}

}  // namespace ventrac::decode
