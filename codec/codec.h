/* SPDX-License-Identifier: Apache-2.0 */
/*
 * ventrac codec: bit fields, encoder and six-bit text armour.
 *
 * The packed buffer is always VENTRAC_PACKED_SIZE bytes. Bit address 0 is the
 * most significant bit of byte 0; fields are written most significant bit
 * first. The transmitted text holds a 7-character identifier followed by one
 * character 0x40 + g per six-bit group g of the packed stream.
 *
 * This header compiles as C99 and as C++. Everything here traces to the sink
 * chosen with ventrac_set_trace() (standard output by default).
 */
#ifndef VENTRAC_CODEC_H
#define VENTRAC_CODEC_H

#include <stdint.h>

#include "../pilot/pilot.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Appends the low `nbits` bits of `value` (bits above the width are masked
 * off) to `buffer` at bit address *bitpos, ORing them in, and advances
 * *bitpos by `nbits`. `buffer` must be a VENTRAC_PACKED_SIZE-byte buffer that
 * is zero where the field goes.
 * Returns 1 on success, also for a width of 0 (nothing written). Returns 0
 * and writes nothing, leaving *bitpos, when the field would end past the
 * buffer. Widths above 64 write zeros in front of the 64-bit value. A
 * negative width writes nothing: the result is then 0 when *bitpos is smaller
 * than the width's magnitude, 1 otherwise.
 * Never writes outside the buffer.
 */
VENTRAC_API int pak(unsigned char *buffer, int64_t value, signed char nbits, uint32_t *bitpos);

/*
 * Extracts the `nbits`-bit field at bit address *adbit of the packed buffer
 * `data` and advances *adbit by `nbits`. Traces the extraction step by step.
 * Returns the field's value; 0 for a width of 0 or less (then *adbit stays).
 * Bits past the VENTRAC_PACKED_SIZE bytes of `data` read as zero: it never
 * reads outside a VENTRAC_PACKED_SIZE-byte buffer. Widths above 64 keep the
 * low 64 bits of the field.
 */
VENTRAC_API int64_t depak(const unsigned char *data, signed char nbits, uint32_t *adbit);

/*
 * Encodes one observation: loads the pilot lines of `mode` with get_specif(),
 * lists them, then writes the mode in the first element's width and every
 * value, in the order the element table and its replications ask for them,
 * into `buffer` (VENTRAC_PACKED_SIZE bytes, cleared once the pilot file has
 * given lines for the mode; left as it was when it gave none).
 * `values` and `presence` must hold VENTRAC_MAX_VALUES entries each; a
 * presence of 0 marks a missing value; value indexes beyond that read as
 * missing. `nb_elements` receives the number of kept pilot lines on success,
 * 0 otherwise.
 * The count of a delayed replication is sent as the number of repetitions
 * walked (the value truncated toward zero; 0 for a negative, NaN or
 * out-of-range value), as a present value whatever its presence flag; the
 * code a present count had always had is kept when it reads back the same.
 * Returns the packed size in bytes (> 0); 0 when no line belongs to the mode,
 * when a field does not fit in the buffer, when the walk visits more than
 * 65536 elements and repetitions (only possible with repetitions of
 * zero-width elements), or when a delayed count would not be read back as
 * the number of repetitions sent (after error 246 on standard error); -254
 * when the pilot file cannot be opened or read, after error 254 on standard
 * error. Never writes outside `buffer` or `*nb_elements`.
 */
VENTRAC_API int comprime(const char *pilot_path, signed char mode, const double *values,
                         const int *presence, unsigned char *buffer, int *nb_elements);

/*
 * Turns the first `nbytes` bytes of the packed buffer `packed` into the
 * transmitted text: `identifier` trimmed of blanks, its first 7 characters
 * right-aligned in 7 blank-padded characters, then one character 0x40 + g per
 * six-bit group g, the last group completed with zero bits. `model` is not
 * used (it may be NULL). `out` is not terminated.
 * `out` must hold 7 + ceil(8 * nbytes / 6) bytes (VENTRAC_MESSAGE_MAX covers
 * every size). Reads `packed` only up to byte nbytes - 1.
 * Returns the number of bytes written to `out` (7 when nbytes is 0), or -1
 * when nbytes lies outside 0 to VENTRAC_PACKED_SIZE or a pointer is NULL, in
 * which case nothing is written.
 */
VENTRAC_API int telexin(const char *identifier, const unsigned char *packed, int nbytes,
                        const char *model, char *out);

/*
 * Rebuilds packed bits from the transmitted text `text` of `length` bytes:
 * its first 7 characters (fewer when a zero byte comes first), trimmed of
 * blanks, go to `identifier_out` (room for 8 bytes, terminated); `model_out`
 * (may be NULL, else room for 1 byte) receives the empty text; the low six
 * bits of every following character are ORed into `packed` (a
 * VENTRAC_PACKED_SIZE-byte buffer, zero-filled or already holding the same
 * bits) from bit 0. Characters whose bits would pass the end of the buffer
 * are dropped.
 * Returns the number of packed bytes rebuilt (at most VENTRAC_PACKED_SIZE),
 * or 0 when `length` < 8, leaving `packed` untouched.
 */
VENTRAC_API int telexout(int length, const char *text, char *identifier_out, char *model_out,
                         unsigned char *packed);

/* ---------------------------------------------------------------------------
 * Decoder and lookups.
 * ------------------------------------------------------------------------- */

/* Number of records of the metadata table. */
#define VENTRAC_MAX_META 256

/* One decoded element, in message order (see <ventrac/types.h>). */
typedef ventrac_decoded_element DecodedElement;

/* Data-type codes by operating mode (see <ventrac/types.h>); filled by the
 * program that links the codec before it calls decomprime(). */
typedef ventrac_datatype_entry DataTypeEntry;

/* One metadata text, found by key and sub-key. */
typedef struct MetaEntry {
    char key[8];
    char subkey[64];
    char value[1056];
} MetaEntry;

/* Written by decomprime(), read by cherche(). */
VENTRAC_API extern DecodedElement donnees[VENTRAC_MAX_ELEMENTS];
/* Number of entries of donnees that cherche() searches; set by the caller,
 * normally to the count decomprime() returned. */
VENTRAC_API extern int32_t nbparobs;
/* Read by decomprime(); filled by the caller. */
VENTRAC_API extern DataTypeEntry TypeDonnee;
/* Read by cherche_meta(); filled by the caller, nbmeta entries used. */
VENTRAC_API extern MetaEntry meta_data[VENTRAC_MAX_META];
VENTRAC_API extern int32_t nbmeta;
/* Replication counters of the decoder, set to -1 at the start of each
 * decomprime(): groups of kind '1' entered, delayed factors of kind '1'. */
VENTRAC_API extern int32_t num_rep_tr;
VENTRAC_API extern int32_t nb_rep_d_dev;

/*
 * Decodes the packed buffer `packed` (VENTRAC_PACKED_SIZE bytes; bits past it
 * read as zero) into donnees. Loads every line of the pilot file
 * `pilot_path` to learn the mode element's width, reads the mode from the
 * head of the message, reloads the lines of that mode, lists them, chooses
 * the data-type code of the mode from TypeDonnee (a single entry for mode -1
 * serves every mode; at most 32 entries are searched) and decodes every
 * element from entry 0, walking replicated groups as the message says.
 * Values are raw^power * scale + reference; an element coded as all ones is
 * missing (value 0, valid 0); character data ("CCITTIA5") get conv_value but
 * empty texts and format. Resets num_rep_tr and nb_rep_d_dev to -1 first.
 * Traces every step. `pilot_path` and `packed` must not be NULL.
 * Returns the number of decoded entries (0 to VENTRAC_MAX_ELEMENTS) and
 * stores the low 8 bits of the data-type code in *type_code. Returns -1 with
 * *error set, after an error line on standard error, to 254 (pilot file
 * cannot be opened or read: two lines, the reader's own and decomprime's),
 * 253 (no line for the mode), 234 (mode without data-type code) or
 * 252 (more than VENTRAC_MAX_ELEMENTS entries, or a walk of more than 65536
 * steps; donnees is then partly rewritten). *error is untouched on success.
 * `type_code` and `error` may be NULL. Entries past the count keep older
 * content. Never reads specel or writes donnees outside their 1024 entries.
 */
VENTRAC_API int decomprime(const char *pilot_path, const unsigned char *packed,
                           signed char *type_code, int *error);

/*
 * Finds the first of the nbparobs first entries of donnees (at most
 * VENTRAC_MAX_ELEMENTS) whose descriptor and name, each trimmed of blanks and
 * joined, equal `code` and `name` trimmed and joined. Probes of any length
 * are accepted; NULL reads as the empty text.
 * Returns that entry's conv_value and sets *index to its position when the
 * entry is valid and its flag is not 0. Returns -1 with *index = -1 when no
 * entry matches or the first match is not usable (later entries are not
 * examined). `index` may be NULL. Never writes donnees.
 */
VENTRAC_API double cherche(const char *code, const char *name, int *index);

/*
 * Finds the first of the nbmeta first entries of meta_data (at most
 * VENTRAC_MAX_META) whose key equals `key` and, unless `subkey` is empty or
 * NULL, whose sub-key equals `subkey`; texts compare exactly, untrimmed.
 * Returns the address of that entry's value, or NULL when none matches or
 * `key` is NULL.
 */
VENTRAC_API char *cherche_meta(const char *key, const char *subkey);

#ifdef __cplusplus
} /* extern "C" */
#endif /* __cplusplus */

#endif /* VENTRAC_CODEC_H */
