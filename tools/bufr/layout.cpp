// SPDX-License-Identifier: Apache-2.0
#include "layout.h"

#include <cstdlib>
#include <cstring>

#include "codec/replication.h"
#include "units.h"

namespace ventrac::bufr {

namespace {

// A BUFR replication descriptor holds XX in 6 bits and YYY in 8 bits.
constexpr int kMaxGroupDescriptors = 63;
constexpr int kMaxRepetitions = 255;
// Character data must come back exactly from a decoded value (a double):
// 6 characters are 48 bits, within its 53-bit mantissa.
constexpr int kMaxCharacterBits = 48;

std::string quoted(const char *text) { return '\'' + shown(text) + '\''; }

// "012101 (TA)": a table entry as the reasons name it.
std::string named(const ElementSpec &e) { return shown(e.code) + " (" + shown(e.name) + ")"; }

bool six_digits(const char *code) {
    if (std::strlen(code) != 6) return false;
    for (int i = 0; i < 6; ++i)
        if (code[i] < '0' || code[i] > '9') return false;
    return true;
}

Readiness refuse(int entry, std::string reason) { return {false, entry, std::move(reason)}; }

class Builder {
public:
    Builder(const ElementSpec *table, int count, TableB &tables)
        : table_(table), count_(count), tables_(tables) {}

    // Lays out the n entries from `first` into `out`.
    Readiness sequence(int first, int n, int opener, std::vector<Node> &out) {
        const int end = first + n;
        for (int j = first; j < end; ++j) {
            if (j >= count_)
                return refuse(opener, "group " + named(table_[opener]) +
                                          " reaches past the last line of the mode");
            Node node;
            const Readiness r = opens_group(table_[j].code) ? group(j, node) : element(j, node);
            if (!r.ok) return r;
            if (node.group) j += static_cast<int>(replication_of(table_[j].code).group_size);
            out.push_back(std::move(node));
        }
        return {};
    }

private:
    Readiness element(int j, Node &node) {
        const ElementSpec &e = table_[j];
        node.entry = j;
        node.spec = &e;
        if (!six_digits(e.code))
            return refuse(j, "descriptor " + quoted(e.code) + " of " + shown(e.name) +
                                 " is not a six-digit BUFR descriptor");
        const long d = std::strtol(e.code, nullptr, 10);
        const long f = d / 100000, x = d / 1000 % 100, y = d % 1000;
        if (f == 2 || f == 3)
            return refuse(j, named(e) + " is " + (f == 2 ? "an operator" : "a sequence") +
                                 " descriptor: only element descriptors and replications go out");
        if (f != 0) return refuse(j, named(e) + " is not a BUFR descriptor");
        if (x >= 48 || y >= 192)
            return refuse(j, named(e) + " is a local descriptor, not in the WMO tables");
        if (x == 31)
            return refuse(j, named(e) +
                                 " is a class 31 descriptor: BUFR writes those only as "
                                 "the count of a delayed group");
        const TableEntry *t = tables_.find(d);
        if (t == nullptr)
            return refuse(j, named(e) + " is not in WMO Table B version " +
                                 std::to_string(tables_.version()));
        if (!same_unit(e.unit, t->unit))
            return refuse(j, named(e) + ": the pilot unit " + quoted(e.unit) +
                                 " is not the Table B unit " + quoted(t->unit.c_str()));
        if (t->character) {
            if (e.power != 1 || e.scale != 1 || e.reference != 0)
                return refuse(j, named(e) +
                                     ": character data needs power 1, scale 1 and "
                                     "reference 0, so that its value is its coded bits");
            if (e.nbits == 0 || e.nbits % 8 != 0)
                return refuse(j, named(e) + ": character data of " + std::to_string(e.nbits) +
                                     " bits is not a whole number of 8-bit characters");
            if (e.nbits > kMaxCharacterBits)
                return refuse(j, named(e) + ": character data of " + std::to_string(e.nbits / 8) +
                                     " characters: a decoded value holds at most 6 exactly");
            if (e.nbits > t->width)
                return refuse(j, named(e) + ": " + std::to_string(e.nbits / 8) +
                                     " characters do not fit the " + std::to_string(t->width / 8) +
                                     " of Table B");
        }
        node.descriptor = d;
        node.table = t;
        return {};
    }

    Readiness group(int j, Node &node) {
        const ElementSpec &e = table_[j];
        node.entry = j;
        node.spec = &e;
        node.group = true;
        if (!six_digits(e.code))
            return refuse(j, "descriptor " + quoted(e.code) + " of " + shown(e.name) +
                                 " is not a six-digit BUFR descriptor");
        const Replication rep = replication_of(e.code);
        node.kind = rep.kind;
        node.repetitions = rep.repetitions;
        if (rep.group_size == 0) return refuse(j, "group " + named(e) + " repeats no line");
        if (rep.repetitions > kMaxRepetitions)
            return refuse(j, "group " + named(e) + " repeats " + std::to_string(rep.repetitions) +
                                 " times, more than the 255 of a BUFR replication");
        if (rep.delayed()) {
            node.factor = factor_descriptor(e.nbits);
            node.factor_table = tables_.find(node.factor);
            if (node.factor_table == nullptr)
                return refuse(
                    j, "the count of group " + named(e) + ", 0" + std::to_string(node.factor) +
                           ", is not in WMO Table B version " + std::to_string(tables_.version()));
        }
        const Readiness r = sequence(j + 1, rep.group_size, j, node.children);
        if (!r.ok) return r;
        for (const Node &child : node.children)
            node.bufr_size += child.group ? 1 + (child.factor != 0) + child.bufr_size : 1;
        if (node.bufr_size > kMaxGroupDescriptors)
            return refuse(j, "group " + named(e) + " holds " + std::to_string(node.bufr_size) +
                                 " BUFR descriptors, more than the 63 of a replication");
        return {};
    }

    const ElementSpec *table_;
    int count_;
    TableB &tables_;
};

void flatten(const std::vector<Node> &nodes, std::vector<long> &out) {
    for (const Node &n : nodes) {
        if (!n.group) {
            out.push_back(n.descriptor);
            continue;
        }
        out.push_back(100000L + 1000L * n.bufr_size + n.repetitions);
        if (n.factor != 0) out.push_back(n.factor);
        flatten(n.children, out);
    }
}

}  // namespace

std::string shown(const char *text) {
    std::string s(text);
    for (char &c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
}

long factor_descriptor(int nbits) { return nbits == 1 ? 31000 : nbits > 8 ? 31002 : 31001; }

Readiness build_layout(const ElementSpec *table, int count, TableB &tables, Layout &layout) {
    layout = Layout{};
    if (!tables.problem().empty()) return refuse(-1, tables.problem());
    if (tables.find(kIdentifierDescriptor) == nullptr)
        return refuse(-1,
                      "001011 is not in WMO Table B version " + std::to_string(tables.version()));
    Builder builder(table, count, tables);
    const Readiness r = builder.sequence(1, count - 1, 0, layout.items);
    if (!r.ok) return r;
    layout.descriptors.push_back(kIdentifierDescriptor);
    flatten(layout.items, layout.descriptors);
    return {};
}

}  // namespace ventrac::bufr
