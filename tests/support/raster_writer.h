// CUPS raster streams for tests, written in memory through libcupsimage the
// way the print system's raster filters write them.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <vector>

namespace kordane::test {

// One page: header values and its pixels, height lines of bytesPerLine
// bytes. On 1-bit pages the most significant bit is the leftmost dot and a
// set bit a printed dot.
struct RasterPage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bytesPerLine = 0;
    std::uint32_t bitsPerPixel = 1;
    std::uint32_t bitsPerColor = 1;
    cups_cspace_t colorSpace = CUPS_CSPACE_K;
    std::uint32_t numCopies = 1;
    cups_order_t colorOrder = CUPS_ORDER_CHUNKED;
    std::uint32_t numColors = 1;
    std::vector<std::uint8_t> pixels;
};

// A 1-bit page without dots; bytesPerLine = ceil(width / 8).
RasterPage blankPage(std::uint32_t width, std::uint32_t height);
// A 1-bit page whose dots are set with the given probability, from a seeded
// generator; the spare bits at the end of a line stay 0.
RasterPage randomPage(std::uint32_t width, std::uint32_t height, std::uint32_t seed, double density = 0.5);
// A blank two-colour page as the print system delivers it: CMYK, banded, 1
// bit per colour, each line the bands C, M, Y, K of ceil(width / 8) bytes.
// Black is in band 3, red in bands 1 and 2.
RasterPage twoColorPage(std::uint32_t width, std::uint32_t height);
// A blank page of more than 1 bit per dot: 24 is 8-bit RGB, else grey.
RasterPage deepPage(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel);
// The pages as libcupsimage writes them in the given mode. Throws
// std::runtime_error when libcups refuses a page.
std::vector<std::uint8_t> rasterStream(const std::vector<RasterPage>& pages, cups_mode_t mode = CUPS_RASTER_WRITE);

} // namespace kordane::test
