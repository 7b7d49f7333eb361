// The window starts and ends on byte boundaries, so cropping is a copy of the
// kept bytes of each line; no dot is looked at on its own.
#include "bitmap/crop.h"

#include "core/vector_paths.h"

#include <cassert>
#include <cstddef>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KORDANE_HAVE_AVX2_PATH 1
#else
#define KORDANE_HAVE_AVX2_PATH 0
#endif

namespace kordane {
namespace {

constexpr std::uint32_t kWindowBytes = 64;

// The window of a line further down is asked for ahead of time: on wide
// pages the kept bytes are a thin, strided slice of a page larger than the
// nearer caches, and waiting for each line in turn would double the time.
constexpr std::uint32_t kLinesAhead = 8;

inline void prefetchWindow(const std::uint8_t* in, std::uint32_t y, std::uint32_t height,
                           std::size_t lineBytes, std::size_t keep)
{
    if (height - y > kLinesAhead) {
        const std::uint8_t* ahead = in + kLinesAhead * lineBytes;
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + keep - 1);
    }
}

// The kept bytes of every line go in 32-byte chunks, the last chunk
// overlapping the one before it when the width is not a multiple of 32.
// Lines are short (tens of bytes), so a library call per line would cost more
// than the copy itself. Narrow windows are copied plainly.
void copyLines(const std::uint8_t* in, std::uint8_t* out, std::uint32_t height,
               std::size_t lineBytes, std::size_t keep)
{
    if (keep < 32) {
        for (std::uint32_t y = 0; y < height; ++y, in += lineBytes, out += keep)
            std::memcpy(out, in, keep);
        return;
    }
    for (std::uint32_t y = 0; y < height; ++y, in += lineBytes, out += keep) {
        prefetchWindow(in, y, height, lineBytes, keep);
        for (std::size_t i = 0; i + 32 < keep; i += 32)
            std::memcpy(out + i, in + i, 32);
        std::memcpy(out + keep - 32, in + keep - 32, 32);
    }
}

#if KORDANE_HAVE_AVX2_PATH
// The compiler expands the copies above into 16-byte moves at most; this is
// the same walk with 32-byte moves, for processors that have them.
__attribute__((target("avx2"))) inline void copy32(std::uint8_t* d, const std::uint8_t* s)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)));
}

__attribute__((target("avx2"))) void copyLinesWide(const std::uint8_t* in, std::uint8_t* out,
                                                   std::uint32_t height, std::size_t lineBytes,
                                                   std::size_t keep)
{
    if (keep < 32)
        return copyLines(in, out, height, lineBytes, keep);
    for (std::uint32_t y = 0; y < height; ++y, in += lineBytes, out += keep) {
        prefetchWindow(in, y, height, lineBytes, keep);
        for (std::size_t i = 0; i + 32 < keep; i += 32)
            copy32(out + i, in + i);
        copy32(out + keep - 32, in + keep - 32);
    }
}
#endif

void copyWindow(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t height,
                std::uint32_t bytesPerLine, FocusWindow window)
{
    if (height == 0 || window.keep == 0)
        return;
    const std::uint8_t* in = src + window.skip;
#if KORDANE_HAVE_AVX2_PATH
    if (vectorPathsAllowed() && __builtin_cpu_supports("avx2")) {
        copyLinesWide(in, dst, height, bytesPerLine, window.keep);
        return;
    }
#endif
    copyLines(in, dst, height, bytesPerLine, window.keep);
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
