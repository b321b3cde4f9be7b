// SPDX-License-Identifier: Apache-2.0
// decoupr_mes, in place and on a string, on any text: both give the same
// layout, lines of at most 69 characters that put the text back together.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "pilot/pilot.h"
#include "pilot/text.h"

namespace {

constexpr std::string_view kLineEnd = "\r\r\n";
constexpr std::string_view kMessageEnd = "=\r\r\n";

// Checks the layout of `message` and that its lines joined give it back, one
// trailing blank dropped. Only for texts without carriage returns, where the
// line ends cannot be mistaken for text.
void check_layout(std::string_view message, std::string_view laid) {
    VT_FUZZ_CHECK(laid.size() >= kMessageEnd.size() &&
                      laid.substr(laid.size() - kMessageEnd.size()) == kMessageEnd,
                  "no end of message mark");
    if (message.find('\r') != std::string_view::npos) return;
    laid.remove_suffix(kMessageEnd.size());
    std::string joined;
    for (;;) {
        const std::size_t end = laid.find(kLineEnd);
        const std::string_view line = laid.substr(0, end);
        VT_FUZZ_CHECK(line.size() <= 69, "line of " + std::to_string(line.size()));
        VT_FUZZ_CHECK(end == std::string_view::npos || !line.empty(), "empty line");
        joined += line;
        if (end == std::string_view::npos) break;
        laid.remove_prefix(end + kLineEnd.size());
    }
    if (!message.empty() && message.back() == ' ') message.remove_suffix(1);
    VT_FUZZ_CHECK(joined == message, "lines do not give the message back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > 4096) return 0;
    const std::string_view message(reinterpret_cast<const char *>(data), size);
    const std::string laid = decoupr_mes(message);
    check_layout(message, laid);

    // In place: up to the first zero byte, at most 1023 characters, in a
    // buffer of the size that always suffices.
    const std::string_view head =
        message.substr(0, std::min<std::size_t>(message.find('\0'), 1023));
    char buffer[1112];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, head.data(), head.size());
    buffer[head.size()] = '\0';
    decoupr_mes(buffer);
    VT_FUZZ_CHECK(std::memchr(buffer, '\0', sizeof buffer) != nullptr, "in-place layout overflows");
    VT_FUZZ_CHECK(buffer == decoupr_mes(head), "in place and on a string differ");
    return 0;
}
