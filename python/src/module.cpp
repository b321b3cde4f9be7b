// SPDX-License-Identifier: Apache-2.0
// ventrac._ventrac: the compiled part of the Python module ventrac. The
// package's __init__.py re-exports Pilot, Observation and Element from here.
#include <cerrno>
#include <cmath>
#include <cstring>

#include "binding.h"

namespace ventrac::python {

namespace {

// ---- Python-side objects -----------------------------------------------------

struct Element {
    std::shared_ptr<const ObservationData> data;
    std::size_t index;
    const ElementData &get() const { return data->elements[index]; }
    py::str str(TextRef ElementData::*text) const { return to_str((*data)[get().*text]); }
};

struct Observation {
    std::shared_ptr<const ObservationData> data;
    py::object source;            // the file name decode_files was given, or None
    mutable py::object elements;  // the tuple of Element, made on first use
};

py::object optional_float(const ElementData &e, double v) {
    if (e.missing) return py::none();
    return py::float_(v);
}

py::dict element_dict(const ObservationData &obs, const ElementData &e) {
    py::dict d;
    d["ident"] = to_str(obs[e.ident]);
    d["code"] = to_str(obs[e.code]);
    d["name"] = to_str(obs[e.name]);
    d["unit"] = to_str(obs[e.unit]);
    d["valid"] = py::bool_(e.valid);
    d["missing"] = py::bool_(e.missing);
    d["value"] = optional_float(e, e.value);
    d["conv_value"] = optional_float(e, e.conv_value);
    d["text"] = to_str(obs[e.text]);
    d["conv_text"] = to_str(obs[e.conv_text]);
    d["comment"] = to_str(obs[e.comment]);
    return d;
}

py::tuple elements_of(const Observation &obs) {
    if (!obs.elements) {
        const std::size_t n = obs.data->elements.size();
        py::tuple t(n);
        for (std::size_t i = 0; i < n; ++i) t[i] = py::cast(Element{obs.data, i});
        obs.elements = std::move(t);
    }
    return py::reinterpret_borrow<py::tuple>(obs.elements);
}

// The element a lookup reports: the first whose descriptor and name, each
// trimmed of blanks and joined, equal `code` and `name` trimmed and joined;
// none when there is no such element or the first one is not valid or is
// flagged 0 in the pilot file (later ones are not looked at).
const ElementData *look_up(const ObservationData &obs, const std::string &code,
                           const std::string &name) {
    std::string probe(trim_blanks(code));
    probe += trim_blanks(name);
    std::string candidate;
    for (const ElementData &e : obs.elements) {
        candidate.assign(trim_blanks(obs[e.code]));
        candidate += trim_blanks(obs[e.name]);
        if (candidate == probe) return e.valid && e.flag ? &e : nullptr;
    }
    return nullptr;
}

// A lookup key: a (code, name) pair of str.
std::pair<std::string, std::string> key_of(py::handle key) {
    if (!PyTuple_Check(key.ptr()) || PyTuple_GET_SIZE(key.ptr()) != 2 ||
        !PyUnicode_Check(PyTuple_GET_ITEM(key.ptr(), 0)) ||
        !PyUnicode_Check(PyTuple_GET_ITEM(key.ptr(), 1)))
        throw py::type_error("an observation is looked up with obs[code, name], two str");
    py::tuple t = py::reinterpret_borrow<py::tuple>(key);
    return {t[0].cast<std::string>(), t[1].cast<std::string>()};
}

// ---- decoding ------------------------------------------------------------------

// An outcome as a Python object: an Observation, or the exception that says
// why there is none (DecodeError, or OSError for a file that cannot be read).
py::object outcome_object(DecodeOutcome &&o, py::object index, py::object source) {
    if (o.observation)
        return py::cast(Observation{std::move(o.observation), std::move(source), py::object()});
    if (o.system_error != 0) {
        const int e = o.system_error;
        return py::reinterpret_borrow<py::object>(PyExc_OSError)(
            e, py::module_::import("os").attr("strerror")(e), source);
    }
    py::object mode = o.mode ? py::object(py::int_(*o.mode)) : py::object(py::none());
    return errors().decode(o.message, o.error, mode, index, source);
}

[[noreturn]] void raise_instance(const py::object &exception) {
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exception.ptr())), exception.ptr());
    throw py::error_already_set();
}

bool raise_errors(const std::string &errors_mode) {
    if (errors_mode == "raise") return true;
    if (errors_mode == "return") return false;
    throw py::value_error("errors must be 'return' or 'raise', not '" + errors_mode + "'");
}

// Turns a batch's outcomes into Python objects, in order; with `raise`,
// raises the first failure instead.
py::list outcomes_list(std::vector<DecodeOutcome> &outcomes, const std::vector<py::object> *sources,
                       bool raise) {
    py::list out(outcomes.size());
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        py::object source = sources != nullptr ? (*sources)[i] : py::none();
        const bool failed = !outcomes[i].observation;
        py::object item = outcome_object(std::move(outcomes[i]), py::int_(i), std::move(source));
        if (failed && raise) raise_instance(item);
        out[i] = std::move(item);
    }
    return out;
}

Observation decode_one(const Pilot &pilot, py::handle message, py::handle data_types) {
    std::vector<std::string> messages{message_bytes(message, "message")};
    const std::optional<ventrac_datatype_entry> types = data_types_from(data_types);
    std::vector<DecodeOutcome> outcomes;
    {
        py::gil_scoped_release unlocked;
        outcomes = decode_messages(pilot, messages, types, 1);
    }
    DecodeOutcome &o = outcomes.front();
    if (!o.observation) raise_instance(outcome_object(std::move(o), py::none(), py::none()));
    return Observation{std::move(o.observation), py::none(), py::object()};
}

py::list decode_many(const Pilot &pilot, py::handle messages, long jobs, py::handle data_types,
                     const std::string &errors_mode) {
    const bool raise = raise_errors(errors_mode);
    if (PyUnicode_Check(messages.ptr()) || PyBytes_Check(messages.ptr()))
        throw py::type_error("decode_many takes a sequence of messages; use decode for one");
    std::vector<std::string> texts;
    for (py::handle m : py::iter(messages)) texts.push_back(message_bytes(m, "a message"));
    const std::optional<ventrac_datatype_entry> types = data_types_from(data_types);
    const unsigned threads = thread_count(jobs, texts.size());
    std::vector<DecodeOutcome> outcomes;
    {
        py::gil_scoped_release unlocked;
        outcomes = decode_messages(pilot, texts, types, threads);
    }
    return outcomes_list(outcomes, nullptr, raise);
}

py::list decode_files(const Pilot &pilot, py::handle paths, long jobs, py::handle data_types,
                      const std::string &errors_mode) {
    const bool raise = raise_errors(errors_mode);
    if (PyUnicode_Check(paths.ptr()) || PyBytes_Check(paths.ptr()))
        throw py::type_error("decode_files takes a sequence of file names, not one name");
    std::vector<std::string> names;
    std::vector<py::object> sources;
    py::module_ os = py::module_::import("os");
    for (py::handle p : py::iter(paths)) {
        names.push_back(path_bytes(p));
        sources.push_back(os.attr("fspath")(p));
    }
    const std::optional<ventrac_datatype_entry> types = data_types_from(data_types);
    const unsigned threads = thread_count(jobs, names.size());
    std::vector<DecodeOutcome> outcomes;
    {
        py::gil_scoped_release unlocked;
        outcomes = decode_paths(pilot, names, types, threads);
    }
    return outcomes_list(outcomes, &sources, raise);
}

// ---- pilot files ---------------------------------------------------------------

std::unique_ptr<Pilot> open_pilot(py::handle path) {
    const std::string name = path_bytes(path);
    py::object shown = py::module_::import("os").attr("fspath")(path);
    char reason[512] = {};
    ventrac_pilot *p = nullptr;
    {
        py::gil_scoped_release unlocked;
        p = ventrac_pilot_open(name.c_str(), reason, sizeof reason);
    }
    if (p == nullptr) raise(errors().pilot, to_str(field(reason)));
    auto pilot = std::make_unique<Pilot>(p, shown);
    if (ventrac_pilot_line_count(p) == 0)
        raise(errors().pilot, py::str("the pilot file {} holds no line").format(shown));
    return pilot;
}

std::unique_ptr<Pilot> pilot_from_text(py::handle text) {
    std::string bytes = PyUnicode_Check(text.ptr()) ? py::str(text).cast<std::string>()
                                                    : message_bytes(text, "the pilot text");
    ventrac_pilot *p = ventrac_pilot_parse(bytes.data(), bytes.size());
    if (p == nullptr) throw std::bad_alloc();
    auto pilot = std::make_unique<Pilot>(p, py::none());
    if (ventrac_pilot_line_count(p) == 0) raise(errors().pilot, "the pilot text holds no line");
    return pilot;
}

// ---- documentation -------------------------------------------------------------

constexpr const char *kModuleDoc =
    R"(Compiled part of the ventrac module; import ventrac instead.)";

constexpr const char *kPilotDoc =
    R"(A parsed pilot file: the description of a message, element by element.

Pilot(path) reads the file once; Pilot.from_text(text) parses a pilot file
held in memory. A Pilot never changes once made: any number of threads may
decode and encode with it at once.

Raises PilotError when the file cannot be opened or read, or holds no line.)";

constexpr const char *kFromTextDoc = R"(Pilot.from_text(text) -> Pilot

Parses the content of a pilot file: bytes as they are, str as UTF-8.
Raises PilotError when it holds no line.)";

constexpr const char *kDecodeDoc = R"(decode(message, data_types=None) -> Observation

Decodes one transmitted text: the 7-character identifier, then the six-bit
characters (the content of an HPK file), as bytes or as str (one character
per byte).

data_types gives the data-type code of each operating mode, {mode: type},
each from -128 to 127 and at most 32 pairs; {-1: type} alone gives type to
every mode; None (the default) gives code 0 to every mode.

Raises DecodeError, with the codec's error number in .error, when the codec
refuses the message: 250 (shorter than 8 characters), 253 (no pilot line for
the message's operating mode), 234 (the mode has no data-type code) or 252
(more than 1024 decoded elements). The interpreter lock is released while
the message decodes.)";

constexpr const char *kDecodeManyDoc =
    R"(decode_many(messages, jobs=0, data_types=None, errors='return') -> list

Decodes every message of a sequence on `jobs` threads (0: one per core),
with the interpreter lock released, and returns the results in the order of
the messages: an Observation for each message that decodes and, with
errors='return', the DecodeError that says why in place of each message that
does not (its .index is the message's position). errors='raise' raises the
first such DecodeError instead. data_types as for decode().)";

constexpr const char *kDecodeFilesDoc =
    R"(decode_files(paths, jobs=0, data_types=None, errors='return') -> list

As decode_many(), for files: each file is read whole as one transmitted text
(an HPK file). Observations carry the file name in .source. A file that
cannot be read gives an OSError (FileNotFoundError, PermissionError, ...) in
its place, or raises it with errors='raise'.)";

constexpr const char *kEncodeDoc = R"(encode(mode, values, identifier) -> bytes

Encodes one observation into its transmitted text: the identifier trimmed of
blanks and right-aligned in 7 characters, then the six-bit characters
(0x40 to 0x7F) of the packed message. That is what the ventrac program writes
to its HPK file.

mode is the operating mode (-128 to 127). values holds the observation's
values in the order a data file gives them (the order in which the elements
of the mode and their replications consume them), None for a missing value;
the count of a delayed replication is one of these values. Fewer values than
the mode takes leave the rest missing. identifier is a str or bytes of at
most 7 characters once trimmed of blanks.

Raises EncodeError when the observation cannot be encoded as it would read
back: a value that is not a finite number or lies outside its element's
range (the codec would clip it), a replication count the decoder would not
read back as the repetitions sent (the codec's error 246), more values than the mode takes, a mode outside -128 to 127 or without a
pilot line, an identifier that is too long, or a message that would pass
1024 packed bytes. Raises TypeError for a value that is not a number or None.)";

constexpr const char *kEncodeManyDoc = R"(encode_many(observations, jobs=0) -> list

Encodes observations given by name, each a mapping in the shape
ventrac-decode --json writes and Observation.to_dict() gives:
{"identifier": ..., "mode": ..., "elements": [{"code": ..., "name": ...,
"value": ...}, ...]} (other keys are ignored), on `jobs` threads (0: one per
core) with the interpreter lock released. Returns the transmitted texts
(bytes) in order; the bytes are those encode() gives for the same values.

Elements are matched by descriptor and by the name the decoder gives them
(with the suffixes of replicated elements, and the class 31 entry of a kind
'1' delayed count). An element absent or whose value is None is missing. A
delayed count absent (always so for kind '4') is the number of repetitions
the elements give, in the decoder's order.

Raises EncodeError, with the observation's position in .index, for the first
observation that cannot be encoded: no such mode, an element the mode does
not have, a value that is not a number or lies outside its element's range,
a replication count the decoder would not read back (error 246), an
identifier longer than 7 characters, a message over 1024 packed bytes.)";

constexpr const char *kObservationDoc = R"(One decoded message.

Attributes: identifier (str), mode (int), data_type (int), elements (tuple of
Element, in message order), source (the file name for decode_files, else
None).

obs[code, name] looks a converted value up as the codec's lookup does: the
first element whose descriptor and name, each trimmed of blanks and joined,
equal code and name trimmed and joined; its conv_value when that element is
valid and its pilot flag is not 0, else KeyError (also when no element
matches; later matches are not looked at). obs.get(code, name, default) and
(code, name) in obs follow the same rule. len(obs) and iter(obs) go over the
elements.)";

constexpr const char *kElementDoc = R"(One decoded element.

Attributes: ident ("D" and the position in six digits), code (descriptor;
class 31 for a delayed replication count), name (with its place in the
replication, e.g. "TA_D000-001"), unit, value and conv_value (the physical
and the converted value, floats; None when the element is missing), valid
(the value is usable: neither missing nor outside its plausibility bounds),
missing (no value was sent: coded all ones), text and conv_text (the display
texts, without padding), comment.

An implausible value (valid False, missing False) keeps its decoded value.
Texts read as UTF-8 where they are, each other byte as its Latin-1 character.)";

}  // namespace

}  // namespace ventrac::python

PYBIND11_MODULE(_ventrac, m) {
    using namespace ventrac::python;
    m.doc() = kModuleDoc;
    m.attr("__version__") = VENTRAC_VERSION;
    load_errors();

    py::class_<Element>(m, "Element", kElementDoc)
        .def_property_readonly("ident", [](const Element &e) { return e.str(&ElementData::ident); })
        .def_property_readonly("code", [](const Element &e) { return e.str(&ElementData::code); })
        .def_property_readonly("name", [](const Element &e) { return e.str(&ElementData::name); })
        .def_property_readonly("unit", [](const Element &e) { return e.str(&ElementData::unit); })
        .def_property_readonly(
            "value", [](const Element &e) { return optional_float(e.get(), e.get().value); })
        .def_property_readonly(
            "conv_value",
            [](const Element &e) { return optional_float(e.get(), e.get().conv_value); })
        .def_property_readonly("valid", [](const Element &e) { return e.get().valid; })
        .def_property_readonly("missing", [](const Element &e) { return e.get().missing; })
        .def_property_readonly("text", [](const Element &e) { return e.str(&ElementData::text); })
        .def_property_readonly("conv_text",
                               [](const Element &e) { return e.str(&ElementData::conv_text); })
        .def_property_readonly("comment",
                               [](const Element &e) { return e.str(&ElementData::comment); })
        .def(
            "to_dict", [](const Element &e) { return element_dict(*e.data, e.get()); },
            "The element's attributes as a dict.")
        .def("__repr__", [](const Element &e) {
            const ElementData &d = e.get();
            const char *state = d.missing ? ", missing" : d.valid ? "" : ", implausible";
            return py::str("<Element {} {} {}={}{}>")
                .format(e.str(&ElementData::ident), e.str(&ElementData::code),
                        e.str(&ElementData::name), e.str(&ElementData::text), state);
        });

    py::class_<Observation>(m, "Observation", kObservationDoc)
        .def_property_readonly("identifier",
                               [](const Observation &o) { return to_str(o.data->identifier); })
        .def_property_readonly("mode", [](const Observation &o) { return o.data->mode; })
        .def_property_readonly("data_type", [](const Observation &o) { return o.data->data_type; })
        .def_property_readonly("elements", [](const Observation &o) { return elements_of(o); })
        .def_property_readonly("source", [](const Observation &o) { return o.source; })
        .def("__len__", [](const Observation &o) { return o.data->elements.size(); })
        .def("__iter__", [](const Observation &o) { return py::iter(elements_of(o)); })
        .def("__getitem__",
             [](const Observation &o, py::handle key) {
                 auto [code, name] = key_of(key);
                 const ElementData *e = look_up(*o.data, code, name);
                 if (e == nullptr) throw py::key_error(std::string(py::repr(key)));
                 return e->conv_value;
             })
        .def("__contains__",
             [](const Observation &o, py::handle key) {
                 auto [code, name] = key_of(key);
                 return look_up(*o.data, code, name) != nullptr;
             })
        .def(
            "get",
            [](const Observation &o, const std::string &code, const std::string &name,
               py::object fallback) {
                const ElementData *e = look_up(*o.data, code, name);
                return e == nullptr ? fallback : py::object(py::float_(e->conv_value));
            },
            py::arg("code"), py::arg("name"), py::arg("default") = py::none(),
            "get(code, name, default=None): obs[code, name], or default where that raises KeyError.")
        .def(
            "to_dict",
            [](const Observation &o) {
                py::dict d;
                d["file"] = o.source;
                d["identifier"] = to_str(o.data->identifier);
                d["mode"] = o.data->mode;
                d["data_type"] = o.data->data_type;
                py::list elements;
                for (const ElementData &e : o.data->elements)
                    elements.append(element_dict(*o.data, e));
                d["elements"] = elements;
                return d;
            },
            "The observation as a dict: file (the source), identifier, mode, data_type and elements,\n"
            "a list of Element.to_dict().")
        .def("__repr__", [](const Observation &o) {
            return py::str("<Observation {} mode {}, data type {}, {} elements>")
                .format(to_str(o.data->identifier), o.data->mode, o.data->data_type,
                        o.data->elements.size());
        });

    py::class_<Pilot>(m, "Pilot", kPilotDoc)
        .def(py::init(&open_pilot), py::arg("path"))
        .def_static("from_text", &pilot_from_text, py::arg("text"), kFromTextDoc)
        .def_property_readonly("path", &Pilot::path, "The file name given to Pilot(), or None.")
        .def_property_readonly(
            "line_count", [](const Pilot &p) { return ventrac_pilot_line_count(p.get()); },
            "Number of lines read (a line over 511 characters counts as several).")
        .def("decode", &decode_one, py::arg("message"), py::arg("data_types") = py::none(),
             kDecodeDoc)
        .def("decode_many", &decode_many, py::arg("messages"), py::arg("jobs") = 0,
             py::arg("data_types") = py::none(), py::arg("errors") = "return", kDecodeManyDoc)
        .def("decode_files", &decode_files, py::arg("paths"), py::arg("jobs") = 0,
             py::arg("data_types") = py::none(), py::arg("errors") = "return", kDecodeFilesDoc)
        .def("encode", &encode, py::arg("mode"), py::arg("values"), py::arg("identifier"),
             kEncodeDoc)
        .def("encode_many", &encode_many, py::arg("observations"), py::arg("jobs") = 0,
             kEncodeManyDoc)
        .def("__repr__", [](const Pilot &p) {
            return py::str("<Pilot {!r}, {} lines>")
                .format(p.path(), ventrac_pilot_line_count(p.get()));
        });

    bind_table(m);
}
