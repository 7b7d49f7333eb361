// What the printer prints from a decoded command stream: the images, in the
// order they come out of the printer.
//
// - Stored graphics (GS ( L function 112) collect in the print buffer, one
//   stack of lines per colour, until GS ( L function 50 prints them as one
//   image. A colour with no blocks stored prints blank lines; the image is
//   two-colour when any second-colour block was stored. A print with nothing
//   stored prints nothing; blocks never printed are dropped.
// - Each GS v 0 is one image.
// - Consecutive compressed blocks of the same width are one image. Any other
//   command, or a block of another width, ends it.
// Lines narrower than the image (blocks of different widths in one print)
// are padded with blank dots on the right; a shorter colour is padded with
// blank lines at the bottom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "preview/decoder.h"

namespace kordane::preview {

struct PrintedImage {
    CommandKind source = CommandKind::StoreGraphics; // StoreGraphics, RasterBitImage or CompressedBlock
    std::size_t offset = 0;    // the command that printed it (the first block of a compressed run)
    std::uint32_t widthDots = 0;
    std::uint32_t bytesPerLine = 0;
    std::uint32_t lines = 0;
    bool twoColour = false;
    std::vector<std::uint8_t> first;  // lines × bytesPerLine
    std::vector<std::uint8_t> second; // lines × bytesPerLine when twoColour, else empty
};

struct Bitmap {
    std::uint32_t bytesPerLine = 0;
    std::uint32_t lines = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const Bitmap&) const = default;
};

enum class Plane : std::uint8_t { First, Second };

std::vector<PrintedImage> printedImages(const std::vector<Command>& commands);

// All lines of the images one below the other, as wide as the widest image
// (narrower lines padded with blank dots). For Plane::Second a monochrome
// image contributes blank lines.
Bitmap concatenateImages(const std::vector<PrintedImage>& images, Plane plane = Plane::First);

} // namespace kordane::preview
