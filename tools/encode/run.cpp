// SPDX-License-Identifier: Apache-2.0
#include "run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
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
// Observations read, encoded and written at a time: memory stays the same
// whatever the number of observations.
constexpr std::size_t kBatch = 2048;

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

// Encodes one item with the encoder context of the calling thread.
void encode_item(Item &item, const ventrac_pilot *pilot, const Layouts &layouts, bool clip,
                 ventrac_cctx *cctx, bool tracing, Outcome &out) {
    if (!item.error.empty()) {
        out.error = item.error;
        return;
    }
    if (!item.parsed) {
        out.error = parse_json_record(item.line, item.record, item.file);
        std::string().swap(item.line);
        if (!out.error.empty()) return;
    }
    const Record &r = item.record;
    out.identifier = trimmed(r.identifier);
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
    Values v = item.positional ? positional_values(r, clip) : match_record(layouts, r, clip);
    out.warnings = std::move(v.warnings);
    if (!v.error.empty()) {
        out.error = std::move(v.error);
        return;
    }
    if (tracing) ventrac_cctx_set_trace_fn(cctx, append_trace, &out.trace);
    char text[VENTRAC_MESSAGE_MAX];
    const int length = ventrac_encode_text(cctx, pilot, r.mode, v.values.data(), v.presence.data(),
                                           v.values.size(), out.identifier.c_str(), text,
                                           sizeof text);
    if (tracing) ventrac_cctx_set_trace(cctx, nullptr);
    if (length <= 0) {
        out.error = error_line(length, r.mode);
        return;
    }
    out.message.assign(text, static_cast<std::size_t>(length));
}

// A file name from the record: its own file's last component when it gave
// one, else HPK_ + identifier + _ + where it stands in its input.
std::string output_name(const Item &item, const Outcome &o) {
    std::string name;
    if (!item.file.empty()) {
        name = std::filesystem::path(item.file).filename().string();
    } else {
        name = "HPK_" + o.identifier + "_" + item.stem;
    }
    for (char &c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name.empty() || name == "." || name == "..") name = "HPK_" + item.stem;
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

class Runner {
public:
    Runner(const Options &o, const ventrac_pilot *pilot, std::FILE *trace)
        : options_(o),
          pilot_(pilot),
          layouts_(pilot),
          trace_(trace),
          threads_(encoding_threads(o.jobs)) {
        for (unsigned i = 0; i < threads_; ++i) {
            ventrac_cctx *c = ventrac_cctx_create();
            if (c == nullptr) throw std::bad_alloc();
            contexts_.push_back(c);
        }
        items_.reserve(kBatch);
    }
    ~Runner() {
        for (ventrac_cctx *c : contexts_) ventrac_cctx_free(c);
    }
    Runner(const Runner &) = delete;
    Runner &operator=(const Runner &) = delete;

    const Layouts &layouts() const { return layouts_; }

    void add(Item &&item) {
        items_.push_back(std::move(item));
        if (items_.size() == kBatch) flush();
    }

    // Encodes and writes what is pending.
    void flush() {
        if (items_.empty()) return;
        std::vector<Outcome> outcomes(items_.size());
        const unsigned n = std::min<unsigned>(threads_, static_cast<unsigned>(items_.size()));
        auto work = [&](unsigned t) {
            for (std::size_t i = t; i < items_.size(); i += n)
                encode_item(items_[i], pilot_, layouts_, options_.clip, contexts_[t],
                            trace_ != nullptr, outcomes[i]);
        };
        if (n <= 1) {
            work(0);
        } else {
            std::vector<std::thread> pool;
            for (unsigned t = 1; t < n; ++t) pool.emplace_back(work, t);
            work(0);
            for (std::thread &th : pool) th.join();
        }
        for (std::size_t i = 0; i < items_.size(); ++i) emit(items_[i], outcomes[i]);
        items_.clear();
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
    void emit(const Item &item, const Outcome &o) {
        for (const std::string &w : o.warnings)
            std::fprintf(stderr, "%s: warning: %s\n", item.where.c_str(), w.c_str());
        if (trace_ != nullptr) std::fwrite(o.trace.data(), 1, o.trace.size(), trace_);
        if (!o.error.empty()) {
            std::fprintf(stderr, "%s: %s\n", item.where.c_str(), o.error.c_str());
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
        const auto [earlier, fresh] = written_.emplace(name, item.where);
        if (!fresh) {
            std::fprintf(stderr, "%s: not written: %s would replace the file of %s\n",
                         item.where.c_str(), name.c_str(), earlier->second.c_str());
            failed_ = true;
            return;
        }
        std::string reason;
        const std::string path = (std::filesystem::path(*options_.out_dir) / name).string();
        if (!write_file(path, o.message, reason)) {
            std::fprintf(stderr, "%s: %s cannot be written (%s)\n", item.where.c_str(),
                         path.c_str(), reason.c_str());
            failed_ = true;
        }
    }

    const Options &options_;
    const ventrac_pilot *pilot_;
    Layouts layouts_;
    std::FILE *trace_;
    unsigned threads_;
    std::vector<ventrac_cctx *> contexts_;
    std::vector<Item> items_;
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
        Item item;
        item.where = name + ":" + std::to_string(number);
        item.stem = std::to_string(number);
        if (too_long)
            item.error = "the line is longer than " + std::to_string(decode::LineReader::kMaxLine) +
                         " bytes";
        else
            item.line.assign(line);
        runner.add(std::move(item));
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
