/* SPDX-License-Identifier: Apache-2.0 */
/*
 * ventrac pilot file reader and text helpers.
 *
 * A pilot file describes a message element by element, one line per element,
 * with fields separated by ';'. get_specif() reads the lines that belong to an
 * operating mode into the global element table `specel`, which the encoder,
 * the decoder and the listings of ventrac all work from.
 *
 * This header compiles as C99 and as C++. The library is not thread-safe: its
 * tables are process globals, as programs that link it expect.
 */
#ifndef VENTRAC_PILOT_H
#define VENTRAC_PILOT_H

#include <stdint.h>
#include <stdio.h>

#include <ventrac/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Size of APPLI, terminator included. */
#define VENTRAC_APPLI_SIZE 256
/* Size of the block nom_navire points to, terminator included. */
#define VENTRAC_SHIP_NAME_SIZE 64

/* One pilot line (see <ventrac/types.h>). */
typedef ventrac_element_spec ElementSpec;

/* The element table: entry 0 is the first kept line (the mode element).
 * Each get_specif() overwrites it from entry 0 and never clears it. */
VENTRAC_API extern ElementSpec specel[VENTRAC_MAX_ELEMENTS];

/* Application name printed at the start of every error line. The program sets
 * it from its first argument; it is always terminated. */
VENTRAC_API extern char APPLI[VENTRAC_APPLI_SIZE];

/* Ship name printed after APPLI in error lines. Points to a zero-filled block
 * of VENTRAC_SHIP_NAME_SIZE bytes, empty until a program writes a name into
 * it. A program may point it elsewhere; NULL prints as the empty text. */
VENTRAC_API extern char *nom_navire;

/*
 * Reads the pilot file `path` into `specel`, keeping the lines that belong to
 * operating mode `mode`: every line when mode <= 0; for modes 1 to 64 the lines
 * whose mode_mask has bit mode-1 set; no line for modes above 64.
 * Lines are read up to 511 characters at a time (a longer line is taken as
 * several lines); each is traced ("pilote:...") with its field positions.
 * Fields a line does not supply keep what the slot held before.
 *
 * Returns the number of kept lines (0 to 1024; reading stops once 1024 lines
 * are kept), or -254 when the file cannot be opened or cannot be read to its
 * end (a directory, a read error), after writing error 254 to standard
 * error; `specel` is then untouched.
 * Never writes outside `specel`, whatever the line lengths.
 */
VENTRAC_API int get_specif(const char *path, signed char mode);

/*
 * Copies `src` to `dst` without its leading and trailing blanks (' ' only;
 * tabs and other characters stay). An empty or all-blank `src` gives "".
 * `dst` must hold strlen(src) + 1 bytes; `dst` and `src` may be the same.
 */
VENTRAC_API void str_sans_espace(char *dst, const char *src);

/*
 * Copies `src` to `dst` without its leading and trailing white space: blank,
 * tab, line feed, form feed and carriage return. A vertical tab is not white
 * space here, and white space inside the text stays. An empty or all-white
 * `src` gives "".
 * `dst` must hold strlen(src) + 1 bytes; `dst` and `src` may be the same.
 * Neither may be NULL. Writes nothing past the terminator of the result.
 */
VENTRAC_API void sans_espace(char *dst, const char *src);

/*
 * Converts the base-10 signed integer that `text` holds, once trimmed of white
 * space as by sans_espace(), into `*out`. The text may be of any length;
 * conversion stops at the first character that cannot continue the number,
 * and a text without digits ("", "abc") converts to 0.
 *
 * Returns 0 when the number fits in 64 bits, with its value in `*out`.
 * Returns 224 when it does not: `*out` then holds INT64_MAX or INT64_MIN, by
 * its sign; `file` is closed unless it is NULL; and the line
 *   "Erreur de conversion lors du traitement de  : <what> (ligne <line>)"
 * goes to standard error (see ventrac_set_errors()), a NULL `what` printing
 * as "". The caller must not use `file` after a 224. `file`, `what` and
 * `line` serve only this report.
 * `out` and `text` must not be NULL. Never modifies `text` and never closes
 * `file` on success.
 */
VENTRAC_API int my_strtol(int64_t *out, const char *text, FILE *file, const char *what, int line);

/*
 * Lays `message` out in telex lines, in place. Each line holds at most 69
 * characters and lines are separated by "\r\r\n". A line too long is cut at
 * its last blank, and that blank opens the next line; a word that does not
 * fit in a line even so is cut after the line's 69th character. One trailing
 * blank of the message is dropped, and "=\r\r\n" follows the last line (the
 * '=' is not counted in the 69). The empty message gives "=\r\r\n".
 *
 * Takes up to 1023 characters; of a longer message only the first 1023 are
 * laid out and the rest is dropped.
 * The buffer must hold the laid-out text and its terminator: the length of
 * the message (at most 1023) + 3 bytes per cut + 5. A 1023-character message
 * never needs more than 28 cuts, so 1112 bytes always suffice.
 * `message` must not be NULL. If memory runs out, `message` is left as it
 * was. Writes nothing past the terminator of the laid-out text.
 */
VENTRAC_API void decoupr_mes(char *message);

/*
 * Chooses where the library's trace goes. The trace (lines read, values
 * coded, bit groups extracted) goes to standard output until this is called.
 * `sink` NULL drops the trace: no trace text is then formatted at all.
 * The library never closes `sink`.
 */
VENTRAC_API void ventrac_set_trace(FILE *sink);

/* The current trace sink: NULL when the trace is dropped. */
VENTRAC_API FILE *ventrac_trace_sink(void);

/*
 * Chooses where the library's numbered error lines go (errors 254, 253, 234,
 * 252, 224). They go to standard error until this is called; `sink` NULL
 * drops them (the results still report every failure). The library never
 * closes `sink`.
 */
VENTRAC_API void ventrac_set_errors(FILE *sink);

#ifdef __cplusplus
} /* extern "C" */
#endif /* __cplusplus */

#endif /* VENTRAC_PILOT_H */
