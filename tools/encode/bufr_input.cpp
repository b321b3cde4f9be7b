// SPDX-License-Identifier: Apache-2.0
// BUFR input through ecCodes: one record per subset written the way
// ventrac-decode --bufr writes an observation (001011, then the descriptors
// of an operating mode), its values taken in the order the encoder
// consumes them.
#include "bufr_input.h"

#include <eccodes.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>

#include "codec/replication.h"
#include "tools/bufr/bufr.h"
#include "tools/bufr/layout.h"
#include "tools/bufr/tables.h"

namespace ventrac::encode {

namespace {

using bufr::Layout;
using bufr::Node;

struct HandleDeleter {
    void operator()(codes_handle *h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// The layouts of the pilot's modes, made on first use, in the order modes
// are tried: 1 to 127, then 0 (every line).
class ModeLayouts {
public:
    explicit ModeLayouts(const ventrac_pilot *pilot) : pilot_(pilot) {}

    // The first mode whose descriptors are `descriptors`, or nothing.
    std::optional<int> mode_of(const std::vector<long> &descriptors) {
        for (int m = 1; m <= 128; ++m) {
            const int mode = m == 128 ? 0 : m;
            const Layout *layout = of(mode);
            if (layout != nullptr && layout->descriptors == descriptors) return mode;
        }
        return std::nullopt;
    }

    const Layout *of(int mode) {
        auto found = layouts_.find(mode);
        if (found == layouts_.end()) {
            std::optional<Layout> made;
            const ElementSpec *table = nullptr;
            const int count = ventrac_pilot_table(pilot_, mode, &table);
            if (count > 0) {
                if (!tables_)
                    tables_ = std::make_unique<bufr::TableB>(bufr::newest_installed_version());
                Layout layout;
                if (tables_->problem().empty() &&
                    bufr::build_layout(table, count, *tables_, layout).ok)
                    made = std::move(layout);
            }
            found = layouts_.emplace(mode, std::move(made)).first;
        }
        return found->second ? &*found->second : nullptr;
    }

private:
    const ventrac_pilot *pilot_;
    std::unique_ptr<bufr::TableB> tables_;
    std::map<int, std::optional<Layout>> layouts_;
};

// The values of one subset, walked as the encoder walks the mode's table.
class SubsetWalk {
public:
    // `numbers`: the subset's values in message order, the identifier's
    // first, as ecCodes' numericValues gives them.
    SubsetWalk(const std::vector<double> &numbers, Record &out) : numbers_(numbers), out_(out) {}

    // Returns "" or why the subset does not follow the layout.
    std::string run(const Layout &layout) {
        next_ = 1;  // past 001011
        for (const Node &n : layout.items)
            if (!walk(n)) return error_;
        if (next_ != numbers_.size())
            return "the subset holds more values than the operating mode sends";
        return {};
    }

private:
    bool fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    // The next value.
    bool take(std::optional<double> &value) {
        if (next_ >= numbers_.size())
            return fail("the subset ends before the operating mode's elements do");
        const double v = numbers_[next_++];
        value.reset();
        if (v != CODES_MISSING_DOUBLE) value = v;
        return true;
    }

    bool walk(const Node &n) {
        if (!n.group) {
            if (n.table != nullptr && n.table->character)
                return fail("character element " + std::string(n.spec->name) +
                            " cannot be read back from BUFR");
            std::optional<double> v;
            if (!take(v)) return false;
            out_.elements.push_back({"", "", v, true, n.spec});
            return true;
        }
        int count = n.repetitions;
        if (count == 0) {
            std::optional<double> v;
            if (!take(v)) return false;
            if (!v) return fail("a delayed replication factor is missing");
            count = std::max(0, repetition_count(*v));
            out_.elements.push_back({"", "", v, true, n.spec});
        }
        for (int r = 0; r < count; ++r)
            for (const Node &c : n.children)
                if (!walk(c)) return false;
        return true;
    }

    const std::vector<double> &numbers_;
    Record &out_;
    std::size_t next_ = 0;
    std::string error_;
};

std::string eccodes_problem(const std::string &what, int error) {
    return what + ": " + codes_get_error_message(error);
}

template <class T>
int get_array(codes_handle *h, const char *key, std::vector<T> &out) {
    std::size_t size = 0;
    int error = codes_get_size(h, key, &size);
    if (error != CODES_SUCCESS) return error;
    out.resize(size);
    if constexpr (std::is_same_v<T, long>)
        error = codes_get_long_array(h, key, out.data(), &size);
    else
        error = codes_get_double_array(h, key, out.data(), &size);
    out.resize(size);
    return error;
}

// One subset, alone in its message `h`: the record, or why there is none.
std::string read_subset(codes_handle *h, ModeLayouts &layouts, Item &item) {
    int error = codes_set_long(h, "unpack", 1);
    if (error != CODES_SUCCESS) return eccodes_problem("ecCodes cannot unpack it", error);
    std::vector<long> unexpanded;
    std::vector<double> numbers;
    if ((error = get_array(h, "unexpandedDescriptors", unexpanded)) != CODES_SUCCESS)
        return eccodes_problem("no descriptors", error);
    if (unexpanded.empty() || unexpanded.front() != bufr::kIdentifierDescriptor)
        return "the descriptors do not begin with 001011 (the ship identifier)";
    const std::optional<int> mode = layouts.mode_of(unexpanded);
    if (!mode) return "no operating mode of the pilot file has these descriptors";
    if ((error = get_array(h, "numericValues", numbers)) != CODES_SUCCESS)
        return eccodes_problem("ecCodes cannot give its values", error);
    char identifier[64] = {};
    std::size_t length = sizeof identifier - 1;
    if ((error = codes_get_string(h, "#1#shipOrMobileLandStationIdentifier", identifier,
                                  &length)) != CODES_SUCCESS)
        return eccodes_problem("no ship identifier", error);
    item.record.identifier = identifier;
    item.record.mode = *mode;
    item.record.elements.clear();
    return SubsetWalk(numbers, item.record).run(*layouts.of(*mode));
}

}  // namespace

bool bufr_input_built() { return true; }

std::string read_bufr(const std::string &path, const Layouts &names,
                      const std::function<void(Item &&)> &take) {
    const bool standard_input = path == "-";
    std::FILE *file = standard_input ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::string("cannot be opened (") + std::strerror(errno) + ")";
    bufr::capture_eccodes_lines();
    ModeLayouts layouts(names.pilot());
    std::string failure;
    for (long m = 1;; ++m) {
        int error = 0;
        Handle message(codes_handle_new_from_file(nullptr, file, PRODUCT_BUFR, &error));
        if (!message) {
            if (error != CODES_SUCCESS)
                failure = eccodes_problem("message " + std::to_string(m), error);
            else if (m == 1)
                failure = "holds no BUFR message";
            break;
        }
        long subsets = 0;
        codes_get_long(message.get(), "numberOfSubsets", &subsets);
        for (long s = 1; s <= subsets; ++s) {
            Item item;
            item.where = path + ": message " + std::to_string(m) + " subset " + std::to_string(s);
            item.stem = std::to_string(m) + "_" + std::to_string(s);
            item.positional = true;
            item.parsed = true;
            Handle one;
            if (subsets == 1) {
                one.reset(codes_handle_clone(message.get()));
            } else {
                // A subset of its own, as ecCodes extracts it.
                Handle copy(codes_handle_clone(message.get()));
                const void *bytes = nullptr;
                std::size_t size = 0;
                if (copy && codes_set_long(copy.get(), "unpack", 1) == CODES_SUCCESS &&
                    codes_set_long(copy.get(), "extractSubset", s) == CODES_SUCCESS &&
                    codes_set_long(copy.get(), "doExtractSubsets", 1) == CODES_SUCCESS &&
                    codes_get_message(copy.get(), &bytes, &size) == CODES_SUCCESS)
                    one.reset(codes_handle_new_from_message_copy(nullptr, bytes, size));
            }
            if (!one)
                item.error = "ecCodes cannot read the subset: " + bufr::last_eccodes_line();
            else
                item.error = read_subset(one.get(), layouts, item);
            take(std::move(item));
        }
    }
    if (!standard_input) std::fclose(file);
    return failure;
}

}  // namespace ventrac::encode
