// Encoder: codes the observation values under the element table and packs
// them, walking replicated groups as often as they repeat.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "codec/bitops.h"
#include "codec/codec.h"
#include "codec/encoder.h"
#include "codec/replication.h"
#include "pilot/reader.h"
#include "pilot/trace.h"

namespace ventrac {

namespace {

struct Values {
    const double *values;
    const int *presence;

    double value(int ival) const {
        return in_range(ival) ? values[ival] : 0.0;
    }
    int present(int ival) const { return in_range(ival) ? presence[ival] : 0; }
    static bool in_range(int ival) { return ival >= 0 && ival < VENTRAC_MAX_VALUES; }
};

// Walk state shared by the nested calls of one encoding.
struct PackState {
    Values input;
    unsigned char *buffer;
    std::uint32_t bitpos;
    int ival;
    long steps = 0;

    bool take_step() { return ++steps <= kMaxWalkSteps; }
};

void list_element(const ElementSpec &e) {
    trace::print("%s %s %2d %2.0f %10.5f %f %6" PRId64 " %3" PRIu64 "  %.16s %8.3f %8.2f %1d %s\n",
                 e.code, e.name, e.nbits, e.power, e.scale, e.reference, e.max_coded, e.mode_mask,
                 e.unit, e.conv_factor, e.conv_offset, e.flag, e.comment);
}

// Codes value `ival` with element `j`'s law and appends it to the buffer.
bool pack_value(PackState &s, int j) {
    const std::int64_t valcod = ventrac::codage(j, s.ival, s.input.values, s.input.presence);
    return pak(s.buffer, valcod, static_cast<signed char>(specel[j].nbits), &s.bitpos) != 0;
}

bool pak_n_seq(int &start, int nbpar, int nbsec, PackState &s);

// Packs one replicated group opened by the descriptor at `j`, including the
// count of a delayed replication; leaves `j` on the group's last element.
bool pack_group(int &j, PackState &s) {
    const Replication rep = replication_of(specel[j].code);
    if (trace::tracing())
        trace::print("\n\tOUVERTURE SEQUENCE BUFR=%.6s  \n\tNb de parametres/sequence=%d\n",
                     specel[j].code, rep.group_size);
    int count = rep.repetitions;
    if (rep.delayed()) {
        if (!pack_value(s, j)) return false;
        count = repetition_count(s.input.value(s.ival));
        ++s.ival;
    }
    int k = j + 1;
    if (!pak_n_seq(k, rep.group_size, count, s)) return false;
    j = k;
    return true;
}

bool pak_n_seq(int &start, int nbpar, int nbsec, PackState &s) {
    const int i1 = start;
    const int i2 = i1 + nbpar;
    if (trace::tracing())
        trace::print("................................................\n"
                     "pak_n_seq : i1=%d i2=%d nbsec=%d ival=%d nbpar=%d\n",
                     i1, i2, nbsec, s.ival, nbpar);
    const int end = table_end(i2);
    for (int r = 0; r < nbsec; ++r) {
        if (!s.take_step()) return false;
        trace::print("\nSequence num %d\n", r);
        for (int j = i1; j < end; ++j) {
            if (!s.take_step()) return false;
            if (opens_group(specel[j].code)) {
                if (!pack_group(j, s)) return false;
            } else {
                if (!pack_value(s, j)) return false;
                ++s.ival;
            }
        }
    }
    start = i2 - 1;
    return true;
}

}  // namespace

std::int64_t to_int64_or_min(double x) noexcept {
    // Every double in [-2^63, 2^63) converts exactly; anything else (NaN
    // included) takes the most negative value, as an out-of-range result.
    if (x >= -9223372036854775808.0 && x < 9223372036854775808.0) return static_cast<std::int64_t>(x);
    return INT64_MIN;
}

}  // namespace ventrac

std::int64_t ventrac::codage(int j, int ival, const double *values, const int *presence) {
    const ElementSpec &e = specel[j];
    const ventrac::Values input{values, presence};
    const double value = input.value(ival);
    const int present = input.present(ival);
    const double x = ventrac::law_power((value - e.reference) / e.scale, 1.0 / e.power);
    std::int64_t c;
    if (present != 0) {
        c = ventrac::to_int64_or_min(x + 0.5);
        if (c > e.max_coded) c = e.max_coded;
        if (c < 0) c = 0;
    } else {
        c = static_cast<std::int64_t>(ventrac::bits::all_ones(e.nbits));
    }
    ventrac::trace::print("\t\t i=%d j=%d val=%f pres=%d valcod=%" PRId64 " \t %s\n", j, ival, value,
                          present, c, e.comment);
    return c;
}

extern "C" int comprime(const char *pilot_path, signed char mode, const double *values,
                        const int *presence, unsigned char *buffer, int *nb_elements) {
    namespace trace = ventrac::trace;
    *nb_elements = 0;
    const int a = get_specif(pilot_path, mode);
    trace::print("lecture pilote %s : mode oper= %d retour=%d\n", pilot_path, mode, a);
    if (a <= 0) return a;
    if (trace::tracing())
        for (int i = 0; i < a; ++i) ventrac::list_element(specel[i]);

    ventrac::PackState s{{values, presence}, buffer, 0, 0};
    std::memset(buffer, 0, VENTRAC_PACKED_SIZE);
    if (pak(buffer, mode, static_cast<signed char>(specel[0].nbits), &s.bitpos) == 0) return 0;
    int start = 1;
    if (!ventrac::pak_n_seq(start, a - 1, 1, s)) return 0;
    *nb_elements = a;
    return static_cast<int>((s.bitpos + 7) / 8);
}
