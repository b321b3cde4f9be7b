// SPDX-License-Identifier: Apache-2.0
#include "front/outfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "front/platform.h"

namespace ventrac::front {

namespace {

std::string system_reason(int error) {
    return error != 0 ? std::strerror(error) : "erreur d'entree-sortie";
}

// Creates a temporary file beside `path` that did not exist before, so that
// no other file is ever overwritten by it.
std::FILE *create_temporary(const std::string &path, std::string &temp_path, int &error) {
    std::random_device seed;
    std::mt19937 draw(seed());
    error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_path = path + ".tmp" + std::to_string(draw() % 1000000u);
        errno = 0;
        std::FILE *file = create_new_binary_file(temp_path);
        if (file != nullptr) return file;
        error = errno;
        if (error != EEXIST) break;
    }
    return nullptr;
}

bool replace(const std::string &temp_path, const std::string &path, int &error) {
    errno = 0;
    if (std::rename(temp_path.c_str(), path.c_str()) == 0) return true;
    error = errno;
#ifdef _WIN32
    // Windows refuses to rename onto an existing file.
    if (std::remove(path.c_str()) == 0 && std::rename(temp_path.c_str(), path.c_str()) == 0)
        return true;
    error = errno;
#endif
    return false;
}

}  // namespace

bool write_file_replacing(const std::string &path, const char *data, std::size_t size,
                          std::string &reason) {
    std::string temp_path;
    int error = 0;
    std::FILE *file = create_temporary(path, temp_path, error);
    if (file == nullptr) {
        reason = system_reason(error);
        return false;
    }
    errno = 0;
    bool ok = std::fwrite(data, 1, size, file) == size;
    ok = std::fflush(file) == 0 && ok;
    if (!ok) error = errno;
    errno = 0;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && replace(temp_path, path, error)) return true;
    std::remove(temp_path.c_str());
    reason = system_reason(error);
    return false;
}

}  // namespace ventrac::front
