// SPDX-License-Identifier: Apache-2.0
// Owners of the thread-safe codec's objects for C++ code: each frees its
// object when it goes. The one holder the programs, the Python module and
// the tests use. Internal.
#ifndef VENTRAC_HANDLES_H
#define VENTRAC_HANDLES_H

#include <memory>

#include <ventrac/ventrac.h>

namespace ventrac {

struct Free {
    void operator()(ventrac_pilot *p) const noexcept { ventrac_pilot_free(p); }
    void operator()(ventrac_dctx *d) const noexcept { ventrac_dctx_free(d); }
    void operator()(ventrac_cctx *c) const noexcept { ventrac_cctx_free(c); }
};

using PilotPtr = std::unique_ptr<ventrac_pilot, Free>;
using DctxPtr = std::unique_ptr<ventrac_dctx, Free>;
using CctxPtr = std::unique_ptr<ventrac_cctx, Free>;

}  // namespace ventrac

#endif
