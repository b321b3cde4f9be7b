/* SPDX-License-Identifier: Apache-2.0 */
/*
 * ventrac, the thread-safe codec: a parsed pilot file and encoder / decoder
 * contexts.
 *
 * A ventrac_pilot holds every line of one pilot file, read and parsed once,
 * from a path or from memory. It never changes after it is made: any number
 * of threads may decode and encode with the same pilot at once.
 *
 * A ventrac_dctx (decoder) or ventrac_cctx (encoder) holds everything one
 * decoding or encoding works with: its element table, its decoded table, its
 * replication counters, its trace and error sinks. Nothing here reads or
 * writes a process global (specel, donnees, TypeDonnee, APPLI, ...), and no
 * function here traces unless the context was given a trace sink.
 *
 * Thread safety: a context is used by one thread at a time (make one per
 * thread and reuse it from message to message); a pilot is shared read-only
 * by any number of threads and contexts. A pilot must outlive every decoded
 * result that refers to it.
 *
 * Every message decodes as the first message of a fresh program would: the
 * element table of a mode is the one that loading every line and then the
 * lines of that mode, over a cleared table, gives. The result never depends
 * on the messages decoded before.
 *
 * Every name this header declares starts with ventrac_ or VENTRAC_. The
 * record types come from <ventrac/types.h>.
 *
 * This header compiles as C99 and as C++.
 */
#ifndef VENTRAC_VENTRAC_H
#define VENTRAC_VENTRAC_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <ventrac/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Error numbers the functions below return, negated. The first four are the
 * codec's own numbers, as decomprime() reports them; ventrac_error_text()
 * says what each means. */
#define VENTRAC_ERR_PILOT 254      /* the pilot file cannot be opened or read */
#define VENTRAC_ERR_NO_ELEMENT 253 /* the pilot file has no line for the mode */
#define VENTRAC_ERR_TOO_MANY \
    252                            /* more than VENTRAC_MAX_ELEMENTS decoded entries,
                                       or a walk of more than 65536 steps */
#define VENTRAC_ERR_DATATYPE 234   /* the mode has no data-type code */
#define VENTRAC_ERR_SHORT_TEXT 250 /* a transmitted text shorter than 8 characters */
#define VENTRAC_ERR_ARGUMENT 249   /* a NULL pointer or a size out of range */
#define VENTRAC_ERR_MEMORY 248     /* memory ran out */
#define VENTRAC_ERR_FULL 247       /* the message does not fit in the packed buffer */
#define VENTRAC_ERR_COUNT 246      /* a delayed count that would be read back wrong */

/*
 * The meaning of an error number, as one line of English without a line
 * feed, e.g. "the pilot file has no line for the mode". Takes the number
 * with either sign (-253 and 253 alike), including 224 and 243/244, which
 * the process-wide interface and the ventrac program report.
 * Returns a static text that is never NULL: "unknown error" for a number
 * the library never returns. Safe to call from any thread.
 */
VENTRAC_API const char *ventrac_error_text(int code);

/* Why a decoded element is (or is not) usable. */
#define VENTRAC_STATUS_VALID 0       /* valid is 1 */
#define VENTRAC_STATUS_MISSING 1     /* coded all ones: no value was sent */
#define VENTRAC_STATUS_IMPLAUSIBLE 2 /* outside min_valid .. max_valid */

typedef struct ventrac_pilot ventrac_pilot;
typedef struct ventrac_dctx ventrac_dctx;
typedef struct ventrac_cctx ventrac_cctx;

/*
 * Where a context's trace or error lines go: `write` is called with each
 * piece of text (not terminated) and `user` as given. It is called from the
 * thread that uses the context, never after the call that wrote returns.
 */
typedef void (*ventrac_write_fn)(void *user, const char *text, size_t length);

/* ---------------------------------------------------------------------------
 * Pilot files
 * ------------------------------------------------------------------------- */

/*
 * Reads and parses the pilot file `path`. Lines are taken exactly as
 * get_specif() takes them (511 characters at a time, ';' between fields).
 * Returns the pilot, or NULL when the file cannot be opened, cannot be read
 * to its end (a directory, a read error) or memory runs out; then, when
 * `error` is not NULL, the reason is written to `error` (at most error_size
 * bytes, always terminated when error_size > 0), e.g.
 * "cannot open the pilot file ship.pilot: No such file or directory" or
 * "cannot read the pilot file /tmp: Is a directory". A file that cannot be
 * read whole never gives a pilot of the lines read before the error.
 * Never writes to standard output or standard error.
 */
VENTRAC_API ventrac_pilot *ventrac_pilot_open(const char *path, char *error, size_t error_size);

/*
 * Parses the content of a pilot file held in memory: `length` bytes from
 * `text` (zero bytes included, as a file would hold them). `text` may be
 * freed once this returns. Returns NULL only when memory runs out or `text`
 * is NULL with a length above 0.
 */
VENTRAC_API ventrac_pilot *ventrac_pilot_parse(const char *text, size_t length);

/* Frees a pilot. NULL is allowed. No context may be using it. */
VENTRAC_API void ventrac_pilot_free(ventrac_pilot *pilot);

/* Number of lines the reader takes from the file (a line over 511
 * characters counts as several). */
VENTRAC_API int ventrac_pilot_line_count(const ventrac_pilot *pilot);

/*
 * The element table the decoder uses for operating mode `mode` (-128 to 127):
 * every line loaded, then the lines of `mode`, over a cleared table. Sets
 * *table to its first entry (entry 0 is the mode element) and returns its
 * number of entries (0 to VENTRAC_MAX_ELEMENTS). The table belongs to the
 * pilot and lives as long as it. Safe to call from any number of threads.
 * Returns -VENTRAC_ERR_ARGUMENT for a NULL pointer or a mode outside -128..127.
 */
VENTRAC_API int ventrac_pilot_table(const ventrac_pilot *pilot, int mode,
                                    const ventrac_element_spec **table);

/*
 * The element table the encoder uses for operating mode `mode` (-128 to
 * 127): the lines of `mode` loaded over a cleared table, as the first
 * comprime() of a fresh program loads them. Entry 0 is the mode element;
 * the encoder asks for a value for each further entry in the order the
 * entries and their replications give. Returns and fails as
 * ventrac_pilot_table().
 */
VENTRAC_API int ventrac_pilot_encoder_table(const ventrac_pilot *pilot, int mode,
                                            const ventrac_element_spec **table);

/* ---------------------------------------------------------------------------
 * Decoding
 * ------------------------------------------------------------------------- */

/* A new decoder context with no trace, no error lines, error-line names
 * "ventrac" and "", and data-type code 0 for every mode. NULL when memory
 * runs out. */
VENTRAC_API ventrac_dctx *ventrac_dctx_create(void);

/* Frees a decoder context. NULL is allowed. */
VENTRAC_API void ventrac_dctx_free(ventrac_dctx *dctx);

/* Sends the context's trace (the lines decomprime() writes to standard
 * output) to `sink`, or drops it when `sink` is NULL (the default). */
VENTRAC_API void ventrac_dctx_set_trace(ventrac_dctx *dctx, FILE *sink);
VENTRAC_API void ventrac_dctx_set_trace_fn(ventrac_dctx *dctx, ventrac_write_fn write, void *user);

/* Sends the context's numbered error lines (253, 234, 252) to `sink`, or
 * drops them when `sink` is NULL (the default). The result always reports
 * the failure. */
VENTRAC_API void ventrac_dctx_set_errors(ventrac_dctx *dctx, FILE *sink);
VENTRAC_API void ventrac_dctx_set_errors_fn(ventrac_dctx *dctx, ventrac_write_fn write, void *user);

/* The application and ship names that start every error line (the roles of
 * APPLI and nom_navire). Copied; NULL reads as "". */
VENTRAC_API void ventrac_dctx_set_names(ventrac_dctx *dctx, const char *application,
                                        const char *ship);

/*
 * The data-type codes by operating mode, copied from `table` (the rules of
 * TypeDonnee: a single entry for mode -1 serves every mode; at most 32
 * entries are searched). NULL restores code 0 for every mode.
 */
VENTRAC_API void ventrac_dctx_set_datatypes(ventrac_dctx *dctx,
                                            const ventrac_datatype_entry *table);

/*
 * Decodes packed bits: `size` bytes from `packed` (at most
 * VENTRAC_PACKED_SIZE are read; bits past them read as zero) with the pilot.
 * Reads the mode from the head of the message, takes the pilot's table for
 * that mode (ventrac_pilot_table) and decodes every element as decomprime()
 * does, into the context's decoded table.
 * Returns the number of decoded entries (0 to VENTRAC_MAX_ELEMENTS), or
 * -VENTRAC_ERR_NO_ELEMENT, -VENTRAC_ERR_DATATYPE or -VENTRAC_ERR_TOO_MANY
 * after one error line to the error sink, or -VENTRAC_ERR_ARGUMENT for a
 * NULL pointer. After a failure the count is 0; the mode is still set when it
 * could be read. Never reads `packed` past `size` bytes.
 */
VENTRAC_API int ventrac_decode_packed(ventrac_dctx *dctx, const ventrac_pilot *pilot,
                                      const unsigned char *packed, size_t size);

/*
 * Decodes a transmitted text: a 7-character identifier, then six-bit
 * characters (the content of an HPK file), `length` bytes from `text`. The
 * identifier is read as telexout() reads it; characters past the largest
 * message (VENTRAC_MESSAGE_MAX) carry no bits and are ignored.
 * Returns as ventrac_decode_packed(), or -VENTRAC_ERR_SHORT_TEXT when the
 * text has fewer than 8 characters (nothing is decoded).
 */
VENTRAC_API int ventrac_decode_text(ventrac_dctx *dctx, const ventrac_pilot *pilot,
                                    const char *text, size_t length);

/* Results of the last decode. Valid until the next decode with the context
 * or until it is freed. */

/* Number of decoded entries (0 after a failure). */
VENTRAC_API int ventrac_dctx_count(const ventrac_dctx *dctx);

/* Decoded entry i (0 <= i < count), NULL outside. Its spec holds the pilot
 * line (with a class 31 code for a delayed factor of kind '1' and names
 * suffixed by their place in the replication), as in donnees. */
VENTRAC_API const ventrac_decoded_element *ventrac_dctx_element(const ventrac_dctx *dctx, int i);

/* Why entry i is valid or not: VENTRAC_STATUS_VALID, _MISSING or
 * _IMPLAUSIBLE; -1 outside 0 .. count - 1. */
VENTRAC_API int ventrac_dctx_status(const ventrac_dctx *dctx, int i);

/* The operating mode read from the message (0 before any decode). */
VENTRAC_API int ventrac_dctx_mode(const ventrac_dctx *dctx);

/* The data-type code of the message's mode, low 8 bits as a signed number. */
VENTRAC_API int ventrac_dctx_type_code(const ventrac_dctx *dctx);

/* The identifier of the last decoded text, trimmed ("" after
 * ventrac_decode_packed). Never NULL. */
VENTRAC_API const char *ventrac_dctx_identifier(const ventrac_dctx *dctx);

/*
 * The delayed replications the last decode read, in message order, kind '1'
 * and kind '4' alike: `kinds` receives '1' or '4', `counts` the repetition
 * count taken from the factor, `entries` the element table index of the
 * replication descriptor. Writes at most `capacity` of each (any of the
 * three may be NULL) and returns how many the message holds.
 */
VENTRAC_API int ventrac_dctx_factors(const ventrac_dctx *dctx, char *kinds, int *counts,
                                     int *entries, int capacity);

/*
 * Looks a decoded value up as cherche() does in donnees: the first entry
 * whose descriptor and name, each trimmed of blanks and joined, equal `code`
 * and `name` trimmed and joined. Returns its conv_value and sets *index when
 * it is valid and its flag is not 0; -1 with *index = -1 otherwise. `index`
 * may be NULL; NULL texts read as "".
 */
VENTRAC_API double ventrac_dctx_find(const ventrac_dctx *dctx, const char *code, const char *name,
                                     int *index);

/* ---------------------------------------------------------------------------
 * Encoding
 * ------------------------------------------------------------------------- */

/* A new encoder context with no trace. NULL when memory runs out. */
VENTRAC_API ventrac_cctx *ventrac_cctx_create(void);

/* Frees an encoder context. NULL is allowed. */
VENTRAC_API void ventrac_cctx_free(ventrac_cctx *cctx);

/* Sends the context's trace (the lines comprime() writes after its own
 * pilot listing) to `sink`, or drops it (the default). */
VENTRAC_API void ventrac_cctx_set_trace(ventrac_cctx *cctx, FILE *sink);
VENTRAC_API void ventrac_cctx_set_trace_fn(ventrac_cctx *cctx, ventrac_write_fn write, void *user);

/*
 * Encodes one observation into packed bits: the mode in the first element's
 * width, then `nvalues` values (values[i] with presence[i], 0 = missing) in
 * the order the pilot's lines of `mode` and their replications ask for them,
 * coded as comprime() codes them. Value indexes from nvalues on read as
 * missing. The element table is the one loading the lines of `mode` over a
 * cleared table gives, as in the first comprime() of a fresh program.
 * `packed` must hold VENTRAC_PACKED_SIZE bytes; it is cleared first.
 * Returns the packed size in bytes (> 0) and sets *values_used (may be NULL)
 * to the number of values the walk consumed. On failure returns a negative
 * error number and leaves *values_used alone: -VENTRAC_ERR_NO_ELEMENT when
 * no line belongs to the mode, -VENTRAC_ERR_FULL when a field does not fit
 * in the buffer, -VENTRAC_ERR_TOO_MANY when the walk takes more than 65536
 * steps, -VENTRAC_ERR_COUNT when a delayed count would not be read back as
 * the number of repetitions sent (`packed` is then left cleared: a message
 * that would be misread is never made), -VENTRAC_ERR_ARGUMENT for a NULL pointer or a mode outside
 * -128..127, -VENTRAC_ERR_MEMORY when memory runs out. Never writes outside
 * `packed`, and never writes an error line.
 */
VENTRAC_API int ventrac_encode_packed(ventrac_cctx *cctx, const ventrac_pilot *pilot, int mode,
                                      const double *values, const int *presence, size_t nvalues,
                                      unsigned char *packed, int *values_used);

/*
 * Encodes one observation into the transmitted text: `identifier` as
 * telexin() writes it, then the six-bit characters of the packed bits.
 * `out` receives at most `out_size` bytes, not terminated (VENTRAC_MESSAGE_MAX
 * always suffices).
 * Returns the text's length (> 7), or the negative error number
 * ventrac_encode_packed() returned, or -VENTRAC_ERR_ARGUMENT when
 * `identifier` or `out` is NULL or `out_size` is too small (nothing is
 * written to `out` then).
 */
VENTRAC_API int ventrac_encode_text(ventrac_cctx *cctx, const ventrac_pilot *pilot, int mode,
                                    const double *values, const int *presence, size_t nvalues,
                                    const char *identifier, char *out, size_t out_size);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VENTRAC_VENTRAC_H */
