// SPDX-License-Identifier: Apache-2.0
// ventrac-encode's run: reads the inputs, encodes on threads, writes the
// messages in input order.
#ifndef VENTRAC_ENCODE_RUN_H
#define VENTRAC_ENCODE_RUN_H

namespace ventrac::encode {

// Runs the program with its arguments; returns the exit status.
int run(int argc, char **argv);

}  // namespace ventrac::encode

#endif
