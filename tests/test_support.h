// SPDX-License-Identifier: Apache-2.0
// Helpers shared by the tests: temporary folders, files, captured trace and
// runs of the ventrac program.
#ifndef VENTRAC_TEST_SUPPORT_H
#define VENTRAC_TEST_SUPPORT_H

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace vt_test {

namespace fs = std::filesystem;

// A fresh folder, removed with its content when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const fs::path &path() const { return path_; }
    std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

void write_file(const std::string &path, const std::string &content);
std::string read_file(const std::string &path);

// `text` with CR LF line ends, as a Windows editor saves it.
std::string crlf(const std::string &text);

// Runs `body` with the library's trace sent to a temporary file and returns
// what it traced. The trace goes back to standard output afterwards.
std::string capture_trace(const std::function<void()> &body);

// Runs `body` and returns what it wrote to standard error.
std::string capture_stderr(const std::function<void()> &body);

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs the ventrac program with `args` (each passed as one argument) in the
// folder `dir`.
RunResult run_ventrac(const fs::path &dir, const std::string &args);

// Runs `program` with `args` in the folder `dir`.
RunResult run_program(const std::string &program, const fs::path &dir, const std::string &args);

// Whether the file descriptor `fd` is open.
bool descriptor_open(int fd);

// Quotes `s` for the shell (cmd.exe on Windows).
std::string quote(const std::string &s);

}  // namespace vt_test

#endif
