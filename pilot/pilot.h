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

#ifdef __cplusplus
extern "C" {
#endif

/* Number of records of the element table and of the decoded table. */
#define VENTRAC_MAX_ELEMENTS 1024
/* Size of APPLI, terminator included. */
#define VENTRAC_APPLI_SIZE 256
/* Size of the block nom_navire points to, terminator included. */
#define VENTRAC_SHIP_NAME_SIZE 64

/*
 * One pilot line. Texts are always terminated; a pilot field longer than its
 * text field is cut to fit.
 *
 * Coding law: physical value v and coded integer c are linked by
 *   v = c^power * scale + reference.
 * A code starting with '1' or '4' opens a replicated group: characters 1-2
 * give the number of following table entries in the group, characters 3-5 the
 * number of repetitions (000: the count travels in the message, coded with
 * this element's own width and law).
 */
typedef struct ElementSpec {
    char code[8];          /* descriptor, at least six digits ("%6.6lu") */
    char name[64];         /* element name, trimmed of blanks */
    uint8_t nbits;         /* width of the coded value in bits */
    double power;          /* exponent of the coding law */
    double scale;          /* multiplier (resolution) of the coding law */
    double reference;      /* offset of the coding law */
    int64_t max_coded;     /* largest coded integer emitted for a present value */
    uint64_t mode_mask;    /* bit m-1 set: the line is sent in mode m */
    char unit[64];         /* unit; "CCITTIA5" marks character data */
    double conv_factor;    /* display conversion: value * factor + offset */
    double conv_offset;
    double min_valid;      /* plausibility bounds of the physical value */
    double max_valid;
    uint8_t flag;          /* 0: the element is never reported by lookups */
    char comment[1024];    /* free description, shown in traces and listings */
} ElementSpec;

/* The element table: entry 0 is the first kept line (the mode element).
 * Each get_specif() overwrites it from entry 0 and never clears it. */
extern ElementSpec specel[VENTRAC_MAX_ELEMENTS];

/* Application name printed at the start of every error line. The program sets
 * it from its first argument; it is always terminated. */
extern char APPLI[VENTRAC_APPLI_SIZE];

/* Ship name printed after APPLI in error lines. Points to a zero-filled block
 * of VENTRAC_SHIP_NAME_SIZE bytes, empty until a program writes a name into
 * it. A program may point it elsewhere; NULL prints as the empty text. */
extern char *nom_navire;

/*
 * Reads the pilot file `path` into `specel`, keeping the lines that belong to
 * operating mode `mode`: every line when mode <= 0; for modes 1 to 64 the lines
 * whose mode_mask has bit mode-1 set; no line for modes above 64.
 * Lines are read up to 511 characters at a time (a longer line is taken as
 * several lines); each is traced ("pilote:...") with its field positions.
 * Fields a line does not supply keep what the slot held before.
 *
 * Returns the number of kept lines (0 to 1024; reading stops once 1024 lines
 * are kept), or -254 when the file cannot be opened, after writing error 254
 * to standard error; `specel` is then untouched.
 * Never writes outside `specel`, whatever the line lengths.
 */
int get_specif(const char *path, signed char mode);

/*
 * Copies `src` to `dst` without its leading and trailing blanks (' ' only;
 * tabs and other characters stay). An empty or all-blank `src` gives "".
 * `dst` must hold strlen(src) + 1 bytes; `dst` and `src` may be the same.
 */
void str_sans_espace(char *dst, const char *src);

/*
 * Chooses where the library's trace goes. The trace (lines read, values
 * coded, bit groups extracted) goes to standard output until this is called.
 * `sink` NULL drops the trace: no trace text is then formatted at all.
 * The library never closes `sink`.
 */
void ventrac_set_trace(FILE *sink);

/* The current trace sink: NULL when the trace is dropped. */
FILE *ventrac_trace_sink(void);

#ifdef __cplusplus
} /* extern "C" */

#include <string>
#include <vector>

/*
 * Cuts `text` at every character of `delimiters`. The text between two
 * delimiters, or before the first one, is a token, and an empty one becomes
 * the one-blank token " "; the text after the last delimiter is a last token
 * when it is not empty. Reads `text` up to its terminator only.
 */
std::vector<std::string> my_split(const char *text, const char *delimiters);

#endif /* __cplusplus */

#endif /* VENTRAC_PILOT_H */
