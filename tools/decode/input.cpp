// SPDX-License-Identifier: Apache-2.0
#include "input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <climits>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define VENTRAC_READ_AVAILABLE 1
#elif defined(_WIN32)
#include <io.h>
#include <stdio.h>
#define VENTRAC_READ_AVAILABLE 1
#endif

namespace ventrac::decode {

namespace {

// First size tried for a whole file: every message fits (7 + 1366
// characters at most).
constexpr std::size_t kFirstRead = 2048;

#ifdef VENTRAC_READ_AVAILABLE
// One read of the descriptor: what has arrived, up to `size` bytes, at
// least one unless at the end; -1 with errno on failure.
int descriptor_of(std::FILE *file) {
#ifdef _WIN32
    return _fileno(file);
#else
    return fileno(file);
#endif
}

long long read_descriptor(int descriptor, char *data, std::size_t size) {
#ifdef _WIN32
    return _read(descriptor, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
#else
    return ::read(descriptor, data, size);
#endif
}
#endif

bool blank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

std::string input_failure(const char *what, int error) {
    std::string text = what;
    if (error != 0) text += std::string(" (") + std::strerror(error) + ")";
    return text;
}

std::size_t read_available(std::FILE *file, char *data, std::size_t size, bool &failed,
                           int &error) {
    failed = false;
    error = 0;
#ifdef VENTRAC_READ_AVAILABLE
    // The descriptor is read, not the stream, so that nothing waits in a
    // stdio buffer; a stream without one (in memory) is read as a stream.
    if (const int descriptor = descriptor_of(file); descriptor >= 0) {
        for (;;) {
            const long long n = read_descriptor(descriptor, data, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno == EINTR) continue;
            failed = true;
            error = errno;
            return 0;
        }
    }
#endif
    errno = 0;
    const std::size_t n = std::fread(data, 1, size, file);
    if (n < size && std::ferror(file) != 0) {
        failed = true;
        error = errno;
    }
    return n;
}

std::string read_whole(const std::string &path, std::string &content) {
    content.clear();
    errno = 0;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return input_failure("cannot be opened", errno);
    // Unbuffered: the bytes go straight into `content`, and the file's size
    // is not asked for first.
    std::setvbuf(file, nullptr, _IONBF, 0);
    content.resize(std::max(content.capacity(), kFirstRead));
    std::size_t length = 0;
    errno = 0;
    for (;;) {
        length += std::fread(content.data() + length, 1, content.size() - length, file);
        if (length < content.size()) break;
        content.resize(2 * content.size());
    }
    const int error = std::ferror(file) != 0 ? errno : 0;
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    content.resize(length);
    if (failed) return input_failure("cannot be read", error);
    return {};
}

LineReader::LineReader(const std::string &name) {
    if (name == "-") {
        file_ = stdin;
    } else {
        errno = 0;
        file_ = std::fopen(name.c_str(), "rb");
        if (file_ == nullptr) {
            failure_ = input_failure("cannot be opened", errno);
            return;
        }
        owned_ = true;
        std::setvbuf(file_, nullptr, _IONBF, 0);
    }
    block_.resize(kBlock);
}

LineReader::~LineReader() {
    if (owned_) std::fclose(file_);
}

bool LineReader::fill() {
    if (at_end_ || file_ == nullptr) return false;
    begin_ = 0;
    bool failed = false;
    int error = 0;
    end_ = read_available(file_, block_.data(), block_.size(), failed, error);
    short_read_ = end_ < block_.size();
    if (end_ == 0) {
        at_end_ = true;
        if (failed) failure_ = input_failure("cannot be read", error);
    }
    return end_ != 0;
}

bool LineReader::would_wait() const {
    return short_read_ && !at_end_ &&
           std::memchr(block_.data() + begin_, '\n', end_ - begin_) == nullptr;
}

bool LineReader::next(std::string_view &line, long &number, bool &too_long, bool unless_waiting) {
    waiting_ = false;
    for (;;) {
        if (unless_waiting && would_wait()) {
            waiting_ = true;
            return false;
        }
        // One line: from the block when it ends there, else gathered across
        // blocks into long_line_.
        long_line_.clear();
        std::size_t length = 0;  // of the whole line, kept or not
        bool found_end = false;
        std::string_view text;
        while (!found_end) {
            if (begin_ == end_ && !fill()) break;
            const char *start = block_.data() + begin_;
            const std::size_t available = end_ - begin_;
            const void *feed = std::memchr(start, '\n', available);
            const std::size_t take =
                feed != nullptr ? static_cast<std::size_t>(static_cast<const char *>(feed) - start)
                                : available;
            found_end = feed != nullptr;
            if (found_end && length == 0) {
                text = std::string_view(start, take);  // the usual case: no copy
            } else {
                const std::size_t room = length < kMaxLine + 1 ? kMaxLine + 1 - length : 0;
                long_line_.append(start, std::min(take, room));
                text = long_line_;
            }
            length += take;
            begin_ += take + (found_end ? 1 : 0);
        }
        if (!found_end && length == 0) return false;  // end of input (or a failure)
        ++number_;
        // The carriage return of a CR LF end of line.
        if (!text.empty() && text.back() == '\r' && length <= kMaxLine + 1) {
            text.remove_suffix(1);
            --length;
        }
        too_long = length > kMaxLine;
        if (too_long) text = {};
        if (!too_long && blank(text)) continue;
        line = text;
        number = number_;
        return true;
    }
}

}  // namespace ventrac::decode
