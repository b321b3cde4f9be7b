/* SPDX-License-Identifier: Apache-2.0 */
/*
 * ventrac record types and sizes, shared by both interfaces of the codec:
 * the thread-safe one (<ventrac/ventrac.h>) and the process-wide one
 * (<ventrac/pilot/pilot.h>, <ventrac/codec/codec.h>).
 *
 * Each record has a prefixed name (ventrac_element_spec, ...); the
 * process-wide headers add the names programs linking the codec have always
 * used (ElementSpec, DecodedElement, DataTypeEntry) for the same types.
 *
 * This header compiles as C99 and as C++.
 */
#ifndef VENTRAC_TYPES_H
#define VENTRAC_TYPES_H

#include <stdint.h>

/* Marks what the library exports. Everything else in it stays internal. */
#if defined(_WIN32) && defined(VENTRAC_SHARED)
#if defined(VENTRAC_BUILDING)
#define VENTRAC_API __declspec(dllexport)
#else
#define VENTRAC_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#define VENTRAC_API __attribute__((visibility("default")))
#else
#define VENTRAC_API
#endif

/* Number of records of an element table and of a decoded table. */
#define VENTRAC_MAX_ELEMENTS 1024
/* Size of a packed buffer in bytes (8192 bits). */
#define VENTRAC_PACKED_SIZE 1024
/* Number of entries the encoder's value and presence arrays must hold. */
#define VENTRAC_MAX_VALUES 1024
/* Length of the identifier at the head of a message. */
#define VENTRAC_IDENT_LEN 7
/* Largest transmitted text: identifier + ceil(8192 / 6) characters. */
#define VENTRAC_MESSAGE_MAX (VENTRAC_IDENT_LEN + (8 * VENTRAC_PACKED_SIZE + 5) / 6)

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
typedef struct ventrac_element_spec {
    char code[8];       /* descriptor, at least six digits ("%6.6llu") */
    char name[64];      /* element name, trimmed of blanks */
    uint8_t nbits;      /* width of the coded value in bits */
    double power;       /* exponent of the coding law */
    double scale;       /* multiplier (resolution) of the coding law */
    double reference;   /* offset of the coding law */
    int64_t max_coded;  /* largest coded integer emitted for a present value */
    uint64_t mode_mask; /* bit m-1 set: the line is sent in mode m */
    char unit[64];      /* unit; "CCITTIA5" marks character data */
    double conv_factor; /* display conversion: value * factor + offset */
    double conv_offset;
    double min_valid; /* plausibility bounds of the physical value */
    double max_valid;
    uint8_t flag;       /* 0: the element is never reported by lookups */
    char comment[1024]; /* free description, shown in traces and listings */
} ventrac_element_spec;

/* One decoded element, in message order. */
typedef struct ventrac_decoded_element {
    ventrac_element_spec spec; /* the pilot element; a delayed replication factor
                              of kind '1' gets a class 31 code, and names may
                              carry their place in the replication */
    int32_t valid;             /* 1: value usable; 0: missing or implausible */
    double value;              /* physical value (0 when missing) */
    double conv_value;         /* value * conv_factor + conv_offset */
    char text[256];            /* value printed with format */
    char conv_text[256];       /* conv_value printed with format */
    char format[12];           /* fixed-point printf format, e.g. "%6.2f" */
    char ident[12];            /* "D" + 1-based position in six digits */
} ventrac_decoded_element;

/* Data-type codes by operating mode. */
typedef struct ventrac_datatype_entry {
    char header[144];  /* not used by the codec */
    int32_t nb_modes;  /* number of entries used in modes and types */
    int32_t modes[32]; /* operating modes */
    int32_t types[32]; /* types[i] is the data-type code of modes[i] */
} ventrac_datatype_entry;

#endif /* VENTRAC_TYPES_H */
