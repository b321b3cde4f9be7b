// SPDX-License-Identifier: Apache-2.0
#include "front/datafile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace ventrac::front {

namespace {

bool read_whole_file(const std::string &path, std::string &content) {
    std::FILE *file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return false;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, n);
    std::fclose(file);
    return true;
}

// Lines as a line reader sees them: a final line without a line feed counts,
// an empty tail after the last line feed does not.
std::vector<std::string> split_lines(const std::string &content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        lines.emplace_back(content, start, end - start);
        start = end + 1;
    }
    return lines;
}

bool is_blank(const std::string &line) {
    return line.find_first_not_of(" \t\r\v\f") == std::string::npos;
}

// Reads a decimal int at `text` as "%d" would, without its undefined
// behaviour on overflow. Sets `end` past the number.
bool parse_int(const char *text, int &out, const char *&end) {
    char *stop = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &stop, 10);
    if (stop == text || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    end = stop;
    return true;
}

// Reads a real at `text` as "%lf" would.
bool parse_real(const char *text, double &out) {
    char *stop = nullptr;
    out = std::strtod(text, &stop);
    return stop != text;
}

void refuse(DataFile &data, int line, const char *reason) {
    data.error_line = line;
    data.error = reason;
}

}  // namespace

DataFile read_data_file(const std::string &path) {
    DataFile data;
    std::string content;
    if (!read_whole_file(path, content)) return data;
    data.opened = true;

    const std::vector<std::string> lines = split_lines(content);
    if (lines.empty()) {
        refuse(data, 1, "fichier vide");
        return data;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int line_no = static_cast<int>(i) + 1;
        const std::string &line = lines[i];
        if (line.size() > kMaxDataLine) {
            refuse(data, line_no, "ligne de plus de 255 caracteres");
            return data;
        }
        const char *end = nullptr;
        if (i == 0) {
            if (!parse_int(line.c_str(), data.mode, end)) {
                refuse(data, line_no, "mode operatoire illisible");
                return data;
            }
            data.mode_read = true;
            continue;
        }
        if (data.count == VENTRAC_MAX_VALUES) {
            refuse(data, line_no, "plus de 1024 valeurs");
            return data;
        }
        int flag = 0;
        double value = 0.0;
        if (!is_blank(line) && !(parse_int(line.c_str(), flag, end) && parse_real(end, value))) {
            refuse(data, line_no, "presence et valeur illisibles");
            return data;
        }
        data.presence[data.count] = flag;
        data.values[data.count] = value;
        ++data.count;
    }
    return data;
}

}  // namespace ventrac::front
