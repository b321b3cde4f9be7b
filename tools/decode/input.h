// Reading the HPK files whole, ahead of the decoding, on a second thread.
#ifndef VENTRAC_DECODE_INPUT_H
#define VENTRAC_DECODE_INPUT_H

#include <cstddef>
#include <future>
#include <string>
#include <vector>

namespace ventrac::decode {

// A file read whole, or why it could not be.
struct InputFile {
    std::string content;
    const char *failure = nullptr;  // "cannot be opened" or "cannot be read"
    int error = 0;                  // the system's error number, 0 if none

    bool read() const { return failure == nullptr; }
    // The failure with the system's reason, e.g. "cannot be opened (No such
    // file or directory)". Call it from one thread only.
    std::string reason() const;
};

InputFile read_input(const std::string &path);

// Hands out the files of a list in order, having read them in batches on
// another thread while the caller works on the batch before.
class ReadAhead {
public:
    explicit ReadAhead(const std::vector<std::string> &files);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The next file of the list; valid until the following call.
    InputFile &next();

private:
    void start(std::size_t first);

    const std::vector<std::string> &files_;
    std::vector<InputFile> batch_;
    std::size_t position_ = 0;  // in batch_
    std::size_t next_first_ = 0;  // first file of the batch being read
    std::future<std::vector<InputFile>> pending_;
};

}  // namespace ventrac::decode

#endif
