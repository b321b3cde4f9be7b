// SPDX-License-Identifier: Apache-2.0
// The summary: counts, and per mode the size of a message without
// replication, walked as the encoder walks the element table, and whether
// the mode's messages can go out as BUFR.
#include <cstdint>
#include <string>

#include "codec/codec.h"
#include "codec/rules.h"
#include "findings.h"
#ifdef VENTRAC_HAVE_BUFR
#include "tools/bufr/bufr.h"
#endif

namespace check {

namespace {

// The packed buffer holds 8192 bits.
constexpr std::uint64_t kPackedBits = 8 * VENTRAC_PACKED_SIZE;

std::string count_text(std::uint64_t n, const char *what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

void print_mode(std::ostream &out, const Load &load) {
    out << "mode " << load.mode << ": " << count_text(load.table.size(), "element") << "; ";
    const ventrac::rules::MessageSize s =
        ventrac::rules::message_size(load.table.data(), load.count());
    if (s.unknown) {
        out << "size unknown: a group reaches past the last line\n";
        return;
    }
    if (s.bits > kPackedBits) {
        out << "without replication more than the " << kPackedBits
            << " bits of the packed buffer: the encoder refuses it\n";
        return;
    }
    const std::uint64_t bytes = (s.bits + 7) / 8;
    const std::uint64_t characters = (bytes * 8 + 5) / 6;
    out << "without replication " << count_text(s.bits, "bit") << ", " << count_text(bytes, "byte")
        << ", " << count_text(characters, "six-bit character") << '\n';
}

// Whether a mode's messages can go out as BUFR: "yes", or "no: " and what
// stops them. Messages of a mode are decoded ashore with the decoder's table
// for it, and that table is what a BUFR message is written from.
#ifdef VENTRAC_HAVE_BUFR
std::string bufr_readiness(const Pilot &p, int mode) {
    const Load decoder = decoder_load(p, mode);
    const ventrac::bufr::Readiness r =
        ventrac::bufr::check_table(decoder.table.data(), decoder.count());
    if (r.ok) return "yes";
    if (r.entry < 0 || r.entry >= decoder.count()) return "no: " + printable(r.reason);
    const std::size_t line = decoder.lines[static_cast<std::size_t>(r.entry)];
    return "no: line " + std::to_string(p.lines[line].line_number) + ": " + printable(r.reason);
}
#else
std::string bufr_readiness(const Pilot &, int) { return "not checked (built without ecCodes)"; }
#endif

}  // namespace

bool bufr_checked() {
#ifdef VENTRAC_HAVE_BUFR
    return true;
#else
    return false;
#endif
}

void print_summary(std::ostream &out, const Pilot &p, const Findings &f) {
    out << p.path << ": " << count_text(f.count(Severity::Error), "error") << ", "
        << count_text(f.count(Severity::Warning), "warning") << '\n';
    bool any = false;
    for (const Load &load : p.modes) {
        if (!load.keeps_lines()) continue;
        print_mode(out, load);
        out << "mode " << load.mode << ": BUFR: " << bufr_readiness(p, load.mode) << '\n';
        any = true;
    }
    if (!any)
        out << "no mode from " << kFirstMode << " to " << kLastMode
            << " keeps a line besides the first\n";
}

}  // namespace check
