#include "output/page_output.h"

#include <algorithm>
#include <vector>

#include "core/log.h"
#include "output/commands.h"
#include "output/logo.h"

namespace kordane {

namespace {

constexpr std::uint32_t kMaxField = 0xFFFF;
// Pages up to this many lines go out as one group; taller ones in bands.
constexpr std::uint32_t kSingleGroupLines = 255;
constexpr std::uint32_t kBandLines = 70;

// Lines in one group of the graphics buffer: its parameter count (data plus
// ten bytes) and its line count must each fit in 16 bits.
std::uint32_t maxStoredLines(std::uint32_t bytesPerLine)
{
    return bytesPerLine == 0 ? kMaxField : std::min(kMaxField, kMaxStoredGraphicsData / bytesPerLine);
}

// The groups of lines a graphics-buffer image goes out in: one group up to
// 255 lines, otherwise bands of 70 and the rest. `keepEmptyRest` sends a
// last group even when no lines are left for it. A group too large for the
// command's counts is split into groups that fit.
std::vector<std::uint32_t> graphicsGroups(std::uint32_t height, std::uint32_t bytesPerLine, bool keepEmptyRest)
{
    std::vector<std::uint32_t> groups;
    if (height <= kSingleGroupLines) {
        groups.push_back(height);
    } else {
        groups.assign(height / kBandLines, kBandLines);
        const std::uint32_t rest = height % kBandLines;
        if (keepEmptyRest || std::uint64_t{rest} * bytesPerLine != 0)
            groups.push_back(rest);
    }
    const std::uint32_t limit = maxStoredLines(bytesPerLine);
    std::vector<std::uint32_t> fitting;
    for (std::uint32_t lines : groups) {
        do {
            const std::uint32_t part = std::min(lines, limit);
            fitting.push_back(part);
            lines -= part;
        } while (lines > 0);
    }
    return fitting;
}

std::span<const std::uint8_t> linesOf(std::span<const std::uint8_t> image, std::uint64_t first,
                                      std::uint32_t count, std::uint32_t bytesPerLine)
{
    return image.subspan(first * bytesPerLine, std::size_t{count} * bytesPerLine);
}

// A stored graphics block and a compressed block give the printer the image
// width, from which it works out the length of each line. A width that
// disagrees with the lines carried (a page whose header gives one width and
// lines of another, or a one-colour raster printed in two colours) would
// have the printer read the data as other lines than were sent.
bool widthFitsLines(std::uint32_t width, std::uint32_t lineBytes)
{
    return (std::uint64_t{width} + 7) / 8 == lineBytes;
}

ImageResult refuse(const char* reason, ImageGeometry g)
{
    logLine("ERROR: The page image (%u dots, %u bytes per line) cannot be sent: %s; "
            "it is not printed\n",
            g.width, g.bytesPerLine, reason);
    return ImageResult::Refused;
}

void sendRasterBitImage(PrinterStream& out, std::span<const std::uint8_t> image, ImageGeometry g,
                        const PageState& state)
{
    // After a quarter turn the blank lines at the bottom are dropped; when
    // that leaves none, or the lines have no bytes, no image is sent. An
    // image of no lines otherwise still goes out, as y = 0 and no data.
    std::uint32_t lines = g.height;
    const bool trimmed = state.PageType == 0 && (state.Rotation == 1 || state.Rotation == 3) && g.bytesPerLine != 0;
    if (trimmed) {
        const auto used = linesOf(image, 0, g.height, g.bytesPerLine);
        const auto lastInk = std::find_if(used.rbegin(), used.rend(), [](std::uint8_t b) { return b != 0; });
        const std::size_t zeros = static_cast<std::size_t>(lastInk - used.rbegin());
        lines = g.height - static_cast<std::uint32_t>(zeros / g.bytesPerLine);
    }
    logLine("TQ4 DEBUG MSG: START PRINTING\n");
    if ((trimmed && lines == 0) || g.bytesPerLine == 0)
        return;
    std::uint32_t first = 0;
    do {
        const std::uint32_t count = std::min(lines - first, kMaxField);
        printRasterBitImage(out, static_cast<std::uint16_t>(g.bytesPerLine), static_cast<std::uint16_t>(count),
                            linesOf(image, first, count, g.bytesPerLine));
        first += count;
    } while (first < lines);
}

void sendCompressedBlocks(PrinterStream& out, std::span<const std::uint8_t> image, ImageGeometry g,
                          std::uint32_t band)
{
    logLine("RLE printing.\n");
    const auto width = static_cast<std::uint16_t>(g.width);
    if (g.height <= band) {
        printCompressedBlock(out, width, static_cast<std::uint16_t>(g.height), linesOf(image, 0, g.height, g.bytesPerLine));
        return;
    }
    std::uint32_t first = 0;
    for (; first + band <= g.height; first += band)
        printCompressedBlock(out, width, static_cast<std::uint16_t>(band), linesOf(image, first, band, g.bytesPerLine));
    if (first < g.height)
        printCompressedBlock(out, width, static_cast<std::uint16_t>(g.height - first),
                             linesOf(image, first, g.height - first, g.bytesPerLine));
}

void sendGraphicsBuffer(PrinterStream& out, std::span<const std::uint8_t> image, ImageGeometry g)
{
    logLine("Normal printing.\n");
    std::uint64_t first = 0;
    for (std::uint32_t lines : graphicsGroups(g.height, g.bytesPerLine, false)) {
        storeGraphics(out, GraphicsColour::First, static_cast<std::uint16_t>(g.width),
                      static_cast<std::uint16_t>(lines), linesOf(image, first, lines, g.bytesPerLine));
        printStoredGraphics(out);
        first += lines;
    }
}

} // namespace

ImageResult printGrayPage(PrinterStream& out, std::span<const std::uint8_t> image, ImageGeometry g,
                          std::int32_t compPrinting, const ModelInfo& model, const PageState& state)
{
    enum class Method { RasterBitImage, Compressed, Nothing, GraphicsBuffer };
    Method method = Method::GraphicsBuffer;
    if (model.monoImage == MonoImageCommand::RasterBitImage)
        method = Method::RasterBitImage;
    else if (compPrinting == 1 && model.compresses())
        method = Method::Compressed;
    else if (compPrinting != 0)
        method = Method::Nothing;

    switch (method) {
    case Method::Nothing:
        return ImageResult::Sent;
    case Method::RasterBitImage:
        if (g.width > kMaxField || g.bytesPerLine > kMaxField)
            return refuse("a line does not fit a raster bit image", g);
        sendRasterBitImage(out, image, g, state);
        return ImageResult::Sent;
    case Method::Compressed:
        if (g.width > kMaxField)
            return refuse("the width does not fit a compressed block", g);
        if (!widthFitsLines(g.width, g.bytesPerLine))
            return refuse("the width does not match the length of its lines", g);
        sendCompressedBlocks(out, image, g, static_cast<std::uint32_t>(model.compressionBand));
        return ImageResult::Sent;
    case Method::GraphicsBuffer:
        break;
    }
    if (g.width > kMaxField || g.bytesPerLine > kMaxStoredGraphicsData)
        return refuse("a line does not fit a stored graphics block", g);
    if (!widthFitsLines(g.width, g.bytesPerLine))
        return refuse("the width does not match the length of its lines", g);
    sendGraphicsBuffer(out, image, g);
    return ImageResult::Sent;
}

ImageResult printColorPage(PrinterStream& out, std::span<const std::uint8_t> first,
                           std::span<const std::uint8_t> second, ImageGeometry g, const PageState& state)
{
    // Until a page is reduced or turned a quarter, its header still
    // describes the four-band raster line, a quarter of which is one plane.
    const bool ownLines = state.Rotation == 1 || state.Rotation == 3 || state.Scale == 95 || state.Scale == 100;
    const std::uint32_t planeLine = ownLines ? g.bytesPerLine : g.bytesPerLine / 4;
    if (g.width > kMaxField || planeLine > kMaxStoredGraphicsData)
        return refuse("a line does not fit a stored graphics block", g);
    if (!widthFitsLines(g.width, planeLine))
        return refuse(!ownLines && widthFitsLines(g.width, g.bytesPerLine)
                          ? "its lines hold one colour, not the four colour bands of a two-colour page "
                            "(a raster made for monochrome: print it with ColorModel=1)"
                          : "the width does not match the length of its lines",
                      g);

    std::uint64_t line = 0;
    for (std::uint32_t lines : graphicsGroups(g.height, planeLine, true)) {
        const auto width = static_cast<std::uint16_t>(g.width);
        const auto count = static_cast<std::uint16_t>(lines);
        storeGraphics(out, GraphicsColour::First, width, count, linesOf(first, line, lines, planeLine));
        storeGraphics(out, GraphicsColour::Second, width, count, linesOf(second, line, lines, planeLine));
        printStoredGraphics(out);
        line += lines;
    }
    return ImageResult::Sent;
}

ImageResult printPage(PrinterStream& out, std::span<const std::uint8_t> first,
                      std::span<const std::uint8_t> second, ImageGeometry geometry,
                      const PrintSettings& settings, const ModelInfo& model, const PageState& state)
{
    const LogoPlacement logo = logoPlacement(settings.LogoPosition);
    if (!logo.valid)
        return ImageResult::Sent;
    if (logo.before)
        printLogoBlock(out, settings, model.pageLogo);
    const ImageResult result = state.ColorMode == 0
                                   ? printColorPage(out, first, second, geometry, state)
                                   : printGrayPage(out, first, geometry, settings.CompPrinting, model, state);
    if (logo.after)
        printLogoBlock(out, settings, model.pageLogo);
    return result;
}

} // namespace kordane
