// SPDX-License-Identifier: Apache-2.0
// The pieces of the Python module ventrac._ventrac: decoded observations
// copied out of the codec's contexts, the decoder and encoder calls made
// with the interpreter lock released, and the conversions between the
// codec's texts and Python objects.
#ifndef VENTRAC_PYTHON_BINDING_H
#define VENTRAC_PYTHON_BINDING_H

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ventrac/ventrac.h>

#include "codec/handles.h"
#include "pilot/text.h"

namespace ventrac::python {

namespace py = pybind11;

// ---- conversions (convert.cpp) ---------------------------------------------

// A codec text as a Python str: well-formed UTF-8 sequences are read as
// UTF-8 and every other byte as its Latin-1 character, the reading
// ventrac-decode --json gives, so that any bytes of a pilot file convert.
py::str to_str(std::string_view text);

// The text of a fixed-size field, up to its terminator, never past the field.
template <std::size_t N>
std::string_view field(const char (&text)[N]) {
    const void *end = std::memchr(text, '\0', N);
    return {text,
            end != nullptr ? static_cast<std::size_t>(static_cast<const char *>(end) - text) : N};
}

// The bytes of a message or a pilot text: bytes, bytearray or any other
// buffer as they are; str as Latin-1 (`what` names the argument in the
// errors: a character above U+00FF is a ValueError).
std::string message_bytes(py::handle object, const char *what);

// A file name (str, bytes or os.PathLike) as the bytes the system takes.
// Refuses a name holding a zero byte.
std::string path_bytes(py::handle object);

// The data-type codes of a decode call: None gives code 0 for every mode;
// a mapping {mode: type} (each -128 to 127, at most 32 pairs) gives the
// table; {-1: type} alone gives `type` to every mode.
std::optional<ventrac_datatype_entry> data_types_from(py::handle object);

// The exception classes of ventrac._errors.
struct Errors {
    py::object pilot, decode, encode;
};
const Errors &errors();
void load_errors();

// Raises `type(args...)`.
template <class... Args>
[[noreturn]] void raise(const py::object &type, Args &&...args) {
    py::object instance = type(std::forward<Args>(args)...);
    PyErr_SetObject(type.ptr(), instance.ptr());
    throw py::error_already_set();
}

// ---- decoded observations (decode.cpp) -------------------------------------

// A text of an observation: `size` bytes from `at` in its `texts`.
struct TextRef {
    std::uint32_t at = 0, size = 0;
};

struct ElementData {
    TextRef ident, code, name, unit, text, conv_text, comment;
    double value = 0.0;
    double conv_value = 0.0;
    bool valid = false;    // usable: neither missing nor implausible
    bool missing = false;  // coded all ones: no value was sent
    bool flag = false;     // the pilot lets lookups report it
};

// One decoded message. Its texts share one block: a batch of messages
// costs a few allocations each, made and freed on the decoding threads'
// behalf rather than one per text.
struct ObservationData {
    std::string identifier;
    int mode = 0;
    int data_type = 0;
    std::vector<ElementData> elements;
    std::string texts;

    std::string_view operator[](TextRef r) const {
        return std::string_view(texts).substr(r.at, r.size);
    }
};

// What one message or file gave: an observation, or why there is none.
struct DecodeOutcome {
    std::shared_ptr<const ObservationData> observation;
    int error = 0;            // the codec's error number, when it refused
    std::optional<int> mode;  // the mode read, when it could be
    std::string message;      // why, for a person
    int system_error = 0;     // errno of a file that could not be read
};

// A parsed pilot file, shared read-only by every thread decoding with it.
class Pilot {
public:
    Pilot(ventrac_pilot *pilot, py::object path) : pilot_(pilot), path_(std::move(path)) {}

    const ventrac_pilot *get() const { return pilot_.get(); }
    const py::object &path() const { return path_; }

private:
    PilotPtr pilot_;
    py::object path_;  // str, or None for a pilot read from memory
};

// Decodes each message of `messages` (bytes of transmitted texts) on
// `jobs` threads (0: every core); call it without the interpreter lock.
// Outcomes are in the order of the messages.
std::vector<DecodeOutcome> decode_messages(const Pilot &pilot,
                                           const std::vector<std::string> &messages,
                                           const std::optional<ventrac_datatype_entry> &types,
                                           unsigned jobs);

// The same for files, each read whole as one transmitted text.
std::vector<DecodeOutcome> decode_paths(const Pilot &pilot, const std::vector<std::string> &paths,
                                        const std::optional<ventrac_datatype_entry> &types,
                                        unsigned jobs);

// Why the codec refused a message of `length` bytes: "error N: ...", the
// text of DecodeError and of the error column of ventrac.read.
std::string failure_text(int error, int mode, std::size_t length);

// The number of threads `jobs` asks for, for `items` pieces of work.
unsigned thread_count(long jobs, std::size_t items);

// ---- tables (table.cpp) -----------------------------------------------------

// Defines ventrac._ventrac._Reader, the engine of ventrac.read and
// ventrac.iter_read.
void bind_table(py::module_ &m);

// ---- encoding (encode.cpp) ---------------------------------------------------

// The transmitted text of one observation: raises EncodeError for what
// cannot be encoded (see ventrac._errors.EncodeError).
py::bytes encode(const Pilot &pilot, py::handle mode, py::handle values, py::handle identifier);

// The transmitted texts of observations given by name (dicts in the shape
// ventrac-decode --json writes), encoded on `jobs` threads (0: every core)
// without the interpreter lock; raises EncodeError for the first that
// cannot be encoded (encode_many.cpp).
py::list encode_many(const Pilot &pilot, py::handle observations, long jobs);

}  // namespace ventrac::python

#endif
