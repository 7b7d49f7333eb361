#include "support/bytes.h"

#include <algorithm>
#include <stdexcept>

namespace kordane::test {

Bytes hex(std::string_view text)
{
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    Bytes out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ' || text[i] == '\n') {
            ++i;
            continue;
        }
        const int high = digit(text[i]), low = i + 1 < text.size() ? digit(text[i + 1]) : -1;
        if (high < 0 || low < 0)
            throw std::invalid_argument("hex: bad pair at " + std::to_string(i) + " in \"" + std::string(text) + "\"");
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
        i += 2;
    }
    return out;
}

std::string toHex(const Bytes& data, std::size_t from, std::size_t to)
{
    std::string out;
    for (std::size_t i = from; i < std::min(to, data.size()); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", data[i]);
        out += (out.empty() ? "" : " ") + std::string(pair);
    }
    return out;
}

Bytes flushed(PrinterStream& out)
{
    out.flush();
    return {out.captured().begin(), out.captured().end()};
}

::testing::AssertionResult bytesEqual(const Bytes& expected, const Bytes& actual)
{
    if (expected == actual)
        return ::testing::AssertionSuccess();
    const auto at = static_cast<std::size_t>(
        std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first - expected.begin());
    const std::size_t from = at > 8 ? at - 8 : 0;
    return ::testing::AssertionFailure()
           << "byte streams differ: expected " << expected.size() << " bytes, actual " << actual.size()
           << ", first difference at " << at << "\n  expected @" << from << ": " << toHex(expected, from, at)
           << " [" << toHex(expected, at, at + 1) << "] " << toHex(expected, at + 1, at + 9) << "\n  actual   @"
           << from << ": " << toHex(actual, from, at) << " [" << toHex(actual, at, at + 1) << "] "
           << toHex(actual, at + 1, at + 9);
}

} // namespace kordane::test
