// The raster job: every page of the raster stream, read, trimmed, prepared
// and printed, then the end-of-job trailer. The page steps below are shared
// by the CUPS filter, which reads each page from a raster stream, and the
// printer application, which collects each page's lines itself.
#pragma once

#include <span>

#include "core/input_source.h"
#include "core/model_table.h"
#include "core/print_settings.h"
#include "output/printer_stream.h"
#include "core/page_state.h"

namespace kordane {

struct RasterJobOutcome {
    int pages = 0;          // pages printed
    bool errorFlag = false; // the job failed in part: exit status 1
};

struct RasterJob;

enum class PageStep { Next, EndOfJob, MemoryFailure };

// Before the first page: the quarter-turn lock of the receipt sizes and the
// focus-area mode.
void startRasterJob(PrintSettings& settings, PageState& state);

// Room for the pixels of the page that job.header describes (cupsHeight
// lines of cupsBytesPerLine bytes). EndOfJob for a page without lines or
// bytes, MemoryFailure (reported) when the room cannot be had.
PageStep beginPage(RasterJob& job, std::span<std::uint8_t>& pixels);
// The page, its pixels in the room beginPage gave: trimmed, counted, the
// drawer opened before the first page, prepared in one or two colours,
// framed and ended.
PageStep printPagePixels(RasterJob& job, std::span<std::uint8_t> pixels);
// The page's pixels could not be read: the job ends here, in error.
PageStep pageUnreadable(RasterJob& job);
// After the last page: the job-end feed, the drawer after the last page and
// the end of the stream; nothing of that after a memory failure or once the
// stream can no longer be written.
void finishRasterJob(RasterJob& job, PageStep last);

// A raster stream read from `input`, page by page.
RasterJobOutcome runRasterJob(InputSource& input, PrintSettings& settings, const ModelInfo& model,
                              PageState& state, PrinterStream& out);

// What follows every page that was read and counted: a fixed feed, LF, or
// LF and a cut, by model and PageCut.
void writePageEnd(PrinterStream& out, const ModelInfo& model, std::int32_t pageCut);
// What follows the last page: LF by model when PageCut is 0.
void writeJobEndFeed(PrinterStream& out, const ModelInfo& model, std::int32_t pageCut);

} // namespace kordane
