// SPDX-License-Identifier: Apache-2.0
#include "test_support.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "pilot/pilot.h"

namespace vt_test {

TempDir::TempDir() {
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("ventrac_test_" + std::to_string(seed()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void write_file(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string crlf(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

namespace {

// Standard error's descriptor moved aside and back.
#ifdef _WIN32
int duplicate(int fd) { return _dup(fd); }
void duplicate_onto(int from, int to) { _dup2(from, to); }
void close_descriptor(int fd) { _close(fd); }
#else
int duplicate(int fd) { return dup(fd); }
void duplicate_onto(int from, int to) { dup2(from, to); }
void close_descriptor(int fd) { close(fd); }
#endif

std::string drain(std::FILE *file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    std::fclose(file);
    return text;
}
}  // namespace

std::string capture_trace(const std::function<void()> &body) {
    std::FILE *sink = std::tmpfile();
    if (sink == nullptr) throw std::runtime_error("tmpfile failed");
    ventrac_set_trace(sink);
    body();
    std::fflush(sink);
    ventrac_set_trace(stdout);
    return drain(sink);
}

std::string capture_stderr(const std::function<void()> &body) {
    std::FILE *sink = std::tmpfile();
    if (sink == nullptr) throw std::runtime_error("tmpfile failed");
    std::fflush(stderr);
    const int saved = duplicate(fileno(stderr));
    duplicate_onto(fileno(sink), fileno(stderr));
    body();
    std::fflush(stderr);
    duplicate_onto(saved, fileno(stderr));
    close_descriptor(saved);
    return drain(sink);
}

#ifdef _WIN32
bool descriptor_open(int fd) { return _get_osfhandle(fd) != -1; }
#else
bool descriptor_open(int fd) { return fcntl(fd, F_GETFD) != -1; }
#endif

#ifdef _WIN32
std::string lf_lines(const std::string &text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
    return lines;
}

// One argument as the C runtime reads a command line (in double quotes, a
// double quote written \" and the backslashes before one doubled), then
// every character cmd.exe would act on escaped with '^', so that cmd.exe
// passes it on as it is.
std::string quote(const std::string &s) {
    std::string q = "\"";
    std::size_t backslashes = 0;
    for (char c : s) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        q.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        q += c;
    }
    q.append(2 * backslashes, '\\');
    q += '"';
    std::string escaped;
    for (char c : q) {
        if (std::string_view("\"^&|<>()%!").find(c) != std::string_view::npos) escaped += '^';
        escaped += c;
    }
    return escaped;
}
#else
std::string quote(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}
#endif

RunResult run_ventrac(const fs::path &dir, const std::string &args) {
    return run_program(VENTRAC_EXE, dir, args);
}

RunResult run_program(const std::string &program, const fs::path &dir, const std::string &args) {
    TempDir capture;
    const std::string out = capture.file("out"), err = capture.file("err");
#ifdef _WIN32
    // cmd.exe: "cd /d" changes the drive too; system() gives the status.
    const std::string command = "cd /d " + quote(dir.string()) + " && " + quote(program) + " " +
                                args + " >" + quote(out) + " 2>" + quote(err);
    const int raw = std::system(command.c_str());
    RunResult r;
    r.status = raw;
    // The programs' text-mode output ends its lines with CR LF there; the
    // tests read it as the lines it holds.
    r.out = lf_lines(read_file(out));
    r.err = lf_lines(read_file(err));
    return r;
#else
    const std::string command = "cd " + quote(dir.string()) + " && " + quote(program) + " " + args +
                                " >" + quote(out) + " 2>" + quote(err);
    const int raw = std::system(command.c_str());
    RunResult r;
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
#endif
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

}  // namespace vt_test
