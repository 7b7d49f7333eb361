#include "bench/e2e/receipt_jobs.h"

#include <cups/raster.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace kordane::bench {

namespace {

using Bytes = std::vector<std::uint8_t>;

// One plane of a page: `height` lines of `lineBytes` bytes.
struct Plane {
    std::uint32_t lineBytes;
    Bytes bits;

    // Sets dots [x0, x1) of line y, whole bytes at a time.
    void fill(std::uint32_t y, std::uint32_t x0, std::uint32_t x1)
    {
        x1 = std::min(x1, 8 * lineBytes);
        if (x0 >= x1)
            return;
        std::uint8_t* line = bits.data() + std::size_t{y} * lineBytes;
        const std::uint32_t b0 = x0 / 8, b1 = (x1 - 1) / 8;
        const auto head = static_cast<std::uint8_t>(0xFF >> (x0 % 8));
        const auto tail = static_cast<std::uint8_t>(0xFF << (7 - (x1 - 1) % 8));
        if (b0 == b1) {
            line[b0] |= head & tail;
            return;
        }
        line[b0] |= head;
        std::fill(line + b0 + 1, line + b1, std::uint8_t{0xFF});
        line[b1] |= tail;
    }
};

// A 12 × 20 dot glyph made of a few strokes, like a receipt font's.
using Glyph = std::array<std::uint16_t, 20>; // bit 11 − x of row y

std::array<Glyph, 48> makeGlyphs(std::mt19937& rng)
{
    std::array<Glyph, 48> glyphs{};
    for (Glyph& g : glyphs) {
        const unsigned strokes = 2 + rng() % 3;
        for (unsigned s = 0; s < strokes; ++s) {
            if (rng() % 2) { // vertical stroke, 2 dots wide
                const unsigned x = 1 + rng() % 8, y0 = 2 + rng() % 6, y1 = 12 + rng() % 7;
                for (unsigned y = y0; y < y1; ++y)
                    g[y] |= static_cast<std::uint16_t>(0x3u << (10 - x));
            } else { // horizontal stroke, 2 lines high
                const unsigned y = 2 + rng() % 15, x0 = 1 + rng() % 4, x1 = 6 + rng() % 5;
                for (unsigned x = x0; x < x1; ++x) {
                    g[y] |= static_cast<std::uint16_t>(1u << (11 - x));
                    g[y + 1] |= static_cast<std::uint16_t>(1u << (11 - x));
                }
            }
        }
    }
    return glyphs;
}

void drawGlyph(Plane& p, const Glyph& g, std::uint32_t x, std::uint32_t y)
{
    for (std::uint32_t r = 0; r < g.size(); ++r)
        for (std::uint32_t c = 0; c < 12; ++c)
            if (g[r] & (1u << (11 - c)))
                p.fill(y + r, x + c, x + c + 1);
}

// Black content (text, rule, barcode) and red content (the logo) of a page.
// About 6 % of the page is blank above the content and 10 % below it.
void drawPage(Plane& black, Plane& red, std::uint32_t width, std::uint32_t height, unsigned seed)
{
    std::mt19937 rng(seed);
    static const std::array<Glyph, 48> glyphs = [] {
        std::mt19937 g(7);
        return makeGlyphs(g);
    }();

    const std::uint32_t top = height * 6 / 100;
    const std::uint32_t bottom = height - height / 10;
    std::uint32_t y = top;

    // Logo: an ellipse with a ring cut out of it.
    const std::uint32_t logoLines = std::min<std::uint32_t>(height / 8, 240);
    const double cx = width / 2.0, ry = logoLines / 2.0, rx = width * 0.22;
    for (std::uint32_t r = 0; r < logoLines && y + r < bottom; ++r) {
        const double dy = (r - ry) / ry;
        if (dy * dy >= 1)
            continue;
        const double half = rx * std::sqrt(1 - dy * dy);
        const double inner = half * 0.6, ring = half * 0.45;
        red.fill(y + r, static_cast<std::uint32_t>(cx - half), static_cast<std::uint32_t>(cx - inner));
        red.fill(y + r, static_cast<std::uint32_t>(cx - ring), static_cast<std::uint32_t>(cx + ring));
        red.fill(y + r, static_cast<std::uint32_t>(cx + inner), static_cast<std::uint32_t>(cx + half));
    }
    y += logoLines + 24;

    // Text rows of 24 lines, some lines short, some two columns (item, price),
    // then a rule and a barcode, until the bottom margin.
    const std::uint32_t columns = width / 12;
    while (y + 24 < bottom) {
        const unsigned kind = rng() % 20;
        if (kind == 0 && y + 8 < bottom) { // rule
            for (std::uint32_t r = 0; r < 3; ++r)
                black.fill(y + 2 + r, 8, width - 8);
            y += 8;
            continue;
        }
        if (kind == 1 && y + 100 < bottom) { // barcode, 2-dot modules
            std::vector<std::pair<std::uint32_t, std::uint32_t>> bars;
            std::uint32_t x = width / 8;
            while (x < width - width / 8) {
                const std::uint32_t w = 2 * (1 + rng() % 4);
                bars.emplace_back(x, x + w);
                x += w + 2 * (1 + rng() % 4);
            }
            for (std::uint32_t r = 0; r < 80; ++r)
                for (auto [x0, x1] : bars)
                    black.fill(y + r, x0, std::min(x1, width - width / 8));
            y += 100;
            continue;
        }
        if (kind < 5) { // blank line between blocks
            y += 24;
            continue;
        }
        const std::uint32_t chars = kind < 10 ? columns / 2 + rng() % (columns / 2) : columns - 2;
        for (std::uint32_t c = 0; c < chars; ++c) {
            if (rng() % 6 == 0)
                continue; // space
            drawGlyph(black, glyphs[rng() % glyphs.size()], 12 * c + 6, y + 2);
        }
        y += 24;
    }
}

cups_page_header2_t headerFor(JobShape shape)
{
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    const std::uint32_t planeBytes = (shape.width + 7) / 8;
    h.HWResolution[0] = h.HWResolution[1] = 203;
    h.PageSize[0] = shape.width * 72 / 203;
    h.PageSize[1] = shape.height * 72 / 203;
    h.ImagingBoundingBox[2] = h.PageSize[0];
    h.ImagingBoundingBox[3] = h.PageSize[1];
    h.NumCopies = 1;
    h.cupsWidth = shape.width;
    h.cupsHeight = shape.height;
    h.cupsBitsPerColor = 1;
    h.cupsBitsPerPixel = 1;
    if (shape.twoColour) {
        h.cupsColorSpace = CUPS_CSPACE_CMYK;
        h.cupsColorOrder = CUPS_ORDER_BANDED;
        h.cupsNumColors = 4;
        h.cupsBytesPerLine = 4 * planeBytes;
    } else {
        h.cupsColorSpace = CUPS_CSPACE_K;
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
        h.cupsNumColors = 1;
        h.cupsBytesPerLine = planeBytes;
    }
    h.cupsPageSize[0] = static_cast<float>(h.PageSize[0]);
    h.cupsPageSize[1] = static_cast<float>(h.PageSize[1]);
    return h;
}

// The raster bytes of one page: black and red OR-ed on one-colour pages; on
// two-colour pages the red in the M and Y bands and the black in K.
Bytes pageBytes(JobShape shape, unsigned seed)
{
    const std::uint32_t planeBytes = (shape.width + 7) / 8;
    const std::size_t planeSize = std::size_t{planeBytes} * shape.height;
    Plane black{planeBytes, Bytes(planeSize)};
    Plane red{planeBytes, Bytes(planeSize)};
    drawPage(black, red, shape.width, shape.height, seed);
    if (!shape.twoColour) {
        for (std::size_t i = 0; i < planeSize; ++i)
            black.bits[i] |= red.bits[i];
        return black.bits;
    }
    Bytes out(4 * planeSize);
    for (std::uint32_t y = 0; y < shape.height; ++y) {
        std::uint8_t* line = out.data() + std::size_t{y} * 4 * planeBytes;
        const std::uint8_t* r = red.bits.data() + std::size_t{y} * planeBytes;
        std::copy_n(r, planeBytes, line + planeBytes);
        std::copy_n(r, planeBytes, line + 2 * planeBytes);
        std::copy_n(black.bits.data() + std::size_t{y} * planeBytes, planeBytes, line + 3 * planeBytes);
    }
    return out;
}

} // namespace

void writeReceiptJob(const std::string& path, JobShape shape, unsigned pages)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    if (raster == nullptr) {
        ::close(fd);
        throw std::runtime_error("cupsRasterOpen: " + std::string(cupsRasterErrorString()));
    }
    // A few different pages, repeated: the content varies, the cost of
    // writing a long job stays small.
    std::array<Bytes, 4> variants;
    for (unsigned v = 0; v < variants.size(); ++v)
        variants[v] = pageBytes(shape, 11 + v);

    bool ok = true;
    for (unsigned n = 0; n < pages && ok; ++n) {
        cups_page_header2_t header = headerFor(shape);
        Bytes& bytes = variants[n % variants.size()];
        ok = cupsRasterWriteHeader2(raster, &header) &&
             cupsRasterWritePixels(raster, bytes.data(), static_cast<unsigned>(bytes.size())) == bytes.size();
    }
    cupsRasterClose(raster);
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed)
        throw std::runtime_error("cannot write the raster job " + path + ": " + cupsRasterErrorString());
}

std::string benchPpd(int model)
{
    struct Option {
        const char* keyword;
        const char* defaultChoice;
        std::vector<std::string> choices;
    };
    auto range = [](int first, int last) {
        std::vector<std::string> v;
        for (int i = first; i <= last; ++i)
            v.push_back(std::to_string(i));
        return v;
    };
    const std::vector<std::string> pulses = {"100", "200"};
    const Option options[] = {
        {"PageType", "0", range(0, 1)},         {"Rotation", "0", range(0, 3)},
        {"FocusArea", "0", range(0, 2)},        {"ColorModel", "1", range(0, 2)},
        {"CompPrinting", "0", range(0, 1)},     {"LogoPosition", "0", range(0, 4)},
        {"LogoJustification", "0", range(0, 2)}, {"LogoImage", "0", range(0, 2)},
        {"LogoWidth", "0", range(0, 3)},        {"LineFeed", "0", range(0, 5)},
        {"PageCut", "0", range(0, 2)},          {"CashDrawer", "0", range(0, 3)},
        {"CashDrawerOpen", "0", range(0, 2)},   {"CashDrawer1PulseWidth", "100", pulses},
        {"CashDrawer2PulseWidth", "200", pulses},
    };

    std::string ppd = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                      "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
                      "*PCFileName: \"KORDBNCH.PPD\"\n*Manufacturer: \"Kordane\"\n"
                      "*Product: \"(Kordane Bench Printer)\"\n*ModelName: \"Kordane Bench Printer\"\n"
                      "*ShortNickName: \"Kordane Bench Printer\"\n*NickName: \"Kordane Bench Printer\"\n"
                      "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: True\n"
                      "*DefaultColorSpace: Gray\n*cupsVersion: 2.4\n";
    ppd += "*cupsModelNumber: " + std::to_string(model) + "\n";
    ppd += "*cupsFilter: \"application/vnd.cups-raster 0 rastertoKordane\"\n";

    // Page sizes, each its own length: 1 (receipt), 95 (a third), 100 (a half).
    const char* sizes[] = {"1", "95", "100"};
    for (const char* keyword : {"PageSize", "PageRegion"}) {
        ppd += std::string("*OpenUI *") + keyword + "/Media Size: PickOne\n*OrderDependency: 10 AnySetup *" +
               keyword + "\n*Default" + keyword + ": 1\n";
        for (int i = 0; i < 3; ++i)
            ppd += std::string("*") + keyword + " " + sizes[i] + "/" + sizes[i] + ": \"<</PageSize[226.77 " +
                   std::to_string(567 + 28 * i) + "]/ImagingBBox null>>setpagedevice\"\n";
        ppd += std::string("*CloseUI: *") + keyword + "\n";
    }
    ppd += "*DefaultImageableArea: 1\n";
    for (int i = 0; i < 3; ++i)
        ppd += std::string("*ImageableArea ") + sizes[i] + "/" + sizes[i] + ": \"11.20 0.00 215.57 " +
               std::to_string(567 + 28 * i) + "\"\n";
    ppd += "*DefaultPaperDimension: 1\n";
    for (int i = 0; i < 3; ++i)
        ppd += std::string("*PaperDimension ") + sizes[i] + "/" + sizes[i] + ": \"226.77 " +
               std::to_string(567 + 28 * i) + "\"\n";

    for (const Option& o : options) {
        const std::string k = o.keyword;
        ppd += "*OpenUI *" + k + "/" + k + ": PickOne\n*OrderDependency: 10 AnySetup *" + k + "\n";
        ppd += "*Default" + k + ": " + o.defaultChoice + "\n";
        for (const std::string& c : o.choices)
            ppd += "*" + k + " " + c + "/" + c + ": \"\"\n";
        ppd += "*CloseUI: *" + k + "\n";
    }
    return ppd;
}

} // namespace kordane::bench
