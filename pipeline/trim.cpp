#include "pipeline/trim.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/log.h"

namespace kordane {

namespace {

bool readPixels(cups_raster_t* raster, std::uint8_t* p, std::size_t length, std::size_t bytesPerLine)
{
    // One call per page, split only when the page exceeds what one call takes.
    const std::size_t maxChunk =
        std::max<std::size_t>(bytesPerLine, (std::numeric_limits<unsigned>::max() / bytesPerLine) * bytesPerLine);
    while (length > 0) {
        const std::size_t n = std::min(length, maxChunk);
        if (cupsRasterReadPixels(raster, p, static_cast<unsigned>(n)) == 0)
            return false;
        p += n;
        length -= n;
    }
    return true;
}

std::size_t firstNonZero(std::span<const std::uint8_t> bytes)
{
    // Word at a time over the long blank stretches of a receipt.
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        if (w != 0)
            break;
    }
    while (i < n && bytes[i] == 0)
        ++i;
    return i;
}

std::size_t lastNonZeroEnd(std::span<const std::uint8_t> bytes)
{
    std::size_t end = bytes.size();
    while (end >= 8) {
        std::uint64_t w;
        std::memcpy(&w, bytes.data() + end - 8, 8);
        if (w != 0)
            break;
        end -= 8;
    }
    while (end > 0 && bytes[end - 1] == 0)
        --end;
    return end;
}

} // namespace

ContentLines findContentLines(std::span<const std::uint8_t> image, std::size_t height,
                              std::size_t bytesPerLine)
{
    const std::size_t size = height * bytesPerLine;
    if (size == 0)
        return {0, height};
    image = image.first(size);
    const std::size_t first = firstNonZero(image);
    if (first == size)
        return {0, 0};
    const std::size_t end = lastNonZeroEnd(image);
    const std::size_t firstLine = first / bytesPerLine;
    const std::size_t lastLine = (end - 1) / bytesPerLine;
    return {firstLine, lastLine - firstLine + 1};
}

bool readPagePixels(cups_raster_t* raster, std::span<std::uint8_t> pageImage,
                    const cups_page_header2_t& header, std::int32_t pageType)
{
    const std::size_t bytesPerLine = header.cupsBytesPerLine;
    if (readPixels(raster, pageImage.data(), header.cupsHeight * bytesPerLine, bytesPerLine))
        return true;
    logLine(pageType == 0 ? "TQ4 DEBUG MSG : removeNullLine() NULLIMAGE\n"
                          : "TQ4 DEBUG MSG : removeNullLine() NULLIMAGE2\n");
    return false;
}

int trimPage(std::span<std::uint8_t> pageImage, cups_page_header2_t& header, std::int32_t pageType,
             std::size_t& firstLine)
{
    const std::size_t height = header.cupsHeight;
    const std::size_t bytesPerLine = header.cupsBytesPerLine;
    firstLine = 0;

    if (pageType == 0) {
        const ContentLines content = findContentLines(pageImage, height, bytesPerLine);
        if (content.count == 0) {
            logLine("TQ4 DEBUG MSG : removeNullLine() NULLPAGE\n");
            return kPageBlank;
        }
        firstLine = content.first;
        header.cupsHeight = static_cast<unsigned>(content.count);
        return kPageRead;
    }
    // An unknown page type prints a blank page of the page's height; its
    // data was still read so that the next page starts in the right place.
    if (pageType != 1)
        std::memset(pageImage.data(), 0, height * bytesPerLine);
    return kPageRead;
}

int removeNullLine(cups_raster_t* raster, std::span<std::uint8_t> pageImage,
                   cups_page_header2_t& header, std::int32_t pageType, std::size_t& firstLine)
{
    firstLine = 0;
    if (!readPagePixels(raster, pageImage, header, pageType))
        return kPageUnreadable;
    return trimPage(pageImage, header, pageType, firstLine);
}

} // namespace kordane
