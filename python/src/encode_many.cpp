// SPDX-License-Identifier: Apache-2.0
// Pilot.encode_many: observations given by name, as ventrac-encode reads
// them, encoded on threads with the interpreter lock released.
#include <thread>

#include "binding.h"
#include "codec/errors.h"
#include "tools/encode/record.h"

namespace ventrac::python {

namespace {

[[noreturn]] void encode_error(const std::string &message, std::size_t index) {
    raise(errors().encode, message, py::int_(index));
}

std::string text_of(py::handle object, const char *what, std::size_t index) {
    if (PyUnicode_Check(object.ptr())) return std::string(py::str(object));
    if (PyBytes_Check(object.ptr())) return std::string(py::reinterpret_borrow<py::bytes>(object));
    throw py::type_error("observation " + std::to_string(index) + ": " + what +
                         " must be a str, not " +
                         std::string(py::str(py::type::of(object).attr("__name__"))));
}

py::object member(py::handle mapping, const char *key) {
    const py::object k = py::str(key);
    if (!PyMapping_Check(mapping.ptr()) || PySequence_Check(mapping.ptr()) != 0)
        return py::object();
    if (PyMapping_HasKey(mapping.ptr(), k.ptr()) == 0) return py::object();
    return py::reinterpret_steal<py::object>(PyObject_GetItem(mapping.ptr(), k.ptr()));
}

// One observation dict as a record; raises for what has not its shape.
encode::Record record_of(py::handle obs, std::size_t index) {
    const std::string at = "observation " + std::to_string(index);
    if (!PyMapping_Check(obs.ptr()))
        throw py::type_error(at + " must be a mapping, not " +
                             std::string(py::str(py::type::of(obs).attr("__name__"))));
    encode::Record r;
    const py::object id = member(obs, "identifier");
    if (!id) encode_error(at + " has no \"identifier\"", index);
    r.identifier = text_of(id, "the identifier", index);
    const py::object mode = member(obs, "mode");
    if (!mode || !PyLong_Check(mode.ptr())) encode_error(at + " has no \"mode\" int", index);
    int overflow = 0;
    const long long m = PyLong_AsLongLongAndOverflow(mode.ptr(), &overflow);
    if (overflow != 0 || m < -128 || m > 127)
        encode_error(at + ": no such mode: " + std::string(py::str(mode)) +
                         " (operating modes lie in -128 .. 127)",
                     index);
    r.mode = static_cast<int>(m);
    const py::object elements = member(obs, "elements");
    if (!elements || elements.is_none()) return r;
    for (py::handle e : py::iter(elements)) {
        const py::object code = member(e, "code"), name = member(e, "name");
        if (!code || !name)
            throw py::type_error(at +
                                 ": each element must be a mapping with \"code\" and \"name\"");
        encode::NamedValue v;
        v.code = text_of(code, "a code", index);
        v.name = text_of(name, "a name", index);
        const py::object value = member(e, "value");
        if (value && !value.is_none()) {
            if (PyBool_Check(value.ptr()) ||
                (!PyFloat_Check(value.ptr()) && !PyLong_Check(value.ptr()) &&
                 !PyObject_HasAttrString(value.ptr(), "__float__"))) {
                v.number = false;
            } else {
                const double x = PyFloat_AsDouble(value.ptr());
                if (x == -1.0 && PyErr_Occurred()) throw py::error_already_set();
                v.value = x;
            }
        }
        r.elements.push_back(std::move(v));
    }
    return r;
}

// The message of one record, or why there is none.
std::string encode_record(const Pilot &pilot, const encode::Layouts &layouts,
                          const encode::Record &r, ventrac_cctx *cctx, std::string &message) {
    const std::string_view id = trim_blanks(r.identifier);
    if (id.size() > VENTRAC_IDENT_LEN)
        return "identifier '" + std::string(id) + "' is longer than " +
               std::to_string(VENTRAC_IDENT_LEN) + " characters";
    if (id.find('\0') != std::string_view::npos) return "the identifier holds a zero byte";
    const encode::Values v = encode::match_record(layouts, r, false);
    if (!v.error.empty()) return v.error;
    char text[VENTRAC_MESSAGE_MAX];
    const std::string ident(id);
    const int length = ventrac_encode_text(cctx, pilot.get(), r.mode, v.values.data(),
                                           v.presence.data(), v.values.size(), ident.c_str(), text,
                                           sizeof text);
    if (length == -VENTRAC_ERR_MEMORY) throw std::bad_alloc();
    if (length <= 0) return error_line(length, r.mode);
    message.assign(text, static_cast<std::size_t>(length));
    return {};
}

}  // namespace

py::list encode_many(const Pilot &pilot, py::handle observations, long jobs) {
    if (PyUnicode_Check(observations.ptr()) || PyBytes_Check(observations.ptr()) ||
        (PyMapping_Check(observations.ptr()) && PySequence_Check(observations.ptr()) == 0))
        throw py::type_error("observations must be an iterable of observation mappings");
    std::vector<encode::Record> records;
    for (py::handle obs : py::iter(observations)) records.push_back(record_of(obs, records.size()));

    std::vector<std::string> messages(records.size()), failures(records.size());
    {
        py::gil_scoped_release unlocked;
        const encode::Layouts layouts(pilot.get());
        const unsigned n = thread_count(jobs, records.size());
        auto work = [&](unsigned t) {
            ventrac_cctx *cctx = ventrac_cctx_create();
            if (cctx == nullptr) throw std::bad_alloc();
            for (std::size_t i = t; i < records.size(); i += n)
                failures[i] = encode_record(pilot, layouts, records[i], cctx, messages[i]);
            ventrac_cctx_free(cctx);
        };
        std::vector<std::thread> pool;
        std::vector<std::exception_ptr> thrown(n);
        for (unsigned t = 1; t < n; ++t)
            pool.emplace_back([&, t] {
                try {
                    work(t);
                } catch (...) {
                    thrown[t] = std::current_exception();
                }
            });
        try {
            work(0);
        } catch (...) {
            thrown[0] = std::current_exception();
        }
        for (std::thread &th : pool) th.join();
        for (const std::exception_ptr &e : thrown)
            if (e) std::rethrow_exception(e);
    }
    for (std::size_t i = 0; i < records.size(); ++i)
        if (!failures[i].empty())
            encode_error("observation " + std::to_string(i) + ": " + failures[i], i);
    py::list out(records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        out[i] = py::bytes(messages[i].data(), messages[i].size());
    return out;
}

}  // namespace ventrac::python
