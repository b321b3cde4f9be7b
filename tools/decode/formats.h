// The output formats: aligned text for a person, JSON Lines, CSV, and the
// bare values of --get.
#ifndef VENTRAC_DECODE_FORMATS_H
#define VENTRAC_DECODE_FORMATS_H

#include <string>
#include <string_view>
#include <vector>

#include "codec/codec.h"
#include "options.h"
#include "text.h"

namespace ventrac::decode {

// One decoded element as the formats show it.
struct Element {
    std::string_view ident, code, name, unit;
    std::string_view text, conv_text;  // display texts without their padding
    std::string_view comment;
    bool valid = false;
    double value = 0.0;
    double conv_value = 0.0;
};

// One decoded file, copied out of the codec's tables so that it can be
// printed while the next file decodes. Objects are reused from file to file
// and keep their storage.
struct Observation {
    std::string file;
    std::string identifier;
    int mode = 0;
    int type_code = 0;
    std::string message;            // the file's content, for --telex
    std::vector<Element> elements;  // views into `texts`
    std::string texts;
    std::string values;             // the --get lines
    std::string failure;            // why the file was not decoded, or empty

    // Copies the first `count` entries of `decoded`.
    void capture(const DecodedElement *decoded, int count);
};

class Printer {
public:
    explicit Printer(const Options &options);

    // What comes before the first file (the CSV header row).
    void begin(Buffer &out) const;
    // With --get, looks this observation's values up in donnees, which must
    // still hold it, and keeps the lines in obs.values.
    void look_up(Observation &obs) const;
    // One file: the observation, or 'NA' for each --get when it failed.
    void print(const Observation &obs, Buffer &out) const;

private:
    Format format_;
    bool telex_;
    const std::vector<Lookup> &lookups_;
};

}  // namespace ventrac::decode

#endif
