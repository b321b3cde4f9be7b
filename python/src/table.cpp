// SPDX-License-Identifier: Apache-2.0
// Observations as one table: ventrac.read and ventrac.iter_read read
// messages from files (a file each, or a line each), decode them on several
// threads and lay them out one row per message, one column per element
// name. The columns are filled here, without the interpreter lock, and
// handed to Python as NumPy arrays; the package's Python part wraps them in
// a pandas DataFrame.
//
// A batch is read a chunk at a time: the chunk's messages are gathered (the
// lines of a file read in blocks), decoded in parallel into per-thread value
// buffers, then laid into the batch's columns in input order. Memory holds
// one chunk of messages and the batch's columns, whatever the size of the
// input.
#include <pybind11/numpy.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "binding.h"

namespace ventrac::python {

namespace {

// Lines longer than this are not kept (a message has at most
// VENTRAC_MESSAGE_MAX characters): such a line is a failed row.
constexpr std::size_t kMaxLine = std::size_t{1} << 20;
// Bytes read from a file at a time.
constexpr std::size_t kBlock = 256 * 1024;
// Messages decoded at a time.
constexpr std::size_t kChunk = 32768;
// Messages a thread takes from the chunk at a time.
constexpr std::size_t kGrain = 128;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string system_failure(const char *what, int error) {
    return std::string(what) + " (" + std::strerror(error) + ")";
}

// The lines of one file, read a block at a time: the line feed ends a line,
// a carriage return before it is dropped, blank lines (blanks and tabs) are
// skipped, and every line counts in the numbering from 1.
class LineFile {
public:
    enum class Next { Line, TooLong, End };

    LineFile() = default;
    ~LineFile() { close(); }
    LineFile(const LineFile &) = delete;
    LineFile &operator=(const LineFile &) = delete;

    bool is_open() const { return file_ != nullptr; }

    // 0, or errno's value when the file cannot be opened.
    int open(const std::string &path) {
        close();
        errno = 0;
        file_ = std::fopen(path.c_str(), "rb");
        if (file_ == nullptr) return errno != 0 ? errno : EIO;
        std::setvbuf(file_, nullptr, _IONBF, 0);
        block_.resize(kBlock);
        begin_ = end_ = 0;
        at_end_ = false;
        error_ = 0;
        number_ = 0;
        return 0;
    }

    void close() {
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
    }

    // errno's value when reading failed (then End was returned).
    int error() const { return error_; }

    // Appends the next line that is not blank to `out` and sets `number`;
    // a line longer than kMaxLine appends nothing and gives TooLong.
    Next next(std::string &out, long &number) {
        for (;;) {
            const std::size_t start = out.size();
            std::size_t length = 0;  // of the whole line, kept or not
            bool found_end = false;
            while (!found_end) {
                if (begin_ == end_ && !fill()) break;
                const char *from = block_.data() + begin_;
                const std::size_t available = end_ - begin_;
                const void *feed = std::memchr(from, '\n', available);
                const std::size_t take =
                    feed != nullptr
                        ? static_cast<std::size_t>(static_cast<const char *>(feed) - from)
                        : available;
                found_end = feed != nullptr;
                const std::size_t room = length < kMaxLine + 1 ? kMaxLine + 1 - length : 0;
                out.append(from, std::min(take, room));
                length += take;
                begin_ += take + (found_end ? 1 : 0);
            }
            if (!found_end && length == 0) return Next::End;
            ++number_;
            if (length <= kMaxLine + 1 && out.size() > start && out.back() == '\r') {
                out.pop_back();
                --length;
            }
            if (length > kMaxLine) {
                out.resize(start);
                number = number_;
                return Next::TooLong;
            }
            if (out.find_first_not_of(" \t", start) == std::string::npos) {
                out.resize(start);
                continue;
            }
            number = number_;
            return Next::Line;
        }
    }

private:
    bool fill() {
        if (at_end_) return false;
        errno = 0;
        begin_ = 0;
        end_ = std::fread(block_.data(), 1, block_.size(), file_);
        if (end_ < block_.size()) {
            at_end_ = true;
            if (std::ferror(file_) != 0) error_ = errno != 0 ? errno : EIO;
        }
        return end_ != 0;
    }

    std::FILE *file_ = nullptr;
    std::vector<char> block_;
    std::size_t begin_ = 0, end_ = 0;
    bool at_end_ = false;
    int error_ = 0;
    long number_ = 0;
};

// Reads a file whole into `content`; 0, or errno's value, with `opened`
// telling which step failed.
int read_whole(const std::string &path, std::string &content, bool &opened) {
    content.clear();
    errno = 0;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    opened = f != nullptr;
    if (f == nullptr) return errno != 0 ? errno : EIO;
    char block[16384];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) content.append(block, n);
    const int error = std::ferror(f) != 0 ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(f);
    return error;
}

enum class Failure : unsigned char { None, Codec, Open, Read, TooLong };

// One message of a chunk: where it comes from and, once decoded, what it
// gave.
struct Item {
    std::size_t source = 0;              // index of its file
    long line = 0;                       // its line number; 0 for a whole file
    std::size_t offset = 0, length = 0;  // its text in the chunk's text (lines)
    Failure failure = Failure::None;
    int error = 0;  // the codec's error number, or errno's value
    int mode = 0;
    bool mode_known = false;
    int data_type = 0;
    std::string identifier;
    unsigned worker = 0;
    std::uint32_t layout = 0;  // the worker's layout of the message
    std::size_t values = 0;    // where its values start in the worker's buffer
};

// One decoding thread's own state, kept from chunk to chunk: its context,
// the layouts it has met (a layout is the sequence of element names of a
// message, set by its mode and its delayed replication counts), and the
// values of the batch's messages it decoded.
struct Worker {
    ventrac_dctx *ctx = nullptr;
    std::unordered_map<std::string, std::uint32_t> layout_ids;
    std::vector<std::vector<std::string>> layouts;
    std::vector<double> values;
    std::string key, content;
    std::vector<char> kinds;
    std::vector<int> counts, entries;

    Worker() = default;
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;
    ~Worker() { ventrac_dctx_free(ctx); }
};

// True when `s` is `n` or more decimal digits.
bool all_digits(std::string_view s, std::size_t n) {
    return s.size() >= n &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// True when `s` is one or more replication places "_D" NNN "-" NNN, the
// suffix of an element walked inside replicated groups.
bool replication_suffix(std::string_view s) {
    if (s.empty()) return false;
    while (!s.empty()) {
        if (s.size() < 2 || s.substr(0, 2) != "_D") return false;
        s.remove_prefix(2);
        const std::size_t dash = s.find('-');
        if (dash == std::string_view::npos || !all_digits(s.substr(0, dash), 3)) return false;
        s.remove_prefix(dash + 1);
        std::size_t n = 0;
        while (n < s.size() && s[n] >= '0' && s[n] <= '9') ++n;
        if (n < 3) return false;
        s.remove_prefix(n);
    }
    return true;
}

struct BaseName {
    std::string name;
    bool delayed_factor;  // a delayed replication of kind '1': its count is an element
};

// Whether the decoder can give an element of the pilot the name `name`:
// an element's name, followed by its place in the replication, and by ".K"
// for its K-th repeat under that name in one message.
bool decodable(std::string_view name, const std::vector<BaseName> &bases) {
    constexpr std::size_t kNameField = sizeof(ventrac_element_spec{}.name) - 1;
    for (const BaseName &b : bases) {
        if (name.size() < b.name.size() || name.substr(0, b.name.size()) != b.name) continue;
        const std::string_view rest = name.substr(b.name.size());
        if (rest.empty() || name.size() >= kNameField)
            return true;  // a long name is cut at the field's size
        if (b.delayed_factor ? all_digits(rest, 3) : replication_suffix(rest)) return true;
    }
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && all_digits(name.substr(dot + 1), 1) &&
        name[dot + 1] != '0')
        return decodable(name.substr(0, dot), bases);
    return false;
}

// The element names the pilot's lines give, for every mode.
std::vector<BaseName> pilot_names(const Pilot &pilot) {
    const ventrac_element_spec *table = nullptr;
    const int n = ventrac_pilot_table(pilot.get(), 0, &table);
    std::vector<BaseName> names;
    for (int i = 1; i < n; ++i) {
        const ventrac_element_spec &e = table[i];
        const std::string_view code = field(e.code);
        const bool group = !code.empty() && (code[0] == '1' || code[0] == '4');
        const bool delayed = group && code.size() >= 6 && code.substr(3, 3) == "000";
        if (group && !(code[0] == '1' && delayed)) continue;  // no entry of its own
        names.push_back({std::string(field(e.name)), delayed});
    }
    return names;
}

enum class ErrorMode { Keep, Raise, Skip };

ErrorMode error_mode(const std::string &mode) {
    if (mode == "keep") return ErrorMode::Keep;
    if (mode == "raise") return ErrorMode::Raise;
    if (mode == "skip") return ErrorMode::Skip;
    throw py::value_error("errors must be 'keep', 'raise' or 'skip', not '" + mode + "'");
}

std::string item_failure(const Item &item) {
    switch (item.failure) {
    case Failure::Codec: return failure_text(item.error, item.mode, item.length);
    case Failure::Open: return system_failure("cannot be opened", item.error);
    case Failure::Read: return system_failure("cannot be read", item.error);
    case Failure::TooLong:
        return "longer than " + std::to_string(kMaxLine) + " bytes, a message has at most " +
               std::to_string(VENTRAC_MESSAGE_MAX);
    case Failure::None: break;
    }
    return {};
}

// A str of `text`: UTF-8 where it is, each other byte as its Latin-1
// character (see to_str); ASCII, the usual case, is copied straight in.
py::object new_str(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return to_str(text);
    PyObject *s = PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127);
    if (s == nullptr) throw py::error_already_set();
    if (!text.empty()) std::memcpy(PyUnicode_DATA(s), text.data(), text.size());
    return py::reinterpret_steal<py::object>(s);
}

// A NumPy array of `n` Python objects (each None until set).
py::array object_array(std::size_t n) {
    return py::array(py::dtype("O"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(n)},
                     nullptr);
}

PyObject **object_data(py::array &a) { return static_cast<PyObject **>(a.mutable_data()); }

// Puts `value` in a slot of an object array, releasing what the slot held.
void set_object(PyObject *&slot, py::object value) {
    PyObject *old = slot;
    slot = value.release().ptr();
    Py_XDECREF(old);
}

// Hands a vector's storage to NumPy without a copy.
template <class T>
py::array_t<T> to_array(std::vector<T> &&v) {
    auto owned = std::make_unique<std::vector<T>>(std::move(v));
    py::capsule free_it(owned.get(), [](void *p) { delete static_cast<std::vector<T> *>(p); });
    const std::vector<T> *kept = owned.release();  // the capsule frees it now
    return py::array_t<T>(static_cast<py::ssize_t>(kept->size()), kept->data(), free_it);
}

// Reads, decodes and lays out the messages of a list of files, a batch at
// a time (see ventrac.read and ventrac.iter_read).
class Reader {
public:
    Reader(py::object pilot, const std::vector<py::object> &paths, bool lines, py::object columns,
           bool raw, long jobs, py::handle data_types, const std::string &errors_mode)
        : pilot_object_(std::move(pilot)),
          pilot_(pilot_object_.cast<const Pilot &>()),
          lines_(lines),
          raw_(raw),
          errors_(error_mode(errors_mode)),
          types_(data_types_from(data_types)) {
        py::module_ os = py::module_::import("os");
        for (const py::object &p : paths) {
            sources_.push_back(path_bytes(p));
            names_.push_back(os.attr("fsdecode")(p));
            // The name as UTF-8, when it has no character UTF-8 cannot carry.
            Py_ssize_t size = 0;
            const char *utf8 = PyUnicode_AsUTF8AndSize(names_.back().ptr(), &size);
            if (utf8 == nullptr) PyErr_Clear();
            names_utf8_.push_back(utf8 != nullptr ? std::optional<std::string>(std::string(
                                                        utf8, static_cast<std::size_t>(size)))
                                                  : std::nullopt);
        }
        if (!columns.is_none()) {
            if (PyUnicode_Check(columns.ptr()))
                throw py::type_error("columns must be a list of names, not a str");
            const std::vector<BaseName> bases = pilot_names(pilot_);
            selected_ = true;
            for (py::handle c : py::iter(columns)) {
                if (!PyUnicode_Check(c.ptr()))
                    throw py::type_error("columns holds names (str), not " +
                                         std::string(py::str(py::type::of(c).attr("__name__"))));
                const std::string name = c.cast<std::string>();
                if (!decodable(name, bases))
                    throw py::key_error(
                        "no operating mode of the pilot file has an element named '" + name + "'");
                if (column_ids_.count(name) == 0) {
                    column_ids_.emplace(name, static_cast<std::int32_t>(column_names_.size()));
                    column_names_.push_back(name);
                }
            }
        }
        const unsigned threads = thread_count(jobs, std::numeric_limits<std::size_t>::max());
        workers_.reserve(threads);
        for (unsigned t = 0; t < threads; ++t) workers_.push_back(std::make_unique<Worker>());
        resolved_.resize(threads);
        placed_.resize(threads);
    }

    // The next batch of at most `limit` rows (0: no limit), as a tuple
    // (start, names, matrix, file, identifier, mode, mode_known, data_type,
    // data_type_known, error); None when the input is over and, unless
    // `always`, no row is left.
    py::object next_batch(std::size_t limit, bool always) {
        std::unique_lock<std::mutex> busy(mutex_, std::try_to_lock);
        if (!busy.owns_lock()) throw std::runtime_error("this reader is in use by another thread");
        if (limit == 0) limit = std::numeric_limits<std::size_t>::max();
        Batch batch;
        ++batch_number_;
        for (auto &w : workers_) w->values.clear();
        batch.start = rows_done_;
        batch.column_of.assign(column_names_.size(), -1);
        if (selected_)
            for (std::size_t g = 0; g < column_names_.size(); ++g)
                batch.add_column(static_cast<std::int32_t>(g));
        std::optional<Item> failed;
        {
            py::gil_scoped_release unlocked;
            while (batch.rows < limit && !failed) {
                if (!gather(std::min(kChunk, limit - batch.rows))) break;
                decode_chunk();
                failed = lay_out(batch);
            }
        }
        if (failed) raise_failure(*failed);
        if (batch.rows == 0 && !always && exhausted()) return py::none();
        rows_done_ += batch.rows;
        return batch_tuple(batch);
    }

private:
    // Where the values of a row are: none for a failed message.
    struct Values {
        static constexpr std::uint32_t kNone = 0xFFFFFFFF;
        std::uint32_t worker = 0, layout = kNone;
        std::size_t at = 0;
    };

    // The columns and rows of one batch. The values stay in the workers'
    // buffers until the batch is handed over: they are laid straight into
    // the frame's array then.
    struct Batch {
        std::size_t start = 0, rows = 0;
        std::vector<std::int32_t> column_of;  // column id -> its place in the batch, or -1
        std::vector<std::int32_t> ids;        // the batch's columns: their ids, in order
        std::vector<Values> values;           // of each row, in the workers' buffers
        std::vector<std::size_t> source;
        std::vector<long> line;
        std::vector<std::string> identifier;
        std::vector<std::int64_t> mode, data_type;
        std::vector<bool> mode_known, decoded;
        std::vector<std::pair<std::size_t, std::string>> failures;  // row, why

        void add_column(std::int32_t id) {
            if (static_cast<std::size_t>(id) >= column_of.size())
                column_of.resize(static_cast<std::size_t>(id) + 1, -1);
            column_of[static_cast<std::size_t>(id)] = static_cast<std::int32_t>(ids.size());
            ids.push_back(id);
        }
    };

    bool exhausted() const { return next_source_ >= sources_.size() && !file_.is_open(); }

    // Takes up to `want` messages of the input into the chunk; false when
    // the input is over.
    bool gather(std::size_t want) {
        items_.clear();
        text_.clear();
        if (!lines_) {
            while (items_.size() < want && next_source_ < sources_.size()) {
                Item item;
                item.source = next_source_++;
                items_.push_back(std::move(item));
            }
            return !items_.empty();
        }
        while (items_.size() < want) {
            if (!file_.is_open()) {
                if (next_source_ >= sources_.size()) break;
                current_ = next_source_++;
                if (const int error = file_.open(sources_[current_]); error != 0) {
                    Item item;
                    item.source = current_;
                    item.failure = Failure::Open;
                    item.error = error;
                    items_.push_back(std::move(item));
                }
                continue;
            }
            Item item;
            item.source = current_;
            item.offset = text_.size();
            const LineFile::Next next = file_.next(text_, item.line);
            if (next == LineFile::Next::End) {
                if (file_.error() != 0) {
                    item.failure = Failure::Read;
                    item.error = file_.error();
                    item.line = 0;
                    items_.push_back(std::move(item));
                }
                file_.close();
                continue;
            }
            item.length = text_.size() - item.offset;
            if (next == LineFile::Next::TooLong) item.failure = Failure::TooLong;
            items_.push_back(std::move(item));
        }
        return !items_.empty();
    }

    // Decodes the chunk's messages on the workers' threads.
    void decode_chunk() {
        const std::size_t count = items_.size();
        const std::size_t threads = std::min(workers_.size(), (count + kGrain - 1) / kGrain);
        std::atomic<std::size_t> next{0};
        std::atomic<bool> stop{false};
        std::exception_ptr failure;
        std::mutex failure_mutex;
        auto work = [&](unsigned t) {
            try {
                Worker &w = *workers_[t];
                while (!stop.load(std::memory_order_relaxed)) {
                    const std::size_t first = next.fetch_add(kGrain);
                    if (first >= count) break;
                    const std::size_t last = std::min(count, first + kGrain);
                    for (std::size_t i = first; i < last; ++i) decode_item(w, t, items_[i]);
                }
            } catch (...) {
                std::lock_guard<std::mutex> lock(failure_mutex);
                if (!failure) failure = std::current_exception();
                stop = true;
            }
        };
        std::vector<std::thread> started;
        try {
            for (unsigned t = 1; t < threads; ++t) started.emplace_back(work, t);
        } catch (...) {
            // No more threads: those running, and this one, do the work.
        }
        work(0);
        for (std::thread &t : started) t.join();
        if (failure) std::rethrow_exception(failure);
    }

    void decode_item(Worker &w, unsigned t, Item &item) {
        if (item.failure != Failure::None) return;
        if (w.ctx == nullptr) {
            // Made on first use: a context holds a table of 1024 entries,
            // and a small input uses few of the threads asked for.
            w.ctx = ventrac_dctx_create();
            if (w.ctx == nullptr) throw std::bad_alloc();
            ventrac_dctx_set_datatypes(w.ctx, types_ ? &*types_ : nullptr);
        }
        std::string_view text;
        if (lines_) {
            text = std::string_view(text_).substr(item.offset, item.length);
        } else {
            bool opened = false;
            if (const int error = read_whole(sources_[item.source], w.content, opened);
                error != 0) {
                item.failure = opened ? Failure::Read : Failure::Open;
                item.error = error;
                return;
            }
            text = w.content;
            item.length = text.size();
        }
        const int count = ventrac_decode_text(w.ctx, pilot_.get(), text.data(), text.size());
        if (count == -VENTRAC_ERR_MEMORY) throw std::bad_alloc();
        if (count == -VENTRAC_ERR_ARGUMENT)
            throw std::logic_error("the decoder refused its arguments");
        item.identifier = ventrac_dctx_identifier(w.ctx);
        item.mode = ventrac_dctx_mode(w.ctx);
        if (count < 0) {
            item.failure = Failure::Codec;
            item.error = -count;
            item.mode_known = item.error != VENTRAC_ERR_SHORT_TEXT;
            return;
        }
        item.mode_known = true;
        item.data_type = ventrac_dctx_type_code(w.ctx);
        // The layout's key: the names follow from the mode's element table
        // and the delayed replication counts the walk read.
        const int factors = ventrac_dctx_factors(w.ctx, nullptr, nullptr, nullptr, 0);
        const auto n = static_cast<std::size_t>(std::max(factors, 0));
        w.kinds.resize(n);
        w.counts.resize(n);
        w.entries.resize(n);
        ventrac_dctx_factors(w.ctx, w.kinds.data(), w.counts.data(), w.entries.data(), factors);
        w.key.clear();
        const int head[2] = {item.mode, count};
        w.key.append(reinterpret_cast<const char *>(head), sizeof head);
        w.key.append(w.kinds.data(), n);
        w.key.append(reinterpret_cast<const char *>(w.counts.data()), n * sizeof(int));
        w.key.append(reinterpret_cast<const char *>(w.entries.data()), n * sizeof(int));
        auto [at, added] =
            w.layout_ids.try_emplace(w.key, static_cast<std::uint32_t>(w.layouts.size()));
        if (added) {
            std::vector<std::string> names(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i)
                names[static_cast<std::size_t>(i)] =
                    field(ventrac_dctx_element(w.ctx, i)->spec.name);
            w.layouts.push_back(std::move(names));
        }
        item.worker = t;
        item.layout = at->second;
        item.values = w.values.size();
        for (int i = 0; i < count; ++i) {
            const ventrac_decoded_element &d = *ventrac_dctx_element(w.ctx, i);
            w.values.push_back(d.valid != 0 ? (raw_ ? d.value : d.conv_value) : kNaN);
        }
    }

    // The column ids of a worker's layout, its names given ids on first use
    // (-1 for a name that columns= leaves out). A name met again in the
    // same message is named NAME.1, NAME.2, ...
    const std::vector<std::int32_t> &column_ids(unsigned worker, std::uint32_t layout) {
        std::vector<std::vector<std::int32_t>> &done = resolved_[worker];
        if (layout < done.size() && !done[layout].empty()) return done[layout];
        if (layout >= done.size()) done.resize(layout + 1);
        const std::vector<std::string> &names = workers_[worker]->layouts[layout];
        std::vector<std::int32_t> ids;
        ids.reserve(names.size() + 1);
        std::unordered_map<std::string, int> seen;
        for (const std::string &base : names) {
            const int repeat = seen[base]++;
            const std::string name = repeat == 0 ? base : base + "." + std::to_string(repeat);
            auto found = column_ids_.find(name);
            if (found != column_ids_.end()) {
                ids.push_back(found->second);
            } else if (selected_) {
                ids.push_back(-1);
            } else {
                const auto id = static_cast<std::int32_t>(column_names_.size());
                column_ids_.emplace(name, id);
                column_names_.push_back(name);
                ids.push_back(id);
            }
        }
        // A layout of no element still counts as resolved.
        ids.push_back(-1);
        done[layout] = std::move(ids);
        return done[layout];
    }

    // Lays the chunk's messages into the batch's rows, in input order;
    // returns the first failure when errors='raise'.
    std::optional<Item> lay_out(Batch &b) {
        for (Item &item : items_) {
            const std::size_t index = messages_done_++;
            if (item.failure != Failure::None) {
                if (errors_ == ErrorMode::Raise) {
                    failed_index_ = index;
                    return std::move(item);
                }
                if (errors_ == ErrorMode::Skip) continue;
            }
            const std::size_t row = b.rows++;
            b.source.push_back(item.source);
            b.line.push_back(item.line);
            b.identifier.push_back(std::move(item.identifier));
            b.mode.push_back(item.mode);
            b.mode_known.push_back(item.mode_known);
            b.data_type.push_back(item.data_type);
            b.decoded.push_back(item.failure == Failure::None);
            if (item.failure != Failure::None) {
                b.failures.emplace_back(row, item_failure(item));
                b.values.emplace_back();
                continue;
            }
            b.values.push_back(Values{item.worker, item.layout, item.values});
            // The layout's columns get their places in the batch the first
            // time it appears there.
            const std::vector<std::int32_t> &ids = column_ids(item.worker, item.layout);
            std::vector<std::uint64_t> &placed = placed_[item.worker];
            if (placed.size() <= item.layout) placed.resize(item.layout + 1, 0);
            if (placed[item.layout] == batch_number_) continue;
            placed[item.layout] = batch_number_;
            for (std::int32_t id : ids) {
                if (id < 0) continue;
                if (static_cast<std::size_t>(id) >= b.column_of.size() ||
                    b.column_of[static_cast<std::size_t>(id)] < 0)
                    b.add_column(id);
            }
        }
        return std::nullopt;
    }

    // Writes rows first .. last - 1 of the batch into `out`, the batch's
    // columns one after the other, NaN where a row has no value.
    void fill_rows(const Batch &b, double *out, std::size_t first, std::size_t last) const {
        const std::size_t n = b.rows;
        for (std::size_t c = 0; c < b.ids.size(); ++c)
            std::fill(out + c * n + first, out + c * n + last, kNaN);
        for (std::size_t r = first; r < last; ++r) {
            const Values &v = b.values[r];
            if (v.layout == Values::kNone) continue;
            const std::vector<std::int32_t> &ids = resolved_[v.worker][v.layout];
            const double *values = workers_[v.worker]->values.data() + v.at;
            for (std::size_t k = 0; k + 1 < ids.size(); ++k) {
                const std::int32_t id = ids[k];
                if (id < 0) continue;
                out[static_cast<std::size_t>(b.column_of[static_cast<std::size_t>(id)]) * n + r] =
                    values[k];
            }
        }
    }

    // The file column of a message: its file's name, or FILE:LINE. `text`
    // is working storage.
    py::object file_name(std::size_t source, long line, std::string &text) const {
        const py::object &name = names_[source];
        if (line == 0) return name;
        const std::optional<std::string> &utf8 = names_utf8_[source];
        if (!utf8)
            return py::reinterpret_steal<py::object>(
                PyUnicode_FromFormat("%U:%ld", name.ptr(), line));
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, line).ptr;
        text.assign(*utf8).append(1, ':').append(digits, end);
        return new_str(text);
    }

    [[noreturn]] void raise_failure(const Item &item) {
        std::string text;
        const py::object source = file_name(item.source, item.line, text);
        if (item.failure == Failure::Open || item.failure == Failure::Read) {
            py::object e = py::reinterpret_borrow<py::object>(PyExc_OSError)(
                item.error, py::module_::import("os").attr("strerror")(item.error), source);
            PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(e.ptr())), e.ptr());
            throw py::error_already_set();
        }
        if (item.failure == Failure::TooLong)
            throw py::value_error(std::string(py::str(source)) + ": " + item_failure(item));
        py::object mode = item.mode_known ? py::object(py::int_(item.mode))
                                          : py::object(py::none());
        raise(errors().decode, item_failure(item), item.error, mode, failed_index_, source);
    }

    py::tuple batch_tuple(Batch &b) {
        const std::size_t n = b.rows, width = b.ids.size();
        py::list names(width);
        for (std::size_t c = 0; c < width; ++c)
            PyList_SET_ITEM(
                names.ptr(), static_cast<py::ssize_t>(c),
                to_str(column_names_[static_cast<std::size_t>(b.ids[c])]).release().ptr());
        py::array_t<double> matrix({static_cast<py::ssize_t>(width), static_cast<py::ssize_t>(n)});
        {
            double *out = matrix.mutable_data();
            py::gil_scoped_release unlocked;
            // Blocks of rows, on as many threads as decode.
            constexpr std::size_t kRows = 8192;
            std::atomic<std::size_t> next{0};
            auto work = [&] {
                for (std::size_t first; (first = next.fetch_add(kRows)) < n;)
                    fill_rows(b, out, first, std::min(n, first + kRows));
            };
            std::vector<std::thread> started;
            try {
                for (std::size_t t = 1; t < std::min(workers_.size(), (n + kRows - 1) / kRows); ++t)
                    started.emplace_back(work);
            } catch (...) {
                // No more threads: those running, and this one, do the rows.
            }
            work();
            for (std::thread &t : started) t.join();
        }
        py::array files = object_array(n), identifiers = object_array(n),
                  failures = object_array(n);
        PyObject **file_out = object_data(files), **id_out = object_data(identifiers);
        PyObject **why_out = object_data(failures);
        const py::str empty("");
        auto f = b.failures.begin();
        std::string text;
        for (std::size_t r = 0; r < n; ++r) {
            set_object(file_out[r], file_name(b.source[r], b.line[r], text));
            set_object(id_out[r], new_str(b.identifier[r]));
            py::object why = empty;
            if (f != b.failures.end() && f->first == r) why = to_str((f++)->second);
            set_object(why_out[r], why);
        }
        std::vector<bool> type_known = b.decoded;
        auto mask = [](const std::vector<bool> &known) {
            py::array_t<bool> a(static_cast<py::ssize_t>(known.size()));
            bool *out = a.mutable_data();
            for (std::size_t i = 0; i < known.size(); ++i) out[i] = !known[i];
            return a;
        };
        return py::make_tuple(b.start, names, matrix, files, identifiers,
                              to_array(std::move(b.mode)), mask(b.mode_known),
                              to_array(std::move(b.data_type)), mask(type_known), failures);
    }

    py::object pilot_object_;
    const Pilot &pilot_;
    const bool lines_, raw_;
    const ErrorMode errors_;
    const std::optional<ventrac_datatype_entry> types_;
    std::vector<std::string> sources_;  // file names as the system takes them
    std::vector<py::object> names_;     // and as str, for the file column
    std::vector<std::optional<std::string>> names_utf8_;

    bool selected_ = false;  // columns= was given: only those columns, in that order
    std::unordered_map<std::string, std::int32_t> column_ids_;
    std::vector<std::string> column_names_;

    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<std::vector<std::vector<std::int32_t>>> resolved_;  // worker, layout -> column ids
    std::vector<std::vector<std::uint64_t>>
        placed_;  // worker, layout -> the batch that placed its columns
    std::uint64_t batch_number_ = 0;

    std::size_t next_source_ = 0, current_ = 0;
    LineFile file_;
    std::vector<Item> items_;
    std::string text_;
    std::size_t messages_done_ = 0, rows_done_ = 0, failed_index_ = 0;
    std::mutex mutex_;
};

constexpr const char *kReaderDoc =
    R"(_Reader(pilot, paths, lines, columns, raw, jobs, data_types, errors)

The engine of ventrac.read and ventrac.iter_read; use those.)";

}  // namespace

void bind_table(py::module_ &m) {
    py::class_<Reader>(m, "_Reader", kReaderDoc)
        .def(py::init([](py::object pilot, py::handle paths, bool lines, py::object columns,
                         bool raw, long jobs, py::handle data_types,
                         const std::string &errors_mode) {
                 if (!py::isinstance<Pilot>(pilot))
                     throw py::type_error("pilot must be a ventrac.Pilot");
                 std::vector<py::object> list;
                 for (py::handle p : py::iter(paths))
                     list.push_back(py::reinterpret_borrow<py::object>(p));
                 return std::make_unique<Reader>(std::move(pilot), list, lines, std::move(columns),
                                                 raw, jobs, data_types, errors_mode);
             }),
             py::arg("pilot"), py::arg("paths"), py::arg("lines"), py::arg("columns"),
             py::arg("raw"), py::arg("jobs"), py::arg("data_types"), py::arg("errors"))
        .def("next_batch", &Reader::next_batch, py::arg("limit"), py::arg("always") = false);
}

}  // namespace ventrac::python
