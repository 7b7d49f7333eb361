#include "support/bytes.h"

#include <algorithm>
#include <stdexcept>

namespace kordane::test {

Bytes hex(std::string_view text)
{
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != '\n')
            digits += c;
    if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw std::invalid_argument("hex: not pairs of hex digits: \"" + std::string(text) + "\"");
    Bytes out;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
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
    return ::testing::AssertionFailure() << "byte streams differ: expected " << expected.size() << " bytes, actual "
                                         << actual.size() << ", first difference at " << at << "\n  expected @" << from
                                         << ": " << toHex(expected, from, at + 9) << "\n  actual   @" << from << ": "
                                         << toHex(actual, from, at + 9);
}

} // namespace kordane::test
