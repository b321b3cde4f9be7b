// SPDX-License-Identifier: Apache-2.0
// Encoder: codes the observation values under the element table and packs
// them, walking replicated groups as often as they repeat.
//
// The walk keeps all its state in an EncodeEnv. comprime() runs it over the
// process's element table; the encoding contexts run it over their own.
#include "codec/encoder.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "codec/listing.h"
#include "codec/rules.h"
#include "pilot/reader.h"
#include "pilot/trace.h"

namespace ventrac {

namespace {

const ElementSpec kClearedSpec{};

double value_at(const EncodeEnv &env, int ival) {
    return ival >= 0 && static_cast<std::size_t>(ival) < env.nvalues ? env.values[ival] : 0.0;
}

int presence_at(const EncodeEnv &env, int ival) {
    return ival >= 0 && static_cast<std::size_t>(ival) < env.nvalues ? env.presence[ival] : 0;
}

// The trace line of one coded value (element index j, value index ival).
void trace_coded(const Sink &trace, const ElementSpec &e, int j, int ival, double value,
                 int present, std::int64_t c) {
    if (trace.on())
        trace.print("\t\t i=%d j=%d val=%f pres=%d valcod=%" PRId64 " \t %s\n", j, ival, value,
                    present, c, e.comment);
}

// Coded integer of `value` under `e` (element index j, value index ival),
// traced.
std::int64_t code_value(const ElementSpec &e, int j, int ival, double value, int present,
                        const Sink &trace) {
    const std::int64_t c = present != 0 ? rules::coded_value(e, value)
                                        : static_cast<std::int64_t>(rules::missing_code(e));
    trace_coded(trace, e, j, ival, value, present, c);
    return c;
}

// Why a walk stopped: the buffer is full, or the walk took too many steps.
bool take_step(EncodeEnv &env) {
    if (++env.steps <= kMaxWalkSteps) return true;
    env.failure = -VENTRAC_ERR_TOO_MANY;
    return false;
}

bool append(EncodeEnv &env, std::int64_t value, signed char width) {
    if (pak(env.buffer, value, width, &env.bitpos) != 0) return true;
    env.failure = -VENTRAC_ERR_FULL;
    return false;
}

// Codes value `ival` with element `j`'s law and appends it to the buffer.
bool pack_value(EncodeEnv &env, int j) {
    const ElementSpec &e = env.spec(j);
    const std::int64_t valcod =
        code_value(e, j, env.ival, value_at(env, env.ival), presence_at(env, env.ival), env.trace);
    return append(env, valcod, rules::packed_width(e));
}

// Codes and appends the count of the delayed replication at `j`, from value
// `ival`; sets `count` to the repetitions walked. Refuses a count the
// decoder would not read back as that number.
bool pack_count(EncodeEnv &env, int j, int &count) {
    const ElementSpec &e = env.spec(j);
    const double value = value_at(env, env.ival);
    const int present = presence_at(env, env.ival);
    const int sent = std::max(0, repetition_count(value));
    const std::int64_t today = present != 0 ? rules::coded_value(e, value)
                                            : static_cast<std::int64_t>(rules::missing_code(e));
    const std::optional<std::int64_t> code = delayed_count_code(e, sent, today);
    const std::int64_t valcod = code.value_or(today);
    trace_coded(env.trace, e, j, env.ival, value, present, valcod);
    if (!code) {
        env.failure = -VENTRAC_ERR_COUNT;
        env.refused_count = sent;
        return false;
    }
    count = sent;
    return append(env, valcod, rules::packed_width(e));
}

bool pak_n_seq(EncodeEnv &env, int &start, int nbpar, int nbsec);

// Packs one replicated group opened by the descriptor at `j`, including the
// count of a delayed replication; leaves `j` on the group's last element.
bool pack_group(EncodeEnv &env, int &j) {
    const ElementSpec &e = env.spec(j);
    const Replication rep = replication_of(e.code);
    if (env.trace.on())
        env.trace.print("\n\tOUVERTURE SEQUENCE BUFR=%.6s  \n\tNb de parametres/sequence=%d\n",
                        e.code, rep.group_size);
    int count = rep.repetitions;
    if (rep.delayed()) {
        if (!pack_count(env, j, count)) return false;
        ++env.ival;
    }
    int k = j + 1;
    if (!pak_n_seq(env, k, rep.group_size, count)) return false;
    j = k;
    return true;
}

bool pak_n_seq(EncodeEnv &env, int &start, int nbpar, int nbsec) {
    const int i1 = start;
    const int i2 = i1 + nbpar;
    if (env.trace.on())
        env.trace.print(
            "................................................\n"
            "pak_n_seq : i1=%d i2=%d nbsec=%d ival=%d nbpar=%d\n",
            i1, i2, nbsec, env.ival, nbpar);
    const int end = table_end(i2);
    for (int r = 0; r < nbsec; ++r) {
        if (!take_step(env)) return false;
        if (env.trace.on()) env.trace.print("\nSequence num %d\n", r);
        for (int j = i1; j < end; ++j) {
            if (!take_step(env)) return false;
            if (opens_group(env.spec(j).code)) {
                if (!pack_group(env, j)) return false;
            } else {
                if (!pack_value(env, j)) return false;
                ++env.ival;
            }
        }
    }
    start = i2 - 1;
    return true;
}

}  // namespace

const char *const kMessage246 =
    " erreur num 246: Facteur de replication differee que le decodeur ne relirait pas, "
    "message non ecrit";

int count_read_back(const ElementSpec &e, std::int64_t code) {
    // What the packer writes and the decoder reads back: the low bits of
    // the code in the element's width, nothing for a width of 0 or less.
    const int width = rules::packed_width(e);
    const std::uint64_t raw = width > 0 ? static_cast<std::uint64_t>(code) & bits::all_ones(width)
                                        : 0;
    return std::max(0, repetition_count(rules::physical_value(e, static_cast<double>(raw))));
}

std::optional<std::int64_t> delayed_count_code(const ElementSpec &e, int sent, std::int64_t today) {
    if (count_read_back(e, today) == sent) return today;
    const std::int64_t coded = rules::coded_value(e, static_cast<double>(sent));
    if (count_read_back(e, coded) == sent) return coded;
    return std::nullopt;
}

const ElementSpec &EncodeEnv::spec(int j) const {
    return j >= 0 && j < table_size ? table[j] : kClearedSpec;
}

int pack_message(EncodeEnv &env, signed char mode, int count) {
    std::memset(env.buffer, 0, VENTRAC_PACKED_SIZE);
    env.bitpos = 0;
    env.ival = 0;
    env.steps = 0;
    env.failure = 0;
    if (!append(env, mode, rules::packed_width(env.spec(0)))) return env.failure;
    int start = 1;
    if (!pak_n_seq(env, start, count - 1, 1)) return env.failure;
    return static_cast<int>((env.bitpos + 7) / 8);
}

std::int64_t codage(int j, int ival, const double *values, const int *presence) {
    EncodeEnv env;
    env.values = values;
    env.presence = presence;
    env.nvalues = VENTRAC_MAX_VALUES;
    return code_value(specel[j], j, ival, value_at(env, ival), presence_at(env, ival),
                      Sink::to_file(trace::sink()));
}

}  // namespace ventrac

extern "C" int comprime(const char *pilot_path, signed char mode, const double *values,
                        const int *presence, unsigned char *buffer, int *nb_elements) {
    namespace trace = ventrac::trace;
    *nb_elements = 0;
    const int a = get_specif(pilot_path, mode);
    trace::print("lecture pilote %s : mode oper= %d retour=%d\n", pilot_path, mode, a);
    if (a <= 0) return a;
    const ventrac::Sink sink = ventrac::Sink::to_file(trace::sink());
    for (int i = 0; i < a; ++i) ventrac::list_element(sink, specel[i], ventrac::Listing::Encoder);

    ventrac::EncodeEnv env;
    env.table = specel;
    env.table_size = VENTRAC_MAX_ELEMENTS;
    env.values = values;
    env.presence = presence;
    env.nvalues = VENTRAC_MAX_VALUES;
    env.buffer = buffer;
    env.trace = sink;
    const int octets = ventrac::pack_message(env, mode, a);
    if (octets == -VENTRAC_ERR_COUNT)
        trace::error("%s - %s - %s (%d)\n", APPLI, trace::ship_name(), ventrac::kMessage246,
                     env.refused_count);
    if (octets <= 0) return 0;
    *nb_elements = a;
    return octets;
}
