#include "input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ventrac::decode {

namespace {

// Files read per batch: enough to make the hand-over between the threads
// rare, few enough to start decoding soon.
constexpr std::size_t kBatch = 256;
// First size tried: every message fits (7 + 1366 characters at most).
constexpr std::size_t kFirstRead = 2048;

}  // namespace

std::string InputFile::reason() const {
    std::string text = failure != nullptr ? failure : "";
    if (error != 0) text += std::string(" (") + std::strerror(error) + ")";
    return text;
}

InputFile read_input(const std::string &path) {
    InputFile in;
    errno = 0;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        in.failure = "cannot be opened";
        in.error = errno;
        return in;
    }
    // Unbuffered: the bytes go straight into `content`, and the file's size
    // is not asked for first.
    std::setvbuf(file, nullptr, _IONBF, 0);
    in.content.resize(kFirstRead);
    std::size_t length = 0;
    errno = 0;
    for (;;) {
        length += std::fread(in.content.data() + length, 1, in.content.size() - length, file);
        if (length < in.content.size()) break;
        in.content.resize(2 * in.content.size());
    }
    if (std::ferror(file) != 0) {
        in.failure = "cannot be read";
        in.error = errno;
    }
    std::fclose(file);
    in.content.resize(length);
    return in;
}

ReadAhead::ReadAhead(const std::vector<std::string> &files) : files_(files) { start(0); }

ReadAhead::~ReadAhead() {
    if (pending_.valid()) pending_.wait();
}

void ReadAhead::start(std::size_t first) {
    next_first_ = first;
    if (first >= files_.size()) return;
    const std::size_t last = std::min(files_.size(), first + kBatch);
    // Deferred reading (in the caller's thread) when no thread can be had.
    pending_ = std::async(std::launch::async | std::launch::deferred, [this, first, last] {
        std::vector<InputFile> batch;
        batch.reserve(last - first);
        for (std::size_t i = first; i < last; ++i) batch.push_back(read_input(files_[i]));
        return batch;
    });
}

InputFile &ReadAhead::next() {
    if (position_ == batch_.size()) {
        batch_ = pending_.get();
        position_ = 0;
        start(next_first_ + batch_.size());
    }
    return batch_[position_++];
}

}  // namespace ventrac::decode
