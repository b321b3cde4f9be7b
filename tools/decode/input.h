// Reading the messages: whole files, or the lines of files and of standard
// input, streamed a block at a time.
#ifndef VENTRAC_DECODE_INPUT_H
#define VENTRAC_DECODE_INPUT_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace ventrac::decode {

// Why a file could not be opened or read, with the system's reason, e.g.
// "cannot be opened (No such file or directory)".
std::string input_failure(const char *what, int error);

// Reads the file `path` whole into `content` (replaced; its storage is
// reused from call to call). Returns an empty text, or why it could not be
// read.
std::string read_whole(const std::string &path, std::string &content);

// The lines of one file, or of standard input for "-", read a block at a
// time: only the current line and one block are held, whatever the size of
// the input.
class LineReader {
public:
    // Lines longer than this are not kept (a message has at most 1373
    // characters): next() reports them with `too_long`.
    static constexpr std::size_t kMaxLine = 1 << 20;
    // Bytes read at a time.
    static constexpr std::size_t kBlock = 256 * 1024;

    explicit LineReader(const std::string &name);
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // Empty, or why the input cannot be opened.
    const std::string &failure() const { return failure_; }

    // The next line that is not blank (blanks and tabs only): its text
    // without the line feed, and without the carriage return before it,
    // valid until the next call; its number, counted from 1 over every line.
    // `too_long` is set when the line was longer than kMaxLine (its text is
    // then empty). Returns false at the end of the input, or when reading
    // fails: then failure() says why.
    bool next(std::string_view &line, long &number, bool &too_long);

private:
    bool fill();  // reads the next block; false at the end or on an error

    std::FILE *file_ = nullptr;
    bool owned_ = false;
    std::string failure_;
    std::vector<char> block_;
    std::size_t begin_ = 0, end_ = 0;  // unread bytes of block_
    bool at_end_ = false;
    long number_ = 0;
    std::string long_line_;  // a line that spans blocks
};

}  // namespace ventrac::decode

#endif
