#include "output/logo.h"

#include "output/commands.h"

namespace kordane {

LogoPlacement logoPlacement(std::int32_t logoPosition)
{
    if (logoPosition < 0 || logoPosition > 3)
        return {false, false, false};
    return {true, (logoPosition & 1) != 0, (logoPosition & 2) != 0};
}

void printLogoBlock(PrinterStream& out, const PrintSettings& settings, LogoCommand command)
{
    selectJustification(out, settings.LogoJustification);
    if (command == LogoCommand::NvBitImage) {
        // The stored images are numbered from 1; only the low byte is sent,
        // so the count wraps rather than overflows.
        printNvBitImage(out, static_cast<std::int32_t>(static_cast<std::uint32_t>(settings.LogoImage) + 1u),
                        settings.LogoWidth);
    } else {
        const std::uint8_t base = command == LogoCommand::NvGraphicsKey31 ? 0x31 : 0x30;
        const auto kc2 = static_cast<std::uint8_t>(base + static_cast<std::uint8_t>(settings.LogoImage));
        std::uint8_t x = 1, y = 1;
        if (settings.LogoWidth >= 0 && settings.LogoWidth <= 3) {
            x = (settings.LogoWidth & 1) ? 2 : 1;
            y = (settings.LogoWidth & 2) ? 2 : 1;
        }
        printNvGraphics(out, kc2, x, y);
    }
    initializePrinter(out);
    lineFeeds(out, settings.LineFeed);
}

} // namespace kordane
