// SPDX-License-Identifier: Apache-2.0
#include "run.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bufr_input.h"
#include "codec/codec.h"
#include "codec/context.h"
#include "codec/errors.h"
#include "inputs.h"
#include "json_record.h"
#include "options.h"
#include "record.h"
#include "tools/decode/input.h"

namespace ventrac::encode {

namespace {

constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;
constexpr const char *kProgram = "ventrac-encode: ";
// Observations in a batch: two batches are held at a time, so memory stays
// the same whatever the number of observations. Small enough that reading
// the first batch and encoding the last, each alone, take little of a run.
constexpr std::size_t kBatch = 256;

int usage_error(const std::string &error) {
    std::fprintf(stderr, "%s%s\n%s", kProgram, error.c_str(), usage_text());
    return kStatusUsage;
}

// What encoding one item gave.
struct Outcome {
    std::string message;  // identifier and six-bit characters
    std::string error;
    std::vector<std::string> warnings;
    std::string trace;
    std::string identifier;  // trimmed, for file names
};

void append_trace(void *user, const char *text, std::size_t length) {
    static_cast<std::string *>(user)->append(text, length);
}

std::string trimmed(const std::string &s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// What each encoding thread keeps from one item to the next.
struct Worker {
    ventrac_cctx *cctx = nullptr;
    std::unique_ptr<JsonReader> json;
    Record record;     // the JSON line being encoded
    std::string file;  // its "file", when no file is written
    Values values;
};

// Encodes one item on the calling thread's worker; `text` is the batch's
// text, with JsonReader::kPadding bytes after its last line.
void encode_item(Item &item, const std::string &text, const ventrac_pilot *pilot,
                 const Layouts &layouts, const Options &options, bool tracing, Worker &w,
                 Outcome &out) {
    out.error.clear();
    out.warnings.clear();
    out.trace.clear();
    out.message.clear();
    if (!item.error.empty()) {
        out.error = item.error;
        return;
    }
    const Record *r = &item.record;
    if (!item.parsed) {
        const std::string_view line(text.data() + item.offset, item.length);
        std::string &file = options.out_dir ? item.file : w.file;
        out.error = w.json->read(line, text.size() - item.offset, w.record, file);
        if (!out.error.empty()) return;
        r = &w.record;
    }
    out.identifier = trimmed(r->identifier);
    if (out.identifier.size() > VENTRAC_IDENT_LEN) {
        out.error = "identifier '" + out.identifier + "' is longer than " +
                    std::to_string(VENTRAC_IDENT_LEN) + " characters";
        return;
    }
    for (const char c : out.identifier)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            out.error = "the identifier holds a control character";
            return;
        }
    Values &v = w.values;
    if (item.positional)
        v = positional_values(*r, options.clip);
    else
        match_record(layouts, *r, options.clip, v);
    out.warnings.swap(v.warnings);
    if (!v.error.empty()) {
        out.error = std::move(v.error);
        return;
    }
    if (tracing) ventrac_cctx_set_trace_fn(w.cctx, append_trace, &out.trace);
    char message[VENTRAC_MESSAGE_MAX];
    const int length = ventrac_encode_text(w.cctx, pilot, r->mode, v.values.data(),
                                           v.presence.data(), v.values.size(),
                                           out.identifier.c_str(), message, sizeof message);
    if (tracing) ventrac_cctx_set_trace(w.cctx, nullptr);
    if (length <= 0) {
        out.error = error_line(length, r->mode);
        return;
    }
    out.message.assign(message, static_cast<std::size_t>(length));
}

// FILE:LINE, or the BUFR message and subset.
std::string where(const Item &item) {
    if (item.source == nullptr) return item.where;
    return *item.source + ":" + std::to_string(item.number);
}

// What tells an item from the others of its input, in file names.
std::string stem(const Item &item) {
    return item.source != nullptr ? std::to_string(item.number) : item.stem;
}

// A file name from the record: its own file's last component when it gave
// one, else HPK_ + identifier + _ + where it stands in its input.
std::string output_name(const Item &item, const Outcome &o) {
    std::string name;
    if (!item.file.empty()) {
        name = std::filesystem::path(item.file).filename().string();
    } else {
        name = "HPK_" + o.identifier + "_" + stem(item);
    }
    for (char &c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name.empty() || name == "." || name == "..") name = "HPK_" + stem(item);
    return name;
}

bool write_file(const std::string &path, const std::string &data, std::string &reason) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const int cause = errno;
    if (std::fclose(f) != 0 || !written) {
        reason = std::strerror(written ? errno : cause);
        return false;
    }
    return true;
}

// Reads, encodes and writes the observations in batches: while the
// encoding threads work on one batch, the calling thread reads the next one
// and writes the one before, in input order.
class Runner {
public:
    Runner(const Options &o, const ventrac_pilot *pilot, std::FILE *trace)
        : options_(o),
          pilot_(pilot),
          layouts_(pilot),
          trace_(trace),
          threads_(encoding_threads(o.jobs)) {
        workers_.resize(threads_);
        for (Worker &w : workers_) {
            w.cctx = ventrac_cctx_create();
            if (w.cctx == nullptr) throw std::bad_alloc();
            w.json = make_json_reader(json_libraries().front());
        }
        for (Batch &b : batches_) b.items.reserve(kBatch);
    }
    ~Runner() {
        for (std::thread &t : encoding_) t.join();
        for (Worker &w : workers_) ventrac_cctx_free(w.cctx);
    }
    Runner(const Runner &) = delete;
    Runner &operator=(const Runner &) = delete;

    const Layouts &layouts() const { return layouts_; }

    void add(Item &&item) {
        filling().items.push_back(std::move(item));
        if (filling().items.size() == kBatch) cycle();
    }

    // Adds line `number` of `source` (which outlives the run).
    void add_line(const std::string &source, long number, std::string_view line) {
        Batch &b = filling();
        Item &item = b.items.emplace_back();
        item.source = &source;
        item.number = number;
        item.offset = b.text.size();
        item.length = line.size();
        b.text.append(line);
        if (b.items.size() == kBatch) cycle();
    }

    // Adds line `number` of `source` that cannot be read, and why.
    void add_failed_line(const std::string &source, long number, std::string why) {
        Item &item = filling().items.emplace_back();
        item.source = &source;
        item.number = number;
        item.error = std::move(why);
        if (filling().items.size() == kBatch) cycle();
    }

    // Encodes and writes everything added so far.
    void flush() {
        cycle();
        cycle();
        std::fflush(stdout);
    }
    // Reports a whole input that cannot be read.
    void input_failure(const std::string &what) {
        flush();
        std::fprintf(stderr, "%s%s\n", kProgram, what.c_str());
        failed_ = true;
    }

    bool failed() const { return failed_; }

private:
    // Items, their text (JsonReader::kPadding bytes after the last line once
    // it is encoded) and what encoding gave; the storage is kept from batch
    // to batch.
    struct Batch {
        std::vector<Item> items;
        std::string text;
        std::vector<Outcome> outcomes;
    };

    Batch &filling() { return batches_[filling_]; }

    // Waits for the batch being encoded, starts encoding the one being
    // filled, writes the first, and fills it anew.
    void cycle() {
        join();
        Batch &done = batches_[filling_ ^ 1];
        start(batches_[filling_]);
        for (std::size_t i = 0; i < done.items.size(); ++i) emit(done.items[i], done.outcomes[i]);
        done.items.clear();
        done.text.clear();
        filling_ ^= 1;
    }

    void start(Batch &b) {
        if (b.items.empty()) return;
        b.text.append(JsonReader::kPadding, ' ');
        b.outcomes.resize(b.items.size());
        const unsigned n = std::min<unsigned>(threads_, static_cast<unsigned>(b.items.size()));
        for (unsigned t = 0; t < n; ++t)
            encoding_.emplace_back([this, &b, t, n] {
                try {
                    for (std::size_t i = t; i < b.items.size(); i += n)
                        encode_item(b.items[i], b.text, pilot_, layouts_, options_,
                                    trace_ != nullptr, workers_[t], b.outcomes[i]);
                } catch (...) {  // memory ran out: given to the calling thread
                    std::lock_guard lock(thrown_mutex_);
                    if (!thrown_) thrown_ = std::current_exception();
                }
            });
    }

    // Waits for the encoding threads; rethrows what one of them threw.
    void join() {
        for (std::thread &t : encoding_) t.join();
        encoding_.clear();
        if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
    }

    void emit(const Item &item, const Outcome &o) {
        for (const std::string &w : o.warnings)
            std::fprintf(stderr, "%s: warning: %s\n", where(item).c_str(), w.c_str());
        if (trace_ != nullptr) std::fwrite(o.trace.data(), 1, o.trace.size(), trace_);
        if (!o.error.empty()) {
            std::fprintf(stderr, "%s: %s\n", where(item).c_str(), o.error.c_str());
            failed_ = true;
            return;
        }
        if (!options_.out_dir) {
            out_.assign(o.message);
            out_ += '\n';
            std::fwrite(out_.data(), 1, out_.size(), stdout);
            return;
        }
        const std::string name = output_name(item, o);
        const auto [earlier, fresh] = written_.emplace(name, where(item));
        if (!fresh) {
            std::fprintf(stderr, "%s: not written: %s would replace the file of %s\n",
                         where(item).c_str(), name.c_str(), earlier->second.c_str());
            failed_ = true;
            return;
        }
        std::string reason;
        const std::string path = (std::filesystem::path(*options_.out_dir) / name).string();
        if (!write_file(path, o.message, reason)) {
            std::fprintf(stderr, "%s: %s cannot be written (%s)\n", where(item).c_str(),
                         path.c_str(), reason.c_str());
            failed_ = true;
        }
    }

    const Options &options_;
    const ventrac_pilot *pilot_;
    Layouts layouts_;
    std::FILE *trace_;
    unsigned threads_;
    std::vector<Worker> workers_;  // one per encoding thread
    std::array<Batch, 2> batches_;
    unsigned filling_ = 0;               // the batch being read; the other is encoded
    std::vector<std::thread> encoding_;  // the threads encoding it
    std::mutex thrown_mutex_;
    std::exception_ptr thrown_;
    std::unordered_map<std::string, std::string> written_;  // file name -> where
    std::string out_;
    bool failed_ = false;
};

void read_json_lines(const std::string &name, Runner &runner) {
    decode::LineReader reader(name);
    if (!reader.failure().empty()) {
        runner.input_failure(name + " " + reader.failure());
        return;
    }
    std::string_view line;
    long number = 0;
    bool too_long = false;
    while (reader.next(line, number, too_long)) {
        if (too_long)
            runner.add_failed_line(name, number,
                                   "the line is longer than " +
                                       std::to_string(decode::LineReader::kMaxLine) + " bytes");
        else
            runner.add_line(name, number, line);
    }
    if (!reader.failure().empty()) runner.input_failure(name + " " + reader.failure());
}

}  // namespace

int run(int argc, char **argv) {
    const CommandLine c = parse_command_line(argc - 1, argv + 1);
    switch (c.action) {
    case Action::Help: std::fputs(usage_text(), stdout); return 0;
    case Action::Version: std::printf("ventrac-encode %s\n", VENTRAC_VERSION); return 0;
    case Action::Usage: return usage_error(c.error);
    case Action::Encode: break;
    }
    const Options &o = c.options;
    if (o.from_bufr && !bufr_input_built())
        return usage_error("--from-bufr: this ventrac-encode was built without ecCodes");
    if (o.out_dir && !std::filesystem::is_directory(*o.out_dir))
        return usage_error("--out " + *o.out_dir + ": no such folder");

    char error[512];
    ventrac_pilot *pilot = ventrac_pilot_open(o.pilot.c_str(), error, sizeof error);
    if (pilot == nullptr) {
        std::fprintf(stderr, "%s%s\n", kProgram, error);
        return kStatusUsage;
    }
    std::unique_ptr<ventrac_pilot, void (*)(ventrac_pilot *)> owned(pilot, ventrac_pilot_free);
    std::FILE *trace = nullptr;
    if (o.trace_path) {
        trace = std::fopen(o.trace_path->c_str(), "wb");
        if (trace == nullptr) {
            std::fprintf(stderr, "%sthe trace file %s cannot be opened (%s)\n", kProgram,
                         o.trace_path->c_str(), std::strerror(errno));
            return kStatusUsage;
        }
    }
    bool failed = false;
    {
        Runner runner(o, pilot, trace);
        for (const std::string &file : o.files) {
            if (o.from_bufr) {
                const std::string failure = read_bufr(
                    file, runner.layouts(), [&](Item &&item) { runner.add(std::move(item)); });
                if (!failure.empty()) runner.input_failure(file + " " + failure);
            } else {
                read_json_lines(file, runner);
            }
        }
        runner.flush();
        failed = runner.failed();
    }
    if (trace != nullptr && std::fclose(trace) != 0) {
        std::fprintf(stderr, "%sthe trace file %s cannot be written\n", kProgram,
                     o.trace_path->c_str());
        failed = true;
    }
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "%sstandard output cannot be written\n", kProgram);
        failed = true;
    }
    return failed ? kStatusFailed : 0;
}

}  // namespace ventrac::encode
