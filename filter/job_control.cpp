#include "filter/job_control.h"

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "core/input_source.h"
#include "core/log.h"
#include "core/model_table.h"
#include "filter/settings.h"
#include "output/commands.h"
#include "output/text_job.h"
#include "pipeline/page_loop.h"
#include "core/page_state.h"

namespace kordane {

namespace {

constexpr char kApiTitle[] = "KORDANE_API_MODE";

bool isApiTitle(const char* title)
{
    return std::strncmp(title, kApiTitle, sizeof kApiTitle - 1) == 0;
}

// The closing report of every job that got as far as reading its settings.
// A printer stream that could not be written fails the job, whatever else
// happened.
int finishJob(const PrinterStream& out, int pages, bool errorFlag)
{
    if (out.writeError() != 0) {
        logLine("ERROR: The job cannot be sent to the printer: %s\n", std::strerror(out.writeError()));
        return 1;
    }
    if (pages == 0)
        logLine("ERROR: No pages found!\n");
    else
        logLine("INFO: Ready to print.\n");
    return (pages == 0 || errorFlag) ? 1 : 0;
}

} // namespace

void jobSetup(PrinterStream& out)
{
    out.installCancelHandler();
    initializePrinter(out);
}

int runFilter(int argc, char* argv[], std::size_t streamCapacity)
{
    logLine("TQ4 DEBUG MSG : drive version v1.3.5\n");
    if (argc < 6 || argc > 7) {
        logLine("TQ4 DEBUG MSG: rastertoKordane job-id user title copies options [file]\n");
        return 1;
    }

    int fd = STDIN_FILENO;
    if (argc == 7) {
        logLine("TQ4 DEBUG MSG : argv[6] = %s.\n", argv[6]);
        fd = ::open(argv[6], O_RDONLY);
        if (fd < 0) {
            logLine("TQ4 DEBUG MSG: Unable to open raster file - : %s\n", std::strerror(errno));
            ::sleep(1);
            return 1;
        }
    }
    InputSource input(fd);

    PrintSettings settings;
    PageState state;
    PrinterStream out(STDOUT_FILENO, streamCapacity);
    int pages = 0;
    bool errorFlag = false;

    if (initializeSettings(std::getenv("PPD"), argv[5], settings, state) != SettingsResult::Supported) {
        logLine("TQ4 DEBUG MSG : This printer is not KORDANE's printer.\n");
        errorFlag = true;
    } else {
        const ModelInfo& model = *findModel(state.PrinterModel);
        jobSetup(out);

        // A file argument is printed as text, unless it holds a raster stream.
        if (argc == 7 && !input.startsWithRasterSyncWord()) {
            const bool readOk = printText(input, settings, model, out);
            ::close(fd);
            out.flush();
            if (out.writeError() != 0)
                return finishJob(out, 0, true);
            return readOk ? 0 : 1;
        }
        if (!isApiTitle(argv[3])) {
            const RasterJobOutcome outcome = runRasterJob(input, settings, model, state, out);
            pages = outcome.pages;
            errorFlag = outcome.errorFlag;
        }
    }

    if (fd != STDIN_FILENO)
        ::close(fd);
    out.flush();
    return finishJob(out, pages, errorFlag);
}

} // namespace kordane
