// SPDX-License-Identifier: Apache-2.0
// One transmitted message from its bytes to the decoded table, with the
// reentrant codec: a parsed pilot shared by every thread, one decoding
// context per thread.
#ifndef VENTRAC_DECODE_DECODER_H
#define VENTRAC_DECODE_DECODER_H

#include <string>
#include <string_view>
#include <vector>

#include <ventrac/ventrac.h>

#include "codec/handles.h"
#include "formats.h"
#include "options.h"
#include "text.h"

namespace ventrac::decode {

// A pilot file read and parsed once for the whole run.
class Pilot {
public:
    // Reads and parses `path`; returns an empty text, or why it cannot be
    // used (it cannot be read, or it holds no line).
    std::string open(const std::string &path);
    const ventrac_pilot *get() const { return pilot_.get(); }

private:
    PilotPtr pilot_;
};

// Decodes messages one after the other, on one thread. Each message decodes
// on its own: nothing carries over from the one before.
class MessageDecoder {
public:
    // `datatypes` and `lookups` must outlive the decoder.
    MessageDecoder(const Pilot &pilot, const ventrac_datatype_entry &datatypes,
                   const std::vector<Lookup> &lookups);
    ~MessageDecoder();
    MessageDecoder(const MessageDecoder &) = delete;
    MessageDecoder &operator=(const MessageDecoder &) = delete;

    // Sends the codec's trace and error lines of each message to `sink`
    // (appended), or drops them when it is null.
    void trace_to(Buffer *sink);

    // Decodes `content`, the transmitted text, into `obs` (whose file name
    // the caller sets). Returns an empty text, or why it cannot be decoded.
    // The observation's texts stay valid until the next decode.
    std::string decode(std::string_view content, Observation &obs);

    const ventrac_dctx *context() const { return dctx_.get(); }

private:
    const Pilot &pilot_;
    const std::vector<Lookup> &lookups_;
    DctxPtr dctx_;
    bool tracing_ = false;
    Buffer values_;  // the --get lines
};

// The identifier at the head of a transmitted text, read as the decoder
// reads it: at most 7 characters, up to a zero byte, trimmed of blanks.
std::string_view message_identifier(std::string_view content);

}  // namespace ventrac::decode

#endif
