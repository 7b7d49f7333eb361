// Raster jobs for the end-to-end benchmark, written through libcupsimage as
// the print system's raster filters write them: receipt-like pages (blank
// margins above and below, a logo, rows of text, a rule and a barcode; most
// bytes zero) in one colour, or as four-band two-colour lines with the logo
// in red and the rest in black.
#pragma once

#include <cstdint>
#include <string>

namespace kordane::bench {

struct JobShape {
    std::uint32_t width;  // dots per line (of one plane on two-colour pages)
    std::uint32_t height; // lines per page
    bool twoColour;       // four bands per line: C, M, Y, K
};

// Writes `pages` pages of the given shape to `path`. Throws
// std::runtime_error when the file cannot be written or libcups refuses it.
void writeReceiptJob(const std::string& path, JobShape shape, unsigned pages);

// A PPD for the given printer model with the filter's options; every option's
// default is its usual one (monochrome, uncompressed, untrimmed size 1, ...).
std::string benchPpd(int model);

} // namespace kordane::bench
