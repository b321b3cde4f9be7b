// The summary: counts, and per mode the size of a message without
// replication, walked as the encoder walks the element table.
#include <algorithm>
#include <cstdint>
#include <string>

#include "findings.h"

namespace check {

namespace {

// The packed buffer holds 8192 bits; sizes are kept up to a bound well above.
constexpr std::uint64_t kPackedBits = 8192;
constexpr std::uint64_t kSizeBound = std::uint64_t{1} << 40;

struct Size {
    std::uint64_t bits = 0;
    bool unknown = false;  // the walk reads entries past the last kept line
};

// The encoder passes a width as a signed 8-bit number and writes nothing for
// a negative one.
std::uint64_t width(const Element &e) {
    return e.nbits < 128 ? static_cast<std::uint64_t>(e.nbits) : 0;
}

// One pass of the encoder over the entries first .. first + count - 1, with
// every delayed count at 0 and every fixed group repeated YYY times. Passes
// of a group all write the same bits, so one pass is multiplied.
Size pass(const Load &load, std::size_t first, std::size_t count) {
    Size s;
    const std::size_t end = std::min<std::size_t>(first + count, VENTRAC_MAX_ELEMENTS);
    for (std::size_t j = first; j < end; ++j) {
        if (j >= load.entries.size()) {
            s.unknown = true;
            return s;
        }
        const Element &e = load.entries[j];
        std::uint64_t bits = width(e);
        if (opens_group(e.code)) {
            const Group g = group_of(e.code);
            const auto size = static_cast<std::size_t>(g.size);
            if (g.repetitions == 0) {
                // The count is sent; its group is not.
            } else {
                const Size inner = pass(load, j + 1, size);
                if (inner.unknown) return inner;
                bits = std::min(kSizeBound, inner.bits * static_cast<std::uint64_t>(g.repetitions));
            }
            j += size;
        }
        s.bits = std::min(kSizeBound, s.bits + bits);
    }
    return s;
}

std::string count_text(std::uint64_t n, const char *what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

void print_mode(std::ostream &out, const Load &load) {
    out << "mode " << load.mode << ": " << count_text(load.entries.size(), "element") << "; ";
    Size s = pass(load, 1, load.entries.size() - 1);
    if (s.unknown) {
        out << "size unknown: a group reaches past the last line\n";
        return;
    }
    s.bits = std::min(kSizeBound, s.bits + width(load.entries[0]));
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

}  // namespace

void print_summary(std::ostream &out, const Pilot &p, const Findings &f) {
    out << p.path << ": " << count_text(f.count(Severity::Error), "error") << ", "
        << count_text(f.count(Severity::Warning), "warning") << '\n';
    bool any = false;
    for (const Load &load : p.modes) {
        if (!load.keeps_lines()) continue;
        print_mode(out, load);
        any = true;
    }
    if (!any)
        out << "no mode from " << kFirstMode << " to " << kLastMode
            << " keeps a line besides the first\n";
}

}  // namespace check
