// Decoder: rebuilds the decoded-element table from a packed buffer and the
// element table, walking replicated groups as often as the message says and
// naming every repeated element after its place in the replication.
#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "codec/bitops.h"
#include "codec/codec.h"
#include "codec/decoder.h"
#include "codec/replication.h"
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

namespace {

constexpr int kMaxDigits = 10;    // digits of 2^31 - 1
constexpr int kMaxDecimals = 15;  // about what a double holds
constexpr int kModeEntries = 32;  // entries of TypeDonnee.modes and .types

constexpr const char *kMessage254 = " erreur num 254: Erreur a l'ouverture du fichier pilote (DSI)";
constexpr const char *kMessage253 =
    " erreur num 253: Aucun parametre n'est accessible sur fichier pilote (DSO)";
constexpr const char *kMessage234 =
    " erreur num 234 - Mode operatoire non repertorie dans le fichier DataType :";
constexpr const char *kMessage252 =
    " erreur num 252: Le nombre d'elements decompresses depasse le nombre max attendu (DSO)";

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

double physical_value(const ElementSpec &e, std::uint64_t raw) {
    return law_power(static_cast<double>(raw), e.power) * e.scale + e.reference;
}

// Replication factors are always usable; other elements are missing when
// coded as all ones (value 0) and unusable outside their plausible range.
void set_value(DecodedElement &d, std::int64_t raw) {
    const ElementSpec &e = d.spec;
    const auto bits = static_cast<std::uint64_t>(raw);
    if (opens_group(e.code)) {
        d.value = physical_value(e, bits);
        d.valid = 1;
    } else if (bits == ventrac::bits::all_ones(e.nbits)) {
        d.value = 0.0;
        d.valid = 0;
    } else {
        d.value = physical_value(e, bits);
        d.valid = d.value >= e.min_valid && d.value <= e.max_valid ? 1 : 0;
    }
}

// Writes `v` as "%<width>.<decimals>f" would, into `out` of `size` bytes.
// std::to_chars gives the same digits as printf in the C locale at a fraction
// of the cost; a text too long for the field falls back on snprintf, which
// cuts it.
void print_fixed(char *out, std::size_t size, FieldFormat f, double v) {
    char digits[400];  // the longest double in fixed notation with 15 decimals
    const auto [end, ec] =
        std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, f.decimals);
    const auto n = static_cast<std::size_t>(end - digits);
    const auto width = static_cast<std::size_t>(f.width);
    const std::size_t pad = width > n ? width - n : 0;
    if (ec != std::errc() || pad + n >= size) {
        std::snprintf(out, size, "%*.*f", f.width, f.decimals, v);
        return;
    }
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, digits, n);
    out[pad + n] = '\0';
}

// Converted value and display texts. Character data gets no texts: they are
// emptied so that nothing from an earlier message stays in the slot.
void write_texts(DecodedElement &d) {
    const ElementSpec &e = d.spec;
    d.conv_value = d.value * e.conv_factor + e.conv_offset;
    if (field_text(e.unit, sizeof e.unit) == "CCITTIA5") {
        d.text[0] = d.conv_text[0] = d.format[0] = '\0';
        return;
    }
    const double vmax = law_power(static_cast<double>(e.max_coded), e.power) * e.scale + e.reference;
    const FieldFormat f = field_format(vmax, e.scale);
    write_format(f, d.format);
    print_fixed(d.text, sizeof d.text, f, d.value);
    print_fixed(d.conv_text, sizeof d.conv_text, f, d.conv_value);
}

// Class 31 descriptor of a delayed replication factor, by its width.
const char *factor_code(int nbits) {
    if (nbits == 1) return "031000";
    return nbits > 8 ? "031002" : "031001";
}

void append_suffix(ElementSpec &e, const std::string &suffix) {
    std::string name(field_text(e.name, sizeof e.name));
    name += suffix;
    copy_text(e.name, sizeof e.name, name);
}

// ---- walk -----------------------------------------------------------------

// `n` with at least `digits` digits, zero-padded, as "%3.3d" prints it.
std::string zero_padded(long long n, std::size_t digits) {
    std::string text = std::to_string(n < 0 ? -n : n);
    if (text.size() < digits) text.insert(0, digits - text.size(), '0');
    return n < 0 ? "-" + text : text;
}

std::string three_digits(const char *lead, int n) { return lead + zero_padded(n, 3); }

bool take_step(DecodeWalk &walk) { return ++walk.steps <= kMaxWalkSteps; }

// Names of the elements of one sequence walk: `prefix` is the caller's suffix
// followed by this sequence's number; `current` is the suffix handed to the
// element being decoded or the group being entered.
struct SequenceNames {
    std::string prefix;
    std::string current;

    SequenceNames(int depth, const std::string &suffix) {
        if (depth == 0) return;
        current = three_digits("_D", num_rep_tr);
        prefix = suffix + current;
    }
};

// Decodes the replicated group opened by specel[j] in repetition `r`: its
// delayed factor if any, then its elements. Leaves `j` past the group.
bool walk_group(int &j, int r, int depth, int &inner_depth, const std::string &current,
                DecodeWalk &walk) {
    const Replication rep = replication_of(specel[j].code);
    trace::print("\n\tOUVERTURE SEQUENCE BUFR=%.6s  \n\tNb de parametres/sequence=%d\n",
                 specel[j].code, rep.group_size);
    const bool counted = rep.kind == '1';
    if (r == 0 && counted) {
        ++num_rep_tr;
        inner_depth = depth + 1;
    }
    int count = rep.repetitions;
    if (rep.delayed()) {
        if (counted) ++nb_rep_d_dev;
        dextrait(j, walk.nout, walk.packed, walk.adbit, three_digits("", nb_rep_d_dev));
        count = repetition_count(donnees[walk.nout].value);
        // A kind '4' factor is not kept: the next element takes its entry.
        if (counted) ++walk.nout;
    }
    int k = j + 1;
    if (!un_pak_n_seq(k, rep.group_size, count, walk, inner_depth, current)) return false;
    j = k + 1;
    return true;
}

// ---- decomprime steps -------------------------------------------------------

void report(const char *message, const char *subject) {
    trace::error("%s - %s - %s %s\n", APPLI, trace::ship_name(), message, subject);
}

int fail(int code, int *error) {
    if (error != nullptr) *error = code;
    return -1;
}

// Loads the element table for `mode` from the pilot file's content; returns
// the error number, or 0 with `count` set to the number of kept lines.
int load_table(const std::string &content, const char *path, signed char mode, int &count) {
    count = load_specif(content, mode);
    if (count == 0) {
        report(kMessage253, path);
        return 253;
    }
    return 0;
}

// The operating mode heads the message, in the mode element's width.
signed char read_mode(DecodeWalk &walk) {
    const std::int64_t raw =
        depak(walk.packed, static_cast<signed char>(specel[0].nbits), &walk.adbit);
    trace::print("\n");
    return static_cast<signed char>(static_cast<std::uint8_t>(raw & 0xFF));
}

void list_elements(int count) {
    if (!trace::tracing()) return;
    for (int i = 0; i < count; ++i) {
        const ElementSpec &e = specel[i];
        trace::print("%s %s %2d %2.0f %10.5f %f %6" PRId64 " %3" PRId64
                     " %.16s %8.3f %8.2f %1d %s\n",
                     e.code, e.name, e.nbits, e.power, e.scale, e.reference, e.max_coded,
                     static_cast<std::int64_t>(e.mode_mask), e.unit, e.conv_factor, e.conv_offset,
                     e.flag, e.comment);
    }
    trace::print("IER=%d\n", count);
}

// The data-type code of `mode`: a single entry for mode -1 stands for every
// mode; otherwise the first listed entry of the mode (at most 32 are read).
bool data_type_code(signed char mode, std::int32_t &code) {
    const DataTypeEntry &t = TypeDonnee;
    if (t.nb_modes == 1 && t.modes[0] == -1) {
        code = t.types[0];
        return true;
    }
    const int n = std::min<std::int32_t>(t.nb_modes, kModeEntries);
    for (int i = 0; i < n; ++i) {
        if (t.modes[i] == mode) {
            code = t.types[i];
            return true;
        }
    }
    return false;
}

}  // namespace

std::string cree_form(double vmax, double scale) { return format_text(field_format(vmax, scale)); }

void dextrait(int j, int out, const unsigned char *packed, std::uint32_t &adbit,
              const std::string &suffix) {
    DecodedElement &d = donnees[out];
    const std::int64_t raw = depak(packed, static_cast<signed char>(specel[j].nbits), &adbit);
    d.spec = specel[j];
    set_value(d, raw);
    // A kind '4' factor only lends its count; the next element overwrites it.
    if (d.spec.code[0] == '4') return;
    write_texts(d);
    if (d.spec.code[0] == '1')
        copy_text(d.spec.code, sizeof d.spec.code, factor_code(d.spec.nbits));
    if (!suffix.empty()) append_suffix(d.spec, suffix);
    copy_text(d.ident, sizeof d.ident, "D" + zero_padded(out + 1, 6));
}

bool un_pak_n_seq(int &start, int nbpar, int nbsec, DecodeWalk &walk, int depth,
                  const std::string &suffix) {
    const int i1 = start;
    const int i2 = i1 + nbpar;
    const int end = table_end(i2);
    SequenceNames names(depth, suffix);
    int inner_depth = depth;
    for (int r = 0; r < nbsec; ++r) {
        if (!take_step(walk)) return false;
        trace::print("\tSequence num %d i1=%d i2=%d\n", r, i1, i2);
        for (int j = i1; j < end;) {
            if (walk.nout >= VENTRAC_MAX_ELEMENTS || !take_step(walk)) return false;
            if (opens_group(specel[j].code)) {
                if (!walk_group(j, r, depth, inner_depth, names.current, walk)) return false;
                continue;
            }
            if (depth > 0) names.current = names.prefix + three_digits("-", r);
            dextrait(j, walk.nout, walk.packed, walk.adbit, names.current);
            ++walk.nout;
            ++j;
        }
    }
    start = i2 - 1;
    return true;
}

}  // namespace ventrac

extern "C" int decomprime(const char *pilot_path, const unsigned char *packed,
                          signed char *type_code, int *error) {
    using namespace ventrac;
    num_rep_tr = -1;
    nb_rep_d_dev = -1;
    DecodeWalk walk{packed};
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
    const signed char mode = read_mode(walk);
    if (const int failure = load_table(content, pilot_path, mode, count)) return fail(failure, error);
    list_elements(count);

    std::int32_t code = 0;
    if (!data_type_code(mode, code)) {
        report(kMessage234, std::to_string(mode).c_str());
        return fail(234, error);
    }
    if (type_code != nullptr) *type_code = static_cast<signed char>(code);

    int start = 1;
    if (!un_pak_n_seq(start, count - 1, 1, walk, 0, std::string())) {
        trace::error("%s - %s - %s (%d)\n", APPLI, trace::ship_name(), kMessage252,
                     VENTRAC_MAX_ELEMENTS);
        return fail(252, error);
    }
    return walk.nout;
}
