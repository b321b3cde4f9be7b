// SPDX-License-Identifier: Apache-2.0
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "binding.h"
#include "codec/errors.h"
#include "codec/replication.h"

namespace ventrac::python {

namespace {

// Encoder contexts kept from call to call (each holds an element table).
class EncoderPool {
public:
    ~EncoderPool() {
        for (ventrac_cctx *c : free_) ventrac_cctx_free(c);
    }
    ventrac_cctx *take() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                ventrac_cctx *c = free_.back();
                free_.pop_back();
                return c;
            }
        }
        ventrac_cctx *c = ventrac_cctx_create();
        if (c == nullptr) throw std::bad_alloc();
        return c;
    }
    void give_back(ventrac_cctx *c) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (free_.size() < 16) {
            free_.push_back(c);
            return;
        }
        ventrac_cctx_free(c);
    }

private:
    std::mutex mutex_;
    std::vector<ventrac_cctx *> free_;
};

EncoderPool g_encoders;

// Why a value cannot be encoded, and which one.
struct Fault {
    std::string message;
    long index = -1;  // -1: not one value's fault
};

// The walk bound of the codec: walks longer than this fail there anyway.
constexpr long kMaxSteps = kMaxWalkSteps;

std::string element_name(const ventrac_element_spec &e) {
    return std::string(field(e.name)) + " (" + std::string(field(e.code)) + ")";
}

std::string number(double v) {
    std::string s = py::repr(py::float_(v));
    return s;
}

// Checks the values against the elements the encoder will code them with,
// walking the element table of the mode as the encoder walks it: every value
// must be coded as it reads back (within half a resolution step), which the
// encoder does not see to by itself: it clips a value outside its element's
// range to the nearest end.
class ValueCheck {
public:
    ValueCheck(const ventrac_element_spec *table, int size, const std::vector<double> &values,
               const std::vector<int> &presence)
        : table_(table), size_(size), values_(values), presence_(presence) {
        std::memset(&cleared_, 0, sizeof cleared_);
    }

    // Walks entries 1 .. size - 1 once; the first fault found, if any.
    std::optional<Fault> run() {
        int start = 1;
        sequence(start, size_ - 1, 1);
        return fault_;
    }

private:
    const ventrac_element_spec &spec(int j) const { return j < size_ ? table_[j] : cleared_; }

    // The coded integer of the law's inverse before rounding: NaN when the
    // value has none.
    static double unrounded(const ventrac_element_spec &e, double v) {
        const double x = (v - e.reference) / e.scale;
        return e.power == 1.0 ? x : std::pow(x, 1.0 / e.power);
    }

    static double physical(const ventrac_element_spec &e, double coded) {
        return (e.power == 1.0 ? coded : std::pow(coded, e.power)) * e.scale + e.reference;
    }

    // The largest coded integer a present value may take: max_coded, below
    // the all-ones code that stands for a missing value. -1 when the element
    // has no room for a value.
    static double largest_code(const ventrac_element_spec &e) {
        const int width = static_cast<signed char>(e.nbits);  // what the packer writes
        if (width <= 0) return -1;
        double largest = static_cast<double>(e.max_coded);
        if (width < 63) largest = std::min(largest, std::ldexp(1.0, width) - 2);
        return largest;
    }

    bool fail(std::string message, long index) {
        fault_ = Fault{std::move(message), index};
        return false;
    }

    bool check_value(const ventrac_element_spec &e, std::size_t i) {
        if (presence_[i] == 0) return true;
        const double v = values_[i];
        const long index = static_cast<long>(i);
        const double largest = largest_code(e);
        if (largest < 0)
            return fail("value " + std::to_string(i) + " (" + number(v) +
                            ") cannot be sent: element " + element_name(e) +
                            " has no code for a present value (" +
                            std::to_string(static_cast<int>(e.nbits)) + " bits, max_coded " +
                            std::to_string(e.max_coded) + ")",
                        index);
        const double x = unrounded(e, v);
        // Rounded to the nearest code, x must land on 0 .. largest.
        if (!(x + 0.5 >= 0.0 && x + 0.5 < largest + 1.0)) {
            double lo = physical(e, 0), hi = physical(e, largest);
            if (lo > hi) std::swap(lo, hi);
            return fail("value " + std::to_string(i) + " (" + number(v) + ") of element " +
                            element_name(e) + " lies outside the range it can be coded in, " +
                            number(lo) + " to " + number(hi),
                        index);
        }
        return true;
    }

    // A delayed count: within its element's range when present. The walk
    // repeats the group as many times as its whole part (none for a
    // negative count); whether the decoder reads that count back is the
    // encoder's to refuse.
    bool check_count(const ventrac_element_spec &e, std::size_t i, int &count) {
        if (!check_value(e, i)) return false;
        const double v = values_[i];
        count = v > 0 && v < 2147483648.0 ? static_cast<int>(v) : 0;
        return true;
    }

    // Digits of code[first .. first + n - 1], up to the first non-digit.
    static int digits(const char *code, int first, int n) {
        int value = 0;
        for (int k = first; k < first + n; ++k) {
            if (code[k] < '0' || code[k] > '9') break;
            value = value * 10 + (code[k] - '0');
        }
        return value;
    }

    // One sequence as the encoder walks it; false to stop the walk (a fault,
    // every value seen, or a walk the encoder refuses anyway).
    bool sequence(int &start, int nbpar, int nbsec) {
        const int i1 = start;
        const int i2 = i1 + nbpar;
        const int end = std::min(i2, VENTRAC_MAX_ELEMENTS);
        for (int r = 0; r < nbsec; ++r) {
            if (++steps_ > kMaxSteps) return false;
            for (int j = i1; j < end; ++j) {
                if (++steps_ > kMaxSteps || ival_ >= values_.size()) return false;
                const ventrac_element_spec &e = spec(j);
                if (e.code[0] == '1' || e.code[0] == '4') {
                    const bool has_xx = e.code[1] != '\0' && e.code[2] != '\0';
                    const int group = digits(e.code, 1, 2);
                    int count = has_xx ? digits(e.code, 3, 3) : 0;
                    if (count == 0 && !check_count(e, ival_++, count)) return false;
                    int k = j + 1;
                    if (!sequence(k, group, count)) return false;
                    j = k;
                } else if (!check_value(e, ival_++)) {
                    return false;
                }
            }
        }
        start = i2 - 1;
        return true;
    }

    const ventrac_element_spec *table_;
    int size_;
    ventrac_element_spec cleared_;
    const std::vector<double> &values_;
    const std::vector<int> &presence_;
    std::size_t ival_ = 0;
    long steps_ = 0;
    std::optional<Fault> fault_;
};

[[noreturn]] void encode_error(const std::string &message, long index = -1) {
    raise(errors().encode, message,
          index < 0 ? py::object(py::none()) : py::object(py::int_(index)));
}

}  // namespace

py::bytes encode(const Pilot &pilot, py::handle mode_object, py::handle values,
                 py::handle identifier) {
    if (!PyLong_Check(mode_object.ptr()))
        throw py::type_error("mode must be an int, not " +
                             std::string(py::str(py::type::of(mode_object).attr("__name__"))));
    int overflow = 0;
    const long long mode = PyLong_AsLongLongAndOverflow(mode_object.ptr(), &overflow);
    if (mode == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || mode < -128 || mode > 127)
        encode_error("operating mode " + std::string(py::str(mode_object)) +
                     " lies outside -128 .. 127");

    std::string ident = PyUnicode_Check(identifier.ptr()) ? std::string(py::str(identifier))
                                                          : message_bytes(identifier, "identifier");
    if (ident.find('\0') != std::string::npos) encode_error("the identifier holds a zero byte");
    if (trim_blanks(ident).size() > VENTRAC_IDENT_LEN)
        encode_error("identifier '" + std::string(trim_blanks(ident)) + "' is longer than " +
                     std::to_string(VENTRAC_IDENT_LEN) + " characters");

    std::vector<double> numbers;
    std::vector<int> presence;
    if (PyUnicode_Check(values.ptr()) || PyBytes_Check(values.ptr()))
        throw py::type_error("values must be a sequence of numbers and None, not a text");
    for (py::handle v : py::iter(values)) {
        const std::size_t i = numbers.size();
        if (v.is_none()) {
            numbers.push_back(0.0);
            presence.push_back(0);
            continue;
        }
        if (!PyFloat_Check(v.ptr()) && !PyLong_Check(v.ptr()) &&
            !PyObject_HasAttrString(v.ptr(), "__float__") &&
            !PyObject_HasAttrString(v.ptr(), "__index__"))
            throw py::type_error("value " + std::to_string(i) + " must be a number or None, not " +
                                 std::string(py::str(py::type::of(v).attr("__name__"))));
        const double x = PyFloat_AsDouble(v.ptr());
        if (x == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        if (!std::isfinite(x))
            encode_error(
                "value " + std::to_string(i) + " (" + number(x) + ") is not a finite number",
                static_cast<long>(i));
        numbers.push_back(x);
        presence.push_back(1);
    }

    // The values are checked against the table the encoder walks.
    const ventrac_element_spec *table = nullptr;
    const int size = ventrac_pilot_encoder_table(pilot.get(), static_cast<int>(mode), &table);
    if (size <= 0) encode_error(error_line(VENTRAC_ERR_NO_ELEMENT, static_cast<int>(mode)));
    if (std::optional<Fault> fault = ValueCheck(table, size, numbers, presence).run())
        encode_error(fault->message, fault->index);

    std::array<char, VENTRAC_MESSAGE_MAX> text{};
    std::array<unsigned char, VENTRAC_PACKED_SIZE> packed{};
    int packed_size = 0, used = 0, length = 0;
    {
        py::gil_scoped_release unlocked;
        ventrac_cctx *cctx = g_encoders.take();
        packed_size = ventrac_encode_packed(cctx, pilot.get(), static_cast<int>(mode),
                                            numbers.data(), presence.data(), numbers.size(),
                                            packed.data(), &used);
        if (packed_size > 0)
            length = ventrac_encode_text(cctx, pilot.get(), static_cast<int>(mode), numbers.data(),
                                         presence.data(), numbers.size(), ident.c_str(),
                                         text.data(), text.size());
        g_encoders.give_back(cctx);
    }
    if (packed_size == -VENTRAC_ERR_MEMORY || length == -VENTRAC_ERR_MEMORY) throw std::bad_alloc();
    if (packed_size <= 0) encode_error(error_line(packed_size, static_cast<int>(mode)));
    if (static_cast<std::size_t>(used) < numbers.size())
        encode_error(std::to_string(numbers.size()) + " values given, operating mode " +
                         std::to_string(mode) + " takes " + std::to_string(used) +
                         " with these counts",
                     used);
    if (length <= 0) throw std::logic_error("the encoder wrote no text");
    return py::bytes(text.data(), static_cast<std::size_t>(length));
}

}  // namespace ventrac::python
