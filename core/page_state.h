// The form of the page being printed, as the page loop and the page
// preparations hand it to the output.
#pragma once

#include <cstdint>

namespace kordane {

struct PageState {
    std::int32_t PrinterModel = 0; // model number from the PPD
    std::int32_t PageType = 0;     // the PageType setting, copied per page
    std::int32_t Focus = 0;        // focus-area mode 1 or 2, else 0
    std::int32_t Rotation = 0;     // turn applied to the page image: 1, 2, 3
    std::int32_t Scale = 0;        // 95 after a reduction to a third, 100 to a half; kept for the job
    std::int32_t ColorMode = 0;    // 0 two-colour page, 1 monochrome page
    std::int32_t ALREADY_OPEN = 1; // the before-the-first-page drawer pulse is still due
};

} // namespace kordane
