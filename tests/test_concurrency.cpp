// SPDX-License-Identifier: Apache-2.0
// Several threads decode and encode at once, each with its own contexts,
// sharing pilots read-only: each gets exactly what a lone, sequential
// decode or encode gives. Built under ThreadSanitizer in CI, where any race
// between the threads is an error.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "codec/context.h"
#include "context_support.h"
#include "roundtrip.h"

namespace {

using vt_test::PilotPtr;

struct Message {
    std::size_t pilot = 0;  // index in the pilot list
    int mode = 0;
    std::vector<double> values;
    std::vector<int> presence;
    std::string text;     // the encoded message
    std::string decoded;  // describe_context() of its decode
    std::string trace;    // the decode's trace
};

void append(void *user, const char *text, std::size_t length) {
    static_cast<std::string *>(user)->append(text, length);
}

std::vector<PilotPtr> parse_all(const std::vector<std::string> &texts) {
    std::vector<PilotPtr> pilots;
    for (const std::string &t : texts) pilots.emplace_back(ventrac_pilot_parse(t.data(), t.size()));
    return pilots;
}

// Encodes and decodes `m` with the given contexts; returns what the encode
// and the decode gave, trace included, in one text.
struct Outcome {
    std::string text, decoded, trace;
};
Outcome run(ventrac_cctx *c, ventrac_dctx *d, const ventrac_pilot *pilot, const Message &m) {
    Outcome o;
    char text[VENTRAC_MESSAGE_MAX];
    const int length = ventrac_encode_text(c, pilot, m.mode, m.values.data(), m.presence.data(),
                                           m.values.size(), "SHIP", text, sizeof text);
    if (length > 0) o.text.assign(text, static_cast<std::size_t>(length));
    ventrac_dctx_set_trace_fn(d, append, &o.trace);
    ventrac_decode_text(d, pilot, o.text.data(), o.text.size());
    ventrac_dctx_set_trace(d, nullptr);
    o.decoded = vt_test::describe_context(d);
    return o;
}

TEST(Concurrency, ThreadsSharingPilotsDecodeAsALoneThreadDoes) {
    // Different generated pilots, two observations each (the second with
    // every third value missing).
    std::vector<std::string> pilot_texts;
    std::vector<Message> messages;
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        vt_test::SeededSource source(seed);
        const vt_test::RoundTripCase c = vt_test::make_round_trip_case(source);
        pilot_texts.push_back(c.pilot);
        for (int variant = 0; variant < 2; ++variant) {
            Message m{pilot_texts.size() - 1, c.mode, c.values, c.presence, {}, {}, {}};
            if (variant == 1)
                for (std::size_t i = 0; i < m.presence.size(); i += 3) m.presence[i] = 0;
            messages.push_back(std::move(m));
        }
    }
    // The reference: one thread, one pair of contexts.
    {
        const std::vector<PilotPtr> pilots = parse_all(pilot_texts);
        ventrac_cctx *c = ventrac_cctx_create();
        ventrac_dctx *d = ventrac_dctx_create();
        for (Message &m : messages) {
            const Outcome o = run(c, d, pilots[m.pilot].get(), m);
            ASSERT_FALSE(o.text.empty());
            ASSERT_FALSE(o.decoded.empty());
            m.text = o.text;
            m.decoded = o.decoded;
            m.trace = o.trace;
        }
        ventrac_cctx_free(c);
        ventrac_dctx_free(d);
    }
    // Fresh pilots, so that the threads also race to build each mode's
    // table on first use.
    const std::vector<PilotPtr> pilots = parse_all(pilot_texts);
    constexpr int kThreads = 4;
    constexpr int kRounds = 6;
    std::atomic<int> mismatches{0};
    std::atomic<int> runs{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ventrac_cctx *c = ventrac_cctx_create();
            ventrac_dctx *d = ventrac_dctx_create();
            for (int r = 0; r < kRounds; ++r) {
                // Each thread walks the messages from its own starting point.
                for (std::size_t k = 0; k < messages.size(); ++k) {
                    const Message &m =
                        messages[(k * 7 + static_cast<std::size_t>(t) * 11) % messages.size()];
                    const Outcome o = run(c, d, pilots[m.pilot].get(), m);
                    if (o.text != m.text || o.decoded != m.decoded || o.trace != m.trace)
                        ++mismatches;
                    ++runs;
                }
            }
            ventrac_cctx_free(c);
            ventrac_dctx_free(d);
        });
    }
    for (std::thread &th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(runs.load(), kThreads * kRounds * static_cast<int>(messages.size()));
}

}  // namespace
