// SPDX-License-Identifier: Apache-2.0
// The codec's four steps on the shipped example, trace dropped: packing the
// observation, turning it into six-bit text, rebuilding the packed bits from
// the text, and decoding them; the decoding both through decomprime() (the
// pilot file read at each call, the process tables) and through a decoding
// context with the pilot parsed once, as ventrac-decode decodes.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/context.h"

namespace {

const std::string kPilot = std::string(VENTRAC_EXAMPLES) + "/ship.pilot";

// The example observation: its mode and its values, as ventrac reads them.
struct Observation {
    int mode = 0;
    std::vector<double> values = std::vector<double>(VENTRAC_MAX_VALUES, 0.0);
    std::vector<int> presence = std::vector<int>(VENTRAC_MAX_VALUES, 0);
};

Observation load_observation() {
    Observation obs;
    std::ifstream in(std::string(VENTRAC_EXAMPLES) + "/ship_obs.txt");
    in >> obs.mode;
    for (std::size_t i = 0; i < VENTRAC_MAX_VALUES && in >> obs.presence[i] >> obs.values[i]; ++i) {
    }
    return obs;
}

// The packed example and its six-bit text, made once.
struct Message {
    std::array<unsigned char, VENTRAC_PACKED_SIZE> packed{};
    int octets = 0;
    std::string text;
};

const Message &example_message() {
    static const Message message = [] {
        Message m;
        const Observation obs = load_observation();
        int nb_elements = 0;
        m.octets = comprime(kPilot.c_str(), static_cast<signed char>(obs.mode), obs.values.data(),
                            obs.presence.data(), m.packed.data(), &nb_elements);
        if (m.octets > 0) {
            std::vector<char> out(VENTRAC_MESSAGE_MAX);
            const int length = telexin("FNZ6042", m.packed.data(), m.octets, "", out.data());
            m.text.assign(out.data(), static_cast<std::size_t>(length));
        }
        return m;
    }();
    return message;
}

bool ready(benchmark::State &state) {
    ventrac_set_trace(nullptr);
    ventrac_set_errors(nullptr);
    if (example_message().octets > 0) return true;
    state.SkipWithError("the example does not encode");
    return false;
}

void BM_Comprime(benchmark::State &state) {
    if (!ready(state)) return;
    const Observation obs = load_observation();
    std::array<unsigned char, VENTRAC_PACKED_SIZE> buffer{};
    int nb_elements = 0;
    for (auto _ : state) {
        const int octets = comprime(kPilot.c_str(), static_cast<signed char>(obs.mode),
                                    obs.values.data(), obs.presence.data(), buffer.data(),
                                    &nb_elements);
        benchmark::DoNotOptimize(octets);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Comprime);

void BM_Telexin(benchmark::State &state) {
    if (!ready(state)) return;
    const Message &m = example_message();
    std::vector<char> out(VENTRAC_MESSAGE_MAX);
    for (auto _ : state) {
        const int length = telexin("FNZ6042", m.packed.data(), m.octets, "", out.data());
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Telexin);

void BM_Telexout(benchmark::State &state) {
    if (!ready(state)) return;
    const Message &m = example_message();
    std::array<unsigned char, VENTRAC_PACKED_SIZE> packed{};
    char identifier[VENTRAC_IDENT_LEN + 1];
    for (auto _ : state) {
        std::memset(packed.data(), 0, packed.size());
        const int octets = telexout(static_cast<int>(m.text.size()), m.text.data(), identifier,
                                    nullptr, packed.data());
        benchmark::DoNotOptimize(octets);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Telexout);

void BM_Decomprime(benchmark::State &state) {
    if (!ready(state)) return;
    const Message &m = example_message();
    TypeDonnee.nb_modes = 1;
    TypeDonnee.modes[0] = -1;
    TypeDonnee.types[0] = 0;
    signed char type_code = 0;
    int error = 0;
    for (auto _ : state) {
        const int count = decomprime(kPilot.c_str(), m.packed.data(), &type_code, &error);
        if (count < 0) {
            state.SkipWithError("the example does not decode");
            break;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Decomprime);

// A parsed pilot and a decoding context with code 0 for every mode.
struct Context {
    ventrac_pilot *pilot = ventrac_pilot_open(kPilot.c_str(), nullptr, 0);
    ventrac_dctx *dctx = ventrac_dctx_create();
    Context() {
        DataTypeEntry types{};
        types.nb_modes = 1;
        types.modes[0] = -1;
        ventrac_dctx_set_datatypes(dctx, &types);
    }
    ~Context() {
        ventrac_dctx_free(dctx);
        ventrac_pilot_free(pilot);
    }
    bool ready(benchmark::State &state) const {
        if (pilot != nullptr && dctx != nullptr) return true;
        state.SkipWithError("cannot read the pilot file");
        return false;
    }
};

// Packed bits to the decoded table, display texts included.
void BM_DecodePacked(benchmark::State &state) {
    if (!ready(state)) return;
    const Context c;
    if (!c.ready(state)) return;
    const Message &m = example_message();
    for (auto _ : state) {
        const int count = ventrac_decode_packed(c.dctx, c.pilot, m.packed.data(),
                                                static_cast<std::size_t>(m.octets));
        if (count <= 0) {
            state.SkipWithError("the example does not decode");
            break;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodePacked);

// The transmitted text to the decoded table: the bits rebuilt, then decoded.
void BM_DecodeText(benchmark::State &state) {
    if (!ready(state)) return;
    const Context c;
    if (!c.ready(state)) return;
    const Message &m = example_message();
    for (auto _ : state) {
        const int count = ventrac_decode_text(c.dctx, c.pilot, m.text.data(), m.text.size());
        if (count <= 0) {
            state.SkipWithError("the example does not decode");
            break;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeText);

}  // namespace
