#include "output/commands.h"

#include <array>

#include "output/compress.h"

namespace kordane {

namespace {

constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t FS = 0x1C;
constexpr std::uint8_t GS = 0x1D;
constexpr std::uint8_t LF = 0x0A;

constexpr std::uint8_t low8(std::int32_t value) { return static_cast<std::uint8_t>(value); }
constexpr std::uint8_t lo(std::uint32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
constexpr std::uint8_t hi(std::uint32_t value) { return static_cast<std::uint8_t>((value >> 8) & 0xFF); }

// A command's fixed head followed by its data, as one command.
void headAndData(PrinterStream& out, std::span<const std::uint8_t> head,
                 std::span<const std::uint8_t> data)
{
    out.begin();
    out.put(head);
    out.put(data);
    out.end();
}

} // namespace

void initializePrinter(PrinterStream& out)
{
    const std::array<std::uint8_t, 2> cmd{ESC, 0x40};
    out.command(cmd);
}

void selectJustification(PrinterStream& out, std::int32_t n)
{
    const std::array<std::uint8_t, 3> cmd{ESC, 0x61, low8(n)};
    out.command(cmd);
}

void printNvBitImage(PrinterStream& out, std::int32_t n, std::int32_t m)
{
    const std::array<std::uint8_t, 4> cmd{FS, 0x70, low8(n), low8(m)};
    out.command(cmd);
}

void printNvGraphics(PrinterStream& out, std::uint8_t kc2, std::uint8_t x, std::uint8_t y)
{
    const std::array<std::uint8_t, 11> cmd{GS, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 0x30, kc2, x, y};
    out.command(cmd);
}

void lineFeeds(PrinterStream& out, std::int32_t count)
{
    if (count <= 0)
        return;
    out.begin();
    std::uint8_t* room = out.reserve(static_cast<std::size_t>(count));
    std::fill_n(room, count, LF);
    out.advance(static_cast<std::size_t>(count));
    out.end();
}

void storeGraphics(PrinterStream& out, GraphicsColour colour, std::uint16_t width,
                   std::uint16_t lines, std::span<const std::uint8_t> data)
{
    const auto count = static_cast<std::uint32_t>(data.size() + 10);
    const std::array<std::uint8_t, 15> head{GS, 0x28, 0x4C, lo(count), hi(count), 0x30, 0x70, 0x30,
                                            0x01, 0x01, static_cast<std::uint8_t>(colour),
                                            lo(width), hi(width), lo(lines), hi(lines)};
    headAndData(out, head, data);
}

void printStoredGraphics(PrinterStream& out)
{
    const std::array<std::uint8_t, 7> cmd{GS, 0x28, 0x4C, 0x02, 0x00, 0x30, 0x32};
    out.command(cmd);
}

void printRasterBitImage(PrinterStream& out, std::uint16_t bytesPerLine, std::uint16_t lines,
                         std::span<const std::uint8_t> data)
{
    const std::array<std::uint8_t, 8> head{GS, 0x76, 0x30, 0x00, lo(bytesPerLine), hi(bytesPerLine),
                                           lo(lines), hi(lines)};
    headAndData(out, head, data);
}

void printCompressedBlock(PrinterStream& out, std::uint16_t width, std::uint16_t lines,
                          std::span<const std::uint8_t> data)
{
    const std::array<std::uint8_t, 12> start{0x08, 0x43, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00,
                                             lo(width), hi(width), lo(lines), hi(lines)};
    const std::array<std::uint8_t, 5> finish{0x08, 0x43, 0x52, 0xFF, 0x00};
    out.begin();
    out.put(start);
    CompressData(data, out);
    out.put(finish);
    out.end();
}

void generatePulse(PrinterStream& out, std::uint8_t drawer, std::int32_t pulseWidth)
{
    const std::array<std::uint8_t, 5> cmd{ESC, 0x70, drawer, low8(pulseWidth / 2), 0xFF};
    out.command(cmd);
}

void cutPaper(PrinterStream& out, CutKind kind)
{
    const std::array<std::uint8_t, 4> cmd{GS, 0x56, kind == CutKind::Partial ? std::uint8_t{0x42} : std::uint8_t{0x41}, 0x01};
    out.command(cmd);
}

} // namespace kordane
