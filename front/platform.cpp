// SPDX-License-Identifier: Apache-2.0
#include "front/platform.h"

#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace ventrac::front {

std::FILE *create_new_binary_file(const std::string &path) {
#ifdef _WIN32
    // The C runtime Windows ships (msvcrt) does not know fopen's "x".
    const int fd =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE *file = _fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        _close(fd);
        std::remove(path.c_str());
        errno = error;
    }
    return file;
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

}  // namespace ventrac::front
