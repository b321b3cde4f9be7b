// SPDX-License-Identifier: Apache-2.0
// A decoding context against decomprime() on the same pilot file, data-type
// table and packed bytes: the same result, the same decoded table and the
// same error line, whatever the input. decomprime() starts from a cleared
// element table here, as a context always does. Input: as fuzz_decomprime (a
// flag byte, the number of data-type entries, that many mode and type bytes,
// the pilot file, a zero byte, the packed bytes).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "codec/codec.h"
#include "codec/context.h"
#include "codec/handles.h"
#include "context_support.h"
#include "fuzz_support.h"

namespace {

void append(void *user, const char *text, std::size_t length) {
    static_cast<std::string *>(user)->append(text, length);
}

// The first `length` bytes of `f`.
std::string read_first(std::FILE *f, long length) {
    std::string text(static_cast<std::size_t>(length < 0 ? 0 : length), '\0');
    std::rewind(f);
    text.resize(std::fread(text.data(), 1, text.size(), f));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::string path = vt_fuzz::scratch_file("pilot");
    static std::FILE *errors = std::tmpfile();
    static ventrac_dctx *dctx = ventrac_dctx_create();
    if (errors == nullptr || dctx == nullptr) vt_fuzz::fail("cannot set up");
    vt_fuzz::Input in(data, size);
    in.byte();  // the trace flag of fuzz_decomprime: both traces are dropped here
    ventrac_set_trace(nullptr);
    DataTypeEntry types{};
    types.nb_modes = static_cast<std::int8_t>(in.byte());
    for (int i = 0; i < types.nb_modes && i < 32; ++i) {
        types.modes[i] = static_cast<std::int8_t>(in.byte());
        types.types[i] = static_cast<std::int8_t>(in.byte());
    }
    const std::string_view pilot = in.until('\0');
    vt_fuzz::write_file(path, pilot);
    unsigned char packed[VENTRAC_PACKED_SIZE] = {};
    const std::string_view bytes = in.take(VENTRAC_PACKED_SIZE);
    if (!bytes.empty()) std::memcpy(packed, bytes.data(), bytes.size());

    std::strcpy(APPLI, "app");
    TypeDonnee = types;
    // This input's error lines go over the start of the file, and only what
    // they fill is read back.
    std::rewind(errors);
    ventrac_set_errors(errors);
    signed char type_code = 0;
    int error = 0;
    const int n = decomprime(path.c_str(), packed, &type_code, &error);
    std::fflush(errors);
    const std::string legacy_errors = read_first(errors, std::ftell(errors));
    ventrac_set_errors(nullptr);
    const std::string legacy = n > 0 ? [&] {
        std::string text;
        for (int i = 0; i < n; ++i) text += vt_test::describe_entry(donnees[i]);
        return text;
    }() : std::string();

    const ventrac::PilotPtr parsed(ventrac_pilot_parse(pilot.data(), pilot.size()));
    if (parsed == nullptr) vt_fuzz::fail("cannot parse the pilot");
    std::string context_errors;
    ventrac_dctx_set_errors_fn(dctx, append, &context_errors);
    ventrac_dctx_set_names(dctx, "app", "");
    ventrac_dctx_set_datatypes(dctx, &types);
    const int m = ventrac_decode_packed(dctx, parsed.get(), packed, sizeof packed);
    ventrac_dctx_set_errors(dctx, nullptr);

    VT_FUZZ_CHECK((n >= 0 && m == n) || (n < 0 && m == -error),
                  "decomprime gave " + std::to_string(n) + " (error " + std::to_string(error) +
                      "), the context " + std::to_string(m));
    if (m >= 0) {
        VT_FUZZ_CHECK(vt_test::describe_context(dctx) == legacy, "the decoded tables differ");
        VT_FUZZ_CHECK(ventrac_dctx_type_code(dctx) == type_code, "the data-type codes differ");
    }
    // decomprime names the pilot by its path; the context read from memory
    // has none.
    std::string expected_errors = legacy_errors;
    for (std::size_t at; (at = expected_errors.find(" " + path)) != std::string::npos;)
        expected_errors.erase(at + 1, path.size());
    VT_FUZZ_CHECK(context_errors == expected_errors,
                  "error lines '" + legacy_errors + "' and '" + context_errors + "'");
    vt_fuzz::clear_element_table(pilot);
    return 0;
}
