// The job's print settings: the printer model and the options the page
// pipeline reads. The CUPS filter fills them from the PPD and the job's
// options, the printer application from the printer's stored settings.
#pragma once

#include <cstdint>

namespace kordane {

// Every field is the number at the start of the chosen choice's keyword.
// -1: the option is read for this model but the PPD lacks it (or its default
// choice). 0: the option is not read for this model.
struct PrintSettings {
    std::int32_t model_number = 0;
    std::int32_t PageType = 0;          // 0 trim blank lines, 1 keep them
    std::int32_t FocusArea = 0;         // 1 end window, 2 centre window
    std::int32_t Rotation = 0;          // 0 none, 1 90°, 2 180°, 3 270°
    std::int32_t ColorModel = 0;        // 0 two colours, 1 monochrome
    std::int32_t CompPrinting = 0;      // 1 compressed raster blocks
    std::int32_t LogoPosition = 0;      // 0 none, 1 above, 2 below, 3 both
    std::int32_t LogoJustification = 0; // ESC a n
    std::int32_t LogoImage = 0;         // stored logo 0 to 2
    std::int32_t LogoWidth = 0;         // logo magnification 0 to 3
    std::int32_t LineFeed = 0;          // LF after each logo
    std::int32_t PageSize = 0;          // number of the page size
    std::int32_t PageCut = 0;           // 0 feed, 2 cut
    std::int32_t CashDrawer = 0;        // 0 none, 1, 2, 3 both
    std::int32_t CashDrawerOpen = 0;    // 0 before first page, 1 after last, 2 both
    std::int32_t CashDrawer1PulseWidth = 0;
    std::int32_t CashDrawer2PulseWidth = 0;
    std::int32_t JobEndCut = 0;         // 1: feed and cut once after the last page
};

} // namespace kordane
