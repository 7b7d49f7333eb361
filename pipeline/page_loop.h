// The raster job: every page of the raster stream, read, trimmed, prepared
// and printed, then the end-of-job trailer.
#pragma once

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

RasterJobOutcome runRasterJob(InputSource& input, PrintSettings& settings, const ModelInfo& model,
                              PageState& state, PrinterStream& out);

// What follows every page that was read and counted: a fixed feed, LF, or
// LF and a cut, by model and PageCut.
void writePageEnd(PrinterStream& out, const ModelInfo& model, std::int32_t pageCut);
// What follows the last page: LF by model when PageCut is 0.
void writeJobEndFeed(PrinterStream& out, const ModelInfo& model, std::int32_t pageCut);

} // namespace kordane
