// SPDX-License-Identifier: Apache-2.0
#include "decoder.h"

#include <cmath>
#include <new>

#include "codec/errors.h"

#include <ventrac/ventrac.h>

namespace ventrac::decode {

namespace {

// The error line of a refused message; a missing data-type code names the
// mode it was looked up for.
std::string decode_error(int error, int mode) {
    return error_line(error, error == VENTRAC_ERR_DATATYPE ? mode : kNoMode);
}

void append_to_buffer(void *user, const char *text, size_t length) {
    static_cast<Buffer *>(user)->put(std::string_view(text, length));
}

Validity validity_of(int status) {
    switch (status) {
    case VENTRAC_STATUS_MISSING: return Validity::Missing;
    case VENTRAC_STATUS_IMPLAUSIBLE: return Validity::Implausible;
    default: return Validity::Valid;
    }
}

}  // namespace

std::string Pilot::open(const std::string &path) {
    char error[512] = "";
    pilot_.reset(ventrac_pilot_open(path.c_str(), error, sizeof error));
    if (pilot_ == nullptr) return error[0] != '\0' ? error : "cannot read the pilot file " + path;
    if (ventrac_pilot_line_count(pilot_.get()) == 0)
        return "the pilot file " + path + " holds no line";
    return {};
}

std::string_view message_identifier(std::string_view content) {
    std::string_view head = content.substr(0, VENTRAC_IDENT_LEN);
    head = head.substr(0, head.find('\0'));
    return trim_blanks(head);
}

MessageDecoder::MessageDecoder(const Pilot &pilot, const ventrac_datatype_entry &datatypes,
                               const std::vector<Lookup> &lookups)
    : pilot_(pilot), lookups_(lookups), dctx_(ventrac_dctx_create()) {
    if (dctx_.get() == nullptr) throw std::bad_alloc();
    ventrac_dctx_set_datatypes(dctx_.get(), &datatypes);
    ventrac_dctx_set_names(dctx_.get(), "ventrac-decode", "");
}

MessageDecoder::~MessageDecoder() = default;

void MessageDecoder::trace_to(Buffer *sink) {
    tracing_ = sink != nullptr;
    ventrac_dctx_set_trace_fn(dctx_.get(), sink != nullptr ? append_to_buffer : nullptr, sink);
    ventrac_dctx_set_errors_fn(dctx_.get(), sink != nullptr ? append_to_buffer : nullptr, sink);
}

std::string MessageDecoder::decode(std::string_view content, Observation &obs) {
    obs.elements.clear();
    obs.values = {};
    if (content.empty()) return "empty file";
    if (content.size() <= VENTRAC_IDENT_LEN)
        return "too short: " + std::to_string(content.size()) + " bytes, a message has at least 8";
    // The codec's error lines, kept in the trace file, name the station.
    if (tracing_)
        ventrac_dctx_set_names(dctx_.get(), "ventrac-decode",
                               std::string(message_identifier(content)).c_str());
    const int count =
        ventrac_decode_text(dctx_.get(), pilot_.get(), content.data(), content.size());
    if (count < 0) return decode_error(-count, ventrac_dctx_mode(dctx_.get()));

    obs.identifier = ventrac_dctx_identifier(dctx_.get());
    obs.mode = ventrac_dctx_mode(dctx_.get());
    obs.type_code = ventrac_dctx_type_code(dctx_.get());
    obs.message = content;
    obs.elements.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const ventrac_decoded_element &d = *ventrac_dctx_element(dctx_.get(), i);
        obs.elements.push_back(
            {field(d.ident), field(d.spec.code), field(d.spec.name), field(d.spec.unit),
             trim_blanks(field(d.text)), trim_blanks(field(d.conv_text)), field(d.spec.comment),
             validity_of(ventrac_dctx_status(dctx_.get(), i)), d.value, d.conv_value});
    }
    if (!lookups_.empty()) {
        values_.clear();
        for (const Lookup &l : lookups_) {
            int index = -1;
            const double value =
                ventrac_dctx_find(dctx_.get(), l.code.c_str(), l.name.c_str(), &index);
            if (index < 0 || !std::isfinite(value))
                values_ << "NA";
            else
                append_number(values_, value);
            values_ << '\n';
        }
        obs.values = values_.view();
    }
    return {};
}

}  // namespace ventrac::decode
