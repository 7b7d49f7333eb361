#include "app/raster.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "app/driver.h"
#include "app/folder_device.h"
#include "core/page_state.h"
#include "output/commands.h"
#include "output/printer_stream.h"
#include "pipeline/page_loop.h"
#include "pipeline/raster_job.h"

namespace kordane::app {

namespace {

bool writeToDevice(void* device, const std::uint8_t* bytes, std::size_t n)
{
    return papplDeviceWrite(static_cast<pappl_device_t*>(device), bytes, n) == static_cast<ssize_t>(n);
}

// Everything one job of the application works with.
struct AppJob {
    AppJob(const ModelInfo& m, pappl_device_t* device)
        : model(m), out(writeToDevice, device), job{settings, model, state, out, {}, {}, 0, false}
    {
    }
    const ModelInfo& model;
    PrintSettings settings;
    PageState state;
    PrinterStream out;
    RasterJob job;
    bool twoColours = false;
    bool pageOpen = false; // a page is being collected into `pixels`
    bool cancelled = false;
    PageStep last = PageStep::Next;
    std::span<std::uint8_t> pixels;
};

AppJob* appJob(pappl_job_t* job) { return static_cast<AppJob*>(papplJobGetData(job)); }

// A cancelled job ends on a whole command with the cancel trailer.
bool stopIfCancelled(pappl_job_t* job, AppJob& j)
{
    if (!j.cancelled && papplJobIsCanceled(job)) {
        j.cancelled = true;
        try {
            j.out.cancel();
        } catch (const std::bad_alloc&) {
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Not enough memory to end the cancelled job.");
        }
    }
    return j.cancelled;
}

bool isRgb(const cups_page_header2_t& h)
{
    return h.cupsBitsPerPixel == 24 && (h.cupsColorSpace == CUPS_CSPACE_SRGB || h.cupsColorSpace == CUPS_CSPACE_RGB ||
                                        h.cupsColorSpace == CUPS_CSPACE_ADOBERGB);
}

bool startJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device)
{
    const ModelInfo* model = modelForDriver(papplPrinterGetDriverName(papplJobGetPrinter(job)));
    if (model == nullptr)
        return false;
    AppJob* j = nullptr;
    try {
        j = new AppJob(*model, device);
    } catch (const std::bad_alloc&) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Not enough memory for the job.");
        return false;
    }
    papplJobSetData(job, j);
    j->twoColours = model->twoColour && (options->print_color_mode == PAPPL_COLOR_MODE_COLOR ||
                                         (options->print_color_mode == PAPPL_COLOR_MODE_AUTO && isRgb(options->header)));
    ipp_t* defaults = papplPrinterGetDriverAttributes(papplJobGetPrinter(job));
    j->settings = jobSettings(*model, *options, defaults, j->twoColours);
    ippDelete(defaults);
    j->state.PrinterModel = model->number;
    startRasterJob(j->settings, j->state);
    initializePrinter(j->out);
    return true;
}

// A page of `height` lines at the roll's printable width.
bool beginAppPage(AppJob& j, const pappl_pr_options_t& options, unsigned height)
{
    if (j.last != PageStep::Next)
        return false;
    const unsigned dots = printableDots(options.media);
    const unsigned band = (dots + 7) / 8;
    cups_page_header2_t& h = j.job.header;
    h = cups_page_header2_t{};
    h.cupsWidth = dots;
    h.cupsHeight = height;
    h.cupsBitsPerColor = 1;
    h.cupsBitsPerPixel = 1;
    h.cupsBytesPerLine = j.twoColours ? 4 * band : band;
    h.cupsColorSpace = j.twoColours ? CUPS_CSPACE_CMYK : CUPS_CSPACE_K;
    h.cupsColorOrder = j.twoColours ? CUPS_ORDER_BANDED : CUPS_ORDER_CHUNKED;
    h.HWResolution[0] = h.HWResolution[1] = 203;
    h.NumCopies = 1;
    const PageStep step = beginPage(j.job, j.pixels);
    if (step == PageStep::MemoryFailure) {
        j.last = step;
        return false;
    }
    j.pageOpen = step == PageStep::Next;
    if (j.pageOpen)
        std::memset(j.pixels.data(), 0, j.pixels.size());
    return true;
}

void addLine(AppJob& j, const pappl_pr_options_t& options, const cups_page_header2_t& input, unsigned y,
             const std::uint8_t* line)
{
    if (!j.pageOpen || y >= j.job.header.cupsHeight)
        return;
    const std::size_t lineBytes = j.job.header.cupsBytesPerLine;
    convertLine(input, line, y, options.dither, j.twoColours, j.job.header.cupsWidth,
                j.pixels.subspan(y * lineBytes, lineBytes));
}

bool endAppPage(pappl_job_t* job, AppJob& j)
{
    if (!j.pageOpen)
        return true;
    j.pageOpen = false;
    try {
        j.last = printPagePixels(j.job, j.pixels);
    } catch (const std::bad_alloc&) {
        j.last = PageStep::MemoryFailure;
    }
    if (j.last == PageStep::MemoryFailure)
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Not enough memory for the page.");
    // Each page goes out as soon as it is ready.
    j.out.flush();
    return j.last != PageStep::MemoryFailure && !j.job.errorFlag;
}

bool startPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned)
{
    if (appJob(job) == nullptr)
        return false;
    AppJob& j = *appJob(job);
    if (stopIfCancelled(job, j))
        return false;
    return beginAppPage(j, *options, options->header.cupsHeight);
}

bool writeLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned y, const unsigned char* line)
{
    if (appJob(job) == nullptr)
        return false;
    AppJob& j = *appJob(job);
    if (stopIfCancelled(job, j))
        return false;
    addLine(j, *options, options->header, y, line);
    return true;
}

bool endPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned)
{
    if (appJob(job) == nullptr)
        return false;
    AppJob& j = *appJob(job);
    return !stopIfCancelled(job, j) && endAppPage(job, j);
}

bool endJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device)
{
    std::unique_ptr<AppJob> j(appJob(job));
    papplJobSetData(job, nullptr);
    if (!j)
        return false;
    if (!stopIfCancelled(job, *j))
        finishRasterJob(j->job, j->last);
    endFolderJob(job, device);
    return !j->cancelled && j->last != PageStep::MemoryFailure && !j->job.errorFlag;
}

// The dot at input column `x` as darkness (0 white to 255 black) and, for
// colour input, redness (how much more red it has than green or blue).
struct Dot {
    int dark;
    int red;
};

Dot readDot(const cups_page_header2_t& in, const std::uint8_t* line, unsigned x)
{
    switch (in.cupsBitsPerPixel) {
    case 1:
        return {(line[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0, 0};
    case 8: {
        const int v = line[x];
        const bool grey = in.cupsColorSpace == CUPS_CSPACE_SW || in.cupsColorSpace == CUPS_CSPACE_W;
        return {grey ? 255 - v : v, 0};
    }
    case 24: {
        const int r = line[3 * x], g = line[3 * x + 1], b = line[3 * x + 2];
        const int luma = (r * 299 + g * 587 + b * 114) / 1000;
        return {255 - luma, r - std::max(g, b)};
    }
    default:
        return {0, 0};
    }
}

// Red-ish enough to print in the second colour.
constexpr int kRedThreshold = 64;

} // namespace

void convertLine(const cups_page_header2_t& input, const std::uint8_t* line, unsigned y,
                 const pappl_dither_t& dither, bool twoColours, unsigned dots, std::span<std::uint8_t> out)
{
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    const std::size_t band = (dots + 7) / 8;
    std::uint8_t* second1 = out.data() + band;
    std::uint8_t* second2 = out.data() + 2 * band;
    std::uint8_t* first = twoColours ? out.data() + 3 * band : out.data();
    const long shift = (static_cast<long>(input.cupsWidth) - static_cast<long>(dots)) / 2;
    for (unsigned d = 0; d < dots; ++d) {
        const long x = static_cast<long>(d) + shift;
        if (x < 0 || x >= static_cast<long>(input.cupsWidth))
            continue;
        const Dot dot = readDot(input, line, static_cast<unsigned>(x));
        // Full black and full red always print, whatever the dither says.
        const int threshold = std::min<int>(dither[y & 15][d & 15], 254);
        const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (d % 8));
        if (twoColours && dot.red > kRedThreshold) {
            if (dot.red > threshold) {
                second1[d / 8] |= bit;
                second2[d / 8] |= bit;
            }
        } else if (dot.dark > threshold) {
            first[d / 8] |= bit;
        }
    }
}

// A document in the printer's own commands (from point-of-sale software)
// goes to the printer as it is; any other document that is neither a picture
// nor a raster (a PDF sent as application/octet-stream, say) is refused.
bool printFile(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device)
{
    const char* format = papplJobGetFormat(job);
    if (format == nullptr || std::strcmp(format, kPrinterFormat) != 0) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unsupported document format \"%s\".", format ? format : "");
        return false;
    }
    const int fd = ::open(papplJobGetFilename(job), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    std::uint8_t buffer[65536];
    for (ssize_t n; ok && (n = ::read(fd, buffer, sizeof buffer)) != 0;)
        ok = n > 0 && papplDeviceWrite(device, buffer, static_cast<std::size_t>(n)) == n && !papplJobIsCanceled(job);
    ::close(fd);
    endFolderJob(job, device);
    papplJobSetImpressionsCompleted(job, 1);
    return ok;
}

void setRasterCallbacks(pappl_pr_driver_data_t& data)
{
    data.printfile_cb = printFile;
    data.format = kPrinterFormat;
    data.rstartjob_cb = startJob;
    data.rstartpage_cb = startPage;
    data.rwriteline_cb = writeLine;
    data.rendpage_cb = endPage;
    data.rendjob_cb = endJob;
}

} // namespace kordane::app


