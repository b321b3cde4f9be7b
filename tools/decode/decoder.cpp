#include "decoder.h"

#include <algorithm>
#include <cstring>

#include "text.h"

namespace ventrac::decode {

namespace {

std::string decode_error(int error, int mode, const std::string &pilot) {
    const std::string head = "error " + std::to_string(error) + ": ";
    switch (error) {
    case 254: return head + "the pilot file " + pilot + " cannot be opened";
    case 253: return head + "the pilot file has no line for the operating mode";
    case 234: return head + "operating mode " + std::to_string(mode) + " has no data-type code";
    case 252: return head + "more than 1024 decoded elements";
    default: return head + "decoding failed";
    }
}

}  // namespace

int message_mode(const unsigned char *packed, unsigned nbits) {
    // The width goes to depak() as a signed char, so widths of 128 and above
    // read nothing and give 0. Wider than 8 bits, the low 8 are the last 8.
    const int width = static_cast<signed char>(static_cast<unsigned char>(nbits));
    unsigned value = 0;
    for (int bit = std::max(0, width - 8); bit < width; ++bit)
        value = value << 1 | ((packed[bit / 8] >> (7 - bit % 8)) & 1u);
    return static_cast<signed char>(static_cast<unsigned char>(value));
}

void MessageDecoder::decode(std::string_view content, Observation &obs) {
    obs.failure.clear();
    obs.elements.clear();
    if (content.empty()) {
        obs.failure = "empty file";
        return;
    }
    if (content.size() <= VENTRAC_IDENT_LEN) {
        obs.failure = "too short: " + std::to_string(content.size()) + " bytes, a message has at least 8";
        return;
    }
    // Characters past the largest message carry no bits: telexout() drops them.
    const int length = static_cast<int>(std::min<std::size_t>(content.size(), VENTRAC_MESSAGE_MAX));
    packed_.fill(0);
    telexout(length, content.data(), identifier_, nullptr, packed_.data());
    // The codec's error lines, when kept in a trace file, name the station.
    std::memcpy(nom_navire, identifier_, sizeof identifier_);

    signed char type_code = 0;
    int error = 0;
    const int count = decomprime(pilot_.c_str(), packed_.data(), &type_code, &error);
    // After decoding, or failing for want of a data-type code, specel holds
    // the lines of the message's mode: entry 0 is the first of them, the one
    // whose width the mode was written in.
    const int mode = message_mode(packed_.data(), specel[0].nbits);
    if (count < 0) {
        obs.failure = decode_error(error, mode, pilot_);
        return;
    }
    obs.identifier.assign(field(identifier_));
    obs.mode = mode;
    obs.type_code = type_code;
    obs.message.assign(content);
    obs.capture(donnees, count);
}

}  // namespace ventrac::decode
