#include "run.h"

#include <cstdio>
#include <string>

#include "codec/codec.h"
#include "datatype.h"
#include "decoder.h"
#include "formats.h"
#include "input.h"
#include "options.h"
#include "writer.h"

namespace ventrac::decode {

namespace {

constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;

int usage_error(const std::string &error) {
    std::fprintf(stderr, "ventrac-decode: %s\n%s", error.c_str(), usage_text());
    return kStatusUsage;
}

// Loads TypeDonnee from the --datatype file, or with code 0 for every mode.
bool load_datatype(const Options &o, std::string &error) {
    if (!o.datatype_path) {
        TypeDonnee = every_mode_type_zero();
        return true;
    }
    const InputFile in = read_input(*o.datatype_path);
    if (!in.read()) {
        error = "the data-type file " + *o.datatype_path + " " + in.reason();
        return false;
    }
    const std::string problem = parse_datatype(in.content, TypeDonnee);
    if (!problem.empty()) error = *o.datatype_path + " " + problem;
    return problem.empty();
}

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
    std::string error;
    if (!load_datatype(o, error)) return usage_error(error);
    std::FILE *trace = nullptr;
    if (o.trace_path && (trace = std::fopen(o.trace_path->c_str(), "w")) == nullptr)
        return usage_error("cannot open the trace file " + *o.trace_path);
    // The codec's own error lines go with its trace, or nowhere: each failure
    // gets one line of ours on standard error.
    ventrac_set_trace(trace);
    ventrac_set_errors(trace);
    std::snprintf(APPLI, sizeof APPLI, "%s", "ventrac-decode");

    // Three threads: this one decodes (the codec's tables are its own), one
    // reads the files ahead, one prints what was decoded.
    const Printer printer(o);
    MessageDecoder decoder(o.pilot);
    ReadAhead files(o.files);
    Writer writer(printer);
    bool all_decoded = true;
    for (const std::string &file : o.files) {
        Observation &obs = writer.next();
        obs.file = file;
        if (const InputFile &in = files.next(); in.read()) {
            decoder.decode(in.content, obs);
            if (obs.failure.empty()) printer.look_up(obs);
        } else {
            obs.failure = in.reason();
        }
        all_decoded = all_decoded && obs.failure.empty();
    }
    bool written = writer.finish();
    if (!written) std::fputs("ventrac-decode: cannot write standard output\n", stderr);
    if (trace != nullptr) {
        ventrac_set_trace(nullptr);
        ventrac_set_errors(nullptr);
        if (std::fclose(trace) != 0) {
            std::fprintf(stderr, "ventrac-decode: cannot write the trace file %s\n",
                         o.trace_path->c_str());
            written = false;
        }
    }
    return all_decoded && written ? 0 : kStatusFailed;
}

}  // namespace ventrac::decode
