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

// The largest page, in bytes of pixel data as read (cupsHeight x
// cupsBytesPerLine), that the filter takes on: a 576-dot page over 100 m
// long, 25 m in two colours. A larger page is handled like a failed
// allocation before anything is read or allocated for it, so that a small
// compressed raster cannot make the filter take gigabytes of memory and send
// a gigabyte of image to the printer.
constexpr std::size_t kMaxPageBytes = std::size_t{64} << 20;

} // namespace kordane
