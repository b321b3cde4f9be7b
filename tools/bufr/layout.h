// SPDX-License-Identifier: Apache-2.0
// A mode's element table as BUFR descriptors: which table entries become
// which descriptors, and why a mode cannot go out as BUFR.
#ifndef VENTRAC_BUFR_LAYOUT_H
#define VENTRAC_BUFR_LAYOUT_H

#include <string>
#include <vector>

#include "bufr.h"
#include "pilot/pilot.h"
#include "tables.h"

namespace ventrac::bufr {

// Descriptor of the identifier that opens every message.
constexpr long kIdentifierDescriptor = 1011;

// One table entry after the mode element: an element or a replicated group.
struct Node {
    int entry = 0;  // index in the element table
    const ElementSpec *spec = nullptr;
    bool group = false;
    // Element:
    long descriptor = 0;  // F XX YYY as a number
    const TableEntry *table = nullptr;
    // Group:
    char kind = '1';      // '1' or '4'
    int repetitions = 0;  // 0: delayed
    long factor = 0;      // delayed: 31000, 31001 or 31002
    const TableEntry *factor_table = nullptr;
    int bufr_size = 0;  // descriptors the BUFR group holds
    std::vector<Node> children;
};

struct Layout {
    std::vector<Node> items;
    // Section 3: 001011, then every item's descriptors in pilot order.
    std::vector<long> descriptors;
};

// Pilot text as the reasons and warnings show it: one line, every control
// character as '?'.
std::string shown(const char *text);

// The class 31 descriptor the decoder gives a delayed count of `nbits` bits.
long factor_descriptor(int nbits);

// Lays out the entries 1 .. count - 1 of a mode's element table. On failure
// `layout` is incomplete and the result names the entry that stops it.
Readiness build_layout(const ElementSpec *table, int count, TableB &tables, Layout &layout);

}  // namespace ventrac::bufr

#endif
