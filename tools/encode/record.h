// SPDX-License-Identifier: Apache-2.0
// An observation given by name, as ventrac-decode --json and the Python
// module show it, turned into the values and presence flags the encoder
// consumes in order.
#ifndef VENTRAC_ENCODE_RECORD_H
#define VENTRAC_ENCODE_RECORD_H

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "codec/context.h"
#include "pilot/pilot.h"

namespace ventrac::encode {

// One element of a record: its descriptor and name as the decoder gives
// them, and its value (none: missing).
struct NamedValue {
    std::string code;
    std::string name;
    std::optional<double> value;
    bool number = true;  // false: the value was given but is not a number
    // A record read by position (BUFR): the pilot line of the value.
    const ElementSpec *spec = nullptr;
};

// An observation: identifier, operating mode and elements in any order.
struct Record {
    std::string identifier;
    int mode = 0;
    std::vector<NamedValue> elements;
};

// What the encoder is handed, or why it is not.
struct Values {
    std::vector<double> values;
    std::vector<int> presence;
    std::string error;                  // empty: encode
    std::vector<std::string> warnings;  // values clipped under --clip
};

// The elements of each operating mode, as the decoder names them, made on
// first use and shared read-only by every thread.
class Layouts {
public:
    explicit Layouts(const ventrac_pilot *pilot) : pilot_(pilot) {}

    struct Entry {
        ElementSpec spec;  // the pilot line
        std::string code;  // descriptor and name as the JSON output reads them
        std::string name;
        std::string factor_code;  // a delayed count's class 31 descriptor
    };
    struct Layout {
        std::vector<Entry> entries;  // entry 0 is the mode element
    };

    // The layout of `mode` (-128 .. 127); no entries when no line belongs
    // to it.
    const Layout &of(int mode) const;

    const ventrac_pilot *pilot() const { return pilot_; }

private:
    struct Slot {
        std::once_flag once;
        Layout layout;
    };
    const ventrac_pilot *pilot_;
    mutable std::array<Slot, 256> slots_;
};

// Matches the record's elements with the walk of its mode (the suffixes
// the decoder gives replicated elements and the class 31 entry of a kind
// '1' delayed count included) and checks each value: a number, within what
// its element's width and law can carry (`clip`: clipped with a warning).
// A delayed count absent from the record (always so for kind '4') is the
// number of repetitions the record gives: a repetition is given when the
// record's next element not yet matched belongs to it (the decoder's order).
// An element absent or null is sent as missing; an element the walk never
// reaches is an error.
Values match_record(const Layouts &layouts, const Record &record, bool clip);

// The same into `out`, whose storage is reused from record to record.
void match_record(const Layouts &layouts, const Record &record, bool clip, Values &out);

// The values of a record read by position, each with its pilot line, in
// the order the encoder consumes them; checked as match_record() checks
// them.
Values positional_values(const Record &record, bool clip);

}  // namespace ventrac::encode

#endif
