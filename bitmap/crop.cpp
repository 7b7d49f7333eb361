// The window starts and ends on byte boundaries, so cropping is one copy of
// the kept bytes per line.
#include "bitmap/crop.h"

#include <cassert>
#include <cstddef>
#include <cstring>

namespace kordane {
namespace {

constexpr std::uint32_t kWindowBytes = 64;

// The copy is spelt out for the 64-byte window so that it compiles to a few
// wide moves per line instead of a library call.
void copyWindow(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t height,
                std::uint32_t bytesPerLine, FocusWindow window)
{
    if (height == 0 || window.keep == 0)
        return;
    const std::size_t lineBytes = bytesPerLine;
    const std::uint8_t* in = src + window.skip;
    if (window.keep == kWindowBytes) {
        for (std::uint32_t y = 0; y < height; ++y, in += lineBytes, dst += kWindowBytes)
            std::memcpy(dst, in, kWindowBytes);
        return;
    }
    for (std::uint32_t y = 0; y < height; ++y, in += lineBytes, dst += window.keep)
        std::memcpy(dst, in, window.keep);
}

} // namespace

FocusWindow focusWindowCenter(std::uint32_t bytesPerLine)
{
    // Lines shorter than the window are kept whole rather than read past.
    if (bytesPerLine < kWindowBytes)
        return {0, bytesPerLine};
    return {bytesPerLine / 2 - kWindowBytes / 2, kWindowBytes};
}

FocusWindow focusWindowEnd(std::uint32_t bytesPerLine, std::int32_t rotation)
{
    if (rotation == 1 || rotation == 3) {
        if (bytesPerLine < kWindowBytes)
            return {0, bytesPerLine};
        return {bytesPerLine - kWindowBytes, kWindowBytes};
    }
    return {bytesPerLine / 3, bytesPerLine - bytesPerLine / 3};
}

int SelectFocusAreaCenter(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                          std::uint32_t height, std::uint32_t bytesPerLine)
{
    const FocusWindow window = focusWindowCenter(bytesPerLine);
    assert(src.size() >= static_cast<std::size_t>(height) * bytesPerLine);
    assert(dst.size() >= static_cast<std::size_t>(height) * window.keep);
    copyWindow(src.data(), dst.data(), height, bytesPerLine, window);
    return 0;
}

int SelectFocusArea(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                    std::uint32_t height, std::uint32_t bytesPerLine, std::int32_t rotation)
{
    const FocusWindow window = focusWindowEnd(bytesPerLine, rotation);
    assert(src.size() >= static_cast<std::size_t>(height) * bytesPerLine);
    assert(dst.size() >= static_cast<std::size_t>(height) * window.keep);
    copyWindow(src.data(), dst.data(), height, bytesPerLine, window);
    return 0;
}

} // namespace kordane
