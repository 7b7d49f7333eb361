// CUPS raster streams for tests, written in memory through libcupsimage the
// way the print system's raster filters write them, plus a hand-built form
// for headers libcups would refuse to write.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <vector>

namespace kordane::test {

// One page: header values and its pixel bytes, height lines of bytesPerLine
// bytes. On 1-bit pages the most significant bit of a byte is the leftmost
// dot and a set bit is a printed dot.
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

// A 1-bit black page with no dots; bytesPerLine = ceil(width / 8).
RasterPage blankPage(std::uint32_t width, std::uint32_t height);

// A 1-bit page whose dots are set with probability density (0..1), from a
// seeded generator; the spare bits after the last dot of a line stay 0.
RasterPage randomPage(std::uint32_t width, std::uint32_t height, std::uint32_t seed,
                      double density = 0.5);

// A blank two-colour page as the print system delivers it: CMYK, banded,
// 1 bit per colour, each line four planes of ceil(width / 8) bytes in the
// order C, M, Y, K. Black content is in plane 3, red in planes 1 and 2.
RasterPage twoColorPage(std::uint32_t width, std::uint32_t height);

// A blank page of more than one bit per dot: 24 gives 8-bit RGB, anything
// else grey with that many bits per dot.
RasterPage deepPage(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel);

// Sets dot (x, y) of a 1-bit page, in the given plane on banded pages.
// Throws std::out_of_range outside the page.
void setDot(RasterPage& page, std::uint32_t x, std::uint32_t y, std::uint32_t plane = 0);

// The page header libcups writes for the page: its size fields, 203 dpi,
// PageSize in points, chunked or banded order, no compression.
cups_page_header2_t pageHeader(const RasterPage& page);

// The pages as a raster stream written by libcupsimage in the given mode.
// Throws std::runtime_error when a page's pixels are not exactly height ×
// bytesPerLine bytes or libcups refuses the page. libcups 2.4 writes header
// values as they are (bytesPerLine need not match the width), so oddly
// shaped pages can be written this way too.
std::vector<std::uint8_t> rasterStream(const std::vector<RasterPage>& pages,
                                       cups_mode_t mode = CUPS_RASTER_WRITE);

// A header and whatever bytes should follow it, unchecked.
struct RawRasterPage {
    cups_page_header2_t header;
    std::vector<std::uint8_t> data;
};
RawRasterPage rawPage(const RasterPage& page);

// An uncompressed raster stream built by hand, in this machine's byte order:
// the sync word ("RaS3", or "RaSt"), then each header as the raw
// cups_page_header2_t record followed by its data. Nothing is checked, so a
// page may carry less (or more) data than its header declares, e.g. a huge
// height with a few bytes. For pages written with CUPS_RASTER_WRITE the
// result equals rasterStream's byte for byte.
std::vector<std::uint8_t> rawRasterStream(const std::vector<RawRasterPage>& pages,
                                          std::uint32_t sync = CUPS_RASTER_SYNC);

// The first size bytes of the stream (all of it if shorter).
std::vector<std::uint8_t> truncate(const std::vector<std::uint8_t>& stream, std::size_t size);

} // namespace kordane::test
