// The image a page preparation is working on, and the two buffers it moves
// between as each reduction, quarter turn or crop writes a new image from
// the current one. Shape changes are tracked in an ImageGeometry.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "output/page_output.h"
#include "pipeline/page_buffers.h"

namespace kordane {

class WorkingImage {
public:
    WorkingImage(std::span<std::uint8_t> start, PageBuffer& a, PageBuffer& b) : bytes(start), a_(a), b_(b) {}

    // Reduces `lineBytes`-byte lines to one third (factor 3) or one half
    // (factor 2); the result has ceil(H / f) lines of lineBytes / f bytes.
    bool reduce(std::uint32_t height, std::uint32_t lineBytes, unsigned factor);
    // Turns a quarter (clockwise, or counter-clockwise when `counter`) and
    // keeps `keptLines` lines of the result: the first ones after a clockwise
    // turn, the last ones after a counter-clockwise turn, so that the lines
    // made from the spare dots at the end of the source lines are left out.
    bool quarterTurn(std::uint32_t height, std::uint32_t lineBytes, bool counter, std::uint32_t keptLines);
    // Keeps the focus window `keep` bytes wide of every line: the centre one,
    // or the end one chosen by `rotation`.
    bool crop(std::uint32_t height, std::uint32_t lineBytes, bool centre, std::int32_t rotation,
              std::uint32_t keep);

    std::span<std::uint8_t> bytes;

private:
    // n bytes of the buffer not holding the current image; nothing when
    // the size overflowed or the memory cannot be had.
    std::optional<std::span<std::uint8_t>> spare(std::optional<std::size_t> n);

    PageBuffer& a_;
    PageBuffer& b_;
};

// The dots in a line of `lineBytes` bytes, capped at what 32 bits hold.
constexpr std::uint32_t dotsIn(std::uint32_t lineBytes)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{8} * lineBytes, UINT32_MAX));
}

// A quarter turn's line length in bytes for a source of `height` lines.
constexpr std::uint32_t turnedLineBytes(std::uint32_t height) { return height / 8 + (height % 8 != 0); }

} // namespace kordane
