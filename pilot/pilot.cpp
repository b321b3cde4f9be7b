// Pilot file reader: fills the element table from the lines of one mode.
#include "pilot/pilot.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pilot/text.h"
#include "pilot/trace.h"

namespace {
char ship_name_block[VENTRAC_SHIP_NAME_SIZE];
}

extern "C" {
ElementSpec specel[VENTRAC_MAX_ELEMENTS];
char APPLI[VENTRAC_APPLI_SIZE];
char *nom_navire = ship_name_block;
}

namespace {

// Longest piece of a line read at once; a longer line is read as several.
constexpr int kLineChunk = 511;
// Fields past this position are ignored.
constexpr std::size_t kLastField = 14;

unsigned long to_unsigned(const std::string &token) {
    return std::strtoul(token.c_str(), nullptr, 10);
}

double to_real(const std::string &token) { return std::strtod(token.c_str(), nullptr); }

// Fields 13 and 14 only override the defaults when they hold something
// other than blanks.
void set_bound_if_given(double &bound, const std::string &token) {
    const std::string trimmed(ventrac::trim_blanks(token));
    if (!trimmed.empty()) bound = std::strtod(trimmed.c_str(), nullptr);
}

void set_field(ElementSpec &e, std::size_t position, const std::string &token) {
    switch (position) {
    case 0:
        std::snprintf(e.code, sizeof e.code, "%6.6lu", to_unsigned(token));
        break;
    case 1: ventrac::copy_text(e.name, sizeof e.name, ventrac::trim_blanks(token)); break;
    case 2: e.nbits = static_cast<uint8_t>(to_unsigned(token)); break;
    case 3: e.power = to_real(token); break;
    case 4: e.scale = to_real(token); break;
    case 5:
        e.reference = to_real(token);
        e.min_valid = e.reference;
        break;
    case 6:
        e.max_coded = static_cast<int64_t>(to_unsigned(token));
        e.max_valid = std::pow(static_cast<double>(e.max_coded), e.power) * e.scale + e.reference;
        break;
    case 7: e.mode_mask = to_unsigned(token); break;
    case 8: ventrac::copy_text(e.unit, sizeof e.unit, token); break;
    case 9: e.conv_factor = to_real(token); break;
    case 10: e.conv_offset = to_real(token); break;
    case 11: e.flag = static_cast<uint8_t>(to_unsigned(token)); break;
    case 12: ventrac::copy_text(e.comment, sizeof e.comment, token); break;
    case 13: set_bound_if_given(e.min_valid, token); break;
    case 14: set_bound_if_given(e.max_valid, token); break;
    default: break;
    }
}

// Sets the fields of `e` from one line, tracing each position taken.
void fill_from_line(ElementSpec &e, const char *line) {
    ventrac::trace::print("pilote:%s\n", line);
    const std::vector<std::string> tokens = my_split(line, ";\n");
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        ventrac::trace::print("%d-", static_cast<int>(i));
        if (i > kLastField) break;
        set_field(e, i, tokens[i]);
    }
}

// The mode_mask bit a mode selects: modes 1 to 64 map to bits 0 to 63;
// larger modes select nothing.
uint64_t selection_bit(signed char mode) {
    if (mode > 64) return 0;
    return uint64_t{1} << (mode - 1);
}

}  // namespace

extern "C" int get_specif(const char *path, signed char mode) {
    std::FILE *file = std::fopen(path, "r");
    if (file == nullptr) {
        std::fprintf(stderr, "%s - %s - %s : %s\n", APPLI, nom_navire ? nom_navire : "",
                     " erreur num 254: Erreur a l'ouverture du fichier pilote (DSI)", path);
        return -254;
    }
    const bool keep_all = mode <= 0;
    const uint64_t bit = keep_all ? 0 : selection_bit(mode);

    char line[kLineChunk + 1];
    int slot = 0;
    while (slot < VENTRAC_MAX_ELEMENTS && std::fgets(line, sizeof line, file) != nullptr) {
        ElementSpec &e = specel[slot];
        fill_from_line(e, line);
        if (keep_all || (e.mode_mask & bit) != 0) ++slot;
    }
    std::fclose(file);
    return slot;
}
