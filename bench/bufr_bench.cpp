// SPDX-License-Identifier: Apache-2.0
// BUFR messages written per second next to plain decoding, on the shipped
// example: the six-bit text decoded with a decoder context, the same decode
// followed by a BUFR edition 4 message from ecCodes, and the BUFR step alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "bufr/bufr.h"
#include "codec/context.h"

namespace {

const std::string kExamples = VENTRAC_EXAMPLES;

// The example observation's six-bit text and its pilot, made once.
struct Example {
    ventrac_pilot *pilot = nullptr;
    std::string text;
};

const Example &example() {
    static const Example e = [] {
        Example x;
        x.pilot = ventrac_pilot_open((kExamples + "/ship.pilot").c_str(), nullptr, 0);
        std::ifstream in(kExamples + "/ship_obs.txt");
        int mode = 0, p = 0;
        double v = 0;
        std::vector<double> values;
        std::vector<int> presence;
        in >> mode;
        while (in >> p >> v) {
            presence.push_back(p);
            values.push_back(v);
        }
        ventrac_cctx *cctx = ventrac_cctx_create();
        char text[VENTRAC_MESSAGE_MAX];
        const int length = x.pilot == nullptr || cctx == nullptr
                               ? 0
                               : ventrac_encode_text(cctx, x.pilot, mode, values.data(),
                                                     presence.data(), values.size(), "FNZ6042",
                                                     text, sizeof text);
        ventrac_cctx_free(cctx);
        if (length > 0) x.text.assign(text, static_cast<std::size_t>(length));
        return x;
    }();
    return e;
}

bool decode(benchmark::State &state, ventrac_dctx *dctx) {
    const Example &e = example();
    if (!e.text.empty() && ventrac_decode_text(dctx, e.pilot, e.text.data(), e.text.size()) > 0)
        return true;
    state.SkipWithError("the example does not decode");
    return false;
}

void BM_Decode(benchmark::State &state) {
    ventrac_dctx *dctx = ventrac_dctx_create();
    for (auto _ : state)
        if (!decode(state, dctx)) break;
    ventrac_dctx_free(dctx);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Decode);

void BM_DecodeAndWriteBufr(benchmark::State &state) {
    ventrac_dctx *dctx = ventrac_dctx_create();
    ventrac::bufr::Writer writer{ventrac::bufr::Settings{}};
    std::string bytes, reason;
    std::vector<std::string> warnings;
    for (auto _ : state) {
        if (!decode(state, dctx)) break;
        if (!writer.encode(example().pilot, dctx, bytes, warnings, reason)) {
            state.SkipWithError(reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    ventrac_dctx_free(dctx);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeAndWriteBufr);

void BM_WriteBufr(benchmark::State &state) {
    ventrac_dctx *dctx = ventrac_dctx_create();
    ventrac::bufr::Writer writer{ventrac::bufr::Settings{}};
    std::string bytes, reason;
    std::vector<std::string> warnings;
    if (decode(state, dctx)) {
        for (auto _ : state) {
            if (!writer.encode(example().pilot, dctx, bytes, warnings, reason)) {
                state.SkipWithError(reason.c_str());
                break;
            }
            benchmark::DoNotOptimize(bytes.data());
        }
    }
    ventrac_dctx_free(dctx);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteBufr);

// One decoded message made ready as a subset, then a compressed bulletin of
// 100 such subsets; the items are subsets.
void BM_WriteBulletin100(benchmark::State &state) {
    constexpr std::size_t kSubsets = 100;
    ventrac_dctx *dctx = ventrac_dctx_create();
    ventrac::bufr::Writer writer{ventrac::bufr::Settings{}};
    std::vector<ventrac::bufr::Subset> subsets(kSubsets);
    std::string bytes, reason;
    if (decode(state, dctx)) {
        for (auto _ : state) {
            bool ok = true;
            for (ventrac::bufr::Subset &s : subsets)
                ok = ok && writer.prepare(example().pilot, dctx, s, reason);
            if (!ok || !writer.encode(subsets.data(), subsets.size(), true, bytes, reason)) {
                state.SkipWithError(reason.c_str());
                break;
            }
            benchmark::DoNotOptimize(bytes.data());
        }
    }
    ventrac_dctx_free(dctx);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSubsets));
}
BENCHMARK(BM_WriteBulletin100);

}  // namespace
