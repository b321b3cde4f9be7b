// SPDX-License-Identifier: Apache-2.0
#include <climits>
#include <cstring>

#include "binding.h"
#include "pilot/text.h"

namespace ventrac::python {

namespace {

// Never freed: the classes must outlive every call, and Python objects
// cannot be released once the interpreter has finalised.
const Errors *g_errors = nullptr;

// An integer argument within lo .. hi, or ValueError / TypeError naming it.
int small_int(py::handle object, int lo, int hi, const char *what) {
    if (!PyLong_Check(object.ptr()))
        throw py::type_error(std::string(what) + " must be an int, not " +
                             std::string(py::str(py::type::of(object).attr("__name__"))));
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(object.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || v < lo || v > hi)
        throw py::value_error(std::string(what) + " must lie in " + std::to_string(lo) + " .. " +
                              std::to_string(hi) + ", not " + std::string(py::str(object)));
    return static_cast<int>(v);
}

}  // namespace

py::str to_str(std::string_view text) {
    bool ascii = true;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return py::str(text.data(), text.size());
    const std::string utf8 = ventrac::shown_text(text);
    return py::str(utf8.data(), utf8.size());
}

std::string message_bytes(py::handle object, const char *what) {
    PyObject *o = object.ptr();
    if (PyBytes_Check(o))
        return std::string(PyBytes_AS_STRING(o), static_cast<std::size_t>(PyBytes_GET_SIZE(o)));
    if (PyUnicode_Check(o)) {
        py::object encoded = py::reinterpret_steal<py::object>(PyUnicode_AsLatin1String(o));
        if (!encoded) {
            PyErr_Clear();
            throw py::value_error(
                std::string(what) +
                " holds a character above U+00FF: a str is read one character per byte");
        }
        return std::string(PyBytes_AS_STRING(encoded.ptr()),
                           static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.ptr())));
    }
    if (PyObject_CheckBuffer(o)) {
        Py_buffer view;
        if (PyObject_GetBuffer(o, &view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
        std::string bytes(static_cast<const char *>(view.buf), static_cast<std::size_t>(view.len));
        PyBuffer_Release(&view);
        return bytes;
    }
    throw py::type_error(std::string(what) + " must be bytes or str, not " +
                         std::string(py::str(py::type::of(object).attr("__name__"))));
}

std::string path_bytes(py::handle object) {
    py::object encoded = py::module_::import("os").attr("fsencode")(object);
    std::string path = encoded.cast<std::string>();
    if (path.find('\0') != std::string::npos)
        throw py::value_error("embedded null byte in a file name");
    return path;
}

std::optional<ventrac_datatype_entry> data_types_from(py::handle object) {
    if (object.is_none()) return std::nullopt;
    if (!PyMapping_Check(object.ptr()) || !py::hasattr(object, "items"))
        throw py::type_error("data_types must be a mapping {mode: type} or None");
    ventrac_datatype_entry table;
    std::memset(&table, 0, sizeof table);
    constexpr int kMax = static_cast<int>(sizeof table.modes / sizeof table.modes[0]);
    int n = 0;
    for (py::handle item : object.attr("items")()) {
        if (n == kMax)
            throw py::value_error("data_types holds more than " + std::to_string(kMax) + " modes");
        const py::sequence pair = py::reinterpret_borrow<py::sequence>(item);
        table.modes[n] = small_int(pair[0], -128, 127, "a mode of data_types");
        table.types[n] = small_int(pair[1], -128, 127, "a data type of data_types");
        ++n;
    }
    table.nb_modes = n;
    return table;
}

const Errors &errors() { return *g_errors; }

void load_errors() {
    py::module_ m = py::module_::import("ventrac._errors");
    g_errors = new Errors{m.attr("PilotError"), m.attr("DecodeError"), m.attr("EncodeError")};
}

}  // namespace ventrac::python
