// SPDX-License-Identifier: Apache-2.0
// Helpers of the tests of the decoding and encoding contexts: a pilot that
// frees itself and the decoded table of a context in plain words.
#ifndef VENTRAC_TEST_CONTEXT_SUPPORT_H
#define VENTRAC_TEST_CONTEXT_SUPPORT_H

#include <memory>
#include <string>

#include "codec/codec.h"
#include "codec/context.h"
#include "codec/handles.h"

namespace vt_test {

using ventrac::PilotPtr;

// Opens the pilot file `path`; an empty pointer when it cannot be read.
PilotPtr open_pilot(const std::string &path);

// One decoded entry, every field a reader sees, on one line.
std::string describe_entry(const DecodedElement &d);

// Every entry of the context's last decode.
std::string describe_context(const ventrac_dctx *dctx);

}  // namespace vt_test

#endif
