#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "pilot/pilot.h"

namespace vt_test {

TempDir::TempDir() {
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            fs::temp_directory_path() / ("ventrac_test_" + std::to_string(seed()));
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

namespace {
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
    const int saved = dup(fileno(stderr));
    dup2(fileno(sink), fileno(stderr));
    body();
    std::fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    return drain(sink);
}

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

RunResult run_ventrac(const fs::path &dir, const std::string &args) {
    return run_program(VENTRAC_EXE, dir, args);
}

RunResult run_program(const std::string &program, const fs::path &dir, const std::string &args) {
    TempDir capture;
    const std::string out = capture.file("out"), err = capture.file("err");
    const std::string command = "cd " + quote(dir.string()) + " && " + quote(program) + " " +
                                args + " >" + quote(out) + " 2>" + quote(err);
    const int raw = std::system(command.c_str());
    RunResult r;
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

}  // namespace vt_test
