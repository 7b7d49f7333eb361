// A stored logo printed above or below a page or a text job.
#pragma once

#include "core/model_table.h"
#include "core/print_settings.h"
#include "output/printer_stream.h"

namespace kordane {

// Where logo blocks go around a page or a text, from LogoPosition.
struct LogoPlacement {
    bool valid;  // false: LogoPosition outside 0 to 3, nothing at all is printed
    bool before;
    bool after;
};
LogoPlacement logoPlacement(std::int32_t logoPosition);

// ESC a (LogoJustification), the logo command, ESC @, then LineFeed LF.
// LogoImage and LogoWidth outside their ranges: the key is the model's base
// key plus LogoImage as one byte, and the magnification is normal.
void printLogoBlock(PrinterStream& out, const PrintSettings& settings, LogoCommand command);

} // namespace kordane
