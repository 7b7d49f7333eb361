// Printing a job's pages: PAPPL hands each page line by line; the page is
// collected as the 1-bit image the CUPS filter would get for it and handed to
// the shared page steps, so both front ends send the same bytes for it.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <span>

namespace kordane::app {

// The printer's own command stream, printed as it is.
constexpr char kPrinterFormat[] = "application/vnd.kordane-receipt";

void setRasterCallbacks(pappl_pr_driver_data_t& data);

// One line of the page as PAPPL gives it (1-bit black, 8-bit grey or black,
// 8-bit sRGB as `input` describes) turned into `dots` dots of 1-bit output,
// centred on the input line. Monochrome: `out` holds one band. Two colours:
// four bands of (dots + 7) / 8 bytes as a two-colour CUPS raster line has
// them: the second colour (red-ish dots) in the second and third band, the
// first colour (dark dots) in the fourth.
void convertLine(const cups_page_header2_t& input, const std::uint8_t* line, unsigned y,
                 const pappl_dither_t& dither, bool twoColours, unsigned dots, std::span<std::uint8_t> out);

} // namespace kordane::app
