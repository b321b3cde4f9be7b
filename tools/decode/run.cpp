// SPDX-License-Identifier: Apache-2.0
#include "run.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <ventrac/ventrac.h>
#include "datatype.h"
#include "decoder.h"
#include "formats.h"
#include "input.h"
#include "options.h"
#include "pipeline.h"

#ifdef VENTRAC_HAVE_BUFR
#include "tools/bufr/bufr.h"
#endif

namespace ventrac::decode {

namespace {

constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;
constexpr const char *kProgram = "ventrac-decode: ";

int usage_error(const std::string &error) {
    std::fprintf(stderr, "%s%s\n%s", kProgram, error.c_str(), usage_text());
    return kStatusUsage;
}

// The data-type table from the --datatype file, or code 0 for every mode.
bool load_datatype(const Options &o, ventrac_datatype_entry &table, std::string &error) {
    if (!o.datatype_path) {
        table = every_mode_type_zero();
        return true;
    }
    std::string content;
    if (const std::string failure = read_whole(*o.datatype_path, content); !failure.empty()) {
        error = "the data-type file " + *o.datatype_path + " " + failure;
        return false;
    }
    const std::string problem = parse_datatype(content, table);
    if (!problem.empty()) error = *o.datatype_path + " " + problem;
    return problem.empty();
}

#ifdef VENTRAC_HAVE_BUFR
bufr::Settings bufr_settings(const BufrOptions &b) {
    bufr::Settings s;
    if (b.centre) s.centre = *b.centre;
    if (b.subcentre) s.subcentre = *b.subcentre;
    if (b.table_version) s.table_version = *b.table_version;
    s.keep_implausible = b.keep_implausible;
    return s;
}
#endif

// Messages per batch: with bulletins, those of one bulletin at most, so that
// bulletins are cut where batches are, the same for any number of threads.
std::size_t files_per_batch(const Options &o) {
    return o.bufr && o.bufr->subsets > 1 ? static_cast<std::size_t>(o.bufr->subsets)
                                         : kFilesPerBatch;
}
std::size_t lines_per_batch(const Options &o) {
    return o.bufr && o.bufr->subsets > 1 ? static_cast<std::size_t>(o.bufr->subsets)
                                         : kLinesPerBatch;
}
std::size_t line_bytes_per_batch(const Options &o) {
    // Room for as many messages of the longest kind.
    return std::max(kLineBytesPerBatch, lines_per_batch(o) * (VENTRAC_MESSAGE_MAX + 1));
}

// One decoding thread's tools: its decoding context, its BUFR writer, and
// the storage it reuses from message to message.
class Worker final : public BatchWorker {
public:
    Worker(const Options &o, const Pilot &pilot, const ventrac_datatype_entry &datatypes,
           const Printer &printer)
        : options_(o), printer_(printer), decoder_(pilot, datatypes, o.lookups) {
#ifdef VENTRAC_HAVE_BUFR
        pilot_ = &pilot;
        if (o.bufr) bufr_.emplace(bufr_settings(*o.bufr));
#endif
    }

    void process(Batch &batch) override {
        if (options_.trace_path) decoder_.trace_to(&batch.trace);
        if (!options_.lines) {
            for (std::size_t i = batch.first; i < batch.first + batch.count; ++i) {
                const std::string_view file = options_.files[i];
                path_.assign(file);
                if (std::string failure = read_whole(path_, content_); !failure.empty())
                    fail(batch, file, failure);
                else
                    decode(batch, file, content_);
            }
#ifdef VENTRAC_HAVE_BUFR
            write_bulletin(batch);
#endif
            return;
        }
        for (const InputLine &line : batch.lines) {
            name_.assign(batch.source).append(":").append(std::to_string(line.number));
            if (line.too_long)
                fail(batch, name_,
                     "longer than " + std::to_string(LineReader::kMaxLine) +
                         " bytes, a message has at most " + std::to_string(VENTRAC_MESSAGE_MAX));
            else
                decode(batch, name_, std::string_view(batch.text).substr(line.offset, line.length));
        }
        if (!batch.source_failure.empty()) fail(batch, batch.source, batch.source_failure);
#ifdef VENTRAC_HAVE_BUFR
        write_bulletin(batch);
#endif
    }

private:
    void fail(Batch &batch, std::string_view name, const std::string &why) {
        printer_.print_failure(batch.out);
        batch.error(std::string(kProgram).append(name).append(": ").append(why).append("\n"));
        batch.failed = true;
    }

    void decode(Batch &batch, std::string_view name, std::string_view content) {
        obs_.file = name;
        if (std::string failure = decoder_.decode(content, obs_); !failure.empty()) {
            fail(batch, name, failure);
            return;
        }
        printer_.print(obs_, batch.out);
#ifdef VENTRAC_HAVE_BUFR
        if (bufr_ && options_.bufr->subsets > 1) {
            add_subset(batch, name);
        } else if (bufr_) {
            warnings_.clear();
            reason_.clear();
            if (bufr_->encode(pilot_->get(), decoder_.context(), message_, warnings_, reason_)) {
                batch.bufr << message_;
                for (const std::string &w : warnings_)
                    batch.error(
                        std::string(kProgram).append(name).append(": ").append(w).append("\n"));
            } else {
                batch.error(
                    std::string(kProgram).append(name).append(": ").append(reason_).append("\n"));
                batch.failed = true;
            }
        }
#endif
    }

#ifdef VENTRAC_HAVE_BUFR
    // The message just decoded as the next subset of the bulletin being
    // gathered; a message of another layout first sends the bulletin out.
    void add_subset(Batch &batch, std::string_view name) {
        if (!bufr_->prepare(pilot_->get(), decoder_.context(), next_, reason_)) {
            batch.error(
                std::string(kProgram).append(name).append(": ").append(reason_).append("\n"));
            batch.failed = true;
            return;
        }
        for (const std::string &w : next_.warnings)
            batch.error(std::string(kProgram).append(name).append(": ").append(w).append("\n"));
        if (gathered_ > 0 && !next_.same_layout(subsets_[0])) write_bulletin(batch);
        if (subsets_.size() <= gathered_) {
            subsets_.resize(gathered_ + 1);
            names_.resize(gathered_ + 1);
        }
        std::swap(subsets_[gathered_], next_);  // storage kept for reuse
        names_[gathered_].assign(name);
        if (++gathered_ == static_cast<std::size_t>(options_.bufr->subsets)) write_bulletin(batch);
    }

    // Sends out the subsets gathered, as one message; when BUFR cannot carry
    // it, each goes out alone, so that only the one at fault fails.
    void write_bulletin(Batch &batch) {
        if (gathered_ == 0) return;  // none gathered, or no BUFR asked for
        const bool compressed = !options_.bufr->uncompressed;
        if (bufr_->encode(subsets_.data(), gathered_, compressed, message_, reason_)) {
            batch.bufr << message_;
        } else {
            for (std::size_t i = 0; i < gathered_; ++i) {
                if (gathered_ > 1 &&
                    bufr_->encode(&subsets_[i], 1, compressed, message_, reason_)) {
                    batch.bufr << message_;
                    continue;
                }
                batch.error(
                    std::string(kProgram).append(names_[i]).append(": ").append(reason_).append(
                        "\n"));
                batch.failed = true;
            }
        }
        gathered_ = 0;
    }
#endif

    const Options &options_;
    const Printer &printer_;
    MessageDecoder decoder_;
    Observation obs_;
    std::string path_;     // the file being decoded
    std::string content_;  // and its content
    std::string name_;     // FILE:LINE
#ifdef VENTRAC_HAVE_BUFR
    const Pilot *pilot_ = nullptr;  // what the BUFR writer describes
    std::optional<bufr::Writer> bufr_;
    std::string message_;
    std::vector<std::string> warnings_;
    std::string reason_;
    std::vector<bufr::Subset> subsets_;  // the bulletin being gathered: subsets_[0 .. gathered_)
    std::vector<std::string> names_;     // and the names of its messages
    bufr::Subset next_;
    std::size_t gathered_ = 0;
#endif
};

// A file the run writes besides standard output, closed at the end.
struct OutputFile {
    std::FILE *file = nullptr;
    bool owned = false;
    ~OutputFile() {
        if (owned) std::fclose(file);
    }
    // Closes it; false when what was written did not all reach it.
    bool close() {
        const bool failed = std::fflush(file) != 0 || std::ferror(file) != 0;
        if (!owned) return !failed;
        owned = false;
        return std::fclose(file) == 0 && !failed;
    }
};

}  // namespace

int run(int argc, const char *const *argv) {
    const CommandLine command = parse_command_line(argc - 1, argv + 1);
    switch (command.action) {
    case Action::Help: std::fputs(usage_text(), stdout); return 0;
    case Action::Version: std::puts("ventrac-decode " VENTRAC_VERSION); return 0;
    case Action::Usage: return usage_error(command.error);
    case Action::Decode: break;
    }
    const Options &o = command.options;
#ifndef VENTRAC_HAVE_BUFR
    if (o.bufr) {
        std::fprintf(stderr, "%sthis build has no BUFR support\n", kProgram);
        return kStatusUsage;
    }
#endif
    ventrac_datatype_entry datatypes{};
    std::string error;
    if (!load_datatype(o, datatypes, error)) return usage_error(error);
    // The pilot file is read and parsed once, for every thread, before any
    // output file is made.
    Pilot pilot;
    if (const std::string failure = pilot.open(o.pilot); !failure.empty()) {
        std::fprintf(stderr, "%s%s\n", kProgram, failure.c_str());
        return kStatusUsage;
    }
    OutputFile trace, bufr;
    if (o.trace_path) {
        trace.file = std::fopen(o.trace_path->c_str(), "w");
        if (trace.file == nullptr)
            return usage_error("cannot open the trace file " + *o.trace_path);
        trace.owned = true;
    }
    if (o.bufr) {
        if (o.bufr->path == "-") {
            bufr.file = stdout;
        } else if ((bufr.file = std::fopen(o.bufr->path.c_str(), "wb")) == nullptr) {
            return usage_error("cannot create the BUFR file " + o.bufr->path);
        } else {
            bufr.owned = true;
        }
    }

    const Printer printer(o);
    Buffer head;
    printer.begin(head);
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<BatchWorker *> threads;
    for (unsigned i = 0; i < decoding_threads(o.jobs); ++i) {
        workers.push_back(std::make_unique<Worker>(o, pilot, datatypes, printer));
        threads.push_back(workers.back().get());
    }
    FileListSource files(o.files.size(), files_per_batch(o));
    LineSource lines(o.files, lines_per_batch(o), line_bytes_per_batch(o));
    BatchSource &source = o.lines ? static_cast<BatchSource &>(lines) : files;
    Sinks sinks;
    sinks.trace = trace.file;
    sinks.bufr = bufr.file;
    const bool all_decoded = run_pipeline(source, threads, head.view(), sinks);
    bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (!written) std::fprintf(stderr, "%scannot write standard output\n", kProgram);
    if (o.trace_path && !trace.close()) {
        std::fprintf(stderr, "%scannot write the trace file %s\n", kProgram, o.trace_path->c_str());
        written = false;
    }
    if (o.bufr && !bufr.close()) {
        std::fprintf(stderr, "%scannot write the BUFR file %s\n", kProgram, o.bufr->path.c_str());
        written = false;
    }
    return all_decoded && written ? 0 : kStatusFailed;
}

}  // namespace ventrac::decode
