// SPDX-License-Identifier: Apache-2.0
// The output formats: aligned text for a person, JSON Lines, CSV, and the
// bare values of --get.
#ifndef VENTRAC_DECODE_FORMATS_H
#define VENTRAC_DECODE_FORMATS_H

#include <string_view>
#include <vector>

#include "options.h"
#include "text.h"

namespace ventrac::decode {

// Why an element is or is not usable.
enum class Validity { Valid, Missing, Implausible };

// One decoded element as the formats show it.
struct Element {
    std::string_view ident, code, name, unit;
    std::string_view text, conv_text;  // display texts without their padding
    std::string_view comment;
    Validity validity = Validity::Valid;
    double value = 0.0;
    double conv_value = 0.0;

    bool valid() const { return validity == Validity::Valid; }
};

// One decoded message. Its texts are views into storage that the caller
// keeps until the observation is printed (the decoder's table, the input).
struct Observation {
    std::string_view file;  // the file's name, or FILE:LINE
    std::string_view identifier;
    int mode = 0;
    int type_code = 0;
    std::string_view message;  // the transmitted text, for --telex
    std::vector<Element> elements;
    std::string_view values;  // the --get lines
};

class Printer {
public:
    explicit Printer(const Options &options);

    // What comes before the first message (the CSV header row).
    void begin(Buffer &out) const;
    // One decoded message.
    void print(const Observation &obs, Buffer &out) const;
    // What a message that cannot be decoded prints: 'NA' for each --get.
    void print_failure(Buffer &out) const;

private:
    Format format_;
    bool telex_;
    std::size_t lookups_;
};

}  // namespace ventrac::decode

#endif
