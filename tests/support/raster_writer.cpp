#include "support/raster_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>

namespace kordane::test {

namespace {

constexpr unsigned kResolution = 203;

std::uint32_t bytesFor(std::uint32_t dots, std::uint32_t bits)
{
    return static_cast<std::uint32_t>((std::uint64_t{dots} * bits + 7) / 8);
}

RasterPage sizedPage(std::uint32_t width, std::uint32_t height, std::uint32_t bytesPerLine)
{
    RasterPage page;
    page.width = width;
    page.height = height;
    page.bytesPerLine = bytesPerLine;
    page.pixels.assign(std::size_t{height} * bytesPerLine, 0);
    return page;
}

// Offset of the byte holding dot (x, y) in the plane, checked.
std::size_t dotOffset(const RasterPage& page, std::uint32_t x, std::uint32_t y,
                      std::uint32_t plane)
{
    const std::uint32_t planes = page.colorOrder == CUPS_ORDER_BANDED ? page.numColors : 1;
    const std::uint32_t planeBytes = page.bytesPerLine / std::max(planes, 1u);
    if (page.bitsPerPixel != 1 || x >= page.width || y >= page.height || plane >= planes
        || x / 8 >= planeBytes)
        throw std::out_of_range("dot (" + std::to_string(x) + ", " + std::to_string(y)
                                + ") plane " + std::to_string(plane) + " is outside the page");
    return std::size_t{y} * page.bytesPerLine + std::size_t{plane} * planeBytes + x / 8;
}

// Size of the page in points at the raster's resolution.
unsigned points(std::uint32_t dots)
{
    return static_cast<unsigned>(std::lround(dots * 72.0 / kResolution));
}

ssize_t appendToVector(void* ctx, unsigned char* buffer, size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(ctx);
    out->insert(out->end(), buffer, buffer + length);
    return static_cast<ssize_t>(length);
}

void appendRaw(std::vector<std::uint8_t>& out, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

} // namespace

RasterPage blankPage(std::uint32_t width, std::uint32_t height)
{
    return sizedPage(width, height, bytesFor(width, 1));
}

RasterPage randomPage(std::uint32_t width, std::uint32_t height, std::uint32_t seed,
                      double density)
{
    RasterPage page = blankPage(width, height);
    std::mt19937 random(seed);
    std::bernoulli_distribution dot(density);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            if (dot(random))
                setDot(page, x, y);
    return page;
}

RasterPage twoColorPage(std::uint32_t width, std::uint32_t height)
{
    RasterPage page = sizedPage(width, height, 4 * bytesFor(width, 1));
    page.colorSpace = CUPS_CSPACE_CMYK;
    page.colorOrder = CUPS_ORDER_BANDED;
    page.numColors = 4;
    return page;
}

RasterPage deepPage(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel)
{
    RasterPage page = sizedPage(width, height, bytesFor(width, bitsPerPixel));
    page.bitsPerPixel = bitsPerPixel;
    if (bitsPerPixel == 24) {
        page.bitsPerColor = 8;
        page.colorSpace = CUPS_CSPACE_RGB;
        page.numColors = 3;
    } else {
        page.bitsPerColor = bitsPerPixel;
    }
    return page;
}

void setDot(RasterPage& page, std::uint32_t x, std::uint32_t y, std::uint32_t plane)
{
    page.pixels.at(dotOffset(page, x, y, plane)) |= static_cast<std::uint8_t>(0x80 >> (x % 8));
}

cups_page_header2_t pageHeader(const RasterPage& page)
{
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    h.HWResolution[0] = h.HWResolution[1] = kResolution;
    h.PageSize[0] = points(page.width);
    h.PageSize[1] = points(page.height);
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
    h.cupsCompression = 0;
    h.cupsNumColors = page.numColors;
    h.cupsPageSize[0] = static_cast<float>(h.PageSize[0]);
    h.cupsPageSize[1] = static_cast<float>(h.PageSize[1]);
    return h;
}

std::vector<std::uint8_t> rasterStream(const std::vector<RasterPage>& pages, cups_mode_t mode)
{
    std::vector<std::uint8_t> out;
    cups_raster_t* raster = cupsRasterOpenIO(appendToVector, &out, mode);
    if (!raster)
        throw std::runtime_error(std::string("cupsRasterOpenIO: ") + cupsRasterErrorString());

    std::string error;
    for (std::size_t n = 0; n < pages.size() && error.empty(); ++n) {
        const RasterPage& page = pages[n];
        cups_page_header2_t header = pageHeader(page);
        std::vector<std::uint8_t> pixels = page.pixels; // libcups wants a mutable buffer
        if (pixels.size() != std::size_t{page.height} * page.bytesPerLine)
            error = "pixel data does not match height x bytesPerLine";
        else if (!cupsRasterWriteHeader2(raster, &header))
            error = std::string("header refused: ") + cupsRasterErrorString();
        else if (!pixels.empty()
                 && cupsRasterWritePixels(raster, pixels.data(),
                                          static_cast<unsigned>(pixels.size()))
                        != pixels.size())
            error = std::string("pixels refused: ") + cupsRasterErrorString();
        if (!error.empty())
            error = "raster page " + std::to_string(n + 1) + ": " + error;
    }
    cupsRasterClose(raster);
    if (!error.empty())
        throw std::runtime_error(error);
    return out;
}

RawRasterPage rawPage(const RasterPage& page)
{
    return {pageHeader(page), page.pixels};
}

std::vector<std::uint8_t> rawRasterStream(const std::vector<RawRasterPage>& pages,
                                          std::uint32_t sync)
{
    std::vector<std::uint8_t> out;
    appendRaw(out, &sync, sizeof sync);
    for (const RawRasterPage& page : pages) {
        appendRaw(out, &page.header, sizeof page.header);
        appendRaw(out, page.data.data(), page.data.size());
    }
    return out;
}

std::vector<std::uint8_t> truncate(const std::vector<std::uint8_t>& stream, std::size_t size)
{
    return {stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(std::min(size, stream.size()))};
}

} // namespace kordane::test
