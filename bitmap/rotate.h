// Turning a 1-bit bitmap (H lines of L bytes, most significant bit leftmost)
// by a quarter turn either way or by a half turn.
#pragma once

#include <cstdint>
#include <span>

namespace kordane {

// Bytes a quarter turn of H lines of L bytes produces: 8 × L lines of
// ceil(H / 8) bytes. 0 when the size does not fit in size_t.
std::size_t quarterTurnSize(std::uint32_t height, std::uint32_t bytesPerLine);

// Quarter turn clockwise: result line y' is source column y' read from the
// bottom line up; the dots past H at the end of each result line are blank.
// dst must hold quarterTurnSize(height, bytesPerLine) bytes and must not
// overlap src. Returns 0, or 1 when scratch memory cannot be had.
int rotate90Degree(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                   std::uint32_t height, std::uint32_t bytesPerLine);

// Quarter turn counter-clockwise: result line y' is source column
// 8 × L − 1 − y' read from the top line down. Same sizes and results as above.
int rotate270Degree(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                    std::uint32_t height, std::uint32_t bytesPerLine);

// Half turn in place: byte order and the bit order in every byte reversed.
void rotate180Degree(std::span<std::uint8_t> bitmap);

} // namespace kordane
