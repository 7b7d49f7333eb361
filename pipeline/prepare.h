// Turning a trimmed page into what the printer gets: two colour planes or
// one monochrome image, reduced, turned and cropped as the settings ask,
// then framed and sent.
#pragma once

#include <cstdint>
#include <span>

#include "pipeline/raster_job.h"

namespace kordane {

// `page` holds job.header.cupsHeight lines of cupsBytesPerLine bytes; the
// preparation may change it in place.
PageResult prepareColourPage(RasterJob& job, std::span<std::uint8_t> page);
PageResult prepareMonoPage(RasterJob& job, std::span<std::uint8_t> page);

} // namespace kordane
