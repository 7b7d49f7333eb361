#include "output/text_job.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "core/log.h"
#include "output/logo.h"

namespace kordane {

bool printText(InputSource& input, const PrintSettings& settings, const ModelInfo& model,
               PrinterStream& out)
{
    const LogoPlacement logo = logoPlacement(settings.LogoPosition);
    if (!logo.valid)
        return true;
    if (logo.before)
        printLogoBlock(out, settings, model.textLogo);

    bool readOk = true;
    std::array<std::uint8_t, 64 * 1024> chunk;
    while (out.writeError() == 0) {
        ssize_t n = input.read(chunk);
        if (n == 0)
            break;
        if (n < 0) {
            logLine("ERROR: Unable to read the text file: %s\n", std::strerror(errno));
            readOk = false;
            break;
        }
        out.command({chunk.data(), static_cast<std::size_t>(n)});
    }

    if (logo.after)
        printLogoBlock(out, settings, model.textLogo);
    return readOk;
}

} // namespace kordane
