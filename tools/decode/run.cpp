#include "run.h"

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

// One decoding thread's tools: its decoding context, its BUFR writer, and
// the storage it reuses from message to message.
class Worker final : public BatchWorker {
public:
    Worker(const Options &o, const Pilot &pilot, const ventrac_datatype_entry &datatypes, const Printer &printer)
        : options_(o), printer_(printer), decoder_(pilot, datatypes, o.lookups), pilot_(pilot) {
#ifdef VENTRAC_HAVE_BUFR
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
            return;
        }
        for (const InputLine &line : batch.lines) {
            name_.assign(batch.source).append(":").append(std::to_string(line.number));
            if (line.too_long)
                fail(batch, name_, "longer than " + std::to_string(LineReader::kMaxLine) +
                                       " bytes, a message has at most " +
                                       std::to_string(VENTRAC_MESSAGE_MAX));
            else
                decode(batch, name_, std::string_view(batch.text).substr(line.offset, line.length));
        }
        if (!batch.source_failure.empty()) fail(batch, batch.source, batch.source_failure);
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
        if (bufr_) {
            warnings_.clear();
            reason_.clear();
            if (bufr_->encode(pilot_.get(), decoder_.context(), message_, warnings_, reason_)) {
                batch.bufr << message_;
                for (const std::string &w : warnings_)
                    batch.error(std::string(kProgram).append(name).append(": ").append(w).append("\n"));
            } else {
                batch.error(std::string(kProgram).append(name).append(": ").append(reason_).append("\n"));
                batch.failed = true;
            }
        }
#endif
    }

    const Options &options_;
    const Printer &printer_;
    MessageDecoder decoder_;
    const Pilot &pilot_;
    Observation obs_;
    std::string path_;     // the file being decoded
    std::string content_;  // and its content
    std::string name_;     // FILE:LINE
#ifdef VENTRAC_HAVE_BUFR
    std::optional<bufr::Writer> bufr_;
    std::string message_;
    std::vector<std::string> warnings_;
    std::string reason_;
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
        if (trace.file == nullptr) return usage_error("cannot open the trace file " + *o.trace_path);
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
    FileListSource files(o.files.size());
    LineSource lines(o.files);
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
