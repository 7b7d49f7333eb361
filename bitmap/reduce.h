// Shrinking a 1-bit bitmap to one third (scale100) or one half (scale50):
// each f × f block of source dots gives one dot, set when any of them is.
#pragma once

#include <cstdint>
#include <span>

namespace kordane {

// Bytes a reduction by `factor` (2 or 3) writes, including the zero byte after
// the result: ceil(H / f) × (L / f) + 1, or 0 when L / f is 0. 0 as well when
// the size does not fit in size_t.
std::size_t reducedSize(std::uint32_t height, std::uint32_t bytesPerLine, unsigned factor);

// One third: ceil(H / 3) lines of L / 3 bytes, then one zero byte; the last
// L mod 3 bytes of every line feed nothing. Writes nothing when L / 3 is 0.
// dst must hold reducedSize(height, bytesPerLine, 3) bytes, apart from src.
// Returns 0, or 1 when scratch memory cannot be had.
int scale100(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
             std::uint32_t height, std::uint32_t bytesPerLine);

// One half: ceil(H / 2) lines of L / 2 bytes, then one zero byte.
int scale50(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
            std::uint32_t height, std::uint32_t bytesPerLine);

} // namespace kordane
