// SPDX-License-Identifier: Apache-2.0
#include "front/run.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/fields.h"
#include "front/datafile.h"
#include "front/outfile.h"

namespace ventrac::front {

namespace {

struct Paths {
    std::string pilot;
    std::string data;
    HpkPath output;
};

void print_usage() {
    std::printf("Utilisation de la commande : (4 arg)\n");
    std::printf(
        "ventrac ref_fichier_pilote ref_fichier_data ID_WMO(7car max) code_model(7car max)\n");
}

void echo_data(const DataFile &data) {
    if (!data.mode_read) return;
    std::printf("\n\nTEST mode operatoire : %d\n", data.mode);
    for (int k = 0; k < data.count; ++k)
        std::printf("i=%d %d %f\n", k, data.presence[k], data.values[k]);
}

void print_hex(const char *message, int length) {
    std::printf("Code ASCII hexa de ces caracteres:\n");
    for (int i = 0; i < length; ++i)
        std::printf("%2.2X ", static_cast<unsigned>(static_cast<unsigned char>(message[i])));
    std::printf("\n");
}

// Prints up to `nbits` bits from `bits` at `pos`, stopping at the end of the
// bits, and advances `pos`.
void print_bits(const std::vector<std::uint8_t> &bits, std::size_t &pos, int nbits) {
    for (int b = 0; b < nbits && pos < bits.size(); ++b) std::printf("%d", bits[pos++]);
}

// The bits of the mode and of every kept element in table order, element j
// paired with value j - 1. Replication is not followed, so the table can ask
// for more bits than were packed: the listing stops at the end of the bits.
void print_bit_listing(const unsigned char *packed, int octets, int mode, int nb_elements,
                       const DataFile &data) {
    const std::vector<std::uint8_t> bits = bitdpaq(packed, 8 * octets);
    std::printf("DONNEES PLEINE COMPRESSION ----------\nNB octets=%d\n", octets);
    std::size_t pos = 0;
    std::printf("%d %3d : ", mode, specel[0].nbits);
    print_bits(bits, pos, specel[0].nbits);
    std::printf(" <--%.32s \n", specel[0].comment);
    for (int j = 1; j < nb_elements && pos < bits.size(); ++j) {
        std::printf("%10.2f %3d : ", data.values[static_cast<std::size_t>(j - 1)], specel[j].nbits);
        print_bits(bits, pos, specel[j].nbits);
        std::printf(" <--%.32s \n", specel[j].comment);
    }
}

}  // namespace

HpkPath hpk_path(const std::string &data, bool windows_paths) {
    std::size_t cut = data.rfind('/');
    if (windows_paths) {
        const std::size_t backslash = data.rfind('\\');
        if (backslash != std::string::npos && (cut == std::string::npos || backslash > cut))
            cut = backslash;
        const bool drive =
            data.size() >= 2 && data[1] == ':' &&
            ((data[0] >= 'A' && data[0] <= 'Z') || (data[0] >= 'a' && data[0] <= 'z'));
        if (cut == std::string::npos && drive) cut = 1;
    }
    HpkPath p;
    if (cut == std::string::npos) {
        p.directory = "./";
        p.path = "./HPK_" + data;
    } else {
        p.directory = data.substr(0, cut + 1);
        p.path = p.directory + "HPK_" + data.substr(cut + 1);
    }
    return p;
}

int lect_HPK(const std::string &path, unsigned char *packed, bool verbose) {
    // Binary, as it was written: on Windows a text-mode read would drop the
    // carriage return of a CR LF and stop at a Ctrl-Z in the identifier.
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr,
                     "KORVAL Erreur num 243:Impossible d'ouvrir le fichier semi-compresse %s\n",
                     path.c_str());
        return -kStatusHpkUnreadable;
    }
    char buffer[kHpkMaxSize];
    const int count = static_cast<int>(std::fread(buffer, 1, sizeof buffer, file));
    std::fclose(file);
    std::printf("%d octets lus sur %s\n", count, path.c_str());
    if (count == 0) {
        std::fprintf(stderr,
                     "KORVAL Erreur num 244:Erreur a la lecture du fichier semi-compresse %s\n",
                     path.c_str());
        return -kStatusHpkEmpty;
    }
    if (verbose) std::printf("\nFichier:%s  \nnb octets lus : %d\n", path.c_str(), count);
    char identifier[VENTRAC_IDENT_LEN + 1];
    char model[1];
    return telexout(count, buffer, identifier, model, packed);
}

int run(int argc, const char *const *argv) {
    if (argc >= 2) std::snprintf(APPLI, sizeof APPLI, "%s", argv[1]);
    if (argc != 5) {
        print_usage();
        return kStatusUsage;
    }
    std::snprintf(nom_navire, VENTRAC_SHIP_NAME_SIZE, "%s", "TEST");
    const std::string identifier = std::string(argv[3]).substr(0, VENTRAC_IDENT_LEN);
    std::vector<unsigned char> packed(VENTRAC_PACKED_SIZE, 0);
    const Paths paths{argv[1], argv[2], hpk_path(argv[2])};

    std::printf("ficin=%s\nREP= %s\n ", paths.data.c_str(), paths.output.directory.c_str());
    std::printf("indicatif=%s\n", identifier.c_str());
    const DataFile data = read_data_file(paths.data);
    if (!data.opened) {
        std::printf("PB Ouverture %s\n", paths.data.c_str());
        return kStatusUsage;
    }
    echo_data(data);
    if (!data.error.empty()) {
        std::printf("PB Lecture %s ligne %d : %s\n", paths.data.c_str(), data.error_line,
                    data.error.c_str());
        return kStatusUsage;
    }

    int nb_elements = 0;
    const int octets = comprime(paths.pilot.c_str(), static_cast<signed char>(data.mode),
                                data.values.data(), data.presence.data(), packed.data(),
                                &nb_elements);
    std::printf("Retour compression complete : nb octets = %d\n", octets);
    if (octets <= 0) return octets == -254 ? kStatusPilotMissing : kStatusUsage;

    std::vector<char> message(VENTRAC_MESSAGE_MAX);
    const int length = telexin(identifier.c_str(), packed.data(), octets, "", message.data());
    std::printf("Retour semi-compression : nb octets = %d\n", length);

    std::string reason;
    std::fflush(stdout);
    if (!write_file_replacing(paths.output.path, message.data(), static_cast<std::size_t>(length),
                              reason)) {
        std::fprintf(stderr, "Erreur a l'ecriture du fichier %s : %s\n", paths.output.path.c_str(),
                     reason.c_str());
        return kStatusUsage;
    }
    std::printf("%d octets ecrits\ndans le fichier %s :\n\n", length, paths.output.path.c_str());
    print_hex(message.data(), length);
    print_bit_listing(packed.data(), octets, data.mode, nb_elements, data);

    const int result = lect_HPK(paths.output.path, packed.data(), true);
    return result < 0 ? -result : result;
}

}  // namespace ventrac::front
