// SPDX-License-Identifier: Apache-2.0
// BUFR output read back by ecCodes itself: every message written decodes to
// the values the decoder gives, with the identifier, the replication counts
// and the missing values where they belong; the messages BUFR cannot carry
// fail with their reason; pilot units against Table B units.
#include <gtest/gtest.h>

#include <eccodes.h>
#ifdef VENTRAC_HAVE_WREPORT
#include <wreport/bulletin.h>
#include <wreport/subset.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bufr/bufr.h"
#include "bufr/units.h"
#include "codec/codec.h"
#include "codec/context.h"
#include "codec/handles.h"
#include "roundtrip.h"
#include "test_support.h"

namespace {

using ventrac::bufr::Readiness;
using ventrac::bufr::Settings;
using ventrac::bufr::Writer;

const std::string kExamples = VENTRAC_EXAMPLES;

std::string read_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---------------------------------------------------------------------------
// An observation encoded with the codec and decoded back.

struct Observation {
    int mode = 1;
    std::vector<double> values;
    std::vector<int> presence;
    std::string identifier = "FNZ6042";
};

// The data file format: the mode, then "presence value" lines.
Observation read_observation(const std::string &text) {
    Observation o;
    std::istringstream in(text);
    in >> o.mode;
    int p = 0;
    double v = 0;
    while (in >> p >> v) {
        o.presence.push_back(p);
        o.values.push_back(v);
    }
    return o;
}

using ventrac::DctxPtr;
using ventrac::PilotPtr;

PilotPtr parse_pilot(const std::string &text) {
    return PilotPtr(ventrac_pilot_parse(text.data(), text.size()));
}

// The transmitted text of `o` ("" when it does not encode).
std::string encode(const ventrac_pilot *pilot, const Observation &o) {
    ventrac_cctx *cctx = ventrac_cctx_create();
    char text[VENTRAC_MESSAGE_MAX];
    const int length = ventrac_encode_text(cctx, pilot, o.mode, o.values.data(), o.presence.data(),
                                           o.values.size(), o.identifier.c_str(), text,
                                           sizeof text);
    ventrac_cctx_free(cctx);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

// Encodes `o` into a transmitted text and decodes it with a fresh context.
DctxPtr decode(const ventrac_pilot *pilot, const Observation &o) {
    const std::string text = encode(pilot, o);
    if (text.empty()) return nullptr;
    DctxPtr d(ventrac_dctx_create());
    if (ventrac_decode_text(d.get(), pilot, text.data(), text.size()) <= 0) return nullptr;
    return d;
}

// ---------------------------------------------------------------------------
// A BUFR message read back with ecCodes.

struct Item {
    std::string key;  // "#rank#abbreviation"
    long code = 0;
    bool missing = false;
    double value = 0;
    std::string text;  // character data
    long scale = 0, reference = 0, width = 0;
    std::string units;
};

struct ReadBack {
    std::string error;
    std::map<std::string, long> header;
    std::vector<long> descriptors;
    std::vector<Item> items;                 // data of the first subset in expanded order
    std::vector<std::vector<Item>> subsets;  // of every subset
};

struct HandleDeleter {
    void operator()(codes_handle *h) const { codes_handle_delete(h); }
};

std::string trimmed(const std::string &text) {
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// Numbers of `key` in every subset: one array entry per subset, or one for
// all.
std::vector<double> numbers_of(codes_handle *h, const std::string &key, std::size_t subsets) {
    std::size_t n = 0;
    codes_get_size(h, key.c_str(), &n);
    std::vector<double> v(std::max<std::size_t>(n, 1), CODES_MISSING_DOUBLE);
    codes_get_double_array(h, key.c_str(), v.data(), &n);
    if (v.size() == 1) v.assign(subsets, v[0]);
    return v;
}

std::vector<std::string> texts_of(codes_handle *h, const std::string &key, std::size_t subsets) {
    std::size_t n = 0;
    codes_get_size(h, key.c_str(), &n);
    std::vector<char *> texts(std::max<std::size_t>(n, 1), nullptr);
    std::vector<std::string> v;
    if (codes_get_string_array(h, key.c_str(), texts.data(), &n) == 0)
        for (std::size_t i = 0; i < n; ++i) v.push_back(texts[i] != nullptr ? texts[i] : "");
    for (char *t : texts) std::free(t);
    if (v.size() == 1) v.assign(subsets, v[0]);
    return v;
}

#ifdef VENTRAC_HAVE_WREPORT
// Messages that libwreport decoded to the values ecCodes gives.
int g_wreport_checked = 0;

// libwreport's reading of `bytes` against ecCodes' `r`: every subset holds
// the same descriptors, with values where ecCodes has them, equal within
// half a step of their scale.
std::string wreport_disagrees(const std::string &bytes, const ReadBack &r) {
    std::unique_ptr<wreport::BufrBulletin> b;
    try {
        b = wreport::BufrBulletin::decode(bytes);
    } catch (const std::exception &e) {
        return std::string("libwreport cannot read the message: ") + e.what();
    }
    if (b->subsets.size() != r.subsets.size())
        return "libwreport reads " + std::to_string(b->subsets.size()) + " subsets";
    for (std::size_t s = 0; s < r.subsets.size(); ++s) {
        const wreport::Subset &vars = b->subsets[s];
        const std::vector<Item> &items = r.subsets[s];
        const std::string where = "libwreport, subset " + std::to_string(s + 1) + ": ";
        if (vars.size() != items.size())
            return where + std::to_string(vars.size()) + " values for " +
                   std::to_string(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            const wreport::Var &v = vars[i];
            const Item &e = items[i];
            const long code = WR_VAR_X(v.code()) * 1000L + WR_VAR_Y(v.code());
            if (code != e.code)
                return where + "descriptor " + std::to_string(code) + " for " + e.key;
            if (v.isset() == e.missing) return where + e.key + " set by one decoder only";
            if (!v.isset()) continue;
            if (v.info()->type == wreport::Vartype::String) {
                if (trimmed(v.enqc()) != trimmed(e.text))
                    return where + e.key + " '" + v.enqc() + "'";
            } else if (std::fabs(v.enqd() - e.value) >
                       0.5 * std::pow(10.0, -static_cast<double>(e.scale)) + 1e-9) {
                return where + e.key + " = " + std::to_string(v.enqd()) + " for " +
                       std::to_string(e.value);
            }
        }
    }
    ++g_wreport_checked;
    return "";
}
#endif

// With `second_decoder`, libwreport must read the message to the same values.
ReadBack read_back(const std::string &bytes, bool second_decoder = true) {
    ReadBack r;
    std::unique_ptr<codes_handle, HandleDeleter> h(
        codes_handle_new_from_message(nullptr, bytes.data(), bytes.size()));
    if (!h || codes_set_long(h.get(), "unpack", 1) != 0) {
        r.error = "ecCodes cannot read the message";
        return r;
    }
    for (const char *key : {"edition", "bufrHeaderCentre", "bufrHeaderSubCentre", "dataCategory",
                            "internationalDataSubCategory", "masterTablesVersionNumber",
                            "numberOfSubsets", "observedData", "compressedData", "typicalYear",
                            "typicalMonth", "typicalDay", "typicalHour", "typicalMinute"}) {
        long v = 0;
        if (codes_get_long(h.get(), key, &v) != 0) r.error = std::string("no ") + key;
        r.header[key] = v;
    }
    std::size_t n = 0;
    codes_get_size(h.get(), "unexpandedDescriptors", &n);
    r.descriptors.resize(n);
    codes_get_long_array(h.get(), "unexpandedDescriptors", r.descriptors.data(), &n);

    // Uncompressed, each subset's keys follow a "subsetNumber"; compressed,
    // each key holds the values of every subset.
    const bool compressed = r.header["compressedData"] == 1;
    const std::size_t subsets = static_cast<std::size_t>(std::max(r.header["numberOfSubsets"], 1L));
    if (compressed) r.subsets.resize(subsets);
    codes_bufr_keys_iterator *it = codes_bufr_keys_iterator_new(h.get(), 0);
    bool data = false;
    while (codes_bufr_keys_iterator_next(it)) {
        const std::string key = codes_bufr_keys_iterator_get_name(it);
        if (key == "unexpandedDescriptors") {
            data = true;
            continue;
        }
        if (key == "subsetNumber") {
            r.subsets.emplace_back();
            continue;
        }
        if (!data || r.subsets.empty()) continue;
        Item item;
        item.key = key;
        int error = 0;
        codes_get_long(h.get(), (key + "->code").c_str(), &item.code);
        codes_get_long(h.get(), (key + "->scale").c_str(), &item.scale);
        codes_get_long(h.get(), (key + "->reference").c_str(), &item.reference);
        codes_get_long(h.get(), (key + "->width").c_str(), &item.width);
        char units[64] = {0};
        std::size_t units_length = sizeof units;
        codes_get_string(h.get(), (key + "->units").c_str(), units, &units_length);
        item.units = units;
        int type = 0;
        codes_get_native_type(h.get(), key.c_str(), &type);
        if (!compressed) {
            item.missing = codes_is_missing(h.get(), key.c_str(), &error) == 1;
            if (type == CODES_TYPE_STRING) {
                char text[256] = {0};
                std::size_t length = sizeof text;
                codes_get_string(h.get(), key.c_str(), text, &length);
                item.text = text;
            } else {
                codes_get_double(h.get(), key.c_str(), &item.value);
            }
            r.subsets.back().push_back(item);
            continue;
        }
        if (type == CODES_TYPE_STRING) {
            const std::vector<std::string> texts = texts_of(h.get(), key, subsets);
            for (std::size_t s = 0; s < subsets; ++s) {
                item.text = s < texts.size() ? texts[s] : "";
                // A missing string is all ones: no IA5 character at all.
                item.missing = item.text.empty() ||
                               static_cast<unsigned char>(item.text[0]) == 0xFF;
                if (item.missing) item.text.clear();
                r.subsets[s].push_back(item);
            }
        } else {
            const std::vector<double> values = numbers_of(h.get(), key, subsets);
            for (std::size_t s = 0; s < subsets; ++s) {
                item.value = s < values.size() ? values[s] : CODES_MISSING_DOUBLE;
                item.missing = item.value == CODES_MISSING_DOUBLE;
                r.subsets[s].push_back(item);
            }
        }
    }
    codes_bufr_keys_iterator_delete(it);
    if (r.subsets.size() != subsets && r.error.empty())
        r.error = "ecCodes reads " + std::to_string(r.subsets.size()) + " subsets";
    if (!r.subsets.empty()) r.items = r.subsets[0];
#ifdef VENTRAC_HAVE_WREPORT
    if (r.error.empty() && second_decoder) r.error = wreport_disagrees(bytes, r);
#else
    (void)second_decoder;
#endif
    return r;
}

bool is_factor(long code) { return code == 31000 || code == 31001 || code == 31002; }

bool mentions(const std::vector<std::string> &warnings, const std::string &what) {
    for (const std::string &w : warnings)
        if (w.find(what) != std::string::npos) return true;
    return false;
}

// Whether `value` has no code within the item's width at its scale and
// reference (all ones being the missing value).
bool does_not_fit(const Item &item, double value) {
    const double coded = std::round(value * std::pow(10.0, static_cast<double>(item.scale))) -
                         static_cast<double>(item.reference);
    return !(coded >= 0 && coded <= std::ldexp(1.0, static_cast<int>(item.width)) - 2);
}

// Compares the data of `r` with the decoded message: the identifier first,
// then every decoded entry in order, every delayed count where its
// replication stands (kind '1' counts are decoded entries of their own,
// kind '4' counts are not), values within half a step of the Table B scale,
// missing values where the entry is missing, implausible (unless `keep`) or
// named by a warning because it does not fit.
std::string compare(const ventrac_dctx *d, const ReadBack &r,
                    const std::vector<std::string> &warnings, bool keep = false) {
    if (!r.error.empty()) return r.error;
    if (r.items.empty() || r.items[0].code != 1011) return "no identifier first";
    const std::string id = ventrac_dctx_identifier(d);
    const std::string text = r.items[0].text.substr(0, r.items[0].text.find_last_not_of(' ') + 1);
    if (id.empty() ? !r.items[0].missing : text != id)
        return "identifier '" + r.items[0].text + "' for '" + id + "'";

    const int nfactors = ventrac_dctx_factors(d, nullptr, nullptr, nullptr, 0);
    std::vector<char> kinds(static_cast<std::size_t>(std::max(nfactors, 1)));
    std::vector<int> counts(kinds.size()), entries(kinds.size());
    ventrac_dctx_factors(d, kinds.data(), counts.data(), entries.data(), nfactors);
    const int count = ventrac_dctx_count(d);
    int next = 0, factor = 0;
    for (std::size_t i = 1; i < r.items.size(); ++i) {
        const Item &b = r.items[i];
        const std::string where = "item " + std::to_string(i) + " " + b.key + ": ";
        if (is_factor(b.code)) {
            if (factor >= nfactors) return where + "a count the decoder did not read";
            if (b.missing || b.value != std::max(counts[factor], 0))
                return where + "count " + std::to_string(b.value) + " for " +
                       std::to_string(counts[factor]);
            if (kinds[factor++] == '1') {
                const DecodedElement *e = ventrac_dctx_element(d, next++);
                if (e == nullptr || std::atol(e->spec.code) != b.code || e->value != b.value)
                    return where + "no matching decoded count";
            }
            continue;
        }
        const DecodedElement *e = ventrac_dctx_element(d, next);
        if (e == nullptr) return where + "past the decoded entries";
        const int status = ventrac_dctx_status(d, next++);
        if (std::atol(e->spec.code) != b.code) return where + "descriptor for " + e->spec.code;
        const bool sent = status == VENTRAC_STATUS_VALID ||
                          (keep && status == VENTRAC_STATUS_IMPLAUSIBLE);
        const std::string name = std::string(e->spec.name) + " (" + e->spec.code + ")";
        if (!sent) {
            if (!b.missing) return where + "a value for " + name + ", which is not usable";
            continue;
        }
        if (b.missing) {
            if (!mentions(warnings, name)) return where + name + " missing without a warning";
            if (!does_not_fit(b, e->value)) return where + name + " fits, yet is missing";
            continue;
        }
        if (!b.text.empty() || std::strcmp(e->spec.unit, "CCITTIA5") == 0)
            continue;  // checked by the caller
        const double tolerance = 0.5 * std::pow(10.0, -static_cast<double>(b.scale)) * (1 + 1e-9) +
                                 1e-9 * std::fabs(e->value);
        if (!(std::fabs(b.value - e->value) <= tolerance))
            return where + std::to_string(b.value) + " for " + name + " = " +
                   std::to_string(e->value);
    }
    if (next != count) return "decoded entries left over: " + std::to_string(count - next);
    if (factor != nfactors) return "counts left over: " + std::to_string(nfactors - factor);
    return "";
}

// Writes the last decode of `d` and reads it back.
struct Written {
    bool ok = false;
    std::string bytes, reason;
    std::vector<std::string> warnings;
    ReadBack back;
};

Written write(Writer &w, const ventrac_pilot *pilot, const ventrac_dctx *d) {
    Written out;
    out.ok = w.encode(pilot, d, out.bytes, out.warnings, out.reason);
    if (out.ok) out.back = read_back(out.bytes);
    return out;
}

// ---------------------------------------------------------------------------

TEST(BufrUnits, PilotSpellingsNameTheirTableBUnits) {
    struct Case {
        const char *pilot, *table_b;
        bool same;
    };
    const Case cases[] = {
        {"PA", "Pa", true},
        {"DEGREE", "deg", true},
        {"DEGREE TRUE", "deg", true},
        {"M/S", "m/s", true},
        {"YEAR", "a", true},
        {"MONTH", "mon", true},
        {"DAY", "d", true},
        {"HOUR", "h", true},
        {"MINUTE", "min", true},
        {"S", "s", true},
        {"M", "m", true},
        {"K", "K", true},
        {"%", "%", true},
        {"NUMERIC", "Numeric", true},
        {"CODE TABLE", "CODE TABLE", true},
        {"CODE TABLE", "Common CODE TABLE C-1", true},
        {"CCITTIA5", "CCITT IA5", true},
        {" PA ", "Pa", true},
        {"KNOTS", "kt", true},
        {"K", "Pa", false},
        {"M", "s", false},
        {"DEGREE", "K", false},
        {"FLAG TABLE", "CODE TABLE", false},
        {"MONTH", "min", false},
        {"M/S", "m", false},
        {"", "Numeric", false},
        {"CCITTIA5", "Numeric", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ventrac::bufr::same_unit(c.pilot, c.table_b), c.same)
            << c.pilot << " / " << c.table_b;
}

TEST(BufrWriter, ShippedExampleReadsBackInBothModes) {
    const PilotPtr pilot(ventrac_pilot_open((kExamples + "/ship.pilot").c_str(), nullptr, 0));
    ASSERT_TRUE(pilot);
    Observation o = read_observation(read_text(kExamples + "/ship_obs.txt"));
    Writer w{Settings{}};
    for (int mode : {1, 2}) {
        o.mode = mode;
        if (mode == 2) {  // no waves in mode 2: their two lines go
            o.values.erase(o.values.begin() + 17, o.values.begin() + 19);
            o.presence.erase(o.presence.begin() + 17, o.presence.begin() + 19);
        }
        const DctxPtr d = decode(pilot.get(), o);
        ASSERT_TRUE(d) << "mode " << mode;
        const Written out = write(w, pilot.get(), d.get());
        ASSERT_TRUE(out.ok) << out.reason;
        EXPECT_TRUE(out.warnings.empty());
        EXPECT_EQ(compare(d.get(), out.back, out.warnings), "") << "mode " << mode;

        const std::map<std::string, long> header = {
            {"edition", 4},
            {"bufrHeaderCentre", 65535},
            {"bufrHeaderSubCentre", 0},
            {"dataCategory", 1},
            {"internationalDataSubCategory", 0},
            // Checked by LowestTableVersionThatAgreesWithTheNewest.
            {"masterTablesVersionNumber", out.back.header.at("masterTablesVersionNumber")},
            {"numberOfSubsets", 1},
            {"observedData", 1},
            {"compressedData", 0},
            {"typicalYear", 2026},
            {"typicalMonth", 12},
            {"typicalDay", 14},
            {"typicalHour", 12},
            {"typicalMinute", 0}};
        EXPECT_EQ(out.back.header, header);
        std::vector<long> descriptors = {1011,  4001,  4002,  4003,  4004,  4005,  5002,
                                         6002,  10004, 10051, 10061, 11001, 11002, 12101,
                                         12103, 13003, 20001, 22043, 22021, 22011, 103000,
                                         31001, 20011, 20012, 20013};
        if (mode == 2) descriptors.erase(descriptors.begin() + 18, descriptors.begin() + 20);
        EXPECT_EQ(out.back.descriptors, descriptors);
        // The missing 3-hour pressure change, the two cloud layers.
        ASSERT_GE(out.back.items.size(), 25u);
        EXPECT_TRUE(out.back.items[10].missing);
        EXPECT_EQ(out.back.items[10].code, 10061);
        EXPECT_EQ(out.back.items.size(), mode == 1 ? 27u : 25u);
    }
    EXPECT_GT(ventrac::bufr::newest_table_version(), 0);
}

// Groups of both kinds, fixed and delayed, nested, with counts of 1, 8 and 16
// bits, and a character element.
const char kGroupsPilot[] =
    "000000;MODE;4;1;1;0;14;3;NUMERIC;1;0;0;mode;;\n"
    "001011;CALL;48;1;1;0;281474976710654;3;CCITTIA5;1;0;1;call sign;;\n"
    "105000;NA;8;1;1;0;254;3;NUMERIC;1;0;1;outer delayed;;\n"
    "012101;X;16;1;0.01;0;40000;3;K;1;0;1;x;223.15;323.15\n"
    "101000;NB;12;1;1;0;4094;3;NUMERIC;1;0;1;inner, 16-bit count;;\n"
    "010004;Y;14;1;10;0;11000;3;PA;1;0;1;y;;\n"
    "401000;NC;1;1;1;0;1;3;NUMERIC;1;0;1;kind 4, 1-bit count;;\n"
    "013003;RH;7;1;1;0;100;3;%;1;0;1;rh;;\n"
    "102002;FX;1;1;1;0;0;3;NUMERIC;1;0;1;fixed, twice;;\n"
    "011001;WD;9;1;1;0;360;3;DEGREE TRUE;1;0;1;wd;;\n"
    "011002;WS;12;1;0.1;0;1000;3;M/S;1;0;1;ws;;\n"
    "020001;VIS;13;1;10;0;8190;3;M;1;0;1;vis;;\n";

double text_bits(const std::string &s) {
    double v = 0;
    for (unsigned char c : s) v = v * 256 + c;
    return v;
}

TEST(BufrWriter, NestedAndDelayedGroupsOfBothKinds) {
    const PilotPtr pilot = parse_pilot(kGroupsPilot);
    ASSERT_TRUE(pilot);
    // NA = 2; pass 1: X, NB = 1 (Y), NC = 1 (RH); pass 2: X implausible,
    // NB = 2 (Y missing, Y), NC = 0; then WD WS twice, VIS.
    Observation o;
    o.values = {text_bits("AB12 Z"),
                2,
                285.35,
                1,
                101180,
                1,
                81,
                400.0,
                2,
                0,
                99000,
                0,
                250,
                12.4,
                90,
                3.1,
                20000};
    o.presence = {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1};
    const DctxPtr d = decode(pilot.get(), o);
    ASSERT_TRUE(d);
    for (bool keep : {false, true}) {
        Settings s;
        s.keep_implausible = keep;
        Writer w(s);
        const Written out = write(w, pilot.get(), d.get());
        ASSERT_TRUE(out.ok) << out.reason;
        EXPECT_EQ(compare(d.get(), out.back, out.warnings, keep), "");
        // XX counts the nested factor descriptors: NA holds X, NB, its count,
        // Y, NC, its count, RH.
        const std::vector<long> descriptors = {1011,   1011,   107000, 31001,  12101,
                                               101000, 31002,  10004,  101000, 31000,
                                               13003,  102002, 11001,  11002,  20001};
        EXPECT_EQ(out.back.descriptors, descriptors);
        ASSERT_EQ(out.back.items.size(), 18u);
        EXPECT_EQ(out.back.items[1].text, "AB12 Z");
        EXPECT_EQ(out.back.items[2].value, 2);  // NA
        EXPECT_EQ(out.back.items[8].key, "#2#airTemperature");
        EXPECT_EQ(out.back.items[8].missing, !keep);  // 400 K is implausible
        if (keep) {
            EXPECT_DOUBLE_EQ(out.back.items[8].value, 400.0);
        }
        EXPECT_TRUE(out.back.items[10].missing);  // the missing Y
        EXPECT_EQ(out.back.items[12].code, 31000);
        EXPECT_EQ(out.back.items[12].value, 0);  // NC: a 1-bit count of 0
    }
}

// Real Table B element descriptors for generated pilots, with their units.
struct RealElement {
    const char *code, *unit;
};
const RealElement kRealElements[] = {
    {"012101", "K"},      {"010004", "PA"},  {"007001", "M"},          {"005001", "DEGREE"},
    {"006001", "DEGREE"}, {"011002", "M/S"}, {"020011", "CODE TABLE"}, {"013003", "%"},
    {"022043", "K"},      {"010007", "M"},   {"004004", "HOUR"},       {"002001", "CODE TABLE"},
};

// Gives every plain line of a generated pilot (its first field not starting
// with 1 or 4, the mode line aside) a real descriptor and its unit.
std::string with_real_descriptors(const std::string &pilot, std::uint32_t seed) {
    std::istringstream in(pilot);
    std::ostringstream out;
    std::string line;
    std::uint32_t pick = seed;
    for (bool first = true; std::getline(in, line); first = false) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, ';');) f.push_back(field);
        if (!first && f.size() > 8 && f[0][0] != '1' && f[0][0] != '4') {
            const RealElement &e = kRealElements[pick++ % std::size(kRealElements)];
            f[0] = e.code;
            f[8] = e.unit;
        }
        for (std::size_t i = 0; i < f.size(); ++i) out << (i ? ";" : "") << f[i];
        out << ";;\n";
    }
    return out.str();
}

TEST(BufrWriter, GeneratedObservationsReadBack) {
    Writer w{Settings{}};
    int values = 0, sent = 0, groups = 0;
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        vt_test::SeededSource source(seed);
        const vt_test::RoundTripCase c = vt_test::make_round_trip_case(source);
        const std::string text = with_real_descriptors(c.pilot, seed);
        const PilotPtr pilot = parse_pilot(text);
        ASSERT_TRUE(pilot);
        Observation o;
        o.mode = c.mode;
        o.values = c.values;
        o.presence = c.presence;
        const DctxPtr d = decode(pilot.get(), o);
        ASSERT_TRUE(d) << "seed " << seed;
        const Written out = write(w, pilot.get(), d.get());
        ASSERT_TRUE(out.ok) << "seed " << seed << ": " << out.reason << "\n" << text;
        ASSERT_EQ(compare(d.get(), out.back, out.warnings), "") << "seed " << seed << "\n" << text;
        for (const Item &item : out.back.items) {
            if (is_factor(item.code) || item.code == 1011) continue;
            ++values;
            sent += !item.missing;
        }
        groups += ventrac_dctx_factors(d.get(), nullptr, nullptr, nullptr, 0) > 0;
    }
    EXPECT_GT(groups, 50);         // delayed groups are reached
    EXPECT_GT(sent, values / 10);  // and values do go out
}

// Whether two readings of one observation give every item the same
// descriptor, unit, scale, reference value, width and value.
std::string same_items(const ReadBack &a, const ReadBack &b) {
    if (!a.error.empty() || !b.error.empty()) return a.error + b.error;
    if (a.items.size() != b.items.size()) return "not as many items";
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        const Item &x = a.items[i], &y = b.items[i];
        if (x.code != y.code || x.units != y.units || x.scale != y.scale ||
            x.reference != y.reference || x.width != y.width || x.missing != y.missing ||
            x.value != y.value || x.text != y.text)
            return "item " + std::to_string(i) + " " + x.key + " / " + y.key;
    }
    return "";
}

TEST(BufrWriter, LowestTableVersionThatAgreesWithTheNewest) {
    const long newest = ventrac::bufr::newest_table_version();
    ASSERT_GT(newest, 1);
    Settings forced;
    forced.table_version = newest;
    Writer lowest{Settings{}}, newest_writer{forced};
    const PilotPtr ship(ventrac_pilot_open((kExamples + "/ship.pilot").c_str(), nullptr, 0));
    const PilotPtr groups = parse_pilot(kGroupsPilot);
    Observation one = read_observation(read_text(kExamples + "/ship_obs.txt")), two = one, nested;
    two.mode = 2;
    two.values.erase(two.values.begin() + 17, two.values.begin() + 19);
    two.presence.erase(two.presence.begin() + 17, two.presence.begin() + 19);
    nested.values = {text_bits("AB12 Z"), 1, 285.35, 1, 101180, 1, 81, 250, 12.4, 90, 3.1, 20000};
    nested.presence = std::vector<int>(nested.values.size(), 1);
    const std::pair<const ventrac_pilot *, const Observation *> cases[] = {
        {ship.get(), &one}, {ship.get(), &two}, {groups.get(), &nested}};
    for (const auto &[pilot, o] : cases) {
        const DctxPtr d = decode(pilot, *o);
        ASSERT_TRUE(d);
        const Written low = write(lowest, pilot, d.get());
        Written high;
        high.ok = newest_writer.encode(pilot, d.get(), high.bytes, high.warnings, high.reason);
        ASSERT_TRUE(low.ok && high.ok) << low.reason << high.reason;
        const long version = low.back.header.at("masterTablesVersionNumber");
        EXPECT_LE(version, newest);
        // ecCodes, reading the message with that version's tables, finds
        // every descriptor as the newest defines it.
        // (libwreport has no tables of the newest version: ecCodes alone
        // reads the messages of other versions than the one found.)
        const ReadBack reference = read_back(high.bytes, false);
        EXPECT_EQ(same_items(low.back, reference), "") << "version " << version;
        // Every older installed version lacks a descriptor or defines one
        // otherwise.
        for (long older = 1; older < version; ++older) {
            Settings s;
            s.table_version = older;
            Writer w(s);
            Written out;
            if (!w.encode(pilot, d.get(), out.bytes, out.warnings, out.reason))
                continue;  // not installed, or a descriptor missing
            EXPECT_NE(same_items(read_back(out.bytes, false), reference), "")
                << "version " << older << " agrees too";
        }
        // Forcing the version found gives the same bytes.
        Settings same;
        same.table_version = version;
        Writer w(same);
        EXPECT_TRUE(write(w, pilot, d.get()).bytes == low.bytes);
    }
}

// The same pilot with one line changed at a time.
std::string pilot_with(const std::string &line_2) {
    return "000000;MODE;4;1;1;0;14;3;NUMERIC;1;0;0;mode;;\n"
           "004001;YEAR;12;1;1;0;4094;3;YEAR;1;0;1;year;;\n" +
           line_2 + "013003;RH;7;1;1;0;100;3;%;1;0;1;rh;;\n";
}

TEST(BufrWriter, MessagesBufrCannotCarryFailWithTheirReason) {
    struct Case {
        const char *line, *reason;
    };
    const Case cases[] = {
        {"048001;LOCAL;8;1;1;0;254;3;NUMERIC;1;0;1;local;;\n",
         "048001 (LOCAL) is a local descriptor, not in the WMO tables"},
        {"012250;LOCAL\rY;8;1;1;0;254;3;K;1;0;1;local;;\n",
         "012250 (LOCAL?Y) is a local descriptor, not in the WMO tables"},
        {"012099;NOPE;8;1;1;0;254;3;K;1;0;1;unknown;;\n",
         "012099 (NOPE) is not in WMO Table B version"},
        {"012101;TA;16;1;0.01;0;40000;3;PA;1;0;1;ta;;\n",
         "012101 (TA): the pilot unit 'PA' is not the Table B unit 'K'"},
        {"301011;DATE;8;1;1;0;254;3;NUMERIC;1;0;1;seq;;\n",
         "301011 (DATE) is a sequence descriptor"},
        {"031001;NREP;8;1;1;0;254;3;NUMERIC;1;0;1;count;;\n",
         "031001 (NREP) is a class 31 descriptor"},
        {"001011;CALL;12;1;1;0;4094;3;CCITTIA5;1;0;1;call;;\n",
         "001011 (CALL): character data of 12 bits is not a whole number of 8-bit characters"},
        {"001011;CALL;8;1;0.5;0;254;3;CCITTIA5;1;0;1;call;;\n",
         "001011 (CALL): character data needs power 1, scale 1 and reference 0"},
        {"102000;G;8;1;1;0;254;3;NUMERIC;1;0;1;group;;\n",
         "group 102000 (G) reaches past the last line of the mode"},
        {"100000;G;8;1;1;0;254;3;NUMERIC;1;0;1;group;;\n", "group 100000 (G) repeats no line"},
        {"101300;G;8;1;1;0;254;3;NUMERIC;1;0;1;group;;\n",
         "group 101300 (G) repeats 300 times, more than the 255 of a BUFR replication"},
    };
    Writer w{Settings{}};
    for (const Case &c : cases) {
        const std::string text = pilot_with(c.line);
        const PilotPtr pilot = parse_pilot(text);
        ASSERT_TRUE(pilot);
        const ElementSpec *table = nullptr;
        const int count = ventrac_pilot_table(pilot.get(), 1, &table);
        const Readiness r = ventrac::bufr::check_table(table, count);
        EXPECT_FALSE(r.ok) << c.line;
        EXPECT_EQ(r.entry, 2) << c.line;
        EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;

        Observation o;
        o.values = {2026, 1, 1, 1};
        o.presence = {1, 1, 1, 1};
        const DctxPtr d = decode(pilot.get(), o);
        ASSERT_TRUE(d) << c.line;
        const Written out = write(w, pilot.get(), d.get());
        EXPECT_FALSE(out.ok) << c.line;
        EXPECT_TRUE(out.bytes.empty());
        EXPECT_EQ(out.reason, "not written as BUFR: " + r.reason);
        EXPECT_EQ(out.reason.find('\n'), std::string::npos);
    }

    // The same writer goes on with the next message, and a pilot fit for
    // BUFR is ready.
    const PilotPtr pilot = parse_pilot(pilot_with("012101;TA;16;1;0.01;0;40000;3;K;1;0;1;ta;;\n"));
    const ElementSpec *table = nullptr;
    const int count = ventrac_pilot_table(pilot.get(), 1, &table);
    const Readiness r = ventrac::bufr::check_table(table, count);
    EXPECT_TRUE(r.ok) << r.reason;
    Observation o;
    o.values = {2026, 285.35, 81};
    o.presence = {1, 1, 1};
    const DctxPtr d = decode(pilot.get(), o);
    const Written out = write(w, pilot.get(), d.get());
    ASSERT_TRUE(out.ok) << out.reason;
    EXPECT_EQ(compare(d.get(), out.back, out.warnings), "");
}

TEST(BufrWriter, ValuesThatDoNotFitGoOutMissingWithAWarning) {
    // 012101 holds 0 .. 655.34 K in 16 bits at scale 2; this line reaches
    // 1310.7 K. 020013 has reference -40 at scale -1: -500 m is below it.
    const PilotPtr pilot = parse_pilot(
        "000000;MODE;4;1;1;0;14;3;NUMERIC;1;0;0;mode;;\n"
        "012101;TA;17;1;0.01;0;131070;3;K;1;0;1;ta;;\n"
        "020013;BASE;11;1;10;-1000;2000;3;M;1;0;1;base;;\n"
        "013003;RH;7;1;1;0;100;3;%;1;0;1;rh;;\n");
    ASSERT_TRUE(pilot);
    Observation o;
    o.values = {700.25, -500, 81};
    o.presence = {1, 1, 1};
    const DctxPtr d = decode(pilot.get(), o);
    ASSERT_TRUE(d);
    Writer w{Settings{}};
    const Written out = write(w, pilot.get(), d.get());
    ASSERT_TRUE(out.ok) << out.reason;
    ASSERT_EQ(out.warnings.size(), 2u);
    EXPECT_EQ(out.warnings[0],
              "BUFR: TA (012101) = 700.25 does not fit 16 bits at Table B scale 2, reference 0: "
              "written as missing");
    EXPECT_EQ(out.warnings[1],
              "BUFR: BASE (020013) = -500 does not fit 11 bits at Table B scale -1, reference -40: "
              "written as missing");
    EXPECT_EQ(compare(d.get(), out.back, out.warnings), "");
    ASSERT_EQ(out.back.items.size(), 4u);
    EXPECT_TRUE(out.back.items[1].missing);
    EXPECT_TRUE(out.back.items[2].missing);
    EXPECT_EQ(out.back.items[3].value, 81);

    // 655.35 K would code as all ones, the missing value: refused too.
    o.values[0] = 655.35;
    const DctxPtr d2 = decode(pilot.get(), o);
    const Written out2 = write(w, pilot.get(), d2.get());
    ASSERT_TRUE(out2.ok);
    EXPECT_EQ(out2.warnings.size(), 2u);
    o.values[0] = 655.34;
    o.values[1] = -400;
    const DctxPtr d3 = decode(pilot.get(), o);
    const Written out3 = write(w, pilot.get(), d3.get());
    ASSERT_TRUE(out3.ok);
    EXPECT_TRUE(out3.warnings.empty());
    EXPECT_DOUBLE_EQ(out3.back.items[1].value, 655.34);
    EXPECT_DOUBLE_EQ(out3.back.items[2].value, -400);
}

TEST(BufrWriter, CharacterDataGoesOutAsItsCharactersOrFails) {
    const PilotPtr pilot = parse_pilot(
        "000000;MODE;4;1;1;0;14;3;NUMERIC;1;0;0;mode;;\n"
        "001011;CALL;16;1;1;0;65534;3;CCITTIA5;1;0;1;call;;\n");
    Writer w{Settings{}};
    struct Case {
        const char *text;
        int presence;
        const char *reason;  // "" when written
    } cases[] = {
        {"OK", 1, ""},
        {"", 0, ""},
        {"A\t", 1,
         "not written as BUFR: CALL (001011) holds byte 0x09, not a printable IA5 character"}};
    for (const Case &c : cases) {
        Observation o;
        o.values = {text_bits(c.text)};
        o.presence = {c.presence};
        const DctxPtr d = decode(pilot.get(), o);
        ASSERT_TRUE(d);
        const Written out = write(w, pilot.get(), d.get());
        EXPECT_EQ(out.reason, c.reason);
        if (!out.ok) continue;
        ASSERT_EQ(out.back.items.size(), 2u) << out.back.error;
        EXPECT_EQ(out.back.items[1].missing, c.presence == 0);
        EXPECT_EQ(out.back.items[1].text, c.presence != 0 ? c.text : "");
    }
}

TEST(BufrWriter, SettingsGoToSectionOne) {
    const PilotPtr pilot = parse_pilot(pilot_with("012101;TA;16;1;0.01;0;40000;3;K;1;0;1;ta;;\n"));
    Observation o;
    o.values = {2031, 285.35, 81};
    o.presence = {1, 1, 1};
    o.identifier = "";
    const DctxPtr d = decode(pilot.get(), o);
    ASSERT_TRUE(d);
    Settings s;
    s.centre = 85;
    s.subcentre = 3;
    s.table_version = 30;
    Writer w(s);
    const Written out = write(w, pilot.get(), d.get());
    ASSERT_TRUE(out.ok) << out.reason;
    EXPECT_EQ(out.back.header.at("bufrHeaderCentre"), 85);
    EXPECT_EQ(out.back.header.at("bufrHeaderSubCentre"), 3);
    EXPECT_EQ(out.back.header.at("masterTablesVersionNumber"), 30);
    EXPECT_EQ(out.back.header.at("typicalYear"), 2031);
    EXPECT_EQ(out.back.header.at("typicalMonth"), 0);         // the message has no month
    EXPECT_EQ(compare(d.get(), out.back, out.warnings), "");  // the identifier is missing

    s.table_version = 9999;
    Writer none(s);
    const Written failed = write(none, pilot.get(), d.get());
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.reason,
              "not written as BUFR: the installed ecCodes has no WMO master table version 9999");
}

TEST(BufrWriter, WritersInThreadsGiveTheSameBytes) {
    const PilotPtr pilot(ventrac_pilot_open((kExamples + "/ship.pilot").c_str(), nullptr, 0));
    const Observation o = read_observation(read_text(kExamples + "/ship_obs.txt"));
    const DctxPtr d = decode(pilot.get(), o);
    ASSERT_TRUE(d);
    std::string expected, reason;
    std::vector<std::string> warnings;
    ASSERT_TRUE(Writer(Settings{}).encode(pilot.get(), d.get(), expected, warnings, reason));
    constexpr int kThreads = 4;
    int same[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Each thread decodes for itself and writes with its own writer.
            const DctxPtr own = decode(pilot.get(), o);
            Writer w{Settings{}};
            std::string bytes, why;
            std::vector<std::string> notes;
            for (int i = 0; i < 50; ++i)
                same[t] += own && w.encode(pilot.get(), own.get(), bytes, notes, why) &&
                           bytes == expected;
        });
    }
    for (std::thread &t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(same[t], 50) << "thread " << t;
}

// ---------------------------------------------------------------------------
// ventrac-decode --bufr on batches of files and of lines.

// Every message of a BUFR file, read back.
std::vector<ReadBack> read_file_messages(const std::string &path) {
    std::vector<ReadBack> messages;
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return messages;
    int error = 0;
    while (codes_handle *h = codes_handle_new_from_file(nullptr, in, PRODUCT_BUFR, &error)) {
        const void *bytes = nullptr;
        std::size_t size = 0;
        codes_get_message(h, &bytes, &size);
        messages.push_back(read_back(std::string(static_cast<const char *>(bytes), size)));
        codes_handle_delete(h);
    }
    std::fclose(in);
    return messages;
}

// The elements of a JSON record of ventrac-decode, in order: descriptor,
// whether valid, value ("null" when not).
struct JsonElement {
    long code = 0;
    bool valid = false;
    std::string value;
};

std::vector<JsonElement> json_elements(const std::string &record) {
    std::vector<JsonElement> out;
    auto field = [&record](std::size_t from, const std::string &name) {
        const std::size_t at = record.find("\"" + name + "\":", from);
        return at == std::string::npos ? at : at + name.size() + 3;
    };
    for (std::size_t at = field(0, "code"); at != std::string::npos; at = field(at, "code")) {
        JsonElement e;
        e.code = std::atol(record.c_str() + at + 1);  // past the opening quote
        const std::size_t valid = field(at, "valid"), value = field(at, "value");
        if (valid == std::string::npos || value == std::string::npos) break;
        e.valid = record.compare(valid, 4, "true") == 0;
        e.value = record.substr(value, record.find_first_of(",}", value) - value);
        out.push_back(e);
        at = value;
    }
    return out;
}

vt_test::RunResult bufr_dump(const vt_test::TempDir &dir, const std::string &file) {
    return vt_test::run_program(VENTRAC_BUFR_DUMP, dir.path(), "-jf " + vt_test::quote(file));
}

// bufr_dump comes with Debian's libeccodes-tools.
bool have_bufr_dump() { return !std::string(VENTRAC_BUFR_DUMP).empty(); }

TEST(BufrProgram, ShippedExamplesGoOutWithTheValuesOfTheJsonRecords) {
    if (!have_bufr_dump()) GTEST_SKIP() << "bufr_dump not found: install libeccodes-tools";
    vt_test::TempDir dir;
    const PilotPtr pilot(ventrac_pilot_open((kExamples + "/ship.pilot").c_str(), nullptr, 0));
    Observation o = read_observation(read_text(kExamples + "/ship_obs.txt"));
    vt_test::write_file(dir.file("HPK_1"), encode(pilot.get(), o));
    o.mode = 2;
    o.values.erase(o.values.begin() + 17, o.values.begin() + 19);
    o.presence.erase(o.presence.begin() + 17, o.presence.begin() + 19);
    vt_test::write_file(dir.file("HPK_2"), encode(pilot.get(), o));

    const vt_test::RunResult r = vt_test::run_program(
        VENTRAC_DECODE_EXE, dir.path(),
        "--json --bufr out.bufr " + vt_test::quote(kExamples + "/ship.pilot") + " HPK_1 HPK_2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<ReadBack> messages = read_file_messages(dir.file("out.bufr"));
    ASSERT_EQ(messages.size(), 2u);

    // One JSON record per line; its elements in order (no kind '4' groups
    // here, so every BUFR value after the identifier has an element).
    std::istringstream records(r.out);
    std::string record;
    for (const ReadBack &m : messages) {
        ASSERT_TRUE(std::getline(records, record));
        ASSERT_EQ(m.error, "");
        EXPECT_NE(record.find("\"identifier\":\"FNZ6042\""), std::string::npos);
        EXPECT_EQ(m.items.at(0).text, "FNZ6042");
        const std::vector<JsonElement> elements = json_elements(record);
        ASSERT_EQ(elements.size() + 1, m.items.size());
        for (std::size_t i = 0; i < elements.size(); ++i) {
            const Item &b = m.items[i + 1];
            EXPECT_EQ(b.code, elements[i].code) << b.key;
            if (!elements[i].valid) {
                EXPECT_TRUE(b.missing) << b.key;
                continue;
            }
            ASSERT_FALSE(b.missing) << b.key;
            EXPECT_NEAR(b.value, std::stod(elements[i].value),
                        0.5 * std::pow(10.0, -static_cast<double>(b.scale)))
                << b.key;
        }
    }
    const vt_test::RunResult dump = bufr_dump(dir, "out.bufr");
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.out.find("\"shipOrMobileLandStationIdentifier\""), std::string::npos);
}

TEST(BufrProgram, MessagesBufrCannotCarryFailAloneAndTheRunGoesOn) {
    if (!have_bufr_dump()) GTEST_SKIP() << "bufr_dump not found: install libeccodes-tools";
    // Mode 1 has a local descriptor, mode 2 a unit that disagrees; mode 3
    // goes out, once with a value too wide for its descriptor.
    const std::string pilot_text =
        "000000;MODE;4;1;1;0;14;7;NUMERIC;1;0;0;mode;;\n"
        "004001;YEAR;12;1;1;0;4094;7;YEAR;1;0;1;year;;\n"
        "048001;LOCAL;8;1;1;0;254;1;NUMERIC;1;0;1;local;;\n"
        "012101;TA;16;1;0.01;0;40000;2;PA;1;0;1;ta;;\n"
        "012101;TA;17;1;0.01;0;131070;4;K;1;0;1;ta;;\n"
        "013003;RH;7;1;1;0;100;7;%;1;0;1;rh;;\n";
    vt_test::TempDir dir;
    vt_test::write_file(dir.file("obs.pilot"), pilot_text);
    const PilotPtr pilot = parse_pilot(pilot_text);
    const struct {
        const char *file;
        int mode;
        double ta;
    } files[] = {
        {"m1.hpk", 1, 12}, {"m2.hpk", 2, 285.35}, {"m3.hpk", 3, 285.35}, {"wide.hpk", 3, 700}};
    std::string names, lines;
    for (const auto &f : files) {
        Observation o;
        o.mode = f.mode;
        o.values = {2026, f.ta, 81};
        o.presence = {1, 1, 1};
        const std::string text = encode(pilot.get(), o);
        ASSERT_FALSE(text.empty());
        vt_test::write_file(dir.file(f.file), text);
        names += std::string(" ") + f.file;
        lines += text + "\n";
    }
    vt_test::write_file(dir.file("all.txt"), lines);

    const vt_test::RunResult r =
        vt_test::run_program(VENTRAC_DECODE_EXE, dir.path(), "--bufr out.bufr obs.pilot" + names);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "ventrac-decode: m1.hpk: not written as BUFR: 048001 (LOCAL) is a local descriptor, "
        "not in the WMO tables\n"
        "ventrac-decode: m2.hpk: not written as BUFR: 012101 (TA): the pilot unit 'PA' is not "
        "the Table B unit 'K'\n"
        "ventrac-decode: wide.hpk: BUFR: TA (012101) = 700 does not fit 16 bits at Table B "
        "scale 2, reference 0: written as missing\n");
    const std::vector<ReadBack> messages = read_file_messages(dir.file("out.bufr"));
    ASSERT_EQ(messages.size(), 2u);
    ASSERT_EQ(messages[0].items.size(), 4u);
    ASSERT_EQ(messages[1].items.size(), 4u);
    EXPECT_DOUBLE_EQ(messages[0].items[2].value, 285.35);
    EXPECT_TRUE(messages[1].items[2].missing);
    EXPECT_EQ(messages[1].items[3].value, 81);
    const vt_test::RunResult dump = bufr_dump(dir, "out.bufr");
    EXPECT_EQ(dump.status, 0) << dump.err;

    // The same messages as lines of one file: the same BUFR bytes.
    const vt_test::RunResult by_lines = vt_test::run_program(
        VENTRAC_DECODE_EXE, dir.path(), "--lines --bufr lines.bufr obs.pilot all.txt");
    EXPECT_EQ(by_lines.status, 1);
    EXPECT_NE(by_lines.err.find("ventrac-decode: all.txt:1: not written as BUFR: 048001"),
              std::string::npos)
        << by_lines.err;
    EXPECT_EQ(vt_test::read_file(dir.file("lines.bufr")), vt_test::read_file(dir.file("out.bufr")));

    // In a bulletin too, each fails alone: the two of mode 3 share one
    // message of two subsets, compressed, the wide value missing in the
    // second.
    const vt_test::RunResult bulletin =
        vt_test::run_program(VENTRAC_DECODE_EXE, dir.path(),
                             "--lines --bufr-subsets 4 --bufr bulletin.bufr obs.pilot all.txt");
    EXPECT_EQ(bulletin.status, 1);
    EXPECT_EQ(bulletin.err, by_lines.err);
    const std::vector<ReadBack> bulletins = read_file_messages(dir.file("bulletin.bufr"));
    ASSERT_EQ(bulletins.size(), 1u);
    ASSERT_EQ(bulletins[0].error, "");
    EXPECT_EQ(bulletins[0].header.at("numberOfSubsets"), 2);
    EXPECT_EQ(bulletins[0].header.at("compressedData"), 1);
    ASSERT_EQ(bulletins[0].subsets.size(), 2u);
    ASSERT_EQ(bulletins[0].subsets[1].size(), 4u);
    EXPECT_DOUBLE_EQ(bulletins[0].subsets[0][2].value, 285.35);
    EXPECT_TRUE(bulletins[0].subsets[1][2].missing);
    EXPECT_EQ(bulletins[0].subsets[1][3].value, 81);
}

// One subset against the JSON record of its message: the identifier, then
// every element in order (no kind '4' groups here, so every value after the
// identifier has an element), missing where the element is not valid, else
// within half a step of its Table B scale.
std::string against_json(const std::vector<Item> &items, const std::string &record) {
    const std::size_t at = record.find("\"identifier\":\"");
    if (at == std::string::npos || items.empty()) return "no identifier";
    const std::size_t from = at + 14;
    const std::string id = record.substr(from, record.find('"', from) - from);
    if (trimmed(items[0].text) != id) return "identifier '" + items[0].text + "' for '" + id + "'";
    const std::vector<JsonElement> elements = json_elements(record);
    if (elements.size() + 1 != items.size())
        return std::to_string(items.size()) + " items for " + std::to_string(elements.size()) +
               " elements";
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Item &b = items[i + 1];
        if (b.code != elements[i].code)
            return b.key + ": descriptor " + std::to_string(elements[i].code);
        if (!elements[i].valid) {
            if (!b.missing) return b.key + ": a value for an element that is not valid";
            continue;
        }
        if (b.missing) return b.key + ": missing";
        if (std::fabs(b.value - std::stod(elements[i].value)) >
            0.5 * std::pow(10.0, -static_cast<double>(b.scale)) * (1 + 1e-9))
            return b.key + ": " + std::to_string(b.value) + " for " + elements[i].value;
    }
    return "";
}

// The shipped example in three layouts: 'A' mode 1 with two cloud layers,
// 'B' mode 2, 'C' mode 1 with one cloud layer; the identifier, the day, the
// air temperature and whether the pressure is there change with `i`.
Observation layout_observation(char layout, int i) {
    Observation o = read_observation(read_text(kExamples + "/ship_obs.txt"));
    o.identifier = i % 3 == 0 ? "S" + std::to_string(100 + i)
                              : "X" + std::to_string(i);  // lengths differ
    o.values[2] = 1 + i % 28;                             // DAY
    o.values[12] = 270 + 0.5 * i;                         // TA
    o.presence[7] = i % 4 == 1 ? 0 : 1;                   // PRES
    if (layout == 'C') {
        o.values[19] = 1;  // NCLOUD
        o.values.resize(23);
        o.presence.resize(23);
    }
    if (layout == 'B') {
        o.mode = 2;
        o.values.erase(o.values.begin() + 17, o.values.begin() + 19);
        o.presence.erase(o.presence.begin() + 17, o.presence.begin() + 19);
    }
    return o;
}

TEST(BufrProgram, BulletinsGiveBackEverySubsetInOrder) {
    if (!have_bufr_dump()) GTEST_SKIP() << "bufr_dump not found: install libeccodes-tools";
    vt_test::TempDir dir;
    const std::string pilot_path = kExamples + "/ship.pilot";
    const PilotPtr pilot(ventrac_pilot_open(pilot_path.c_str(), nullptr, 0));
    // 'x': a line that cannot be decoded.
    const std::string layouts = "AAAAABBxAAACAAAAAAAAAAxAB";
    std::string lines;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const std::string text =
            layouts[i] == 'x'
                ? "ABC"
                : encode(pilot.get(), layout_observation(layouts[i], static_cast<int>(i)));
        ASSERT_FALSE(text.empty()) << i;
        lines += text + "\n";
    }
    vt_test::write_file(dir.file("log.txt"), lines);

    for (const int n : {1, 4, 100}) {
        for (const bool uncompressed : {false, true}) {
            if (n == 1 && uncompressed) continue;
            const std::string what =
                "--bufr-subsets " + std::to_string(n) + (uncompressed ? " uncompressed" : "");
            std::string options = "--json --lines --bufr-subsets " + std::to_string(n) +
                                  (uncompressed ? " --bufr-uncompressed" : "") + " " +
                                  vt_test::quote(pilot_path) + " log.txt";
            const vt_test::RunResult one = vt_test::run_program(
                VENTRAC_DECODE_EXE, dir.path(), "--jobs 1 --bufr one.bufr " + options);
            const vt_test::RunResult two = vt_test::run_program(
                VENTRAC_DECODE_EXE, dir.path(), "--jobs 2 --bufr two.bufr " + options);
            EXPECT_EQ(one.status, 1) << what;  // the lines that cannot be decoded
            EXPECT_EQ(one.out, two.out) << what;
            EXPECT_EQ(one.err, two.err) << what;
            EXPECT_TRUE(vt_test::read_file(dir.file("one.bufr")) ==
                        vt_test::read_file(dir.file("two.bufr")))
                << what;

            // The bulletins expected: the messages n at a time in input
            // order, and within those a new bulletin at each change of
            // layout; the lines that fail are left out.
            std::vector<std::vector<std::size_t>> expected;
            char current = 0;
            for (std::size_t i = 0; i < layouts.size(); ++i) {
                if (layouts[i] == 'x') continue;
                const bool cut = i % static_cast<std::size_t>(n) == 0 || layouts[i] != current ||
                                 expected.back().size() == static_cast<std::size_t>(n);
                if (expected.empty() || cut) expected.emplace_back();
                expected.back().push_back(i);
                current = layouts[i];
            }
            const std::vector<std::string> records = [&] {
                std::vector<std::string> r;
                std::istringstream in(one.out);
                for (std::string line; std::getline(in, line);) r.push_back(line);
                return r;
            }();
            ASSERT_EQ(records.size(), layouts.size() - 2) << what;
            const std::vector<ReadBack> messages = read_file_messages(dir.file("one.bufr"));
            ASSERT_EQ(messages.size(), expected.size()) << what;
            std::size_t record = 0;
            for (std::size_t m = 0; m < messages.size(); ++m) {
                const ReadBack &b = messages[m];
                ASSERT_EQ(b.error, "") << what << ", message " << m;
                EXPECT_EQ(b.header.at("numberOfSubsets"), static_cast<long>(expected[m].size()))
                    << what;
                EXPECT_EQ(b.header.at("compressedData"), n > 1 && !uncompressed ? 1 : 0) << what;
                EXPECT_EQ(b.header.at("typicalDay"), static_cast<long>(1 + expected[m][0] % 28))
                    << what;
                ASSERT_EQ(b.subsets.size(), expected[m].size());
                for (const std::vector<Item> &subset : b.subsets)
                    EXPECT_EQ(against_json(subset, records.at(record++)), "")
                        << what << ", message " << m;
            }
            EXPECT_EQ(record, records.size());
            const vt_test::RunResult dump = bufr_dump(dir, "one.bufr");
            EXPECT_EQ(dump.status, 0) << dump.err;
            EXPECT_NE(dump.out.find("\"S124\""), std::string::npos) << what;  // the last subset
        }
    }
}

#ifdef VENTRAC_HAVE_WREPORT
TEST(BufrWreport, ReadsEveryMessage) {
    // Bulletins made through the writer's own interface, compressed and not,
    // read by ecCodes and libwreport alike (read_back compares the two, as
    // it does for every message the other tests write).
    const PilotPtr pilot(ventrac_pilot_open((kExamples + "/ship.pilot").c_str(), nullptr, 0));
    Writer w{Settings{}};
    std::vector<ventrac::bufr::Subset> subsets(3);
    std::vector<DctxPtr> decoded;
    for (int i = 0; i < 3; ++i) {
        decoded.push_back(decode(pilot.get(), layout_observation('A', i)));
        ASSERT_TRUE(decoded.back());
        std::string reason;
        ASSERT_TRUE(w.prepare(pilot.get(), decoded.back().get(),
                              subsets[static_cast<std::size_t>(i)], reason))
            << reason;
    }
    const int before = g_wreport_checked;
    for (const bool compressed : {true, false}) {
        std::string bytes, reason;
        ASSERT_TRUE(w.encode(subsets.data(), subsets.size(), compressed, bytes, reason)) << reason;
        const ReadBack r = read_back(bytes);
        ASSERT_EQ(r.error, "");
        ASSERT_EQ(r.subsets.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(compare(decoded[i].get(),
                              ReadBack{r.error, r.header, r.descriptors, r.subsets[i], {}}, {}),
                      "");
    }
    EXPECT_EQ(g_wreport_checked, before + 2);
    // Subsets of two layouts cannot share a message.
    DctxPtr other = decode(pilot.get(), layout_observation('C', 3));
    ASSERT_TRUE(other);
    std::string reason, bytes;
    ASSERT_TRUE(w.prepare(pilot.get(), other.get(), subsets[1], reason));
    EXPECT_FALSE(w.encode(subsets.data(), subsets.size(), true, bytes, reason));
    EXPECT_EQ(reason, "not written as BUFR: the subsets of a message must share one layout");
}
#endif

}  // namespace
