// SPDX-License-Identifier: Apache-2.0
// Generated round trips: a pilot file with plain elements, fixed, delayed and
// nested groups of both kinds and lines of other modes, values for it, and
// what the decoder must give back. Shared by the property test and the
// round-trip fuzz target, which draw the choices from different sources.
#ifndef VENTRAC_TEST_ROUNDTRIP_H
#define VENTRAC_TEST_ROUNDTRIP_H

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vt_test {

// Where the generator's choices come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // A value in 0 .. bound - 1 (0 when bound is 0).
    virtual std::uint32_t next(std::uint32_t bound) = 0;
};

class SeededSource : public ByteSource {
public:
    explicit SeededSource(std::uint32_t seed) : draw_(seed) {}
    std::uint32_t next(std::uint32_t bound) override;

private:
    std::mt19937 draw_;
};

// Choices read from fuzz input; 0 once the bytes run out.
class DataSource : public ByteSource {
public:
    DataSource(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    std::uint32_t next(std::uint32_t bound) override;

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// One decoded entry the decoder must produce.
struct ExpectedEntry {
    std::string name;
    std::string code;
    int valid = 0;
    double value = 0;      // the value put in (when valid)
    double tolerance = 0;  // half a resolution step
};

struct RoundTripCase {
    std::string pilot;
    signed char mode = 1;
    std::vector<double> values;
    std::vector<int> presence;
    std::vector<ExpectedEntry> expected;
    int packed_bits = 5;  // the mode's 5 bits, then every value's width
};

RoundTripCase make_round_trip_case(ByteSource &source);

// Writes the pilot into `dir`, encodes, arms, reads back, decodes and checks
// every entry; returns "" when all holds, else what failed. The trace and
// the error lines are dropped meanwhile and restored afterwards.
std::string check_round_trip(const RoundTripCase &c, const std::string &dir);

}  // namespace vt_test

#endif
