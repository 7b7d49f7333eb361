// Everything one raster job works with, passed by reference through the page
// loop, the page preparations and the image output.
#pragma once

#include <cups/raster.h>

#include "core/model_table.h"
#include "core/print_settings.h"
#include "output/printer_stream.h"
#include "pipeline/page_buffers.h"
#include "core/page_state.h"

namespace kordane {

struct RasterJob {
    PrintSettings& settings;
    const ModelInfo& model;
    PageState& state;
    PrinterStream& out;
    PageBuffers buffers;
    cups_page_header2_t header{};
    int pages = 0;          // pages counted as printed
    bool errorFlag = false; // the job's exit status becomes 1
};

// How a page preparation ended.
enum class PageResult {
    Done,          // the page went out (with or without an image)
    MemoryFailure, // a buffer could not be had: the job stops here
};

// The largest page, in bytes of pixel data, that the filter takes on. Larger
// pages are handled like a failed allocation.
constexpr std::size_t kMaxPageBytes = std::size_t{1} << 30;

} // namespace kordane
