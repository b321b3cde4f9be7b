// SPDX-License-Identifier: Apache-2.0
// Shared by the fuzz targets: a scratch folder, a sink that swallows the
// trace, and a reader that cuts the fuzz input into the pieces a target needs.
#ifndef VENTRAC_FUZZ_SUPPORT_H
#define VENTRAC_FUZZ_SUPPORT_H

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "pilot/pilot.h"

namespace vt_fuzz {

// Stops the process with `what` on standard error: libFuzzer and the replay
// driver both report the input that led there.
[[noreturn]] inline void fail(const std::string &what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

#define VT_FUZZ_CHECK(cond, what)           \
    do {                                    \
        if (!(cond)) ::vt_fuzz::fail(what); \
    } while (0)

// One scratch folder per process, removed at exit.
inline const std::string &scratch_dir() {
    static const std::string dir = [] {
        std::random_device seed;
        std::string pattern;
        for (int attempt = 0; pattern.empty() && attempt < 100; ++attempt) {
            const std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / ("ventrac_fuzz_" + std::to_string(seed()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) pattern = candidate.string();
        }
        if (pattern.empty()) fail("cannot create a scratch folder");
        static std::string remove_me;
        remove_me = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(remove_me, ignored);
        });
        return pattern;
    }();
    return dir;
}

inline std::string scratch_file(const std::string &name) { return scratch_dir() + "/" + name; }

inline void write_file(const std::string &path, std::string_view content) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) fail("cannot write " + path);
    const bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    if (std::fclose(f) != 0 || !ok) fail("cannot write " + path);
}

// The system's file that discards what is written and reads as empty.
inline const char *null_device() {
#ifdef _WIN32
    return "NUL";
#else
    return "/dev/null";
#endif
}

// Whether the file descriptor `fd` is open.
inline bool descriptor_open(int fd) {
#ifdef _WIN32
    return _get_osfhandle(fd) != -1;
#else
    return fcntl(fd, F_GETFD) != -1;
#endif
}

// A stream that discards what is written, so that traced text is still
// formatted (and checked by the sanitizers) but goes nowhere.
inline std::FILE *null_sink() {
    static std::FILE *sink = std::fopen(null_device(), "w");
    if (sink == nullptr) fail(std::string("cannot open ") + null_device());
    return sink;
}

// Clears the entries of the element table that loading `pilot` can have
// written, so that no input depends on the ones before it.
inline void clear_element_table(std::string_view pilot) {
    // A piece of a pilot file ends at a line feed or after 511 characters.
    std::size_t pieces = 1 + pilot.size() / 511;
    for (const char c : pilot) pieces += c == '\n';
    const std::size_t n = pieces < VENTRAC_MAX_ELEMENTS ? pieces : VENTRAC_MAX_ELEMENTS;
    std::memset(static_cast<void *>(specel), 0, n * sizeof specel[0]);
}

// Cuts the fuzz input into pieces, front to back; every piece is empty or
// zero once the bytes run out.
class Input {
public:
    Input(const std::uint8_t *data, std::size_t size)
        : rest_(reinterpret_cast<const char *>(data), size) {}

    std::uint8_t byte() {
        if (rest_.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    // Two bytes, little end first, as a signed number.
    std::int16_t int16() {
        const unsigned low = byte();
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | byte() << 8));
    }
    // The text up to the next `separator` (dropped) or the end.
    std::string_view until(char separator) {
        const std::size_t at = rest_.find(separator);
        const std::string_view piece = rest_.substr(0, at);
        rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + 1);
        return piece;
    }
    // At most `n` bytes.
    std::string_view take(std::size_t n) {
        const std::string_view piece = rest_.substr(0, n);
        rest_.remove_prefix(piece.size());
        return piece;
    }
    std::string_view rest() {
        const std::string_view piece = rest_;
        rest_ = {};
        return piece;
    }

private:
    std::string_view rest_;
};

}  // namespace vt_fuzz

#endif
