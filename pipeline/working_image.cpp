#include "pipeline/working_image.h"

#include <algorithm>

#include "bitmap/crop.h"
#include "bitmap/reduce.h"
#include "bitmap/rotate.h"

namespace kordane {

PageBuffer* WorkingImage::spare(std::size_t n)
{
    const bool inA = a_.data() != nullptr && bytes.data() >= a_.data() && bytes.data() < a_.data() + a_.capacity();
    PageBuffer& target = inA ? b_ : a_;
    return target.ensure(n) ? &target : nullptr;
}

bool WorkingImage::reduce(std::uint32_t height, std::uint32_t lineBytes, unsigned factor)
{
    const std::uint32_t lines = height / factor + (height % factor != 0);
    const auto size = checkedSize(lines, lineBytes / factor);
    if (!size || *size == SIZE_MAX)
        return false;
    PageBuffer* out = spare(*size + 1); // the reduction writes a zero byte after its result
    if (out == nullptr)
        return false;
    const auto source = bytes.first(std::size_t{height} * lineBytes);
    if (factor == 3)
        scale100(source, out->span(*size + 1), height, lineBytes);
    else
        scale50(source, out->span(*size + 1), height, lineBytes);
    bytes = out->span(*size);
    return true;
}

bool WorkingImage::quarterTurn(std::uint32_t height, std::uint32_t lineBytes, bool counter,
                               std::uint32_t keptLines)
{
    const std::uint32_t turnedLine = turnedLineBytes(height);
    const auto size = checkedSize(8, lineBytes, turnedLine);
    if (!size)
        return false;
    PageBuffer* out = spare(*size);
    if (out == nullptr)
        return false;
    const auto source = bytes.first(std::size_t{height} * lineBytes);
    if (counter)
        rotate270Degree(source, out->span(*size), height, lineBytes);
    else
        rotate90Degree(source, out->span(*size), height, lineBytes);
    const std::size_t allLines = std::size_t{8} * lineBytes;
    const std::size_t skipped = counter ? allLines - keptLines : 0;
    bytes = out->span(*size).subspan(skipped * turnedLine, std::size_t{keptLines} * turnedLine);
    return true;
}

bool WorkingImage::crop(std::uint32_t height, std::uint32_t lineBytes, bool centre, std::int32_t rotation,
                        std::uint32_t keep)
{
    const auto size = checkedSize(height, keep);
    if (!size)
        return false;
    PageBuffer* out = spare(*size);
    if (out == nullptr)
        return false;
    const auto source = bytes.first(std::size_t{height} * lineBytes);
    if (centre)
        SelectFocusAreaCenter(source, out->span(*size), height, lineBytes);
    else
        SelectFocusArea(source, out->span(*size), height, lineBytes, rotation);
    bytes = out->span(*size);
    return true;
}

} // namespace kordane
