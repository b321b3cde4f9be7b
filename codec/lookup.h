// SPDX-License-Identifier: Apache-2.0
// The lookup of a decoded value by descriptor and name, over any decoded
// table: cherche() runs it over donnees, the decoding contexts over theirs.
#ifndef VENTRAC_LOOKUP_H
#define VENTRAC_LOOKUP_H

#include "codec/codec.h"

namespace ventrac {

// The first of the `count` first entries of `table` whose descriptor and
// name, each trimmed of blanks and joined, equal `code` and `name` trimmed
// and joined (NULL reads as ""). Returns its conv_value and sets *index when
// it is valid and its flag is not 0; -1 with *index = -1 otherwise. `index`
// may be NULL.
double find_decoded(const DecodedElement *table, int count, const char *code, const char *name,
                    int *index);

}  // namespace ventrac

#endif
