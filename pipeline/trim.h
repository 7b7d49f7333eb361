// Reading a page's pixels and trimming the blank lines above and below its
// content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include <cups/raster.h>

namespace kordane {

// Results of removeNullLine.
constexpr int kPageRead = 0;
constexpr int kPageBlank = -1;
constexpr int kPageUnreadable = -2;

// The run of lines from the first line with a set dot to the last one, in an
// image of `height` lines of `bytesPerLine` bytes. An image without bytes
// (no lines, or lines of no bytes) has nothing to trim: all its lines stay.
struct ContentLines {
    std::size_t first; // index of the first kept line
    std::size_t count; // 0: the image is blank throughout
};
ContentLines findContentLines(std::span<const std::uint8_t> image, std::size_t height,
                              std::size_t bytesPerLine);

// Reads one page's pixel data (cupsHeight × cupsBytesPerLine bytes) into
// `pageImage`; false when the data cannot be read.
bool readPagePixels(cups_raster_t* raster, std::span<std::uint8_t> pageImage,
                    const cups_page_header2_t& header, std::int32_t pageType);

// Trims a page whose pixel data is in `pageImage`. Page type 0: the blank
// lines at the top and bottom are dropped, cupsHeight is lowered and
// `firstLine` is set to the first kept line; a blank page gives kPageBlank.
// Page type 1: the page is kept whole. Any other page type: the data is
// dropped, and the page is blank.
int trimPage(std::span<std::uint8_t> pageImage, cups_page_header2_t& header, std::int32_t pageType,
             std::size_t& firstLine);

// Both: kPageUnreadable when the data cannot be read.
int removeNullLine(cups_raster_t* raster, std::span<std::uint8_t> pageImage,
                   cups_page_header2_t& header, std::int32_t pageType, std::size_t& firstLine);

} // namespace kordane
