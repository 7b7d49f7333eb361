// The cash-drawer kick.
#pragma once

#include "core/print_settings.h"
#include "output/printer_stream.h"

namespace kordane {

// Pulses drawer 1, drawer 2 or both as CashDrawer selects (1, 2, 3); any
// other value sends nothing.
void openCashDrawer(PrinterStream& out, const PrintSettings& settings);

} // namespace kordane
