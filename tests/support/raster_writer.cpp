#include "support/raster_writer.h"

#include "support/bitmap_reference.h"

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>

namespace kordane::test {

namespace {

RasterPage sizedPage(std::uint32_t width, std::uint32_t height, std::uint32_t bytesPerLine)
{
    return {.width = width, .height = height, .bytesPerLine = bytesPerLine,
            .pixels = std::vector<std::uint8_t>(std::size_t{height} * bytesPerLine)};
}

ssize_t append(void* ctx, unsigned char* buffer, size_t length)
{
    static_cast<std::vector<std::uint8_t>*>(ctx)->insert(static_cast<std::vector<std::uint8_t>*>(ctx)->end(), buffer,
                                                         buffer + length);
    return static_cast<ssize_t>(length);
}

} // namespace

RasterPage blankPage(std::uint32_t width, std::uint32_t height) { return sizedPage(width, height, (width + 7) / 8); }

RasterPage randomPage(std::uint32_t width, std::uint32_t height, std::uint32_t seed, double density)
{
    RasterPage page = blankPage(width, height);
    std::mt19937 random(seed);
    std::bernoulli_distribution dot(density);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            if (dot(random))
                reference::setDot(page.pixels, page.bytesPerLine, x, y);
    return page;
}

RasterPage twoColorPage(std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t bytesPerLine = 4 * ((width + 7) / 8);
    return {.width = width, .height = height, .bytesPerLine = bytesPerLine, .colorSpace = CUPS_CSPACE_CMYK,
            .colorOrder = CUPS_ORDER_BANDED, .numColors = 4, .pixels = std::vector<std::uint8_t>(std::size_t{height} * bytesPerLine)};
}

RasterPage deepPage(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel)
{
    RasterPage page = sizedPage(width, height, static_cast<std::uint32_t>((std::uint64_t{width} * bitsPerPixel + 7) / 8));
    page.bitsPerPixel = bitsPerPixel;
    page.bitsPerColor = bitsPerPixel == 24 ? 8 : bitsPerPixel;
    page.colorSpace = bitsPerPixel == 24 ? CUPS_CSPACE_RGB : CUPS_CSPACE_K;
    page.numColors = bitsPerPixel == 24 ? 3 : 1;
    return page;
}

static cups_page_header2_t pageHeader(const RasterPage& page)
{
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    h.HWResolution[0] = h.HWResolution[1] = 203;
    h.PageSize[0] = static_cast<unsigned>(std::lround(page.width * 72.0 / 203));
    h.PageSize[1] = static_cast<unsigned>(std::lround(page.height * 72.0 / 203));
    h.ImagingBoundingBox[2] = h.PageSize[0];
    h.ImagingBoundingBox[3] = h.PageSize[1];
    h.NumCopies = page.numCopies;
    h.cupsWidth = page.width;
    h.cupsHeight = page.height;
    h.cupsBytesPerLine = page.bytesPerLine;
    h.cupsBitsPerPixel = page.bitsPerPixel;
    h.cupsBitsPerColor = page.bitsPerColor;
    h.cupsColorSpace = page.colorSpace;
    h.cupsColorOrder = page.colorOrder;
    h.cupsNumColors = page.numColors;
    h.cupsPageSize[0] = static_cast<float>(h.PageSize[0]);
    h.cupsPageSize[1] = static_cast<float>(h.PageSize[1]);
    return h;
}

std::vector<std::uint8_t> rasterStream(const std::vector<RasterPage>& pages, cups_mode_t mode)
{
    std::vector<std::uint8_t> out;
    cups_raster_t* raster = cupsRasterOpenIO(append, &out, mode);
    if (!raster)
        throw std::runtime_error(std::string("cupsRasterOpenIO: ") + cupsRasterErrorString());
    bool ok = true;
    for (const RasterPage& page : pages) {
        cups_page_header2_t header = pageHeader(page);
        std::vector<std::uint8_t> pixels = page.pixels; // libcups wants them writable
        ok = ok && pixels.size() == std::size_t{page.height} * page.bytesPerLine && cupsRasterWriteHeader2(raster, &header) &&
             (pixels.empty() || cupsRasterWritePixels(raster, pixels.data(), static_cast<unsigned>(pixels.size())) == pixels.size());
    }
    cupsRasterClose(raster);
    if (!ok)
        throw std::runtime_error(std::string("raster page refused: ") + cupsRasterErrorString());
    return out;
}

} // namespace kordane::test
