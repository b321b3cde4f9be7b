// SPDX-License-Identifier: Apache-2.0
// The reentrant codec: a parsed pilot file shared read-only by any number of
// threads, and encoder / decoder contexts that own everything one encoding
// or decoding works with. Nothing here reads or writes a process global.
#include <ventrac/ventrac.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "codec/armour.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/lookup.h"
#include "codec/rules.h"
#include "pilot/reader.h"
#include "pilot/sink.h"
#include "pilot/text.h"

namespace {

// An element table as a load leaves it, starting from a cleared table: the
// slots it wrote (the kept lines, and the slot after them when lines that
// were not kept went into it), how many lines it kept and how many it read.
struct LoadedTable {
    std::vector<ElementSpec> slots;
    std::vector<ventrac::PreparedEntry> prepared;  // of each slot, for the decoder
    int kept = 0;
    int lines_read = 0;
};

// Loads the lines of `mode` over `slots`, as get_specif() loads them over
// the element table: every line goes into the current slot, over what the
// slot holds, and the slot moves on only when the line is kept; reading
// stops once 1024 lines are kept.
LoadedTable load(const std::vector<ventrac::PilotLine> &lines, std::vector<ElementSpec> slots,
                 int mode) {
    LoadedTable t;
    t.slots = std::move(slots);
    ventrac::walk_pilot_lines(
        lines, mode, [&t](std::size_t) { ++t.lines_read; },
        [&t](std::size_t k) -> ElementSpec & {
            if (t.slots.size() <= k) t.slots.resize(k + 1);
            return t.slots[k];
        },
        [&t](std::size_t, std::size_t k) {
            t.kept = static_cast<int>(k) + 1;
            return t.kept < VENTRAC_MAX_ELEMENTS;
        });
    return t;
}

// Modes that select the same lines share a table: 0 stands for every mode
// of 0 or less, 1 to 64 for themselves, 65 for every mode above 64.
constexpr int kModeSlots = 66;
int mode_slot(int mode) { return mode <= 0 ? 0 : std::min(mode, 65); }

// A table made on first use, once, whichever thread asks first.
struct LazyTable {
    std::once_flag once;
    LoadedTable table;
};

void write_error(char *error, std::size_t size, const std::string &text) {
    if (error == nullptr || size == 0) return;
    const std::size_t n = std::min(size - 1, text.size());
    std::memcpy(error, text.data(), n);
    error[n] = '\0';
}

}  // namespace

struct ventrac_pilot {
    std::string name;  // the path it was read from, for error lines
    std::vector<ventrac::PilotLine> lines;
    LoadedTable all;  // every line, over a cleared table: the decoder's first load
    mutable std::array<LazyTable, kModeSlots> decoder_tables;
    mutable std::array<LazyTable, kModeSlots> encoder_tables;

    // The decoder's table for `mode`: every line, then the lines of `mode`.
    const LoadedTable &decoder_table(int mode) const {
        LazyTable &lazy = decoder_tables[static_cast<std::size_t>(mode_slot(mode))];
        std::call_once(lazy.once, [&] {
            lazy.table = load(lines, all.slots, std::max(mode, 0));
            for (const ElementSpec &e : lazy.table.slots)
                lazy.table.prepared.push_back(ventrac::prepare_entry(e));
        });
        return lazy.table;
    }

    // The encoder's table for `mode`: the lines of `mode` over a cleared table.
    const LoadedTable &encoder_table(int mode) const {
        LazyTable &lazy = encoder_tables[static_cast<std::size_t>(mode_slot(mode))];
        std::call_once(lazy.once, [&] { lazy.table = load(lines, {}, std::max(mode, 0)); });
        return lazy.table;
    }
};

struct ventrac_dctx {
    std::vector<DecodedElement> elements = std::vector<DecodedElement>(VENTRAC_MAX_ELEMENTS);
    std::vector<std::uint8_t> status = std::vector<std::uint8_t>(VENTRAC_MAX_ELEMENTS);
    std::vector<ventrac::DelayedFactor> factors;
    std::array<unsigned char, VENTRAC_PACKED_SIZE> packed{};
    int count = 0;
    int mode = 0;
    int type_code = 0;
    char identifier[VENTRAC_IDENT_LEN + 1] = {};
    DataTypeEntry types{};
    ventrac::Sink trace;
    ventrac::Sink errors;
    std::string application = "ventrac";
    std::string ship;

    ventrac_dctx() { set_every_mode_code_zero(); }

    void set_every_mode_code_zero() {
        types = DataTypeEntry{};
        types.nb_modes = 1;
        types.modes[0] = -1;
        types.types[0] = 0;
    }

    void report(const char *message, const char *subject) const {
        if (errors.on())
            errors.print("%s - %s - %s %s\n", application.c_str(), ship.c_str(), message, subject);
    }
};

struct ventrac_cctx {
    ventrac::Sink trace;
};

namespace {

void trace_lines(const ventrac::Sink &trace, const std::vector<ventrac::PilotLine> &lines, int n) {
    if (!trace.on()) return;
    for (int i = 0; i < n; ++i)
        ventrac::trace_pilot_line(lines[static_cast<std::size_t>(i)], trace);
}

// The steps of decomprime(), over the context's tables and the pilot's.
int decode(ventrac_dctx *d, const ventrac_pilot *p, const unsigned char *packed, std::size_t size) {
    using namespace ventrac;
    d->count = 0;
    d->mode = 0;
    d->type_code = 0;
    d->factors.clear();

    DecodeEnv env;
    env.out = d->elements.data();
    env.status = d->status.data();
    env.factors = &d->factors;
    env.packed = packed;
    env.size = std::min<std::size_t>(size, VENTRAC_PACKED_SIZE);
    env.trace = d->trace;

    trace_lines(env.trace, p->lines, p->all.lines_read);
    if (p->all.kept == 0) {
        d->report(kMessage253, p->name.c_str());
        return -VENTRAC_ERR_NO_ELEMENT;
    }
    env.table = p->all.slots.data();
    env.table_size = static_cast<int>(p->all.slots.size());
    const signed char mode = read_mode(env);
    d->mode = mode;

    const LoadedTable &table = p->decoder_table(mode);
    trace_lines(env.trace, p->lines, table.lines_read);
    if (table.kept == 0) {
        d->report(kMessage253, p->name.c_str());
        return -VENTRAC_ERR_NO_ELEMENT;
    }
    env.table = table.slots.data();
    env.table_size = static_cast<int>(table.slots.size());
    env.prepared = table.prepared.data();
    list_elements(env.trace, env.table, table.kept);

    std::int32_t code = 0;
    if (!data_type_code(d->types, mode, code)) {
        d->report(kMessage234, std::to_string(mode).c_str());
        return -VENTRAC_ERR_DATATYPE;
    }
    d->type_code = static_cast<signed char>(code);

    if (!decode_elements(env, table.kept)) {
        if (d->errors.on())
            d->errors.print("%s - %s - %s (%d)\n", d->application.c_str(), d->ship.c_str(),
                            kMessage252, VENTRAC_MAX_ELEMENTS);
        return -VENTRAC_ERR_TOO_MANY;
    }
    d->count = env.nout;
    return env.nout;
}

}  // namespace

extern "C" {

ventrac_pilot *ventrac_pilot_open(const char *path, char *error, size_t error_size) {
    if (path == nullptr) {
        write_error(error, error_size, "no pilot file named");
        return nullptr;
    }
    try {
        std::string content;
        errno = 0;
        bool opened = false;
        if (!ventrac::read_pilot_file(path, content, &opened)) {
            const int cause = errno;
            std::string text = std::string(opened ? "cannot read the pilot file "
                                                  : "cannot open the pilot file ") +
                               path;
            if (cause != 0) text += std::string(": ") + std::strerror(cause);
            write_error(error, error_size, text);
            return nullptr;
        }
        ventrac_pilot *pilot = ventrac_pilot_parse(content.data(), content.size());
        if (pilot == nullptr) {
            write_error(error, error_size, "out of memory reading the pilot file");
            return nullptr;
        }
        pilot->name = path;
        return pilot;
    } catch (const std::bad_alloc &) {
        write_error(error, error_size, "out of memory reading the pilot file");
        return nullptr;
    }
}

ventrac_pilot *ventrac_pilot_parse(const char *text, size_t length) {
    if (text == nullptr && length > 0) return nullptr;
    try {
        auto pilot = std::make_unique<ventrac_pilot>();
        pilot->lines = ventrac::parse_pilot(std::string(text != nullptr ? text : "", length));
        pilot->all = load(pilot->lines, {}, 0);
        return pilot.release();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void ventrac_pilot_free(ventrac_pilot *pilot) { delete pilot; }

int ventrac_pilot_line_count(const ventrac_pilot *pilot) {
    return pilot != nullptr ? static_cast<int>(pilot->lines.size()) : 0;
}

int ventrac_pilot_encoder_table(const ventrac_pilot *pilot, int mode, const ElementSpec **table) {
    if (pilot == nullptr || table == nullptr || mode < -128 || mode > 127)
        return -VENTRAC_ERR_ARGUMENT;
    try {
        const LoadedTable &t = pilot->encoder_table(mode);
        *table = t.slots.data();
        return t.kept;
    } catch (const std::exception &) {
        return -VENTRAC_ERR_MEMORY;
    }
}

int ventrac_pilot_table(const ventrac_pilot *pilot, int mode, const ElementSpec **table) {
    if (pilot == nullptr || table == nullptr || mode < -128 || mode > 127)
        return -VENTRAC_ERR_ARGUMENT;
    try {
        const LoadedTable &t = pilot->decoder_table(mode);
        *table = t.slots.data();
        return t.kept;
    } catch (const std::exception &) {
        return -VENTRAC_ERR_MEMORY;
    }
}

// A context's tables take about 1.9 MB: running out of memory while making
// them must give NULL, not an exception through a C function.
ventrac_dctx *ventrac_dctx_create(void) {
    try {
        return new ventrac_dctx;
    } catch (const std::exception &) {
        return nullptr;
    }
}

void ventrac_dctx_free(ventrac_dctx *dctx) { delete dctx; }

void ventrac_dctx_set_trace(ventrac_dctx *dctx, FILE *sink) {
    if (dctx != nullptr) dctx->trace = ventrac::Sink::to_file(sink);
}

void ventrac_dctx_set_trace_fn(ventrac_dctx *dctx, ventrac_write_fn write, void *user) {
    if (dctx != nullptr) dctx->trace = ventrac::Sink::to_function(write, user);
}

void ventrac_dctx_set_errors(ventrac_dctx *dctx, FILE *sink) {
    if (dctx != nullptr) dctx->errors = ventrac::Sink::to_file(sink);
}

void ventrac_dctx_set_errors_fn(ventrac_dctx *dctx, ventrac_write_fn write, void *user) {
    if (dctx != nullptr) dctx->errors = ventrac::Sink::to_function(write, user);
}

void ventrac_dctx_set_names(ventrac_dctx *dctx, const char *application, const char *ship) {
    if (dctx == nullptr) return;
    try {
        dctx->application = application != nullptr ? application : "";
        dctx->ship = ship != nullptr ? ship : "";
    } catch (const std::bad_alloc &) {
        dctx->application.clear();
        dctx->ship.clear();
    }
}

void ventrac_dctx_set_datatypes(ventrac_dctx *dctx, const DataTypeEntry *table) {
    if (dctx == nullptr) return;
    if (table == nullptr)
        dctx->set_every_mode_code_zero();
    else
        dctx->types = *table;
}

int ventrac_decode_packed(ventrac_dctx *dctx, const ventrac_pilot *pilot,
                          const unsigned char *packed, size_t size) {
    if (dctx == nullptr) return -VENTRAC_ERR_ARGUMENT;
    dctx->identifier[0] = '\0';
    if (pilot == nullptr || (packed == nullptr && size > 0)) {
        dctx->count = 0;
        return -VENTRAC_ERR_ARGUMENT;
    }
    static const unsigned char kNothing[1] = {0};
    try {
        return decode(dctx, pilot, packed != nullptr ? packed : kNothing, size);
    } catch (const std::exception &) {
        dctx->count = 0;
        return -VENTRAC_ERR_MEMORY;
    }
}

int ventrac_decode_text(ventrac_dctx *dctx, const ventrac_pilot *pilot, const char *text,
                        size_t length) {
    if (dctx == nullptr) return -VENTRAC_ERR_ARGUMENT;
    dctx->count = 0;
    dctx->identifier[0] = '\0';
    if (pilot == nullptr || (text == nullptr && length > 0)) return -VENTRAC_ERR_ARGUMENT;
    if (length < VENTRAC_IDENT_LEN + 1) {
        dctx->mode = 0;
        dctx->type_code = 0;
        dctx->factors.clear();
        return -VENTRAC_ERR_SHORT_TEXT;
    }
    // Characters past the largest message carry no bits.
    const int kept = static_cast<int>(std::min<std::size_t>(length, VENTRAC_MESSAGE_MAX));
    dctx->packed.fill(0);
    telexout(kept, text, dctx->identifier, nullptr, dctx->packed.data());
    try {
        return decode(dctx, pilot, dctx->packed.data(), dctx->packed.size());
    } catch (const std::exception &) {
        dctx->count = 0;
        return -VENTRAC_ERR_MEMORY;
    }
}

int ventrac_dctx_count(const ventrac_dctx *dctx) { return dctx != nullptr ? dctx->count : 0; }

const DecodedElement *ventrac_dctx_element(const ventrac_dctx *dctx, int i) {
    if (dctx == nullptr || i < 0 || i >= dctx->count) return nullptr;
    return &dctx->elements[static_cast<std::size_t>(i)];
}

int ventrac_dctx_status(const ventrac_dctx *dctx, int i) {
    if (dctx == nullptr || i < 0 || i >= dctx->count) return -1;
    return dctx->status[static_cast<std::size_t>(i)];
}

int ventrac_dctx_mode(const ventrac_dctx *dctx) { return dctx != nullptr ? dctx->mode : 0; }

int ventrac_dctx_type_code(const ventrac_dctx *dctx) {
    return dctx != nullptr ? dctx->type_code : 0;
}

const char *ventrac_dctx_identifier(const ventrac_dctx *dctx) {
    return dctx != nullptr ? dctx->identifier : "";
}

int ventrac_dctx_factors(const ventrac_dctx *dctx, char *kinds, int *counts, int *entries,
                         int capacity) {
    if (dctx == nullptr) return 0;
    const int n = static_cast<int>(dctx->factors.size());
    for (int i = 0; i < std::min(n, capacity); ++i) {
        const ventrac::DelayedFactor &f = dctx->factors[static_cast<std::size_t>(i)];
        if (kinds != nullptr) kinds[i] = f.kind;
        if (counts != nullptr) counts[i] = f.count;
        if (entries != nullptr) entries[i] = f.entry;
    }
    return n;
}

double ventrac_dctx_find(const ventrac_dctx *dctx, const char *code, const char *name, int *index) {
    if (dctx == nullptr) {
        if (index != nullptr) *index = -1;
        return -1.0;
    }
    return ventrac::find_decoded(dctx->elements.data(), dctx->count, code, name, index);
}

ventrac_cctx *ventrac_cctx_create(void) {
    try {
        return new ventrac_cctx;
    } catch (const std::exception &) {
        return nullptr;
    }
}

void ventrac_cctx_free(ventrac_cctx *cctx) { delete cctx; }

void ventrac_cctx_set_trace(ventrac_cctx *cctx, FILE *sink) {
    if (cctx != nullptr) cctx->trace = ventrac::Sink::to_file(sink);
}

void ventrac_cctx_set_trace_fn(ventrac_cctx *cctx, ventrac_write_fn write, void *user) {
    if (cctx != nullptr) cctx->trace = ventrac::Sink::to_function(write, user);
}

int ventrac_encode_packed(ventrac_cctx *cctx, const ventrac_pilot *pilot, int mode,
                          const double *values, const int *presence, size_t nvalues,
                          unsigned char *packed, int *values_used) {
    if (cctx == nullptr || pilot == nullptr || packed == nullptr || mode < -128 || mode > 127 ||
        (nvalues > 0 && (values == nullptr || presence == nullptr)))
        return -VENTRAC_ERR_ARGUMENT;
    try {
        std::memset(packed, 0, VENTRAC_PACKED_SIZE);
        const LoadedTable &table = pilot->encoder_table(mode);
        if (table.kept == 0) return -VENTRAC_ERR_NO_ELEMENT;
        ventrac::EncodeEnv env;
        env.table = table.slots.data();
        env.table_size = static_cast<int>(table.slots.size());
        env.values = values;
        env.presence = presence;
        env.nvalues = nvalues;
        env.buffer = packed;
        env.trace = cctx->trace;
        const int octets = ventrac::pack_message(env, static_cast<signed char>(mode), table.kept);
        // A message that would be misread leaves nothing behind.
        if (octets == -VENTRAC_ERR_COUNT) std::memset(packed, 0, VENTRAC_PACKED_SIZE);
        if (octets > 0 && values_used != nullptr) *values_used = env.ival;
        return octets;
    } catch (const std::exception &) {
        return -VENTRAC_ERR_MEMORY;
    }
}

int ventrac_encode_text(ventrac_cctx *cctx, const ventrac_pilot *pilot, int mode,
                        const double *values, const int *presence, size_t nvalues,
                        const char *identifier, char *out, size_t out_size) {
    if (identifier == nullptr || out == nullptr) return -VENTRAC_ERR_ARGUMENT;
    unsigned char packed[VENTRAC_PACKED_SIZE];
    const int octets =
        ventrac_encode_packed(cctx, pilot, mode, values, presence, nvalues, packed, nullptr);
    if (octets <= 0) return octets;
    const std::size_t needed = VENTRAC_IDENT_LEN + (8 * static_cast<std::size_t>(octets) + 5) / 6;
    if (out_size < needed) return -VENTRAC_ERR_ARGUMENT;
    return ventrac::write_text(identifier, packed, octets, out, cctx->trace);
}

}  // extern "C"
