// Byte-vector helpers for tests: building expected printer streams from hex
// and comparing them with a readable report of the first difference.
#pragma once

#include <gtest/gtest.h>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/printer_stream.h"

namespace kordane::test {

using Bytes = std::vector<std::uint8_t>;

// "1B 40 0A" or "1B400A": pairs of hex digits, whitespace allowed between
// pairs. Throws std::invalid_argument on anything else (a stray digit, a
// non-hex character, whitespace inside a pair).
Bytes hex(std::string_view text);

// The characters of a string as bytes, without a terminating NUL.
Bytes bytes(std::string_view text);

// n bytes of every value, from a seeded generator: image data that holds
// command-like sequences.
Bytes noise(std::size_t n, unsigned seed);

// Everything the stream holds, flushed to its memory.
Bytes flushed(PrinterStream& out);

// n copies of one byte.
Bytes repeat(std::uint8_t value, std::size_t n);

// All parts, one after another.
template <std::same_as<Bytes>... Parts>
Bytes concat(const Parts&... parts)
{
    Bytes out;
    out.reserve((parts.size() + ... + 0));
    (out.insert(out.end(), parts.begin(), parts.end()), ...);
    return out;
}

// Bytes [from, to) of data as "1B 40 0A", clamped to the data's size.
std::string toHex(const Bytes& data, std::size_t from = 0,
                  std::size_t to = static_cast<std::size_t>(-1));

// Success when both are equal. Otherwise the message gives both sizes, the
// first differing offset and about 16 bytes of each side around it, with
// the differing byte in brackets.
::testing::AssertionResult bytesEqual(const Bytes& expected, const Bytes& actual);

} // namespace kordane::test

#define EXPECT_BYTES(expected, actual) \
    EXPECT_TRUE(::kordane::test::bytesEqual((expected), (actual)))
