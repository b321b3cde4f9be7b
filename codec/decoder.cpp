// SPDX-License-Identifier: Apache-2.0
// Decoder: rebuilds the decoded-element table from a packed buffer and the
// element table, walking replicated groups as often as the message says and
// naming every repeated element after its place in the replication.
//
// The walk keeps all its state in a DecodeEnv. decomprime() runs it over the
// process tables (specel, donnees, TypeDonnee) that programs linking the C
// interface expect; the decoding contexts run it over their own.
#include "codec/decoder.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "codec/fields.h"
#include "codec/listing.h"
#include "codec/rules.h"
#include "pilot/reader.h"
#include "pilot/text.h"
#include "pilot/trace.h"

extern "C" {
DecodedElement donnees[VENTRAC_MAX_ELEMENTS];
DataTypeEntry TypeDonnee;
int32_t num_rep_tr = -1;
int32_t nb_rep_d_dev = -1;
}

namespace ventrac {

const char *const kMessage253 =
    " erreur num 253: Aucun parametre n'est accessible sur fichier pilote (DSO)";
const char *const kMessage234 =
    " erreur num 234 - Mode operatoire non repertorie dans le fichier DataType :";
const char *const kMessage252 =
    " erreur num 252: Le nombre d'elements decompresses depasse le nombre max attendu (DSO)";

namespace {

constexpr int kMaxDigits = 10;    // digits of 2^31 - 1
constexpr int kMaxDecimals = 15;  // about what a double holds
constexpr int kModeEntries = 32;  // entries of DataTypeEntry.modes and .types

constexpr const char *kMessage254 = " erreur num 254: Erreur a l'ouverture du fichier pilote (DSI)";

// What a walk reads past the end of a table: a slot nothing was loaded into.
const ElementSpec kClearedSpec{};

// ---- display format -------------------------------------------------------

struct FieldFormat {
    int width;
    int decimals;
};

// Digits of the integer part of |vmax|, the magnitude clamped to
// 0 .. 2^31 - 1 (NaN counts as 0).
int integer_digits(double vmax) {
    const double magnitude = std::fabs(vmax);
    std::int64_t m = 0;
    if (magnitude >= 2147483647.0)
        m = 2147483647;
    else if (magnitude >= 1.0)
        m = static_cast<std::int64_t>(magnitude);
    int digits = 1;
    while (m >= 10) {
        m /= 10;
        ++digits;
    }
    return std::min(digits, kMaxDigits);
}

// Decimals that show the resolution `scale`.
int decimals_for(double scale) {
    if (!std::isfinite(scale)) return 0;
    const double resolution = std::fabs(scale);
    if (resolution == 0.0) return kMaxDecimals;
    if (resolution > 1.0) return 0;
    const double p = std::ceil(std::fabs(std::log10(resolution)));
    return p >= kMaxDecimals ? kMaxDecimals : static_cast<int>(p);
}

FieldFormat field_format(double vmax, double scale) {
    const int decimals = decimals_for(scale);
    return {integer_digits(vmax) + decimals + 2, decimals};
}

// The printf format of `f`: at most "%27.15f", well inside 12 bytes.
// Writes it into `out` (12 bytes) without allocating: it is made for every
// decoded element.
void write_format(FieldFormat f, char (&out)[12]) {
    char *p = out;
    *p++ = '%';
    p = std::to_chars(p, out + 11, f.width).ptr;
    *p++ = '.';
    p = std::to_chars(p, out + 11, f.decimals).ptr;
    *p++ = 'f';
    *p = '\0';
}

std::string format_text(FieldFormat f) {
    char text[12];
    write_format(f, text);
    return text;
}

// ---- one element ----------------------------------------------------------

std::string_view field_text(const char *field, std::size_t size) {
    return {field, field_length(field, size)};
}

// The pilot record of a decoded entry: all of it for donnees, whose users
// may read the fields as raw bytes; the texts up to their terminators
// otherwise, which is what a decoding context's readers see.
template <std::size_t N>
void copy_prepared(char (&dst)[N], const char (&src)[N], std::size_t length) {
    std::memcpy(dst, src, length);
    dst[length] = '\0';
}

void copy_spec(ElementSpec &dst, const ElementSpec &src, const PreparedEntry *prepared) {
    if (prepared == nullptr) {
        dst = src;
        return;
    }
    copy_prepared(dst.code, src.code, prepared->code_length);
    copy_prepared(dst.name, src.name, prepared->name_length);
    dst.nbits = src.nbits;
    dst.power = src.power;
    dst.scale = src.scale;
    dst.reference = src.reference;
    dst.max_coded = src.max_coded;
    dst.mode_mask = src.mode_mask;
    copy_prepared(dst.unit, src.unit, prepared->unit_length);
    dst.conv_factor = src.conv_factor;
    dst.conv_offset = src.conv_offset;
    dst.min_valid = src.min_valid;
    dst.max_valid = src.max_valid;
    dst.flag = src.flag;
    copy_prepared(dst.comment, src.comment, prepared->comment_length);
}

// Replication factors are always usable; other elements are missing when
// coded as all ones (value 0) and unusable outside their plausible range.
rules::Status set_value(DecodedElement &d, std::int64_t raw) {
    const ElementSpec &e = d.spec;
    const auto bits = static_cast<std::uint64_t>(raw);
    if (opens_group(e.code)) {
        d.value = rules::physical_value(e, static_cast<double>(bits));
        d.valid = 1;
        return rules::Status::Valid;
    }
    if (bits == rules::missing_code(e)) {
        d.value = 0.0;
        d.valid = 0;
        return rules::Status::Missing;
    }
    d.value = rules::physical_value(e, static_cast<double>(bits));
    const rules::Status status = rules::status_of(e, bits, d.value);
    d.valid = status == rules::Status::Valid ? 1 : 0;
    return status;
}

constexpr double kPowersOfTen[kMaxDecimals + 1] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The digits of |v| rounded to `decimals` places as printf rounds them (the
// exact binary value, ties to even), for values whose scaled magnitude stays
// below 2^52; false for any other value. m * 10^decimals is y + err exactly
// (fma gives the rounding error of the product), so the fraction is compared
// with one half without error.
bool scaled_digits(double v, int decimals, char *out, std::size_t &length) {
    const double magnitude = std::fabs(v);
    const double y = magnitude * kPowersOfTen[decimals];
    if (!(y < 4503599627370496.0)) return false;  // 2^52; NaN and infinities too
    const double err = std::fma(magnitude, kPowersOfTen[decimals], -y);
    const double whole = std::floor(y);
    const double above_half = (y - whole) - 0.5;  // both steps exact
    auto q = static_cast<std::uint64_t>(whole);
    if (above_half > -err || (above_half == -err && (q & 1u) != 0)) ++q;
    char digits[24];
    const auto n =
        static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, q).ptr - digits);
    const auto places = static_cast<std::size_t>(decimals);
    char *p = out;
    if (std::signbit(v)) *p++ = '-';
    // At least one integer digit: zeros in front of short numbers.
    const std::size_t integer = n > places ? n - places : 0;
    if (integer == 0) {
        *p++ = '0';
    } else {
        std::memcpy(p, digits, integer);
        p += integer;
    }
    if (places > 0) {
        *p++ = '.';
        const std::size_t shown = n - integer;
        std::memset(p, '0', places - shown);
        std::memcpy(p + (places - shown), digits + integer, shown);
        p += places;
    }
    length = static_cast<std::size_t>(p - out);
    return true;
}

}  // namespace

void format_fixed(char *out, std::size_t size, int width, int decimals, double v) {
    char digits[400];  // the longest double in fixed notation with 15 decimals
    std::size_t n = 0;
    if (!scaled_digits(v, decimals, digits, n)) {
        // std::to_chars gives the same digits as printf in the C locale.
        const auto [end, ec] =
            std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, decimals);
        if (ec != std::errc()) {
            std::snprintf(out, size, "%*.*f", width, decimals, v);
            return;
        }
        n = static_cast<std::size_t>(end - digits);
    }
    const auto w = static_cast<std::size_t>(width);
    const std::size_t pad = w > n ? w - n : 0;
    if (pad + n >= size) {
        // Too long for the field: snprintf cuts it.
        std::snprintf(out, size, "%*.*f", width, decimals, v);
        return;
    }
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, digits, n);
    out[pad + n] = '\0';
}

namespace {

// Converted value and display texts. Character data gets no texts: they are
// emptied so that nothing from an earlier message stays in the slot.
void write_texts(DecodedElement &d, const PreparedEntry &p) {
    const ElementSpec &e = d.spec;
    d.conv_value = d.value * e.conv_factor + e.conv_offset;
    if (p.character_data) {
        d.text[0] = d.conv_text[0] = d.format[0] = '\0';
        return;
    }
    std::memcpy(d.format, p.format, sizeof d.format);
    format_fixed(d.text, sizeof d.text, p.width, p.decimals, d.value);
    format_fixed(d.conv_text, sizeof d.conv_text, p.width, p.decimals, d.conv_value);
}

void append_suffix(ElementSpec &e, const std::string &suffix) {
    const std::size_t length = std::min(field_length(e.name, sizeof e.name), sizeof e.name - 1);
    const std::size_t room = sizeof e.name - 1 - length;
    const std::size_t n = std::min(room, suffix.size());
    std::memcpy(e.name + length, suffix.data(), n);
    e.name[length + n] = '\0';
}

// "D" and the 1-based position in at least six digits, as "D%6.6d" prints it.
void write_ident(char (&ident)[12], int position) {
    char digits[12];
    const char *end = std::to_chars(digits, digits + sizeof digits, position).ptr;
    const auto n = static_cast<std::size_t>(end - digits);
    const std::size_t pad = n < 6 ? 6 - n : 0;
    ident[0] = 'D';
    std::memset(ident + 1, '0', pad);
    std::memcpy(ident + 1 + pad, digits, n);
    ident[1 + pad + n] = '\0';
}

// Decodes table entry j at the walk's bit address into decoded entry `out`
// and advances the address past it. Appends `suffix` to the name, cut to the
// name's 63 characters. A kind '4' factor only gets its spec, value and
// validity.
void dextrait(DecodeEnv &env, int j, int out, const std::string &suffix) {
    const ElementSpec &e = env.spec(j);
    DecodedElement &d = env.out[out];
    const std::int64_t raw =
        extract_field(env.packed, env.size, rules::packed_width(e), env.adbit, env.trace);
    const bool prepared = env.prepared != nullptr && j < env.table_size;
    const PreparedEntry entry = prepared ? env.prepared[j] : PreparedEntry{};
    copy_spec(d.spec, e, prepared ? &entry : nullptr);
    const rules::Status status = set_value(d, raw);
    if (env.status != nullptr) env.status[out] = static_cast<std::uint8_t>(status);
    // A kind '4' factor only lends its count; the next element overwrites it.
    if (d.spec.code[0] == '4') return;
    write_texts(d, prepared ? entry : prepare_entry(d.spec));
    if (d.spec.code[0] == '1')
        copy_text(d.spec.code, sizeof d.spec.code, factor_code(d.spec.nbits));
    if (!suffix.empty()) append_suffix(d.spec, suffix);
    write_ident(d.ident, out + 1);
}

// ---- walk -----------------------------------------------------------------

// `lead` followed by `n` in at least three digits, as "%3.3d" prints it.
std::string three_digits(const char *lead, long long n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    std::string text(lead);
    if (n < 0) text += '-';
    text += digits;
    return text;
}

bool take_step(DecodeEnv &env) { return ++env.steps <= kMaxWalkSteps; }

// Names of the elements of one sequence walk: `prefix` is the caller's suffix
// followed by this sequence's number; `current` is the suffix handed to the
// element being decoded or the group being entered.
struct SequenceNames {
    std::string prefix;
    std::string current;

    SequenceNames(int depth, std::int32_t sequence, const std::string &suffix) {
        if (depth == 0) return;
        current = three_digits("_D", sequence);
        prefix = suffix + current;
    }
};

bool un_pak_n_seq(DecodeEnv &env, int &start, int nbpar, int nbsec, int depth,
                  const std::string &suffix);

// Decodes the replicated group opened by table entry j in repetition `r`:
// its delayed factor if any, then its elements. Leaves `j` past the group.
bool walk_group(DecodeEnv &env, int &j, int r, int depth, int &inner_depth,
                const std::string &current) {
    const ElementSpec &e = env.spec(j);
    const Replication rep = replication_of(e.code);
    if (env.trace.on())
        env.trace.print("\n\tOUVERTURE SEQUENCE BUFR=%.6s  \n\tNb de parametres/sequence=%d\n",
                        e.code, rep.group_size);
    const bool counted = rep.kind == '1';
    if (r == 0 && counted) {
        ++env.num_rep_tr;
        inner_depth = depth + 1;
    }
    int count = rep.repetitions;
    if (rep.delayed()) {
        if (counted) ++env.nb_rep_d_dev;
        dextrait(env, j, env.nout, three_digits("", env.nb_rep_d_dev));
        count = repetition_count(env.out[env.nout].value);
        if (env.factors != nullptr) env.factors->push_back({rep.kind, count, j});
        // A kind '4' factor is not kept: the next element takes its entry.
        if (counted) ++env.nout;
    }
    int k = j + 1;
    if (!un_pak_n_seq(env, k, rep.group_size, count, inner_depth, current)) return false;
    j = k + 1;
    return true;
}

// Walks entries start .. start + nbpar - 1 (never past the 1024 a table can
// hold) `nbsec` times; leaves `start` on the last entry of the range. Depth 0
// leaves names as they are; deeper walks suffix them, from `suffix`.
bool un_pak_n_seq(DecodeEnv &env, int &start, int nbpar, int nbsec, int depth,
                  const std::string &suffix) {
    const int i1 = start;
    const int i2 = i1 + nbpar;
    const int end = table_end(i2);
    SequenceNames names(depth, env.num_rep_tr, suffix);
    int inner_depth = depth;
    for (int r = 0; r < nbsec; ++r) {
        if (!take_step(env)) return false;
        if (env.trace.on()) env.trace.print("\tSequence num %d i1=%d i2=%d\n", r, i1, i2);
        for (int j = i1; j < end;) {
            if (env.nout >= VENTRAC_MAX_ELEMENTS || !take_step(env)) return false;
            if (opens_group(env.spec(j).code)) {
                if (!walk_group(env, j, r, depth, inner_depth, names.current)) return false;
                continue;
            }
            if (depth > 0) names.current = names.prefix + three_digits("-", r);
            dextrait(env, j, env.nout, names.current);
            ++env.nout;
            ++j;
        }
    }
    start = i2 - 1;
    return true;
}

// ---- decomprime -----------------------------------------------------------

void report(const char *message, const char *subject) {
    trace::error("%s - %s - %s %s\n", APPLI, trace::ship_name(), message, subject);
}

int fail(int code, int *error) {
    if (error != nullptr) *error = code;
    return -1;
}

// Loads specel for `mode` from the pilot file's content; returns the error
// number, or 0 with `count` set to the number of kept lines.
int load_table(const std::string &content, const char *path, signed char mode, int &count) {
    count = load_specif(content, mode);
    if (count == 0) {
        report(kMessage253, path);
        return 253;
    }
    return 0;
}

// The walk's counters become the process's, as programs reading them expect.
void publish_counters(const DecodeEnv &env) {
    num_rep_tr = env.num_rep_tr;
    nb_rep_d_dev = env.nb_rep_d_dev;
}

}  // namespace

PreparedEntry prepare_entry(const ElementSpec &e) {
    PreparedEntry p;
    p.code_length = static_cast<std::uint16_t>(field_length(e.code, sizeof e.code - 1));
    p.name_length = static_cast<std::uint16_t>(field_length(e.name, sizeof e.name - 1));
    p.unit_length = static_cast<std::uint16_t>(field_length(e.unit, sizeof e.unit - 1));
    p.comment_length = static_cast<std::uint16_t>(field_length(e.comment, sizeof e.comment - 1));
    p.character_data = field_text(e.unit, sizeof e.unit) == "CCITTIA5";
    const FieldFormat f = field_format(rules::largest_value(e), e.scale);
    p.width = f.width;
    p.decimals = f.decimals;
    write_format(f, p.format);
    return p;
}

const ElementSpec &DecodeEnv::spec(int j) const {
    return j >= 0 && j < table_size ? table[j] : kClearedSpec;
}

std::string cree_form(double vmax, double scale) { return format_text(field_format(vmax, scale)); }

signed char read_mode(DecodeEnv &env) {
    const std::int64_t raw =
        extract_field(env.packed, env.size, rules::packed_width(env.spec(0)), env.adbit, env.trace);
    env.trace.print("\n");
    return static_cast<signed char>(static_cast<std::uint8_t>(raw & 0xFF));
}

void list_elements(const Sink &trace, const ElementSpec *table, int count) {
    if (!trace.on()) return;
    for (int i = 0; i < count; ++i) list_element(trace, table[i], Listing::Decoder);
    trace.print("IER=%d\n", count);
}

bool data_type_code(const DataTypeEntry &types, signed char mode, std::int32_t &code) {
    if (types.nb_modes == 1 && types.modes[0] == -1) {
        code = types.types[0];
        return true;
    }
    const int n = std::min<std::int32_t>(types.nb_modes, kModeEntries);
    for (int i = 0; i < n; ++i) {
        if (types.modes[i] == mode) {
            code = types.types[i];
            return true;
        }
    }
    return false;
}

bool decode_elements(DecodeEnv &env, int count) {
    int start = 1;
    return un_pak_n_seq(env, start, count - 1, 1, 0, std::string());
}

}  // namespace ventrac

extern "C" int decomprime(const char *pilot_path, const unsigned char *packed,
                          signed char *type_code, int *error) {
    using namespace ventrac;
    num_rep_tr = -1;
    nb_rep_d_dev = -1;
    DecodeEnv env;
    env.table = specel;
    env.table_size = VENTRAC_MAX_ELEMENTS;
    env.out = donnees;
    env.packed = packed;
    env.trace = Sink::to_file(trace::sink());
    // The file is read once per call; its lines are loaded twice, for every
    // mode and then for the message's mode.
    static std::string content;
    if (!read_pilot_file(pilot_path, content)) {
        report_unreadable_pilot(pilot_path);
        report(kMessage254, pilot_path);
        return fail(254, error);
    }
    int count = 0;
    if (const int failure = load_table(content, pilot_path, 0, count)) return fail(failure, error);
    const signed char mode = read_mode(env);
    if (const int failure = load_table(content, pilot_path, mode, count))
        return fail(failure, error);
    list_elements(env.trace, specel, count);

    std::int32_t code = 0;
    if (!data_type_code(TypeDonnee, mode, code)) {
        report(kMessage234, std::to_string(mode).c_str());
        return fail(234, error);
    }
    if (type_code != nullptr) *type_code = static_cast<signed char>(code);

    const bool decoded = decode_elements(env, count);
    publish_counters(env);
    if (!decoded) {
        trace::error("%s - %s - %s (%d)\n", APPLI, trace::ship_name(), kMessage252,
                     VENTRAC_MAX_ELEMENTS);
        return fail(252, error);
    }
    return env.nout;
}
