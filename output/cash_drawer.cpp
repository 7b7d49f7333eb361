#include "output/cash_drawer.h"

#include "output/commands.h"

namespace kordane {

void openCashDrawer(PrinterStream& out, const PrintSettings& settings)
{
    if (settings.CashDrawer == 1 || settings.CashDrawer == 3)
        generatePulse(out, 0, settings.CashDrawer1PulseWidth);
    if (settings.CashDrawer == 2 || settings.CashDrawer == 3)
        generatePulse(out, 1, settings.CashDrawer2PulseWidth);
}

} // namespace kordane
