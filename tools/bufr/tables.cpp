#include "tables.h"

#include <eccodes.h>

#include <charconv>
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
    static const Definitions &get() {
        static const Definitions d;
        return d;
    }
    Versions agreeing(long descriptor) const {
        Versions v;
        const auto newest = tables_.find(newest_);
        if (newest == tables_.end()) return v;
        const auto reference = newest->second.find(descriptor);
        if (reference == newest->second.end()) return v;
        for (const auto &[version, table] : tables_) {
            const auto found = table.find(descriptor);
            if (found != table.end() && found->second == reference->second) v.set(static_cast<std::size_t>(version));
        }
        return v;
    }

private:
    Definitions() {
        newest_ = newest_installed_version();
        for (long version = 1; version <= newest_ && version < 256; ++version) {
            const std::filesystem::path file = element_table_file(version);
            if (file.empty()) continue;
            std::ifstream in(file, std::ios::binary);
            std::ostringstream content;
            content << in.rdbuf();
            contents_.push_back(std::make_unique<std::string>(content.str()));
            index(*contents_.back(), tables_[version]);
        }
    }

    static void index(std::string_view text, std::unordered_map<long, std::string_view> &table) {
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
            if (line.empty() || line[0] == '#') continue;
            long code = 0;
            const auto [last, error] = std::from_chars(line.data(), line.data() + line.size(), code);
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
            table[code] = line.substr(from, to == std::string_view::npos ? std::string_view::npos : to - from);
        }
    }

    long newest_ = 0;
    std::vector<std::unique_ptr<std::string>> contents_;
    std::unordered_map<long, std::unordered_map<long, std::string_view>> tables_;
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
    std::call_once(once, [] { codes_context_set_logging_proc(codes_context_get_default(), keep_line); });
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
            const auto [last, failed] = std::from_chars(name.data(), name.data() + name.size(), version);
            if (failed != std::errc() || last != name.data() + name.size() || version <= newest) continue;
            std::error_code ignored;
            if (std::filesystem::is_regular_file(it->path() / "element.table", ignored)) newest = version;
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
        problem_ = "the installed ecCodes has no WMO master table version " + std::to_string(version);
        return;
    }
    probe_ = new_message({0, 0, version});
    if (probe_ == nullptr)
        problem_ = "ecCodes cannot make a BUFR message: " + last_eccodes_line();
}

TableB::~TableB() {
    if (probe_ != nullptr) codes_handle_delete(probe_);
}

const TableEntry *TableB::find(long descriptor) {
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
            get_long(h, key + "->reference", e.reference) && get_long(h, key + "->width", e.width)) {
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
