// SPDX-License-Identifier: Apache-2.0
#include <eccodes.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "bufr.h"
#include "codec/replication.h"
#include "layout.h"
#include "tables.h"

namespace ventrac::bufr {

namespace {

// Walks of a message stop past as many steps (values and repetitions) as
// the decoder's own walks do.
constexpr long kMaxSteps = kMaxWalkSteps;

std::string number_text(double v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

std::string byte_text(unsigned byte) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[byte >> 4 & 15] + digits[byte & 15];
}

double power_of_ten(long n) {
    double p = 1;
    for (long i = 0; i < n; ++i) p *= 10;
    return p;
}

bool printable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

// One value of Section 4, in expanded order.
struct Value {
    const Node *node;
    const ventrac_decoded_element *element;
    int status;
};

// The decoded entries and delayed counts laid on the mode's layout, in the
// order BUFR expands it.
class ValueWalk {
public:
    explicit ValueWalk(const ventrac_dctx *dctx) : dctx_(dctx) {
        count_ = ventrac_dctx_count(dctx);
        const int n = ventrac_dctx_factors(dctx, nullptr, nullptr, nullptr, 0);
        if (n > 0) {
            kinds_.resize(static_cast<std::size_t>(n));
            counts_.resize(static_cast<std::size_t>(n));
            entries_.resize(static_cast<std::size_t>(n));
            ventrac_dctx_factors(dctx, kinds_.data(), counts_.data(), entries_.data(), n);
        }
    }

    // false with `problem` set when the decoded message does not follow the
    // layout or a count does not fit its descriptor.
    bool run(const std::vector<Node> &items) {
        if (!sequence(items)) return false;
        if (next_entry_ != count_ || next_factor_ != kinds_.size())
            return fail("the decoded message holds more than its mode's table describes");
        return true;
    }

    std::vector<Value> values;
    std::vector<long> short_counts, counts, extended_counts;
    std::string problem;

private:
    bool fail(std::string why) {
        problem = std::move(why);
        return false;
    }

    bool step() { return ++steps_ <= kMaxSteps || fail("the message walks more than 65536 steps"); }

    const ventrac_decoded_element *next_entry(const char *code) {
        const ventrac_decoded_element *d =
            next_entry_ < count_ ? ventrac_dctx_element(dctx_, next_entry_) : nullptr;
        if (d == nullptr || std::strcmp(d->spec.code, code) != 0) return nullptr;
        ++next_entry_;
        return d;
    }

    bool sequence(const std::vector<Node> &items) {
        for (const Node &n : items) {
            if (!step()) return false;
            if (!n.group) {
                const int index = next_entry_;
                const ventrac_decoded_element *d = next_entry(n.spec->code);
                if (d == nullptr)
                    return fail(std::string("decoded entry ") + std::to_string(index + 1) +
                                " is not the table's " + n.spec->code);
                values.push_back({&n, d, ventrac_dctx_status(dctx_, index)});
                continue;
            }
            long repeat = n.repetitions;
            if (n.factor != 0 && !delayed_count(n, repeat)) return false;
            for (long r = 0; r < repeat; ++r)
                if (!sequence(n.children)) return false;
        }
        return true;
    }

    bool delayed_count(const Node &n, long &repeat) {
        if (next_factor_ >= kinds_.size() || kinds_[next_factor_] != n.kind ||
            entries_[next_factor_] != n.entry)
            return fail(std::string("the decoded message has no count for group ") + n.spec->code);
        repeat = counts_[next_factor_] > 0 ? counts_[next_factor_] : 0;
        ++next_factor_;
        // A count of kind '1' is a decoded entry of its own, named 031xxx.
        char code[8];
        std::snprintf(code, sizeof code, "%6.6ld", n.factor);
        if (n.kind == '1' && next_entry(code) == nullptr)
            return fail(std::string("the decoded message has no entry for the count of group ") +
                        n.spec->code);
        // All ones is a count like any other for the 1-bit factor (0 or 1);
        // the wider factors keep it apart, as the missing value.
        const int width = static_cast<int>(n.factor_table->width);
        const double largest = std::ldexp(1.0, width) - (width == 1 ? 1 : 2);
        if (static_cast<double>(repeat) > largest)
            return fail("group " + shown(n.spec->code) + " (" + shown(n.spec->name) + ") repeats " +
                        std::to_string(repeat) + " times, more than its count " + code +
                        " holds (" + number_text(largest) + ")");
        (n.factor == 31000   ? short_counts
         : n.factor == 31001 ? counts
                             : extended_counts)
            .push_back(repeat);
        return true;
    }

    const ventrac_dctx *dctx_;
    int count_ = 0;
    int next_entry_ = 0;
    std::size_t next_factor_ = 0;
    long steps_ = 0;
    std::vector<char> kinds_;
    std::vector<int> counts_, entries_;
};

// Owns an ecCodes handle for the length of one message.
struct Message {
    grib_handle *h = nullptr;
    ~Message() {
        if (h != nullptr) codes_handle_delete(h);
    }
};

bool set_counts(grib_handle *h, const char *key, const std::vector<long> &counts) {
    return counts.empty() ||
           codes_set_long_array(h, key, counts.data(), counts.size()) == CODES_SUCCESS;
}

std::string eccodes_failure(const char *what, int error) {
    std::string why = std::string("ecCodes cannot ") + what + ": " + codes_get_error_message(error);
    const std::string line = last_eccodes_line();
    if (!line.empty()) why += " (" + line + ")";
    return why;
}

}  // namespace

struct Writer::State {
    Settings settings;
    long newest = 0;                              // the newest installed version
    grib_handle *message = nullptr;               // Section 0 to 3 of every message
    std::string problem;                          // why no message can be written
    std::unordered_map<long, Versions> agreeing;  // by descriptor
    // The layout of each mode, built on a copy of the mode's table: used
    // again while the pilot gives the same table, byte for byte.
    struct ModeLayout {
        std::vector<ventrac_element_spec> table;
        long version = 0;
        Layout layout;
        std::string problem;  // why the mode cannot go out
    };
    std::unordered_map<int, ModeLayout> layouts;
    std::unordered_map<std::string, int> ranks;  // reused from message to message
    std::vector<double> numbers;                 // a key's values across subsets
    std::vector<const char *> texts;
    std::string key;

    explicit State(const Settings &s) : settings(s), newest(newest_installed_version()) {
        capture_eccodes_lines();
        const long version = s.table_version > 0 ? s.table_version : newest;
        if (version > 0) problem = table(version).problem();
        if (version <= 0)
            problem = s.table_version < 0 ? "the master table version must be 1 or more"
                                          : "the installed ecCodes holds no WMO master table";
        if (s.centre < 0 || s.centre > 65535) problem = "the centre must lie in 0 .. 65535";
        if (s.subcentre < 0 || s.subcentre > 65535)
            problem = "the sub-centre must lie in 0 .. 65535";
        if (!problem.empty()) return;
        clear_eccodes_line();
        message = new_message({s.centre, s.subcentre, version});
        if (message == nullptr)
            problem = "ecCodes cannot make a BUFR message: " + last_eccodes_line();
    }

    ~State() {
        if (message != nullptr) codes_handle_delete(message);
    }

    static TableB &table(long version) { return shared_table(version); }

    // The lowest installed version that defines every element descriptor of
    // `descriptors` as the newest does.
    long lowest_version(const std::vector<long> &descriptors) {
        Versions all;
        all.set();
        for (const long d : descriptors) {
            if (d / 100000 != 0) continue;  // replications
            auto found = agreeing.find(d);
            if (found == agreeing.end()) found = agreeing.emplace(d, versions_agreeing(d)).first;
            all &= found->second;
        }
        for (std::size_t v = 1; v < all.size(); ++v)
            if (all.test(v)) return static_cast<long>(v);
        return newest;
    }

    const ModeLayout &layout_of(int mode, const ventrac_element_spec *entries, int count);
    bool prepare(const ventrac_pilot *pilot, const ventrac_dctx *dctx, Subset &subset,
                 std::string &reason);
    bool pack(const Subset *subsets, std::size_t count, bool compressed, std::string &out,
              std::string &reason);

    // What one element sends; false with `reason` when it cannot go out.
    bool prepare(const Value &v, Subset::Value &o, std::vector<std::string> &warnings,
                 std::string &reason) const;
};

bool Subset::same_layout(const Subset &o) const {
    return version == o.version && mode == o.mode && descriptors == o.descriptors &&
           short_counts == o.short_counts && counts == o.counts &&
           extended_counts == o.extended_counts;
}

const Writer::State::ModeLayout &Writer::State::layout_of(int mode,
                                                          const ventrac_element_spec *entries,
                                                          int count) {
    ModeLayout &m = layouts[mode];
    const std::size_t n = static_cast<std::size_t>(count);
    if (m.table.size() == n &&
        std::memcmp(m.table.data(), entries, n * sizeof(ventrac_element_spec)) == 0)
        return m;
    m.table.assign(entries, entries + n);
    m.problem.clear();
    m.layout = Layout{};
    // The layout on the forced version's tables, or on the newest; then,
    // by default, on the lowest version that agrees with the newest (its
    // entries are the same but for the names ecCodes gives them).
    m.version = settings.table_version > 0 ? settings.table_version : newest;
    if (const Readiness r = build_layout(m.table.data(), count, table(m.version), m.layout);
        !r.ok) {
        m.problem = r.reason;
        return m;
    }
    if (settings.table_version <= 0) {
        const long lowest = lowest_version(m.layout.descriptors);
        if (lowest != m.version) {
            Layout older;
            if (build_layout(m.table.data(), count, table(lowest), older).ok) {
                m.layout = std::move(older);
                m.version = lowest;
            }
        }
    }
    return m;
}

bool Writer::State::prepare(const ventrac_pilot *pilot, const ventrac_dctx *dctx, Subset &subset,
                            std::string &reason) {
    reason.clear();
    subset.values.clear();
    subset.warnings.clear();
    if (!problem.empty()) {
        reason = problem;
        return false;
    }
    if (pilot == nullptr || dctx == nullptr) {
        reason = "no decoded message";
        return false;
    }
    const int mode = ventrac_dctx_mode(dctx);
    const ventrac_element_spec *entries = nullptr;
    const int count = ventrac_pilot_table(pilot, mode, &entries);
    if (count <= 0 || entries == nullptr) {
        reason = "the pilot file has no line for mode " + std::to_string(mode);
        return false;
    }
    const ModeLayout &m = layout_of(mode, entries, count);
    if (!m.problem.empty()) {
        reason = m.problem;
        return false;
    }
    const Layout &layout = m.layout;
    const long version = m.version;
    ValueWalk walk(dctx);
    if (!walk.run(layout.items)) {
        reason = walk.problem;
        return false;
    }
    subset.version = version;
    subset.mode = mode;
    subset.descriptors = layout.descriptors;
    subset.short_counts = std::move(walk.short_counts);
    subset.counts = std::move(walk.counts);
    subset.extended_counts = std::move(walk.extended_counts);

    // Everything is decided before ecCodes is called: the values, their
    // ranks and the typical date. Keys are "#rank#abbreviation", the rank
    // counting the abbreviation's places in expanded order from 1.
    ranks.clear();
    TableB &tables = table(version);
    const TableEntry *id_table = tables.find(kIdentifierDescriptor);
    Subset::Value id{id_table, ++ranks[id_table->abbreviation], Subset::Value::Text, 0,
                     ventrac_dctx_identifier(dctx)};
    for (unsigned char c : id.text) {
        if (!printable(c)) {
            reason =
                "the identifier holds byte " + byte_text(c) + ", not a printable IA5 character";
            return false;
        }
    }
    // Character data left out is set missing all the same: ecCodes cannot
    // pack a message whose strings were never set.
    if (id.text.empty()) id.kind = Subset::Value::MissingText;
    subset.values.reserve(walk.values.size() + 1);
    subset.values.push_back(std::move(id));

    // Typical date and time: the first year, month, day, hour and minute that
    // go out as values.
    bool typical_set[5] = {false, false, false, false, false};
    for (long &t : subset.typical) t = 0;
    for (const Value &v : walk.values) {
        Subset::Value o{
            v.node->table, ++ranks[v.node->table->abbreviation], Subset::Value::Missing, 0, {}};
        if (!prepare(v, o, subset.warnings, reason)) return false;
        const long d = v.node->descriptor;
        if (d >= 4001 && d <= 4005 && o.kind == Subset::Value::Number && !typical_set[d - 4001]) {
            subset.typical[d - 4001] = std::lround(o.number);
            typical_set[d - 4001] = true;
        }
        if (o.kind == Subset::Value::Missing && v.node->table->character)
            o.kind = Subset::Value::MissingText;
        subset.values.push_back(std::move(o));
    }
    return true;
}

bool Writer::State::pack(const Subset *subsets, std::size_t count, bool compressed,
                         std::string &out, std::string &reason) {
    out.clear();
    reason.clear();
    if (count == 0 || count > 65535) {
        reason = "a message holds 1 to 65535 subsets";
        return false;
    }
    const Subset &first = subsets[0];
    for (std::size_t s = 1; s < count; ++s) {
        if (!subsets[s].same_layout(first) || subsets[s].values.size() != first.values.size()) {
            reason = "the subsets of a message must share one layout";
            return false;
        }
    }
    clear_eccodes_line();
    Message m;
    m.h = codes_handle_clone(message);
    if (m.h == nullptr) {
        reason = "ecCodes cannot copy a BUFR message: " + last_eccodes_line();
        return false;
    }
    int error = CODES_SUCCESS;
    const std::pair<const char *, long> header[] = {
        {"masterTablesVersionNumber", first.version},
        {"numberOfSubsets", static_cast<long>(count)},
        {"compressedData", compressed ? 1 : 0},
        {"typicalYear", first.typical[0]},
        {"typicalMonth", first.typical[1]},
        {"typicalDay", first.typical[2]},
        {"typicalHour", first.typical[3]},
        {"typicalMinute", first.typical[4]},
        {"typicalSecond", 0},
    };
    for (const auto &[name, value] : header) {
        if ((error = codes_set_long(m.h, name, value)) != CODES_SUCCESS) {
            reason = eccodes_failure((std::string("take ") + name).c_str(), error);
            return false;
        }
    }
    // Uncompressed, the counts of every subset follow one another; a
    // compressed message has one set of counts for all.
    const std::size_t times = compressed ? 1 : count;
    auto repeated = [times](const std::vector<long> &v) {
        std::vector<long> all;
        all.reserve(v.size() * times);
        for (std::size_t i = 0; i < times; ++i) all.insert(all.end(), v.begin(), v.end());
        return all;
    };
    if (!set_counts(m.h, "inputShortDelayedDescriptorReplicationFactor",
                    repeated(first.short_counts)) ||
        !set_counts(m.h, "inputDelayedDescriptorReplicationFactor", repeated(first.counts)) ||
        !set_counts(m.h, "inputExtendedDelayedDescriptorReplicationFactor",
                    repeated(first.extended_counts))) {
        reason = eccodes_failure("take the delayed counts", CODES_INTERNAL_ERROR);
        return false;
    }
    error = codes_set_long_array(m.h, "unexpandedDescriptors", first.descriptors.data(),
                                 first.descriptors.size());
    if (error != CODES_SUCCESS) {
        reason = eccodes_failure("take the descriptors", error);
        return false;
    }
    auto key_of = [this](const Subset::Value &v, int rank) -> const std::string & {
        char number[16];
        const auto r = std::to_chars(number, number + sizeof number, rank);
        key.clear();
        key += '#';
        key.append(number, r.ptr);
        key += '#';
        key += v.table->abbreviation;
        return key;
    };
    auto set_one = [&](const Subset::Value &v, int rank) {
        const std::string &k = key_of(v, rank);
        if (v.kind == Subset::Value::Text) {
            std::size_t length = v.text.size();
            return codes_set_string(m.h, k.c_str(), v.text.c_str(), &length);
        }
        if (v.kind == Subset::Value::MissingText) return codes_set_missing(m.h, k.c_str());
        return codes_set_double(m.h, k.c_str(), v.number);
    };
    // A new message holds every number as missing: only the others are set.
    if (!compressed) {
        // The ranks go on from subset to subset: an abbreviation's places in
        // a subset are counted once per subset before it.
        ranks.clear();
        for (const Subset::Value &v : first.values) ++ranks[v.table->abbreviation];
        for (std::size_t s = 0; s < count; ++s) {
            for (const Subset::Value &v : subsets[s].values) {
                if (v.kind == Subset::Value::Missing) continue;
                const int rank = v.rank + static_cast<int>(s) * ranks[v.table->abbreviation];
                if ((error = set_one(v, rank)) != CODES_SUCCESS) {
                    reason = eccodes_failure(("take " + key).c_str(), error);
                    return false;
                }
            }
        }
    } else {
        // One array per key, a value per subset.
        for (std::size_t i = 0; i < first.values.size(); ++i) {
            const Subset::Value &v = first.values[i];
            const std::string &k = key_of(v, v.rank);
            if (v.table->character) {
                texts.clear();
                for (std::size_t s = 0; s < count; ++s)
                    texts.push_back(subsets[s].values[i].text.c_str());
                error = codes_set_string_array(m.h, k.c_str(), texts.data(), texts.size());
            } else {
                numbers.clear();
                bool any = false;
                for (std::size_t s = 0; s < count; ++s) {
                    const Subset::Value &x = subsets[s].values[i];
                    any = any || x.kind == Subset::Value::Number;
                    numbers.push_back(x.kind == Subset::Value::Number ? x.number
                                                                      : CODES_MISSING_DOUBLE);
                }
                if (!any) continue;
                error = count == 1 ? codes_set_double(m.h, k.c_str(), numbers[0])
                                   : codes_set_double_array(m.h, k.c_str(), numbers.data(),
                                                            numbers.size());
            }
            if (error != CODES_SUCCESS) {
                reason = eccodes_failure(("take " + k).c_str(), error);
                return false;
            }
        }
    }
    if ((error = codes_set_long(m.h, "pack", 1)) != CODES_SUCCESS) {
        reason = eccodes_failure("encode the message", error);
        return false;
    }
    const void *bytes = nullptr;
    std::size_t size = 0;
    if ((error = codes_get_message(m.h, &bytes, &size)) != CODES_SUCCESS) {
        reason = eccodes_failure("hand the message over", error);
        return false;
    }
    out.assign(static_cast<const char *>(bytes), size);
    return true;
}

bool Writer::State::prepare(const Value &v, Subset::Value &o, std::vector<std::string> &warnings,
                            std::string &reason) const {
    if (v.status == VENTRAC_STATUS_MISSING) return true;
    if (v.status != VENTRAC_STATUS_VALID && !settings.keep_implausible) return true;
    const ventrac_element_spec &e = *v.node->spec;
    const TableEntry &t = *v.node->table;
    const double value = v.element->value;
    const std::string who = shown(v.element->spec.name) + " (" + shown(e.code) + ")";

    if (t.character) {
        // The value is the coded bits (power 1, scale 1, reference 0, at most
        // 48 bits): one character per 8 bits, first character highest.
        const double limit = std::ldexp(1.0, e.nbits);
        if (!(value >= 0 && value < limit && value == std::floor(value))) {
            reason = who + " holds " + number_text(value) + ", which is no " +
                     std::to_string(e.nbits / 8) + "-character text";
            return false;
        }
        const auto bits = static_cast<std::uint64_t>(value);
        for (int shift = e.nbits - 8; shift >= 0; shift -= 8) {
            const unsigned byte = static_cast<unsigned>(bits >> shift & 0xFF);
            if (!printable(static_cast<unsigned char>(byte))) {
                reason = who + " holds byte " + byte_text(byte) + ", not a printable IA5 character";
                return false;
            }
            o.text += static_cast<char>(byte);
        }
        o.kind = Subset::Value::Text;
        return true;
    }

    // round(v * 10^scale) - reference must lie in 0 .. 2^width - 2 (all ones
    // is the missing value).
    const double ten = power_of_ten(t.scale >= 0 ? t.scale : -t.scale);
    const double scaled = t.scale >= 0 ? value * ten : value / ten;
    const double coded = std::round(scaled) - static_cast<double>(t.reference);
    const double largest = std::ldexp(1.0, static_cast<int>(t.width)) - 2;
    if (!(coded >= 0 && coded <= largest)) {
        warnings.push_back("BUFR: " + who + " = " + number_text(value) + " does not fit " +
                           std::to_string(t.width) + " bits at Table B scale " +
                           std::to_string(t.scale) + ", reference " + std::to_string(t.reference) +
                           ": written as missing");
        return true;
    }
    // Handing ecCodes the value its code stands for keeps its own rounding
    // from reaching another code.
    const double step_value = coded + static_cast<double>(t.reference);
    o.number = t.scale >= 0 ? step_value / ten : step_value * ten;
    o.kind = Subset::Value::Number;
    return true;
}

Writer::Writer(const Settings &settings) : state_(std::make_unique<State>(settings)) {}

Writer::~Writer() = default;

bool Writer::encode(const ventrac_pilot *pilot, const ventrac_dctx *dctx, std::string &out,
                    std::vector<std::string> &warnings, std::string &reason) {
    Subset subset;
    out.clear();
    if (!prepare(pilot, dctx, subset, reason)) return false;
    if (!encode(&subset, 1, false, out, reason)) return false;
    warnings.insert(warnings.end(), subset.warnings.begin(), subset.warnings.end());
    return true;
}

bool Writer::prepare(const ventrac_pilot *pilot, const ventrac_dctx *dctx, Subset &subset,
                     std::string &reason) {
    if (state_->prepare(pilot, dctx, subset, reason)) return true;
    reason.insert(0, "not written as BUFR: ");
    return false;
}

bool Writer::encode(const Subset *subsets, std::size_t count, bool compressed, std::string &out,
                    std::string &reason) {
    if (state_->pack(subsets, count, compressed, out, reason)) return true;
    out.clear();
    reason.insert(0, "not written as BUFR: ");
    return false;
}

Readiness check_table(const ventrac_element_spec *table, int count) {
    capture_eccodes_lines();
    if (table == nullptr || count <= 0) return {false, -1, "the mode has no line"};
    const long version = newest_installed_version();
    if (version <= 0) return {false, -1, "the installed ecCodes holds no WMO master table"};
    TableB &tables = shared_table(version);
    Layout layout;
    return build_layout(table, count, tables, layout);
}

long newest_table_version() { return newest_installed_version(); }

}  // namespace ventrac::bufr
