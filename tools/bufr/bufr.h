// SPDX-License-Identifier: Apache-2.0
// Decoded observations as WMO FM 94 BUFR edition 4 messages, encoded by
// ecCodes with the WMO tables that come with it.
//
// One message per observation, one subset, observed data, uncompressed; or
// a bulletin: one message of several subsets of one layout (the same mode
// and the same delayed counts), compressed or not, whose Section 1 is that of
// its first subset:
//   Section 1  data category 1 (surface data, sea), international data
//              sub-category 0 (synoptic observation from a marine station),
//              local data sub-category 255 (none), originating centre and
//              sub-centre from the settings, master table version from the
//              settings or, by default, the lowest installed version whose
//              Table B defines every element descriptor of the message with
//              the unit, scale, reference value and width of the newest
//              installed version (so that decoders with older tables read
//              it; the newest when no older one does), local table version
//              0, typical date and time from the message's own 004001-004005
//              (year, month, day, hour, minute) when they go out as values,
//              0 for any that does not.
//   Section 3  001011 (ship or mobile land station identifier) holding the
//              message's identifier, then the descriptors of the message's
//              mode in pilot order without the first line (the operating
//              mode). A delayed group goes out as its replication descriptor
//              followed by the class 31 factor descriptor the decoder gives it
//              (031000 for a 1-bit count, 031001 up to 8 bits, 031002 above);
//              groups of kind '4' go out as ordinary replication. A pilot
//              group of XX lines becomes a BUFR group of XX descriptors plus
//              one for each delayed group nested in it (its factor).
//   Section 4  each element's physical value in the unit of its pilot line.
//              Missing values, and values outside their plausibility bounds
//              (unless keep_implausible), go out as missing; so does a value
//              that does not fit its descriptor's Table B width at its Table B
//              scale and reference, with a warning. Character data (unit
//              CCITTIA5) goes out as the characters its coded bits hold,
//              left-aligned and blank-padded to the Table B width.
//
// A mode can go out as BUFR when every element descriptor of it is in the
// WMO Table B (local descriptors, class 31 descriptors and operator or
// sequence descriptors are refused), its pilot unit names its Table B unit,
// its groups have at most 63 BUFR descriptors and 255 fixed repetitions, and
// its character elements hold whole characters (power 1, scale 1,
// reference 0, a width of 8 to 48 bits in steps of 8, at most the Table B
// width).
//
// Units compare case-blind with blanks ignored, so "PA" is "Pa", "M/S" is
// "m/s", "CCITTIA5" is "CCITT IA5" and "NUMERIC" is "Numeric"; besides, these
// pilot spellings name these Table B units:
//   DEGREE, DEGREES, DEGREE TRUE, DEG TRUE   deg
//   YEAR, YEARS                              a
//   MONTH, MONTHS                            mon
//   DAY, DAYS                                d
//   HOUR, HOURS                              h
//   MINUTE, MINUTES                          min
//   SECOND, SECONDS                          s
//   METRE, METRES, METER, METERS             m
//   PASCAL                                   Pa
//   KELVIN                                   K
//   PERCENT                                  %
//   M S-1                                    m/s
//   KNOT, KNOTS                              kt
//   CODE TABLE                               CODE TABLE, Common CODE TABLE C-n
//
// ecCodes writes its own complaints through a logging function; this library
// installs one on ecCodes' default context that keeps the last line of each
// thread for the reasons it gives, instead of printing it.
//
// Thread safety: the Debian ecCodes is built thread-safe (its OpenMP locks
// guard the shared tables); each Writer owns its ecCodes handles, so one
// Writer per thread may encode at the same time as the others.
#ifndef VENTRAC_BUFR_H
#define VENTRAC_BUFR_H

#include <memory>
#include <string>
#include <vector>

#include <ventrac/ventrac.h>

namespace ventrac::bufr {

// Originating centre written when none is given: 65535, the missing value of
// WMO Common Code Table C-11 (no centre stated).
constexpr long kDefaultCentre = 65535;

struct Settings {
    long centre = kDefaultCentre;
    long subcentre = 0;
    long table_version = 0;  // 0: the lowest that agrees with the newest installed
    bool keep_implausible = false;
};

struct TableEntry;

// One decoded observation made ready to go out as a subset: its layout and
// every value of Section 4 in expanded order, the identifier first.
struct Subset {
    struct Value {
        const TableEntry *table = nullptr;  // owned by the Writer that made it
        int rank = 0;                       // of its abbreviation in the subset, from 1
        enum Kind { Missing, MissingText, Number, Text } kind = Missing;
        double number = 0;
        std::string text;
    };
    long version = 0;  // master table version
    int mode = 0;
    std::vector<long> descriptors;
    std::vector<long> short_counts, counts, extended_counts;
    std::vector<Value> values;
    long typical[5] = {0, 0, 0, 0, 0};
    std::vector<std::string> warnings;  // values written as missing because they do not fit

    // The same master table version, mode, descriptors and delayed counts:
    // the two can share a message.
    bool same_layout(const Subset &other) const;
};

class Writer {  // one per thread; reusable from message to message
public:
    explicit Writer(const Settings &settings);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Encodes the observation last decoded by `dctx` with `pilot` as one
    // BUFR edition 4 message.
    // true: the message's bytes in `out` (replaced), and one line per value
    // written as missing because it does not fit appended to `warnings` (no
    // line feed);
    // false: `reason` holds one line saying why BUFR cannot carry it (no line
    // feed), "not written as BUFR: " and the reason; `out` is then empty.
    // Warnings begin with "BUFR: ".
    bool encode(const ventrac_pilot *pilot, const ventrac_dctx *dctx, std::string &out,
                std::vector<std::string> &warnings, std::string &reason);

    // The first half of encode(): the observation last decoded by `dctx`
    // as a subset (replaced). false with `reason` as encode() gives it.
    bool prepare(const ventrac_pilot *pilot, const ventrac_dctx *dctx, Subset &subset,
                 std::string &reason);

    // The second half: subsets[0 .. count) of one layout, made by this
    // writer, as one message of `count` subsets, compressed or not. true:
    // its bytes in `out` (replaced); false: `reason` says why not ("not
    // written as BUFR: " and the reason, no line feed).
    bool encode(const Subset *subsets, std::size_t count, bool compressed, std::string &out,
                std::string &reason);

private:
    struct State;
    std::unique_ptr<State> state_;
};

struct Readiness {
    bool ok = true;
    int entry = -1;
    std::string reason;
};

// Whether messages of a mode whose decoder table is table[0..count) can go
// out as BUFR (with the newest installed master table version); entry: the
// index of the table entry that stops it, -1 when no entry does (no table,
// or no WMO tables installed). The reason names no line and has no line feed.
Readiness check_table(const ventrac_element_spec *table, int count);

// The newest WMO master table version the installed ecCodes holds; 0 when
// none is found.
long newest_table_version();

}  // namespace ventrac::bufr

#endif
