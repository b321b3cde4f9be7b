// SPDX-License-Identifier: Apache-2.0
#include "roundtrip.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "codec/codec.h"

namespace vt_test {

std::uint32_t SeededSource::next(std::uint32_t bound) {
    return bound == 0 ? 0 : static_cast<std::uint32_t>(draw_() % bound);
}

std::uint32_t DataSource::next(std::uint32_t bound) {
    if (bound == 0) return 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 2 && pos_ < size_; ++i) v = v << 8 | data_[pos_++];
    return v % bound;
}

namespace {

constexpr std::uint32_t kAllModes = 0x7FFFFFFF;

// One pilot line and, for a group, the lines it repeats.
struct Node {
    enum Kind { Plain, Fixed, Delayed } kind = Plain;
    char group_kind = '1';  // '1' or '4' for groups
    int nbits = 8;
    double scale = 1;
    double reference = 0;
    long long max_coded = 254;
    int repetitions = 0;  // fixed groups
    std::string name;
    std::string code;
    std::vector<Node> children;
};

int lines_in(const std::vector<Node> &nodes) {
    int n = 0;
    for (const Node &node : nodes) n += 1 + lines_in(node.children);
    return n;
}

class Generator {
public:
    explicit Generator(ByteSource &source) : src_(source) {}

    std::vector<Node> items(int depth, int budget) {
        std::vector<Node> out;
        const int n = 1 + static_cast<int>(src_.next(static_cast<std::uint32_t>(budget)));
        for (int i = 0; i < n; ++i) {
            const std::uint32_t pick = src_.next(10);
            if (depth < 2 && pick >= 7)
                out.push_back(group(depth, pick == 9 ? Node::Fixed : Node::Delayed));
            else
                out.push_back(plain());
        }
        return out;
    }

private:
    Node plain() {
        static const double scales[] = {0.01, 0.1, 0.5, 1, 2, 10};
        Node e;
        e.nbits = 3 + static_cast<int>(src_.next(29));
        e.scale = scales[src_.next(6)];
        e.reference = (static_cast<double>(src_.next(2001)) - 1000) * e.scale;
        const long long ones = (1LL << e.nbits) - 1;
        e.max_coded = ones - 1 - static_cast<long long>(src_.next(2));
        e.code = '0' + std::to_string(10000 + src_.next(89999));
        e.name = 'E' + std::to_string(serial_++);
        return e;
    }

    Node group(int depth, Node::Kind kind) {
        Node g;
        g.kind = kind;
        g.group_kind = src_.next(3) == 0 ? '4' : '1';
        g.nbits = 3 + static_cast<int>(src_.next(6));
        g.max_coded = (1LL << g.nbits) - 2;
        g.repetitions = 1 + static_cast<int>(src_.next(3));
        g.children = items(depth + 1, 3);
        g.name = 'G' + std::to_string(serial_++);
        return g;
    }

    ByteSource &src_;
    int serial_ = 0;
};

void write_line(std::ostringstream &out, const Node &n, const std::string &code,
                std::uint32_t mask) {
    out << code << ";" << n.name << ";" << n.nbits << ";1;" << n.scale << ";" << n.reference << ";"
        << n.max_coded << ";" << mask << ";U;1;0;1;" << n.name << " comment;;\n";
}

std::string three_digits(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%3.3d", n);
    return text;
}

void write_nodes(std::ostringstream &out, const std::vector<Node> &nodes) {
    for (const Node &n : nodes) {
        if (n.kind == Node::Plain) {
            write_line(out, n, n.code, kAllModes);
            continue;
        }
        const std::string code = std::string(1, n.group_kind) +
                                 (lines_in(n.children) < 10 ? "0" : "") +
                                 std::to_string(lines_in(n.children)) +
                                 (n.kind == Node::Fixed ? three_digits(n.repetitions) : "000");
        write_line(out, n, code, kAllModes);
        write_nodes(out, n.children);
    }
}

// Walks the items the way the message carries them, choosing the values and
// recording the entries the decoder must name: elements inside a group of
// kind '1' take the suffix "_D" + group number + "-" + repetition, nested
// groups extend the suffix of the element before them, and a delayed count of
// kind '1' keeps an entry of its own, named with its count number.
class Walk {
public:
    Walk(ByteSource &source, RoundTripCase &c) : src_(source), c_(c) {}

    void sequence(const std::vector<Node> &items, int nbsec, int depth, const std::string &suffix) {
        std::string current, prefix;
        if (depth != 0) {
            current = "_D" + three_digits(groups_);
            prefix = suffix + current;
        }
        int inner_depth = depth;
        for (int r = 0; r < nbsec; ++r) {
            for (const Node &n : items) {
                if (n.kind == Node::Plain) {
                    if (depth > 0) current = prefix + "-" + three_digits(r);
                    value(n, current);
                    continue;
                }
                const bool counted = n.group_kind == '1';
                if (r == 0 && counted) {
                    ++groups_;
                    inner_depth = depth + 1;
                }
                int count = n.repetitions;
                if (n.kind == Node::Delayed) {
                    count = static_cast<int>(src_.next(4));
                    c_.values.push_back(count);
                    c_.presence.push_back(1);
                    c_.packed_bits += n.nbits;
                    if (counted) {
                        ++factors_;
                        const char *code = n.nbits == 1  ? "031000"
                                           : n.nbits > 8 ? "031002"
                                                         : "031001";
                        c_.expected.push_back({n.name + three_digits(factors_), code, 1,
                                               static_cast<double>(count), 0.5});
                    }
                }
                sequence(n.children, count, inner_depth, current);
            }
        }
    }

private:
    void value(const Node &n, const std::string &suffix) {
        ExpectedEntry e{n.name + suffix, n.code, 0, 0, n.scale / 2};
        if (src_.next(6) != 0) {
            // A step inside the range, moved by less than half a step.
            const double step = 1 + static_cast<double>(src_.next(static_cast<std::uint32_t>(
                                        std::min<long long>(n.max_coded - 1, 1 << 30))));
            const double jitter = (static_cast<double>(src_.next(901)) - 450) / 1000;
            e.value = n.reference + (step + jitter) * n.scale;
            e.valid = 1;
        }
        c_.packed_bits += n.nbits;
        c_.values.push_back(e.valid ? e.value : 0.0);
        c_.presence.push_back(e.valid);
        c_.expected.push_back(e);
    }

    ByteSource &src_;
    RoundTripCase &c_;
    int groups_ = -1;   // groups of kind '1' entered
    int factors_ = -1;  // delayed counts of kind '1'
};

}  // namespace

namespace {

RoundTripCase draw_case(ByteSource &source) {
    RoundTripCase c;
    c.mode = static_cast<signed char>(1 + source.next(3));
    Generator generate(source);
    const std::vector<Node> items = generate.items(0, 12);

    // Lines of another mode, which the reader skips, go before the items.
    std::ostringstream pilot;
    pilot << "000000;MODE;5;1;1;0;30;" << kAllModes << ";U;1;0;0;mode;;\n";
    const std::uint32_t other = 1u << (c.mode % 3);  // a mode other than c.mode
    for (std::uint32_t i = source.next(3); i > 0; --i)
        pilot << "012345;OTHER;7;1;1;0;100;" << other << ";U;1;0;1;other mode;;\n";
    write_nodes(pilot, items);
    c.pilot = pilot.str();

    Walk walk(source, c);
    walk.sequence(items, 1, 0, "");
    return c;
}

}  // namespace

RoundTripCase make_round_trip_case(ByteSource &source) {
    // Cases whose message would not fit are drawn again; a source that has
    // run dry draws the smallest case, which always fits.
    for (;;) {
        RoundTripCase c = draw_case(source);
        if (c.packed_bits <= 8000 && c.expected.size() <= 1000) return c;
    }
}

namespace {

std::string describe(std::size_t i, const std::string &what) {
    return "entry " + std::to_string(i) + ": " + what;
}

std::string compare(const RoundTripCase &c, int count) {
    if (count != static_cast<int>(c.expected.size()))
        return "decoded " + std::to_string(count) + " entries, expected " +
               std::to_string(c.expected.size());
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
        const ExpectedEntry &e = c.expected[i];
        const DecodedElement &d = donnees[i];
        if (e.name != d.spec.name)
            return describe(i, "name " + std::string(d.spec.name) + " for " + e.name);
        if (e.code != d.spec.code)
            return describe(i, "code " + std::string(d.spec.code) + " for " + e.code);
        char ident[16];
        std::snprintf(ident, sizeof ident, "D%6.6d", static_cast<int>(i) + 1);
        if (std::string(ident) != d.ident) return describe(i, "identifier " + std::string(d.ident));
        if (e.valid != d.valid) return describe(i, "validity " + std::to_string(d.valid));
        if (e.valid && !(std::fabs(d.value - e.value) <= e.tolerance * (1 + 1e-9)))
            return describe(i,
                            "value " + std::to_string(d.value) + " for " + std::to_string(e.value));
    }
    return "";
}

}  // namespace

std::string check_round_trip(const RoundTripCase &c, const std::string &dir) {
    const std::string path = dir + "/roundtrip.pilot";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << c.pilot;
        if (!out) return "cannot write " + path;
    }
    std::vector<double> values(VENTRAC_MAX_VALUES, 0.0);
    std::vector<int> presence(VENTRAC_MAX_VALUES, 0);
    for (std::size_t i = 0; i < c.values.size() && i < values.size(); ++i) {
        values[i] = c.values[i];
        presence[i] = c.presence[i];
    }
    ventrac_set_trace(nullptr);
    ventrac_set_errors(nullptr);
    std::string failure;
    unsigned char packed[VENTRAC_PACKED_SIZE], rebuilt[VENTRAC_PACKED_SIZE] = {0};
    int kept = 0;
    const int octets =
        comprime(path.c_str(), c.mode, values.data(), presence.data(), packed, &kept);
    char message[VENTRAC_MESSAGE_MAX], identifier[8];
    int length = 0;
    if (octets <= 0 || octets >= VENTRAC_PACKED_SIZE) {
        failure = "comprime returned " + std::to_string(octets);
    } else if ((length = telexin("RT", packed, octets, "", message)) < 8 ||
               telexout(length, message, identifier, nullptr, rebuilt) < octets ||
               std::string(identifier) != "RT" || !std::equal(packed, packed + octets, rebuilt)) {
        failure = "the armour did not give the packed bytes back";
    } else {
        TypeDonnee.nb_modes = 1;
        TypeDonnee.modes[0] = -1;
        TypeDonnee.types[0] = 0;
        signed char type = 0;
        int error = 0;
        const int count = decomprime(path.c_str(), rebuilt, &type, &error);
        failure = count < 0 ? "decomprime error " + std::to_string(error) : compare(c, count);
    }
    ventrac_set_trace(stdout);
    ventrac_set_errors(stderr);
    return failure;
}

}  // namespace vt_test
