// SPDX-License-Identifier: Apache-2.0
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

// Reads into data[0, size) what `file` holds now, waiting only while it
// holds nothing: on a pipe or a terminal, a line that has come is handed over
// without waiting for a block to fill. Where the system offers no such read,
// a plain fread(). Returns the count of bytes read: 0 at the end of the input
// or on an error, when `failed` is set and `error` holds the system's reason
// (errno; 0 when none is known).
std::size_t read_available(std::FILE *file, char *data, std::size_t size, bool &failed, int &error);

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
    //
    // With `unless_waiting`, it also returns false, and waiting() true,
    // instead of waiting for input that has not come yet: the lines read so
    // far can then go out at once.
    bool next(std::string_view &line, long &number, bool &too_long, bool unless_waiting = false);

    // Whether the last next() stopped because the next line has not come
    // in whole yet.
    bool waiting() const { return waiting_; }

    // Whether reading on would wait: the last read took what the input then
    // held, short of a block, and no whole line is left of it.
    bool would_wait() const;

private:
    bool fill();  // reads the next block; false at the end or on an error

    std::FILE *file_ = nullptr;
    bool owned_ = false;
    std::string failure_;
    std::vector<char> block_;
    std::size_t begin_ = 0, end_ = 0;  // unread bytes of block_
    bool at_end_ = false;
    bool short_read_ = false;  // the last read filled less than the block
    bool waiting_ = false;
    long number_ = 0;
    std::string long_line_;  // a line that spans blocks
};

}  // namespace ventrac::decode

#endif
