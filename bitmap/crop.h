// Cutting every line of a 1-bit bitmap down to a window of whole bytes.
#pragma once

#include <cstdint>
#include <span>

namespace kordane {

// The window of one line: `skip` bytes left out at its start, `keep` kept.
struct FocusWindow {
    std::uint32_t skip;
    std::uint32_t keep;
};

// Centre window: 64 bytes starting at L / 2 − 32 (needs L >= 64).
FocusWindow focusWindowCenter(std::uint32_t bytesPerLine);
// End window: the last 64 bytes after a quarter turn (rotation 1 or 3),
// otherwise everything after the first L / 3 bytes.
FocusWindow focusWindowEnd(std::uint32_t bytesPerLine, std::int32_t rotation);

// Writes H lines of 64 bytes (the centre of each source line) from the start
// of dst. Returns 0, or 1 when scratch memory cannot be had.
int SelectFocusAreaCenter(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                          std::uint32_t height, std::uint32_t bytesPerLine);

// Writes H lines of the end window chosen by `rotation` from the start of dst.
int SelectFocusArea(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                    std::uint32_t height, std::uint32_t bytesPerLine, std::int32_t rotation);

} // namespace kordane
