// SPDX-License-Identifier: Apache-2.0
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "binding.h"
#include "codec/errors.h"

namespace ventrac::python {

namespace {

// Decoder contexts kept from call to call: a context holds the decoded
// table of 1024 entries, too much to make for every message. A thread takes
// one for the length of its work and hands it back.
class ContextPool {
public:
    ~ContextPool() {
        for (ventrac_dctx *c : free_) ventrac_dctx_free(c);
    }

    ventrac_dctx *take() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                ventrac_dctx *c = free_.back();
                free_.pop_back();
                return c;
            }
        }
        ventrac_dctx *c = ventrac_dctx_create();
        if (c == nullptr) throw std::bad_alloc();
        return c;
    }

    void give_back(ventrac_dctx *c) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (free_.size() < kKept) {
            free_.push_back(c);
            return;
        }
        ventrac_dctx_free(c);
    }

private:
    static constexpr std::size_t kKept = 64;
    std::mutex mutex_;
    std::vector<ventrac_dctx *> free_;
};

ContextPool g_contexts;

// A context taken from the pool for one thread's work, with the call's
// data-type codes.
class Context {
public:
    explicit Context(const std::optional<ventrac_datatype_entry> &types) : ctx_(g_contexts.take()) {
        ventrac_dctx_set_datatypes(ctx_, types ? &*types : nullptr);
    }
    ~Context() { g_contexts.give_back(ctx_); }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;
    ventrac_dctx *get() const { return ctx_; }

private:
    ventrac_dctx *ctx_;
};

// Decodes one transmitted text with `ctx` and copies the result out.
DecodeOutcome decode_text(ventrac_dctx *ctx, const ventrac_pilot *pilot, std::string_view text) {
    DecodeOutcome out;
    const int count = ventrac_decode_text(ctx, pilot, text.data(), text.size());
    if (count == -VENTRAC_ERR_MEMORY) throw std::bad_alloc();
    if (count == -VENTRAC_ERR_ARGUMENT) throw std::logic_error("the decoder refused its arguments");
    if (count < 0) {
        out.error = -count;
        if (out.error != VENTRAC_ERR_SHORT_TEXT) out.mode = ventrac_dctx_mode(ctx);
        out.message = failure_text(out.error, out.mode.value_or(0), text.size());
        return out;
    }
    auto obs = std::make_shared<ObservationData>();
    obs->identifier = ventrac_dctx_identifier(ctx);
    obs->mode = ventrac_dctx_mode(ctx);
    obs->data_type = ventrac_dctx_type_code(ctx);
    obs->elements.resize(static_cast<std::size_t>(count));
    // The texts of every element, in one block sized beforehand.
    thread_local std::vector<std::array<std::string_view, 7>> views;
    views.resize(static_cast<std::size_t>(count));
    std::size_t size = 0;
    for (int i = 0; i < count; ++i) {
        const ventrac_decoded_element &d = *ventrac_dctx_element(ctx, i);
        auto &v = views[static_cast<std::size_t>(i)];
        v = {field(d.ident),       field(d.spec.code),         field(d.spec.name),
             field(d.spec.unit),   trim_blanks(field(d.text)), trim_blanks(field(d.conv_text)),
             field(d.spec.comment)};
        for (std::string_view t : v) size += t.size();
    }
    obs->texts.resize(size);
    char *out_text = obs->texts.data();
    for (int i = 0; i < count; ++i) {
        const ventrac_decoded_element &d = *ventrac_dctx_element(ctx, i);
        ElementData &e = obs->elements[static_cast<std::size_t>(i)];
        const auto &v = views[static_cast<std::size_t>(i)];
        TextRef *refs[] = {&e.ident, &e.code, &e.name, &e.unit, &e.text, &e.conv_text, &e.comment};
        for (std::size_t k = 0; k < v.size(); ++k) {
            *refs[k] = TextRef{static_cast<std::uint32_t>(out_text - obs->texts.data()),
                               static_cast<std::uint32_t>(v[k].size())};
            if (!v[k].empty()) std::memcpy(out_text, v[k].data(), v[k].size());
            out_text += v[k].size();
        }
        e.value = d.value;
        e.conv_value = d.conv_value;
        e.valid = d.valid != 0;
        e.missing = ventrac_dctx_status(ctx, i) == VENTRAC_STATUS_MISSING;
        e.flag = d.spec.flag != 0;
    }
    out.observation = std::move(obs);
    return out;
}

// Reads a file whole, as ventrac-decode does; false with errno's value in
// `error` when it cannot be opened or read.
bool read_file(const std::string &path, std::string &content, int &error) {
    errno = 0;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    content.clear();
    char block[65536];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) content.append(block, n);
    const bool failed = std::ferror(f) != 0;
    error = failed ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(f);
    return !failed;
}

// Runs work(ctx, i) for every i below `count` on `jobs` threads, each with a
// context of its own; the first exception a thread throws is rethrown here
// once every thread has stopped.
template <class Work>
void run(std::size_t count, unsigned jobs, const std::optional<ventrac_datatype_entry> &types,
         Work work) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::mutex failure_mutex;
    auto worker = [&] {
        try {
            Context ctx(types);
            while (!stop.load(std::memory_order_relaxed)) {
                const std::size_t i = next.fetch_add(1);
                if (i >= count) break;
                work(ctx.get(), i);
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(failure_mutex);
            if (!failure) failure = std::current_exception();
            stop = true;
        }
    };
    if (jobs <= 1) {
        worker();
    } else {
        std::vector<std::thread> threads;
        threads.reserve(jobs - 1);
        try {
            for (unsigned t = 1; t < jobs; ++t) threads.emplace_back(worker);
        } catch (...) {
            // No thread could be started: the ones running finish the list.
        }
        worker();
        for (std::thread &t : threads) t.join();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

// The error line of a refused message, naming its mode when it was read,
// and the length of a text too short to hold one.
std::string failure_text(int error, int mode, std::size_t length) {
    if (error == VENTRAC_ERR_SHORT_TEXT)
        return error_line(error) + " (" + std::to_string(length) + " bytes)";
    return error_line(error, mode);
}

unsigned thread_count(long jobs, std::size_t items) {
    if (jobs < 0)
        throw py::value_error("jobs must be 0 (every core) or more, not " + std::to_string(jobs));
    std::size_t n = static_cast<std::size_t>(jobs);
    if (n == 0) n = std::max(1u, std::thread::hardware_concurrency());
    n = std::min({n, std::max<std::size_t>(items, 1), std::size_t{1024}});
    return static_cast<unsigned>(n);
}

std::vector<DecodeOutcome> decode_messages(const Pilot &pilot,
                                           const std::vector<std::string> &messages,
                                           const std::optional<ventrac_datatype_entry> &types,
                                           unsigned jobs) {
    std::vector<DecodeOutcome> out(messages.size());
    run(messages.size(), jobs, types, [&](ventrac_dctx *ctx, std::size_t i) {
        out[i] = decode_text(ctx, pilot.get(), messages[i]);
    });
    return out;
}

std::vector<DecodeOutcome> decode_paths(const Pilot &pilot, const std::vector<std::string> &paths,
                                        const std::optional<ventrac_datatype_entry> &types,
                                        unsigned jobs) {
    std::vector<DecodeOutcome> out(paths.size());
    run(paths.size(), jobs, types, [&](ventrac_dctx *ctx, std::size_t i) {
        std::string content;
        int error = 0;
        if (!read_file(paths[i], content, error)) {
            out[i].system_error = error;
            return;
        }
        out[i] = decode_text(ctx, pilot.get(), content);
    });
    return out;
}

}  // namespace ventrac::python
