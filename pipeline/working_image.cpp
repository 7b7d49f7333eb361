#include "pipeline/working_image.h"

#include <algorithm>

#include "bitmap/crop.h"
#include "bitmap/reduce.h"
#include "bitmap/rotate.h"

namespace kordane {

std::optional<std::span<std::uint8_t>> WorkingImage::spare(std::optional<std::size_t> n)
{
    if (!n)
        return std::nullopt;
    const bool inA = a_.data() != nullptr && bytes.data() >= a_.data() && bytes.data() < a_.data() + a_.capacity();
    PageBuffer& target = inA ? b_ : a_;
    if (!target.ensure(*n))
        return std::nullopt;
    return target.span(*n);
}

bool WorkingImage::reduce(std::uint32_t height, std::uint32_t lineBytes, unsigned factor)
{
    const std::uint32_t lines = height / factor + (height % factor != 0);
    const auto size = checkedSize(lines, lineBytes / factor);
    // The reduction writes a zero byte after its result.
    const auto out = spare(size && *size < SIZE_MAX ? std::optional(*size + 1) : std::nullopt);
    if (!out)
        return false;
    const auto source = bytes.first(std::size_t{height} * lineBytes);
    if (factor == 3)
        scale100(source, *out, height, lineBytes);
    else
        scale50(source, *out, height, lineBytes);
    bytes = out->first(*size);
    return true;
}

bool WorkingImage::quarterTurn(std::uint32_t height, std::uint32_t lineBytes, bool counter,
                               std::uint32_t keptLines)
{
    const std::uint32_t turnedLine = turnedLineBytes(height);
    const auto out = spare(checkedSize(8, lineBytes, turnedLine));
    if (!out)
        return false;
    const auto source = bytes.first(std::size_t{height} * lineBytes);
    if (counter)
        rotate270Degree(source, *out, height, lineBytes);
    else
        rotate90Degree(source, *out, height, lineBytes);
    const std::size_t allLines = std::size_t{8} * lineBytes;
    const std::size_t skipped = counter ? allLines - keptLines : 0;
    bytes = out->subspan(skipped * turnedLine, std::size_t{keptLines} * turnedLine);
    return true;
}

bool WorkingImage::crop(std::uint32_t height, std::uint32_t lineBytes, bool centre, std::int32_t rotation,
                        std::uint32_t keep)
{
    const auto out = spare(checkedSize(height, keep));
    if (!out)
        return false;
    const auto source = bytes.first(std::size_t{height} * lineBytes);
    if (centre)
        SelectFocusAreaCenter(source, *out, height, lineBytes);
    else
        SelectFocusArea(source, *out, height, lineBytes, rotation);
    bytes = *out;
    return true;
}

} // namespace kordane
