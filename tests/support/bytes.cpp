#include "support/bytes.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <stdexcept>

namespace kordane::test {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One line of the mismatch report: the window [from, to) of data, the byte
// at offset mark (if inside the data) in brackets.
std::string window(const Bytes& data, std::size_t from, std::size_t to, std::size_t mark)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string line = "@" + std::to_string(from) + ":";
    for (std::size_t i = from; i < std::min(to, data.size()); ++i) {
        const bool marked = i == mark;
        line += marked ? " [" : " ";
        line += digits[data[i] >> 4];
        line += digits[data[i] & 0x0F];
        if (marked)
            line += "]";
    }
    if (mark >= data.size())
        line += " [end]";
    return line;
}

} // namespace

Bytes hex(std::string_view text)
{
    Bytes out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        const int high = hexDigit(text[i]);
        const int low = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0)
            throw std::invalid_argument("hex: bad digit pair at offset " + std::to_string(i)
                                        + " in \"" + std::string(text) + "\"");
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
        i += 2;
    }
    return out;
}

Bytes bytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes repeat(std::uint8_t value, std::size_t n)
{
    return Bytes(n, value);
}

std::string toHex(const Bytes& data, std::size_t from, std::size_t to)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = from; i < std::min(to, data.size()); ++i) {
        if (!out.empty())
            out += ' ';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
    }
    return out;
}

::testing::AssertionResult bytesEqual(const Bytes& expected, const Bytes& actual)
{
    if (expected == actual)
        return ::testing::AssertionSuccess();

    const auto mismatch = std::mismatch(expected.begin(), expected.end(),
                                        actual.begin(), actual.end());
    const auto offset = static_cast<std::size_t>(mismatch.first - expected.begin());
    const std::size_t from = offset > 8 ? offset - 8 : 0;
    const std::size_t to = offset + 8;
    return ::testing::AssertionFailure()
        << "byte streams differ: expected " << expected.size() << " bytes, actual "
        << actual.size() << " bytes, first difference at offset " << offset << "\n"
        << "  expected " << window(expected, from, to, offset) << "\n"
        << "  actual   " << window(actual, from, to, offset);
}

Bytes noise(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng());
    return out;
}

Bytes flushed(PrinterStream& out)
{
    out.flush();
    return {out.captured().begin(), out.captured().end()};
}

} // namespace kordane::test
