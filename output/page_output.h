// Sending a prepared page: its logo blocks and its image, in one colour
// (graphics buffer, raster bit image or compressed raster blocks) or in two.
#pragma once

#include <cstdint>
#include <span>

#include "core/model_table.h"
#include "core/print_settings.h"
#include "output/printer_stream.h"
#include "core/page_state.h"

namespace kordane {

// The shape of a prepared image: `height` lines of `bytesPerLine` bytes,
// `width` dots wide.
struct ImageGeometry {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t bytesPerLine;
};

enum class ImageResult {
    Sent,     // the image went out (or nothing was due)
    Refused,  // no command can carry the image as it stands (a line too long, a width over 16 bits
              // or one that disagrees with the lines): no image bytes
};

// One monochrome image, by model and CompPrinting: the raster bit image
// (models that print with it), compressed raster blocks (CompPrinting 1 on
// models that compress), nothing (any other CompPrinting but 0) or the
// graphics print buffer.
ImageResult printGrayPage(PrinterStream& out, std::span<const std::uint8_t> image, ImageGeometry geometry,
                          std::int32_t compPrinting, const ModelInfo& model, const PageState& state);

// Two planes of one page, each line first in the first colour, then in the
// second, stored group by group and printed after each group.
ImageResult printColorPage(PrinterStream& out, std::span<const std::uint8_t> first,
                           std::span<const std::uint8_t> second, ImageGeometry geometry,
                           const PageState& state);

// The page between its logo blocks. A two-colour page (state.ColorMode 0)
// passes both planes; a monochrome page an empty second plane.
ImageResult printPage(PrinterStream& out, std::span<const std::uint8_t> first,
                      std::span<const std::uint8_t> second, ImageGeometry geometry,
                      const PrintSettings& settings, const ModelInfo& model, const PageState& state);

} // namespace kordane
