// The printer's command set. Each command's bytes are built here and nowhere
// else; every function writes one whole command to the stream.
//
// One-byte parameters are sent as the low 8 bits of their value. Two-byte
// fields are sent low byte first and are typed std::uint16_t: the image
// output splits its data so that every count fits before it calls these.
#pragma once

#include <cstdint>
#include <span>

#include "core/model_table.h"
#include "output/printer_stream.h"

namespace kordane {

// Colour selector of a stored graphics block.
enum class GraphicsColour : std::uint8_t { First = 0x31, Second = 0x32 };

// Largest data length a stored graphics block can carry: its parameter count
// (data plus ten bytes) must fit in 16 bits.
constexpr std::uint32_t kMaxStoredGraphicsData = 0xFFFF - 10;

// ESC @: initialise the printer.
void initializePrinter(PrinterStream& out);
// ESC a n: select justification.
void selectJustification(PrinterStream& out, std::int32_t n);
// FS p n m: print the stored bit image n with size mode m.
void printNvBitImage(PrinterStream& out, std::int32_t n, std::int32_t m);
// GS ( L function 69: print the stored graphics with key "0" kc2, at
// magnification x, y.
void printNvGraphics(PrinterStream& out, std::uint8_t kc2, std::uint8_t x, std::uint8_t y);
// `count` LF bytes; nothing when count is 0 or negative.
void lineFeeds(PrinterStream& out, std::int32_t count);
// GS ( L function 112: store `lines` lines of raster data, `width` dots wide,
// in the print buffer. data.size() must not exceed kMaxStoredGraphicsData.
void storeGraphics(PrinterStream& out, GraphicsColour colour, std::uint16_t width,
                   std::uint16_t lines, std::span<const std::uint8_t> data);
// GS ( L function 50: print what the print buffer holds.
void printStoredGraphics(PrinterStream& out);
// GS v 0: print `lines` lines of `bytesPerLine` bytes at normal size.
void printRasterBitImage(PrinterStream& out, std::uint16_t bytesPerLine, std::uint16_t lines,
                         std::span<const std::uint8_t> data);
// Compressed raster block: start record, the run-length code of `data`,
// end record.
void printCompressedBlock(PrinterStream& out, std::uint16_t width, std::uint16_t lines,
                          std::span<const std::uint8_t> data);
// ESC p m t1 t2: a drawer pulse; drawer 0 or 1, on-time half the width.
void generatePulse(PrinterStream& out, std::uint8_t drawer, std::int32_t pulseWidth);
// GS V m 1: feed one unit and cut.
void cutPaper(PrinterStream& out, CutKind kind);

} // namespace kordane
