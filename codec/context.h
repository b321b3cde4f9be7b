/* SPDX-License-Identifier: Apache-2.0 */
/* The thread-safe codec now lives in <ventrac/ventrac.h>; this name stays
 * for programs that include it. */
#include <ventrac/ventrac.h>
