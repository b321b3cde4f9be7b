// SPDX-License-Identifier: Apache-2.0
#include "record.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include <charconv>
#include <cstring>

#include "codec/replication.h"
#include "codec/rules.h"
#include "pilot/text.h"

namespace ventrac::encode {

namespace {

// The text of a fixed-size field, up to its terminator.
template <std::size_t N>
std::string_view field(const char (&text)[N]) {
    const void *end = std::memchr(text, '\0', N);
    return {text,
            end != nullptr ? static_cast<std::size_t>(static_cast<const char *>(end) - text) : N};
}

// `lead` followed by `n` in at least three digits, as "%3.3d" prints it.
std::string three_digits(const char *lead, long long n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    std::string text(lead);
    if (n < 0) text += '-';
    return text + digits;
}

// The shortest text that reads back as `v`.
std::string number_text(double v) {
    char text[32];
    const char *end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(static_cast<const char *>(text), end);
}

// Whether a present value is coded as it reads back: rounded into
// 0 .. max_coded, below the all-ones code of a missing value.
bool fits(const ElementSpec &e, double v) {
    const int width = rules::packed_width(e);
    if (width <= 0) return false;
    double largest = static_cast<double>(e.max_coded);
    if (width < 64) largest = std::min(largest, std::ldexp(1.0, width) - 2.0);
    if (largest < 0) return false;
    const double x = law_power((v - e.reference) / e.scale, 1.0 / e.power);
    return x + 0.5 >= 0.0 && x + 0.5 < largest + 1.0;
}

// Checks present value `x` under `e` (a count is the encoder's to check);
// "" or why it is refused, naming the element with what `what()` gives.
// Adds a warning instead under `clip`.
template <typename What>
std::string check_value(const ElementSpec &e, const What &what, double x, bool count, bool clip,
                        std::vector<std::string> &warnings) {
    if (!std::isfinite(x)) return what() + ": the value is not a finite number";
    if (count || fits(e, x)) return {};
    const std::int64_t coded = rules::coded_value(e, x);
    const std::string text =
        what() + ": value " + number_text(x) + " lies outside what its width and law can carry";
    if (!clip) return text;
    warnings.push_back(text + "; sent as code " + std::to_string(coded) + " (" +
                       number_text(rules::physical_value(e, static_cast<double>(coded))) + ")");
    return {};
}

// The record's elements by descriptor and name, each taken once, in record
// order when a name comes more than once. Takes can be undone, latest first.
//
// A record in the decoder's order is matched element after element: when
// the first element not yet taken has the name asked for, it is the one to
// take (every element before it is taken). Only a name found elsewhere, or
// nowhere, builds the index by name, once per record.
class Index {
public:
    explicit Index(const std::vector<NamedValue> &elements) : elements_(elements) {
        taken_.assign(elements.size(), false);
    }

    // The next unused element with this descriptor and name, or null.
    const NamedValue *take(std::string_view code, std::string_view name) {
        const std::size_t first = first_left();
        if (first < elements_.size() && elements_[first].code == code &&
            elements_[first].name == name)
            return take_at(first, nullptr);
        build_positions();
        const auto found = positions_.find(Key{code, name});
        if (found == positions_.end()) return nullptr;
        Positions &p = found->second;
        while (p.next < p.list.size() && taken_[p.list[p.next]]) ++p.next;
        if (p.next == p.list.size()) return nullptr;
        return take_at(p.list[p.next], &p);
    }

    std::size_t taken_count() const { return log_.size(); }

    // Undoes the takes made since taken_count() was `count`.
    void undo_to(std::size_t count) {
        while (log_.size() > count) {
            const std::size_t i = log_.back();
            taken_[i] = false;
            first_ = std::min(first_, i);
            if (!positions_.empty()) {
                // The element is again the first of its name left.
                Positions &p = positions_.find(key(elements_[i]))->second;
                while (p.next > 0 && !taken_[p.list[p.next - 1]]) --p.next;
            }
            log_.pop_back();
        }
    }

    // Record position of the first element not taken (the size when all are).
    std::size_t first_left() {
        while (first_ < taken_.size() && taken_[first_]) ++first_;
        return first_;
    }

    const NamedValue &at(std::size_t i) const { return elements_[i]; }

    // Whether the takes since `count` include record position `i`.
    bool took_since(std::size_t count, std::size_t i) const {
        for (std::size_t k = count; k < log_.size(); ++k)
            if (log_[k] == i) return true;
        return false;
    }

private:
    // The record positions of one name; those before `next` are taken.
    struct Positions {
        std::vector<std::size_t> list;
        std::size_t next = 0;
    };

    const NamedValue *take_at(std::size_t i, Positions *p) {
        taken_[i] = true;
        log_.push_back(i);
        if (p != nullptr && p->list[p->next] == i) ++p->next;
        return &elements_[i];
    }

    void build_positions() {
        if (built_) return;
        built_ = true;
        for (std::size_t i = 0; i < elements_.size(); ++i)
            positions_[key(elements_[i])].list.push_back(i);
    }

    // Descriptor and name, viewed in the record's own texts: no copy.
    struct Key {
        std::string_view code, name;
        bool operator==(const Key &) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key &k) const noexcept {
            const std::size_t h = std::hash<std::string_view>()(k.code);
            return h ^ (std::hash<std::string_view>()(k.name) + 0x9e3779b97f4a7c15ull + (h << 6) +
                        (h >> 2));
        }
    };
    static Key key(const NamedValue &v) { return {v.code, v.name}; }
    const std::vector<NamedValue> &elements_;
    bool built_ = false;
    std::unordered_map<Key, Positions, KeyHash> positions_;
    std::vector<bool> taken_;
    std::vector<std::size_t> log_;  // the positions taken, in order
    std::size_t first_ = 0;
};

// The walk of the encoder over a mode's elements, naming each value as the
// decoder names the element it becomes.
class Walk {
public:
    Walk(const Layouts::Layout &layout, const Record &record, bool clip, Values &out)
        : layout_(layout), record_(record), clip_(clip), out_(out), index_(record.elements) {}

    void run() {
        int start = 1;
        sequence(start, static_cast<int>(layout_.entries.size()) - 1, 1, 0, std::string());
        if (!out_.error.empty()) return;
        if (const std::size_t i = index_.first_left(); i < record_.elements.size())
            fail("element " + index_.at(i).code + " " + index_.at(i).name +
                 " is not in operating mode " + std::to_string(record_.mode) +
                 " with these counts");
    }

private:
    static constexpr int kProbe = -1;  // a count the record gives by its elements

    const Layouts::Entry &entry(int j) const {
        static const Layouts::Entry cleared{};
        return j >= 0 && static_cast<std::size_t>(j) < layout_.entries.size() ? layout_.entries[j]
                                                                              : cleared;
    }

    bool fail(std::string error) {
        if (out_.error.empty()) out_.error = std::move(error);
        return false;
    }

    void push(double value, int present) {
        out_.values.push_back(value);
        out_.presence.push_back(present);
    }

    // A value read from the record; false after an error.
    bool value_of(const NamedValue &v, const ElementSpec &e, bool count) {
        if (!v.number)
            return fail("element " + v.code + " " + v.name + ": the value is not a number");
        if (!v.value) {
            push(0.0, 0);
            return true;
        }
        const std::string why = check_value(
            e, [&v] { return "element " + v.code + " " + v.name; }, *v.value, count, clip_,
            out_.warnings);
        if (!why.empty()) return fail(why);
        push(*v.value, 1);
        return true;
    }

    struct Mark {
        std::size_t values;
        std::int32_t num_rep_tr, nb_rep_d_dev;
        std::size_t taken;
        std::size_t warnings;
    };
    Mark mark() const {
        return {out_.values.size(), num_rep_tr_, nb_rep_d_dev_, index_.taken_count(),
                out_.warnings.size()};
    }
    void rewind(const Mark &m) {
        out_.values.resize(m.values);
        out_.presence.resize(m.values);
        num_rep_tr_ = m.num_rep_tr;
        nb_rep_d_dev_ = m.nb_rep_d_dev;
        index_.undo_to(m.taken);
        out_.warnings.resize(m.warnings);
    }

    bool step() {
        if (++steps_ <= kMaxWalkSteps) return true;
        return fail("the replications repeat more than the encoder walks");
    }

    // The group opened at entry j, in repetition r of its sequence; leaves
    // j past the group.
    bool group(int &j, int r, int depth, int &inner_depth, const std::string &current) {
        const Layouts::Entry &g = entry(j);
        const Replication rep = replication_of(g.spec.code);
        const bool counted = rep.kind == '1';
        if (r == 0 && counted) {
            ++num_rep_tr_;
            inner_depth = depth + 1;
        }
        int count = rep.repetitions;
        std::size_t count_slot = 0;
        if (rep.delayed()) {
            if (counted) ++nb_rep_d_dev_;
            count = kProbe;
            const NamedValue *given =
                counted ? index_.take(g.factor_code, g.name + three_digits("", nb_rep_d_dev_))
                        : nullptr;
            count_slot = out_.values.size();
            if (given != nullptr && (given->value || !given->number)) {
                if (!value_of(*given, g.spec, true)) return false;
                count = std::max(0, repetition_count(*given->value));
            } else {
                push(0.0, 1);
            }
        }
        int k = j + 1;
        const int walked = sequence(k, rep.group_size, count, inner_depth, current);
        if (walked < 0) return false;
        if (count == kProbe) out_.values[count_slot] = walked;
        j = k + 1;
        return true;
    }

    // Walks entries start .. start + nbpar - 1 `nbsec` times (kProbe: as
    // long as a repetition finds an element in the record); leaves `start`
    // on the last entry. Returns the repetitions walked, -1 after an error.
    int sequence(int &start, int nbpar, int nbsec, int depth, const std::string &suffix) {
        const int i1 = start;
        const int i2 = i1 + nbpar;
        const int end = table_end(i2);
        std::string prefix, current;
        if (depth != 0) {
            current = three_digits("_D", num_rep_tr_);
            prefix = suffix + current;
        }
        int inner_depth = depth;
        int r = 0;
        for (; nbsec == kProbe || r < nbsec; ++r) {
            if (!step()) return -1;
            const Mark before = mark();
            const std::size_t next_in_record = nbsec == kProbe ? index_.first_left() : 0;
            const std::string current_before = current;
            const int inner_before = inner_depth;
            for (int j = i1; j < end;) {
                if (!step()) return -1;
                const Layouts::Entry &e = entry(j);
                if (opens_group(e.spec.code)) {
                    if (!group(j, r, depth, inner_depth, current)) return -1;
                    continue;
                }
                if (depth > 0) current = prefix + three_digits("-", r);
                // The decoder's name: the pilot's, suffixed in a replication,
                // cut to the size of its field.
                std::string_view name = e.name;
                if (!current.empty()) {
                    name_.assign(e.name).append(current);
                    name = name_;
                }
                name = name.substr(0, sizeof(ElementSpec{}.name) - 1);
                const NamedValue *given = index_.take(e.code, name);
                if (given == nullptr)
                    push(0.0, 0);
                else if (!value_of(*given, e.spec, false))
                    return -1;
                ++j;
            }
            // A repetition the record gives takes its next element: names
            // may repeat from one repetition to the next, and the record's
            // order tells them apart.
            if (nbsec == kProbe && !index_.took_since(before.taken, next_in_record)) {
                rewind(before);
                current = current_before;
                inner_depth = inner_before;
                break;
            }
        }
        start = i2 - 1;
        return r;
    }

    const Layouts::Layout &layout_;
    const Record &record_;
    bool clip_;
    Values &out_;
    Index index_;
    std::string name_;  // a replicated element's name, with its suffix
    std::int32_t num_rep_tr_ = -1;
    std::int32_t nb_rep_d_dev_ = -1;
    long steps_ = 0;
};

}  // namespace

const Layouts::Layout &Layouts::of(int mode) const {
    Slot &slot = slots_[static_cast<std::size_t>(mode + 128) & 255u];
    std::call_once(slot.once, [&] {
        const ElementSpec *table = nullptr;
        const int kept = ventrac_pilot_table(pilot_, mode, &table);
        for (int i = 0; i < kept; ++i) {
            Entry e;
            e.spec = table[i];
            e.code = shown_text(field(e.spec.code));
            e.name = shown_text(field(e.spec.name));
            e.factor_code = factor_code(e.spec.nbits);
            slot.layout.entries.push_back(std::move(e));
        }
    });
    return slot.layout;
}

void match_record(const Layouts &layouts, const Record &record, bool clip, Values &out) {
    out.values.clear();
    out.presence.clear();
    out.error.clear();
    out.warnings.clear();
    const Layouts::Layout &layout = layouts.of(record.mode);
    if (layout.entries.empty()) {
        out.error = "the pilot file has no line for operating mode " + std::to_string(record.mode);
        return;
    }
    Walk(layout, record, clip, out).run();
}

Values match_record(const Layouts &layouts, const Record &record, bool clip) {
    Values out;
    match_record(layouts, record, clip, out);
    return out;
}

Values positional_values(const Record &record, bool clip) {
    Values out;
    for (std::size_t i = 0; i < record.elements.size(); ++i) {
        const NamedValue &v = record.elements[i];
        out.values.push_back(v.value.value_or(0.0));
        out.presence.push_back(v.value ? 1 : 0);
        if (!v.value || v.spec == nullptr) continue;
        const auto what = [&] {
            return "value " + std::to_string(i + 1) + " (" + std::string(field(v.spec->code)) +
                   " " + std::string(field(v.spec->name)) + ")";
        };
        std::string why =
            check_value(*v.spec, what, *v.value, opens_group(v.spec->code), clip, out.warnings);
        if (!why.empty()) {
            out.error = std::move(why);
            break;
        }
    }
    return out;
}

}  // namespace ventrac::encode
