#include "pipeline/page_loop.h"

#include <algorithm>
#include <new>

#include "core/log.h"
#include "output/cash_drawer.h"
#include "output/commands.h"
#include "pipeline/prepare.h"
#include "pipeline/raster_job.h"
#include "pipeline/trim.h"

namespace kordane {

namespace {

ssize_t readInput(void* context, unsigned char* buffer, std::size_t length)
{
    return static_cast<InputSource*>(context)->read({buffer, length});
}

// Page sizes printed as they come: a quarter turn is not applied to them.
bool locksQuarterTurns(std::int32_t pageSize)
{
    constexpr std::int32_t kSizes[] = {56, 75, 94, 110, 111, 112, 138, 139};
    return std::find(std::begin(kSizes), std::end(kSizes), pageSize) != std::end(kSizes);
}

void reportMemoryFailure(RasterJob& job)
{
    logLine("TQ4 DEBUG MSG: Memory Allocation Error\n");
    job.errorFlag = true;
}

void logTrimResult(RasterJob& job, int result)
{
    logLine("TQ4_DEBUG_MSG : removeNullLine return = %d\n", result);
    logLine("TQ4_DEBUG : cupsHeight = %d\n", static_cast<int>(job.header.cupsHeight));
}

} // namespace

void startRasterJob(PrintSettings& settings, PageState& state)
{
    if (locksQuarterTurns(settings.PageSize) && (settings.Rotation == 1 || settings.Rotation == 3))
        settings.Rotation = 0;
    state.Focus = (settings.FocusArea == 1 || settings.FocusArea == 2) ? settings.FocusArea : 0;
}

PageStep beginPage(RasterJob& job, std::span<std::uint8_t>& pixels)
{
    const cups_page_header2_t& header = job.header;
    if (header.cupsHeight == 0 || header.cupsBytesPerLine == 0)
        return PageStep::EndOfJob;

    const auto size = checkedSize(header.cupsHeight, header.cupsBytesPerLine);
    if (!size || *size > kMaxPageBytes || !job.buffers.pageImage.ensure(*size)) {
        reportMemoryFailure(job);
        return PageStep::MemoryFailure;
    }
    pixels = job.buffers.pageImage.span(*size);

    job.state.PageType = job.settings.PageType;
    logLine("TQ4_DEBUG : cupsHeight = %d\n", static_cast<int>(header.cupsHeight));
    return PageStep::Next;
}

PageStep pageUnreadable(RasterJob& job)
{
    logTrimResult(job, kPageUnreadable);
    logLine("ERROR: The pixel data of page %d cannot be read; the job ends here\n", job.pages + 1);
    job.errorFlag = true;
    return PageStep::EndOfJob;
}

PageStep printPagePixels(RasterJob& job, std::span<std::uint8_t> pixels)
{
    cups_page_header2_t& header = job.header;
    std::size_t firstLine = 0;
    const int trimmed = trimPage(pixels, header, job.state.PageType, firstLine);
    logTrimResult(job, trimmed);
    if (trimmed == kPageBlank)
        return PageStep::Next;

    ++job.pages;
    logLine("TQ4 DEBUG MESG: PAGE: %d %d\n", job.pages, static_cast<int>(header.NumCopies));
    // The scheduler's own page line: page_log, the job's completed pages and
    // page quotas count from it. Every page is printed once.
    logLine("PAGE: %d 1\n", job.pages);

    if ((job.settings.CashDrawerOpen == 0 || job.settings.CashDrawerOpen == 2) && job.state.ALREADY_OPEN == 1) {
        openCashDrawer(job.out, job.settings);
        job.state.ALREADY_OPEN = 0;
    }

    const bool colour = job.settings.ColorModel == 0 && job.model.twoColour;
    const bool mono = !colour && (job.settings.ColorModel == 1 || job.model.mono);
    if (colour || mono) {
        if (header.cupsBitsPerPixel != 1) {
            logLine("ERROR: Page %d has %u bits per pixel; only 1-bit pages can be printed\n", job.pages,
                    header.cupsBitsPerPixel);
            job.errorFlag = true;
        } else {
            const std::size_t offset = firstLine * header.cupsBytesPerLine;
            const std::size_t length = std::size_t{header.cupsHeight} * header.cupsBytesPerLine;
            const std::span<std::uint8_t> page = pixels.subspan(offset, length);
            const PageResult result = colour ? prepareColourPage(job, page) : prepareMonoPage(job, page);
            if (result == PageResult::MemoryFailure) {
                reportMemoryFailure(job);
                return PageStep::MemoryFailure;
            }
        }
    }

    writePageEnd(job.out, job.model, job.settings.PageCut);
    return PageStep::Next;
}

void finishRasterJob(RasterJob& job, PageStep last)
{
    if (last == PageStep::MemoryFailure || job.out.writeError() != 0)
        return;
    writeJobEndFeed(job.out, job.model, job.settings.PageCut);
    // On request, the page end of PageCut 2 (the model's feed and cut) once
    // after the last printed page, unless every page already ended with it.
    const PrintSettings& s = job.settings;
    if (s.JobEndCut == 1 && s.PageCut != 2 && job.pages > 0 && !job.model.isFixedFeed())
        writePageEnd(job.out, job.model, 2);
    if (job.settings.CashDrawerOpen == 1 || job.settings.CashDrawerOpen == 2)
        openCashDrawer(job.out, job.settings);
    job.state.ALREADY_OPEN = 1;
    job.out.endJob();
    job.buffers.releaseAll();
}

void writePageEnd(PrinterStream& out, const ModelInfo& model, std::int32_t pageCut)
{
    if (model.isFixedFeed()) {
        lineFeeds(out, model.fixedFeed);
    } else if (pageCut == 2) {
        lineFeeds(out, model.pageFeedCut2);
        cutPaper(out, model.cut);
    } else if (pageCut == 0) {
        lineFeeds(out, model.pageFeedCut0);
    }
}

void writeJobEndFeed(PrinterStream& out, const ModelInfo& model, std::int32_t pageCut)
{
    if (pageCut == 0 && !model.isFixedFeed())
        lineFeeds(out, model.jobFeedCut0);
}

RasterJobOutcome runRasterJob(InputSource& input, PrintSettings& settings, const ModelInfo& model,
                              PageState& state, PrinterStream& out)
{
    RasterJob job{settings, model, state, out, {}, {}, 0, false};

    // A stream that cannot even be opened is an empty stream.
    cups_raster_t* raster = cupsRasterOpenIO(readInput, &input, CUPS_RASTER_READ);
    startRasterJob(settings, state);

    PageStep step = PageStep::Next;
    try {
        // A stream the printer no longer takes ends the job.
        while (step == PageStep::Next && out.writeError() == 0 && raster != nullptr &&
               cupsRasterReadHeader2(raster, &job.header)) {
            std::span<std::uint8_t> pixels;
            step = beginPage(job, pixels);
            if (step != PageStep::Next)
                break;
            step = readPagePixels(raster, pixels, job.header, job.state.PageType) ? printPagePixels(job, pixels)
                                                                                  : pageUnreadable(job);
        }
    } catch (const std::bad_alloc&) {
        reportMemoryFailure(job);
        step = PageStep::MemoryFailure;
    }

    finishRasterJob(job, step);
    if (raster != nullptr)
        cupsRasterClose(raster);
    return {job.pages, job.errorFlag};
}

} // namespace kordane
