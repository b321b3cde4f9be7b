// SPDX-License-Identifier: Apache-2.0
#include "codec/replication.h"

namespace ventrac {

namespace {
// The decimal digits of code[first .. first+count-1], stopping at the first
// character that is not a digit.
int digits_at(const char *code, int first, int count) {
    int value = 0;
    for (int i = first; i < first + count; ++i) {
        const char c = code[i];
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
    }
    return value;
}
}  // namespace

Replication replication_of(const char *code) {
    Replication r{code[0], 0, 0};
    // Stop at the terminator: a shorter code leaves the rest at 0.
    const bool has_xx = code[1] != '\0' && code[2] != '\0';
    r.group_size = digits_at(code, 1, 2);
    r.repetitions = has_xx ? digits_at(code, 3, 3) : 0;
    return r;
}

int repetition_count(double value) noexcept {
    if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int>(value);
    return 0;
}

}  // namespace ventrac
