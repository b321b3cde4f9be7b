// SPDX-License-Identifier: Apache-2.0
#ifndef VENTRAC_DECODE_RUN_H
#define VENTRAC_DECODE_RUN_H

namespace ventrac::decode {

// The whole program; returns its exit status: 0 when every file decoded,
// 1 otherwise, 2 on a usage error.
int run(int argc, const char *const *argv);

}  // namespace ventrac::decode

#endif
