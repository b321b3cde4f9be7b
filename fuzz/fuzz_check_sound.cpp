// SPDX-License-Identifier: Apache-2.0
// ventrac-check is sound: for a generated pilot file in which it finds no
// error, observations within each element's range, encoded in modes 1 and 2
// and decoded again, come back as they were sent: every present value
// within half a step of its law, every missing one missing, every delayed
// count exact. A failure is a fault ventrac-check lets through.
//
// An element's range is its codes 0 .. max_coded, below the all-ones code of
// a missing value (ventrac-check warns when max_coded is all ones); a
// delayed count lies in 0 .. 3 and in what its law codes.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <ventrac/ventrac.h>
#include "codec/replication.h"
#include "codec/rules.h"
#include "fuzz_support.h"
#include "tools/check/findings.h"
#include "tools/check/pilot_model.h"

namespace {

using vt_fuzz::Input;

// ---- pilot files ----------------------------------------------------------

const double kScales[] = {1, 0.1, 0.01, 0.5, 2, 10, 0.25, 0.3333333, 1e-5, 100, 0.2, 5};
const double kPowers[] = {1, 1, 1, 1, 2, 0.5, 3, 1.5};
const char *const kMasks[] = {"2147483647", "1", "2", "3"};

std::string number(double v) {
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

struct Node {
    bool group = false;
    std::string fields;  // nbits .. max_coded
    std::string mask;
    char kind = '1';
    int repetitions = 0;  // 0: delayed
    std::vector<Node> children;
};

class PilotMaker {
public:
    explicit PilotMaker(Input &in) : in_(in) {}

    std::string make() {
        std::string text = "000000;MODE;" + std::to_string(2 + in_.byte() % 5) + ";1;1;0;14;" +
                           std::string(kMasks[in_.byte() % 4]) + ";N;1;0;0;mode;;\n";
        const std::vector<Node> nodes = items(0, 1 + in_.byte() % 10);
        write(nodes, text);
        return text;
    }

private:
    // nbits;power;scale;reference;max_coded of a plain element.
    std::string law(bool count) {
        const int nbits = count ? 1 + in_.byte() % 10 : in_.byte() % 56;
        const double power = count ? 1 : kPowers[in_.byte() % std::size(kPowers)];
        const double scale = kScales[in_.byte() % std::size(kScales)];
        const double reference = count ? (in_.byte() % 4 == 0 ? in_.byte() % 3 - 1 : 0)
                                       : in_.int16() * (in_.byte() % 2 == 0 ? scale : 0.37);
        const std::uint64_t ones = nbits >= 64 ? ~std::uint64_t{0}
                                               : (std::uint64_t{1} << nbits) - 1;
        std::uint64_t max = ones;
        switch (in_.byte() % 5) {
        case 0: max = ones > 0 ? ones - 1 : 0; break;
        case 1: max = ones; break;
        case 2: max = ones > 0 ? ones / (1 + in_.byte()) : 0; break;
        case 3: max = ones + 1 + in_.byte(); break;
        default: max = ones > 1 ? ones - 1 - in_.byte() % 3 : 0; break;
        }
        return std::to_string(nbits) + ";" + number(power) + ";" + number(scale) + ";" +
               number(reference) + ";" +
               std::to_string(std::min<std::uint64_t>(max, 9007199254740991ull));
    }

    std::vector<Node> items(int depth, int n) {
        std::vector<Node> out;
        for (int i = 0; i < n; ++i) {
            Node node;
            node.mask = kMasks[in_.byte() % 4];
            if (depth < 2 && in_.byte() % 4 == 0) {
                node.group = true;
                node.kind = in_.byte() % 3 == 0 ? '4' : '1';
                node.repetitions = in_.byte() % 3 == 0 ? 1 + in_.byte() % 3 : 0;
                node.fields = node.repetitions == 0 ? law(true) : "0;1;1;0;0";
                node.children = items(depth + 1, 1 + in_.byte() % 3);
            } else {
                node.fields = law(false);
            }
            out.push_back(std::move(node));
        }
        return out;
    }

    static int lines(const std::vector<Node> &nodes) {
        int n = 0;
        for (const Node &node : nodes) n += 1 + lines(node.children);
        return n;
    }

    void write(const std::vector<Node> &nodes, std::string &text) {
        for (const Node &node : nodes) {
            const int serial = serial_++;
            std::string code = '0' + std::to_string(10000 + serial);
            if (node.group) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%c%02d%03d", node.kind, lines(node.children) % 100,
                              node.repetitions);
                code = buf;
            }
            text += code + ";E" + std::to_string(serial) + ";" + node.fields + ";" + node.mask +
                    ";U;1;0;1;c;;\n";
            write(node.children, text);
        }
    }

    Input &in_;
    int serial_ = 0;
};

// ---- observations ---------------------------------------------------------

// What the decoder must give for one value sent.
struct Expected {
    enum Kind { Present, Missing, Count } kind = Missing;
    double value = 0;
    double tolerance = 0;
    bool listed = true;  // false: a kind '4' count, which the decoder does not keep
};

struct Observation {
    std::vector<double> values;
    std::vector<int> presence;
    std::vector<Expected> expected;
    std::vector<int> counts;  // every delayed count, in message order
};

// Walks the encoder's table of a mode as the encoder walks it, drawing a
// value for each element from its range.
class ObservationMaker {
public:
    ObservationMaker(Input &in, const std::vector<ElementSpec> &table) : in_(in), table_(table) {}

    // False when the walk takes more steps than the encoder would.
    bool make(Observation &o) {
        o_ = &o;
        int start = 1;
        return sequence(start, static_cast<int>(table_.size()) - 1, 1);
    }

private:
    const ElementSpec &spec(int j) const {
        static const ElementSpec cleared{};
        return j >= 0 && static_cast<std::size_t>(j) < table_.size() ? table_[j] : cleared;
    }

    void plain(const ElementSpec &e) {
        const int width = ventrac::rules::packed_width(e);
        double largest = static_cast<double>(e.max_coded);
        if (width < 63) largest = std::min(largest, std::ldexp(1.0, std::max(width, 0)) - 2);
        Expected x;
        if (width <= 0 || largest < 0 || in_.byte() % 5 == 0) {
            o_->values.push_back(in_.byte());
            o_->presence.push_back(0);
            o_->expected.push_back(x);
            return;
        }
        const std::uint64_t draw = static_cast<std::uint64_t>(in_.int16() & 0x7FFF) << 16 |
                                   in_.int16();
        double c = in_.byte() % 3 == 0
                       ? largest
                       : std::floor(static_cast<double>(draw) / 2147483647.0 * largest);
        c = std::clamp(c, 0.0, largest);
        const double v = ventrac::rules::physical_value(e, c);
        const double below = c > 0 ? std::fabs(v - ventrac::rules::physical_value(e, c - 1)) : 0;
        const double above = c < largest ? std::fabs(ventrac::rules::physical_value(e, c + 1) - v)
                                         : 0;
        x.kind = Expected::Present;
        x.value = v;
        x.tolerance = 0.5 * std::max(below, above) + 1e-9 * std::fabs(v);
        o_->values.push_back(v);
        o_->presence.push_back(1);
        o_->expected.push_back(x);
    }

    // A count within 0 .. 3 that the law codes; -1 when there is none.
    int count(const ElementSpec &e) {
        const auto range = check::law_range(e);
        if (!range) return -1;
        const double lo = std::max(0.0, std::ceil(range->first));
        const double hi = std::min(3.0, std::floor(range->second));
        if (!(lo <= hi)) return -1;
        return static_cast<int>(lo) + in_.byte() % (static_cast<int>(hi - lo) + 1);
    }

    bool group(int &j) {
        const ElementSpec &e = spec(j);
        const ventrac::Replication rep = ventrac::replication_of(e.code);
        int n = rep.repetitions;
        if (rep.delayed()) {
            n = count(e);
            if (n < 0) return false;
            Expected x;
            x.kind = Expected::Count;
            x.value = n;
            x.listed = rep.kind == '1';
            o_->values.push_back(n);
            o_->presence.push_back(in_.byte() % 4 == 0 ? 0
                                                       : 1);  // a missing count is sent as walked
            o_->expected.push_back(x);
            o_->counts.push_back(n);
        }
        int k = j + 1;
        if (!sequence(k, rep.group_size, n)) return false;
        j = k;
        return true;
    }

    bool sequence(int &start, int nbpar, int nbsec) {
        const int i1 = start;
        const int i2 = i1 + nbpar;
        const int end = ventrac::table_end(i2);
        for (int r = 0; r < nbsec; ++r) {
            if (++steps_ > 20000) return false;
            for (int j = i1; j < end; ++j) {
                if (++steps_ > 20000 || o_->values.size() > 4000) return false;
                if (ventrac::opens_group(spec(j).code)) {
                    if (!group(j)) return false;
                } else {
                    plain(spec(j));
                }
            }
        }
        start = i2 - 1;
        return true;
    }

    Input &in_;
    const std::vector<ElementSpec> &table_;
    Observation *o_ = nullptr;
    long steps_ = 0;
};

std::string describe(const std::string &pilot, int mode, const Observation &o) {
    std::string s = "mode ";
    s += std::to_string(mode);
    s += ", values:";
    for (std::size_t i = 0; i < o.values.size(); ++i)
        s.append(o.presence[i] != 0 ? " " : " (missing)").append(number(o.values[i]));
    return s + "\npilot file:\n" + pilot;
}

void check_mode(Input &in, const std::string &text, const check::Pilot &model,
                const ventrac_pilot *pilot, int mode, ventrac_cctx *cctx, ventrac_dctx *dctx) {
    const check::Load &load = model.mode(mode);
    if (!load.keeps_lines()) return;
    Observation o;
    if (!ObservationMaker(in, load.table).make(o)) return;
    unsigned char packed[VENTRAC_PACKED_SIZE];
    const int size = ventrac_encode_packed(cctx, pilot, mode, o.values.data(), o.presence.data(),
                                           o.values.size(), packed, nullptr);
    // A message over 1024 bytes, or a walk too long, is the observation's size.
    if (size == -VENTRAC_ERR_FULL || size == -VENTRAC_ERR_TOO_MANY) return;
    VT_FUZZ_CHECK(size > 0,
                  "encoding failed with " + std::to_string(size) + "\n" + describe(text, mode, o));
    const int n = ventrac_decode_packed(dctx, pilot, packed, static_cast<std::size_t>(size));
    VT_FUZZ_CHECK(ventrac_dctx_mode(dctx) == mode, "read back as mode " +
                                                       std::to_string(ventrac_dctx_mode(dctx)) +
                                                       "\n" + describe(text, mode, o));
    std::vector<const Expected *> listed;
    for (const Expected &x : o.expected)
        if (x.listed) listed.push_back(&x);
    VT_FUZZ_CHECK(n == static_cast<int>(listed.size()),
                  "decoded " + std::to_string(n) + " entries, sent " +
                      std::to_string(listed.size()) + "\n" + describe(text, mode, o));
    for (int i = 0; i < n; ++i) {
        const Expected &x = *listed[static_cast<std::size_t>(i)];
        const ventrac_decoded_element *d = ventrac_dctx_element(dctx, i);
        const int status = ventrac_dctx_status(dctx, i);
        const std::string where =
            "entry " + std::to_string(i) + " (" + std::string(d->spec.name) + "): ";
        switch (x.kind) {
        case Expected::Missing:
            VT_FUZZ_CHECK(status == VENTRAC_STATUS_MISSING, where + "sent missing, read back " +
                                                                number(d->value) + "\n" +
                                                                describe(text, mode, o));
            break;
        case Expected::Present:
            VT_FUZZ_CHECK(
                status != VENTRAC_STATUS_MISSING && std::fabs(d->value - x.value) <= x.tolerance,
                where + "sent " + number(x.value) + ", read back " +
                    (status == VENTRAC_STATUS_MISSING ? "missing" : number(d->value)) + "\n" +
                    describe(text, mode, o));
            break;
        case Expected::Count:
            VT_FUZZ_CHECK(ventrac::repetition_count(d->value) == static_cast<int>(x.value),
                          where + "count " + number(x.value) + " read back as " + number(d->value) +
                              "\n" + describe(text, mode, o));
            break;
        }
    }
    std::vector<int> counts(o.counts.size() + 1);
    const int factors = ventrac_dctx_factors(dctx, nullptr, counts.data(), nullptr,
                                             static_cast<int>(counts.size()));
    counts.resize(
        std::min<std::size_t>(counts.size(), static_cast<std::size_t>(std::max(factors, 0))));
    VT_FUZZ_CHECK(factors == static_cast<int>(o.counts.size()) && counts == o.counts,
                  "the delayed counts read back differ\n" + describe(text, mode, o));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Input in(data, size);
    const std::string text = PilotMaker(in).make();
    std::ostringstream report;
    if (check::check_pilot("p", text, report) == check::kErrors) return 0;
    const check::Pilot model = check::make_pilot("p", text);
    ventrac_pilot *pilot = ventrac_pilot_parse(text.data(), text.size());
    ventrac_cctx *cctx = ventrac_cctx_create();
    ventrac_dctx *dctx = ventrac_dctx_create();
    VT_FUZZ_CHECK(pilot != nullptr && cctx != nullptr && dctx != nullptr, "out of memory");
    for (int mode = 1; mode <= 2; ++mode) check_mode(in, text, model, pilot, mode, cctx, dctx);
    ventrac_dctx_free(dctx);
    ventrac_cctx_free(cctx);
    ventrac_pilot_free(pilot);
    return 0;
}
