// SPDX-License-Identifier: Apache-2.0
// WMO Table B as the installed ecCodes holds it, one master table version,
// looked up through ecCodes itself: a descriptor is set alone on a scratch
// message and ecCodes expands it with its own tables.
#ifndef VENTRAC_BUFR_TABLES_H
#define VENTRAC_BUFR_TABLES_H

#include <bitset>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

struct grib_handle;

namespace ventrac::bufr {

// One Table B element descriptor.
struct TableEntry {
    std::string abbreviation;  // ecCodes' key name, e.g. "airTemperature"
    std::string unit;          // e.g. "K", "CCITT IA5"
    long scale = 0;
    long reference = 0;
    long width = 0;
    bool character = false;  // CCITT IA5 data
};

// The Section 1 fields of every message, set once on a template message.
struct Header {
    long centre = 0;
    long subcentre = 0;
    long table_version = 0;
};

// A BUFR edition 4 message with one uncompressed subset of observed data and
// the Section 1 of `header`; nullptr when ecCodes cannot make one (why: the
// last ecCodes line).
grib_handle *new_message(const Header &header);

class TableB {
public:
    // `version` is a master table version above 0.
    explicit TableB(long version);
    ~TableB();
    TableB(const TableB &) = delete;
    TableB &operator=(const TableB &) = delete;

    long version() const { return version_; }

    // Whether the version's tables are installed (an empty text) or why not.
    const std::string &problem() const { return problem_; }

    // The entry of element descriptor `descriptor` (F = 0), or nullptr when
    // the tables have none. The entry lives as long as this object. Any
    // number of threads may call it at once.
    const TableEntry *find(long descriptor);

private:
    long version_;
    grib_handle *probe_ = nullptr;
    std::string problem_;
    std::mutex lock_;  // guards probe_ and cache_
    std::unordered_map<long, std::optional<TableEntry>> cache_;
};

// The tables of master table version `version` (above 0), made once per
// process and shared by every thread; kept to the end of the process.
TableB &shared_table(long version);

// ecCodes' error line last written on this thread ("" when none since
// clear_eccodes_line()). Installing the capture (once per process) stops
// ecCodes from printing to standard error.
void capture_eccodes_lines();
void clear_eccodes_line();
std::string last_eccodes_line();

// The newest master table version whose Table B the installed ecCodes
// definitions hold; 0 when none is found.
long newest_installed_version();

// The master table versions whose installed Table B defines element
// descriptor `descriptor` with the unit, scale, reference value and width the
// newest installed version gives it: bit v for version v (0 to 255). Empty
// when the newest does not define it. The tables are read once per process,
// from ecCodes' definitions.
using Versions = std::bitset<256>;
Versions versions_agreeing(long descriptor);

}  // namespace ventrac::bufr

#endif
