/* SPDX-License-Identifier: Apache-2.0 */
/* A C program that links the installed codec the way a program ashore does:
 * encode an observation, arm it for transmission, read it back, decode it and
 * look values up. Exits 0 when every step gives what was put in. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <ventrac/codec/codec.h>

static int failures = 0;

static void check(int ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "client: %s\n", what);
        ++failures;
    }
}

int main(int argc, char **argv) {
    /* The observation of the shipped example, mode 1, in pilot units. */
    static const double obs[] = {2026, 12,  14,   12,     0,      47.5, -25.3, 101180, 101200,
                                 0,    250, 12.4, 285.35, 282.15, 81,   20000, 287.15, 2.5,
                                 7,    2,   3,    8,      600,    5,    3,     2700};
    static double values[VENTRAC_MAX_VALUES];
    static int presence[VENTRAC_MAX_VALUES];
    static unsigned char packed[VENTRAC_PACKED_SIZE], rebuilt[VENTRAC_PACKED_SIZE];
    char message[VENTRAC_MESSAGE_MAX];
    char identifier[VENTRAC_IDENT_LEN + 1], model[8];
    signed char type_code = 0;
    int error = 0, nb_elements = 0, index = 0, octets, length, count;
    size_t i;

    if (argc != 2) {
        fprintf(stderr, "usage: client PILOT\n");
        return 2;
    }
    for (i = 0; i < sizeof obs / sizeof obs[0]; ++i) {
        values[i] = obs[i];
        presence[i] = i != 9; /* the 3-hour pressure change is missing */
    }
    ventrac_set_trace(NULL);

    octets = comprime(argv[1], 1, values, presence, packed, &nb_elements);
    check(octets == 33, "comprime packs 33 bytes");
    length = telexin("FNZ6042", packed, octets, "", message);
    check(length == 7 + 44, "telexin writes 51 characters");
    check(telexout(length, message, identifier, model, rebuilt) == 33,
          "telexout rebuilds 33 bytes");
    check(strcmp(identifier, "FNZ6042") == 0, "the identifier comes back");
    check(memcmp(packed, rebuilt, 33) == 0, "the packed bytes come back");

    TypeDonnee.nb_modes = 2;
    TypeDonnee.modes[0] = 2;
    TypeDonnee.types[0] = 13;
    TypeDonnee.modes[1] = 1;
    TypeDonnee.types[1] = 12;
    count = decomprime(argv[1], rebuilt, &type_code, &error);
    check(count == 26, "decomprime decodes 26 elements");
    check(type_code == 12, "the data-type code of mode 1 is 12");
    nbparobs = count;

    check(fabs(cherche("012101", "TA", &index) - 12.2) < 1e-9, "air temperature in Celsius");
    check(index == 12, "air temperature is element 13");
    check(fabs(cherche(" 020011 ", "CLAMT_D000-001", &index) - 5) < 1e-9, "second cloud amount");
    check(cherche("010061", "PTEND3H", &index) == -1 && index == -1, "missing value not usable");
    check(cherche_meta("K1", "") == NULL, "empty metadata table");
    if (failures == 0) printf("client: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
