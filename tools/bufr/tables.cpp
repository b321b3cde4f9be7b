// SPDX-License-Identifier: Apache-2.0
#include "tables.h"

#include <eccodes.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "units.h"

namespace ventrac::bufr {

namespace {

thread_local std::string t_last_line;

void keep_line(const codes_context *, int, const char *message) {
    t_last_line = message != nullptr ? message : "";
}

// The folders ecCodes reads its definitions from, in its order.
std::vector<std::filesystem::path> definition_folders() {
    std::vector<std::filesystem::path> folders;
    const char *path = codes_definition_path(nullptr);
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        if (!folder.empty()) folders.emplace_back(std::string(folder));
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    }
    return folders;
}

std::filesystem::path master_tables(const std::filesystem::path &folder) {
    return folder / "bufr" / "tables" / "0" / "wmo";
}

// The Table B file ecCodes takes for master table `version`: the first
// definitions folder that holds one.
std::filesystem::path element_table_file(long version) {
    std::error_code ignored;
    for (const std::filesystem::path &folder : definition_folders()) {
        const std::filesystem::path file =
            master_tables(folder) / std::to_string(version) / "element.table";
        if (std::filesystem::is_regular_file(file, ignored)) return file;
    }
    return {};
}

// The descriptors a Table B file lists: the number before the first '|' of
// each line that is not a comment.
std::unordered_set<long> listed_descriptors(const std::filesystem::path &file) {
    std::unordered_set<long> codes;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        long code = 0;
        const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), code);
        if (error == std::errc() && end != line.data() + line.size() && *end == '|')
            codes.insert(code);
    }
    return codes;
}

// Every installed version's Table B, read once per process: for each
// descriptor, the part of its line that gives its unit, scale, reference
// value and width ("unit|scale|reference|width"), as the file writes it.
// A line is code|abbreviation|type|name|unit|scale|reference|width|...
class Definitions {
public:
    // Made on first use and kept to the end of the process (never taken
    // down: nothing is left to do with it then).
    static const Definitions &get() {
        static const Definitions *d = new Definitions;
        return *d;
    }
    Versions agreeing(long descriptor) const {
        Versions v;
        const std::string_view *reference = newest_ > 0 ? find(newest_, descriptor) : nullptr;
        if (reference == nullptr) return v;
        for (std::size_t version = 1; version < tables_.size(); ++version) {
            const std::string_view *d = find(static_cast<long>(version), descriptor);
            if (d != nullptr && *d == *reference) v.set(version);
        }
        return v;
    }

private:
    using Entry = std::pair<long, std::string_view>;

    Definitions() {
        newest_ = newest_installed_version();
        if (newest_ <= 0 || newest_ > 255) {
            newest_ = 0;
            return;
        }
        tables_.resize(static_cast<std::size_t>(newest_) + 1);
        for (long version = 1; version <= newest_; ++version) {
            const std::filesystem::path file = element_table_file(version);
            if (file.empty()) continue;
            contents_.push_back(std::make_unique<std::string>(read_file(file)));
            index(*contents_.back(), tables_[static_cast<std::size_t>(version)]);
        }
    }

    const std::string_view *find(long version, long descriptor) const {
        const std::vector<Entry> &t = tables_[static_cast<std::size_t>(version)];
        const auto at =
            std::lower_bound(t.begin(), t.end(), Entry{descriptor, {}},
                             [](const Entry &a, const Entry &b) { return a.first < b.first; });
        return at != t.end() && at->first == descriptor ? &at->second : nullptr;
    }

    static std::string read_file(const std::filesystem::path &path) {
        std::string content;
        std::FILE *f = std::fopen(path.string().c_str(), "rb");
        if (f == nullptr) return content;
        std::error_code ignored;
        const std::uintmax_t size = std::filesystem::file_size(path, ignored);
        content.resize(size != static_cast<std::uintmax_t>(-1) ? static_cast<std::size_t>(size) + 1
                                                               : 1 << 20);
        std::size_t length = 0;
        for (std::size_t n;
             (n = std::fread(content.data() + length, 1, content.size() - length, f)) > 0;) {
            length += n;
            if (length == content.size()) content.resize(2 * content.size());
        }
        std::fclose(f);
        content.resize(length);
        return content;
    }

    static void index(std::string_view text, std::vector<Entry> &table) {
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
            if (line.empty() || line[0] == '#') continue;
            long code = 0;
            const auto [last, error] =
                std::from_chars(line.data(), line.data() + line.size(), code);
            if (error != std::errc() || last == line.data() + line.size() || *last != '|') continue;
            // Past the code, the abbreviation, the type and the name.
            std::size_t from = 0;
            for (int bars = 0; bars < 4 && from != std::string_view::npos; ++bars) {
                from = line.find('|', from);
                if (from != std::string_view::npos) ++from;
            }
            if (from == std::string_view::npos) continue;
            std::size_t to = from;
            for (int bars = 0; bars < 4 && to != std::string_view::npos; ++bars) {
                to = line.find('|', to);
                if (to != std::string_view::npos && bars < 3) ++to;
            }
            table.emplace_back(
                code, line.substr(
                          from, to == std::string_view::npos ? std::string_view::npos : to - from));
        }
        // The files list their descriptors in order; a later line of a code
        // listed twice is the one kept, as a map would keep it.
        std::stable_sort(table.begin(), table.end(),
                         [](const Entry &a, const Entry &b) { return a.first < b.first; });
        const auto kept =
            std::unique(table.rbegin(), table.rend(),
                        [](const Entry &a, const Entry &b) { return a.first == b.first; });
        table.erase(table.begin(), kept.base());
    }

    long newest_ = 0;
    std::vector<std::unique_ptr<std::string>> contents_;
    std::vector<std::vector<Entry>> tables_;  // by version
};

// The descriptors each installed version lists, read once per process.
const std::unordered_set<long> *descriptors_of(long version) {
    static std::mutex lock;
    static std::unordered_map<long, std::optional<std::unordered_set<long>>> versions;
    const std::lock_guard<std::mutex> guard(lock);
    auto found = versions.find(version);
    if (found == versions.end()) {
        const std::filesystem::path file = element_table_file(version);
        std::optional<std::unordered_set<long>> codes;
        if (!file.empty()) codes = listed_descriptors(file);
        if (codes && codes->empty()) codes.reset();
        found = versions.emplace(version, std::move(codes)).first;
    }
    return found->second ? &*found->second : nullptr;
}

// The first data key of a message holding one descriptor: "#1#abbreviation".
// The iterator runs to its end: stopping early would leak its last name.
std::string first_data_key(grib_handle *h) {
    std::string key;
    codes_bufr_keys_iterator *it = codes_bufr_keys_iterator_new(h, 0);
    if (it == nullptr) return key;
    bool data = false;
    while (codes_bufr_keys_iterator_next(it)) {
        const char *name = codes_bufr_keys_iterator_get_name(it);
        if (name == nullptr) continue;
        if (data && key.empty()) key = name;
        if (std::strcmp(name, "subsetNumber") == 0) data = true;
    }
    codes_bufr_keys_iterator_delete(it);
    return key;
}

bool get_string(grib_handle *h, const std::string &key, std::string &out) {
    char text[256] = {0};
    std::size_t length = sizeof text;
    if (codes_get_string(h, key.c_str(), text, &length) != CODES_SUCCESS) return false;
    out = text;
    return true;
}

bool get_long(grib_handle *h, const std::string &key, long &out) {
    return codes_get_long(h, key.c_str(), &out) == CODES_SUCCESS;
}

}  // namespace

void capture_eccodes_lines() {
    static std::once_flag once;
    std::call_once(once,
                   [] { codes_context_set_logging_proc(codes_context_get_default(), keep_line); });
}

void clear_eccodes_line() { t_last_line.clear(); }

std::string last_eccodes_line() { return t_last_line; }

long newest_installed_version() {
    long newest = 0;
    std::error_code error;
    for (const std::filesystem::path &folder : definition_folders()) {
        for (std::filesystem::directory_iterator it(master_tables(folder), error), end;
             !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            long version = 0;
            const auto [last, failed] =
                std::from_chars(name.data(), name.data() + name.size(), version);
            if (failed != std::errc() || last != name.data() + name.size() || version <= newest)
                continue;
            std::error_code ignored;
            if (std::filesystem::is_regular_file(it->path() / "element.table", ignored))
                newest = version;
        }
        error.clear();
    }
    return newest;
}

Versions versions_agreeing(long descriptor) { return Definitions::get().agreeing(descriptor); }

grib_handle *new_message(const Header &header) {
    capture_eccodes_lines();
    grib_handle *h = codes_bufr_handle_new_from_samples(nullptr, "BUFR4");
    if (h == nullptr) return nullptr;
    const std::pair<const char *, long> fields[] = {
        {"bufrHeaderCentre", header.centre},
        {"bufrHeaderSubCentre", header.subcentre},
        {"updateSequenceNumber", 0},
        {"dataCategory", 1},
        {"internationalDataSubCategory", 0},
        {"dataSubCategory", 255},
        {"masterTablesVersionNumber", header.table_version},
        {"localTablesVersionNumber", 0},
        {"numberOfSubsets", 1},
        {"observedData", 1},
        {"compressedData", 0},
    };
    for (const auto &[key, value] : fields) {
        if (codes_set_long(h, key, value) != CODES_SUCCESS) {
            codes_handle_delete(h);
            return nullptr;
        }
    }
    return h;
}

TableB::TableB(long version) : version_(version) {
    if (descriptors_of(version) == nullptr) {
        problem_ =
            "the installed ecCodes has no WMO master table version " + std::to_string(version);
        return;
    }
    probe_ = new_message({0, 0, version});
    if (probe_ == nullptr) problem_ = "ecCodes cannot make a BUFR message: " + last_eccodes_line();
}

TableB::~TableB() {
    if (probe_ != nullptr) codes_handle_delete(probe_);
}

TableB &shared_table(long version) {
    static std::mutex lock;
    static auto *tables = new std::unordered_map<long, std::unique_ptr<TableB>>;
    const std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<TableB> &t = (*tables)[version];
    if (!t) t = std::make_unique<TableB>(version);
    return *t;
}

const TableEntry *TableB::find(long descriptor) {
    const std::lock_guard<std::mutex> guard(lock_);
    auto found = cache_.find(descriptor);
    if (found != cache_.end()) return found->second ? &*found->second : nullptr;

    std::optional<TableEntry> entry;
    const std::unordered_set<long> *listed = descriptors_of(version_);
    // Only descriptors the table lists are shown to ecCodes: it reports the
    // others as errors, and leaks the message it was expanding when it does.
    if (probe_ != nullptr && listed != nullptr && listed->count(descriptor) != 0) {
        // A message is expanded once: a fresh copy for each descriptor. The
        // entry is read from the attributes of its data key.
        grib_handle *h = codes_handle_clone(probe_);
        TableEntry e;
        std::string key;
        if (h != nullptr &&
            codes_set_long_array(h, "unexpandedDescriptors", &descriptor, 1) == CODES_SUCCESS &&
            (key = first_data_key(h)).rfind("#1#", 0) == 0 &&
            get_string(h, key + "->units", e.unit) && get_long(h, key + "->scale", e.scale) &&
            get_long(h, key + "->reference", e.reference) &&
            get_long(h, key + "->width", e.width)) {
            e.abbreviation = key.substr(3);
            e.character = is_character_unit(e.unit);
            entry = std::move(e);
        }
        if (h != nullptr) codes_handle_delete(h);
    }
    found = cache_.emplace(descriptor, std::move(entry)).first;
    return found->second ? &*found->second : nullptr;
}

}  // namespace ventrac::bufr
