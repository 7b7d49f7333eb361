// Run-length code of the compressed raster block: runs of 00 and FF bytes
// become the byte and a count (1 to 255); every other byte goes out as is.
#pragma once

#include <cstdint>
#include <span>

#include "output/byte_sink.h"

namespace kordane {

// The most bytes CompressData can write for `length` input bytes.
constexpr std::size_t compressedBound(std::size_t length) { return 2 * length; }

// Codes `region` into `out`. Runs never reach past the region's end and are
// at most 255 bytes long. An empty region writes nothing.
void CompressData(std::span<const std::uint8_t> region, ByteSink& out);

} // namespace kordane
