// Writes a sample receipt as a CUPS raster stream on standard output: one
// page, 576 dots wide at 203 dpi, 1 bit per dot, with blank margins above and
// below, a logo block, rows of text-like marks and a barcode.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include <cups/raster.h>

namespace {

constexpr unsigned kWidth = 576;
constexpr unsigned kHeight = 1400;
constexpr unsigned kBytesPerLine = kWidth / 8;

void setDot(std::vector<std::uint8_t>& page, unsigned x, unsigned y)
{
    page[y * kBytesPerLine + x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
}

void fillRect(std::vector<std::uint8_t>& page, unsigned x0, unsigned y0, unsigned w, unsigned h)
{
    for (unsigned y = y0; y < y0 + h; ++y)
        for (unsigned x = x0; x < x0 + w; ++x)
            setDot(page, x, y);
}

std::vector<std::uint8_t> receipt()
{
    std::vector<std::uint8_t> page(kBytesPerLine * kHeight, 0);
    std::mt19937 random(20261206);

    // Logo: a framed block centred at the top.
    fillRect(page, 188, 150, 200, 8);
    fillRect(page, 188, 242, 200, 8);
    fillRect(page, 188, 150, 8, 100);
    fillRect(page, 380, 150, 8, 100);
    fillRect(page, 230, 180, 116, 40);

    // Text rows: 24-dot lines of 12-dot glyph cells with random strokes.
    for (unsigned row = 0; row < 24; ++row) {
        const unsigned y0 = 300 + row * 30;
        const unsigned glyphs = 10 + random() % 34;
        for (unsigned g = 0; g < glyphs; ++g) {
            if (random() % 6 == 0)
                continue; // a space
            for (unsigned stroke = 0; stroke < 5; ++stroke) {
                const unsigned x = g * 13 + random() % 10;
                const unsigned y = y0 + random() % 20;
                fillRect(page, x, y, 2 + random() % 3, 2 + random() % 4);
            }
        }
    }

    // Barcode: bars of random width under the text.
    unsigned x = 48;
    while (x < kWidth - 60) {
        const unsigned bar = 2 + random() % 5;
        fillRect(page, x, 1060, bar, 120);
        x += bar + 2 + random() % 5;
    }
    return page;
}

} // namespace

int main()
{
    cups_raster_t* raster = cupsRasterOpen(1, CUPS_RASTER_WRITE);
    if (raster == nullptr) {
        std::fprintf(stderr, "make_sample_raster: cannot open the raster stream\n");
        return 1;
    }
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    std::strcpy(header.MediaClass, "PwgRaster");
    header.HWResolution[0] = header.HWResolution[1] = 203;
    header.PageSize[0] = 204;
    header.PageSize[1] = kHeight * 72 / 203;
    header.NumCopies = 1;
    header.cupsWidth = kWidth;
    header.cupsHeight = kHeight;
    header.cupsBitsPerColor = 1;
    header.cupsBitsPerPixel = 1;
    header.cupsBytesPerLine = kBytesPerLine;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = CUPS_CSPACE_K;
    header.cupsNumColors = 1;

    std::vector<std::uint8_t> page = receipt();
    if (!cupsRasterWriteHeader2(raster, &header) ||
        cupsRasterWritePixels(raster, page.data(), static_cast<unsigned>(page.size())) == 0) {
        std::fprintf(stderr, "make_sample_raster: cannot write the raster stream\n");
        return 1;
    }
    cupsRasterClose(raster);
    return 0;
}
