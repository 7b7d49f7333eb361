// Byte-vector helpers for tests: expected printer streams written in hex, and
// a comparison that reports the first difference readably.
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

// "1B 40 0A" or "1B400A". Throws std::invalid_argument on a stray digit or
// a character that is not hex.
Bytes hex(std::string_view text);
// The characters of a string, without a terminating NUL.
inline Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }
inline Bytes repeat(std::uint8_t value, std::size_t n) { return Bytes(n, value); }

template <std::same_as<Bytes>... Parts>
Bytes concat(const Parts&... parts)
{
    Bytes out;
    (out.insert(out.end(), parts.begin(), parts.end()), ...);
    return out;
}

// Bytes [from, to) as "1B 40 0A", clamped to the data.
std::string toHex(const Bytes& data, std::size_t from = 0, std::size_t to = SIZE_MAX);

// Everything the stream holds, flushed to its memory.
Bytes flushed(PrinterStream& out);

// On a difference: both sizes, the first differing offset and the bytes
// around it on each side.
::testing::AssertionResult bytesEqual(const Bytes& expected, const Bytes& actual);

} // namespace kordane::test

#define EXPECT_BYTES(expected, actual) EXPECT_TRUE(::kordane::test::bytesEqual((expected), (actual)))
