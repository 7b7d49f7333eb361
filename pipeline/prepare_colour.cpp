#include "pipeline/prepare.h"

#include <algorithm>

#include "bitmap/crop.h"
#include "bitmap/rotate.h"
#include "pipeline/working_image.h"

namespace kordane {

namespace {

// Each raster line holds four bands of P bytes. Any dot of the first three
// prints in the second colour; the fourth band is the first colour.
void separatePlanes(std::span<const std::uint8_t> page, std::uint32_t height, std::uint32_t lineBytes,
                    std::uint8_t* first, std::uint8_t* second)
{
    const std::size_t p = lineBytes / 4;
    for (std::size_t r = 0; r < height; ++r) {
        const std::uint8_t* line = page.data() + r * lineBytes;
        std::uint8_t* f = first + r * p;
        std::uint8_t* s = second + r * p;
        for (std::size_t j = 0; j < p; ++j) {
            s[j] = static_cast<std::uint8_t>(line[j] | line[p + j] | line[2 * p + j]);
            f[j] = line[3 * p + j];
        }
    }
}

} // namespace

PageResult prepareColourPage(RasterJob& job, std::span<std::uint8_t> page)
{
    const PrintSettings& s = job.settings;
    PageState& state = job.state;
    PageBuffers& buffers = job.buffers;
    state.ColorMode = 0;
    state.Rotation = s.Rotation;

    ImageGeometry g{job.header.cupsWidth, job.header.cupsHeight, job.header.cupsBytesPerLine};
    std::uint32_t planeLine = g.bytesPerLine / 4;
    const auto planeSize = checkedSize(g.height, planeLine);
    if (!planeSize || !buffers.firstColourPlane.ensure(*planeSize) || !buffers.secondColourPlane.ensure(*planeSize))
        return PageResult::MemoryFailure;
    separatePlanes(page, g.height, g.bytesPerLine, buffers.firstColourPlane.data(), buffers.secondColourPlane.data());

    WorkingImage first(buffers.firstColourPlane.span(*planeSize), buffers.firstColourPlane, buffers.firstTurnBuffer);
    WorkingImage second(buffers.secondColourPlane.span(*planeSize), buffers.secondColourPlane,
                        buffers.secondTurnBuffer);

    // Reduction: from here on the header describes one plane.
    if (job.model.sizeReduction && (s.PageSize == 95 || s.PageSize == 100)) {
        const unsigned f = s.PageSize == 95 ? 3 : 2;
        state.Scale = s.PageSize;
        if (!first.reduce(g.height, planeLine, f) || !second.reduce(g.height, planeLine, f))
            return PageResult::MemoryFailure;
        planeLine /= f;
        g = {std::min(g.width / f + (g.width % f != 0), dotsIn(planeLine)), g.height / f + (g.height % f != 0),
             planeLine};
    }

    const auto planeBytes = [&] { return std::size_t{g.height} * planeLine; };
    if (s.Rotation == 2) {
        rotate180Degree(first.bytes.first(planeBytes()));
        rotate180Degree(second.bytes.first(planeBytes()));
    } else if (s.Rotation == 1 || s.Rotation == 3) {
        const bool counter = s.Rotation == 3;
        const std::uint32_t lines = std::min(g.width, dotsIn(planeLine));
        if (!first.quarterTurn(g.height, planeLine, counter, lines) ||
            !second.quarterTurn(g.height, planeLine, counter, lines))
            return PageResult::MemoryFailure;
        planeLine = turnedLineBytes(g.height);
        g = {g.height, lines, planeLine};
    }

    // Focus area of a halved page.
    if (s.PageSize == 100 && planeLine > 64 && (state.Focus == 1 || state.Focus == 2)) {
        const bool centre = state.Focus == 2;
        const FocusWindow window =
            centre ? focusWindowCenter(planeLine) : focusWindowEnd(planeLine, state.Rotation);
        if (!first.crop(g.height, planeLine, centre, state.Rotation, window.keep) ||
            !second.crop(g.height, planeLine, centre, state.Rotation, window.keep))
            return PageResult::MemoryFailure;
        planeLine = window.keep;
        g = {dotsIn(window.keep) - 7, g.height, window.keep};
    }

    job.header.cupsWidth = g.width;
    job.header.cupsHeight = g.height;
    job.header.cupsBytesPerLine = g.bytesPerLine;
    if (printPage(job.out, first.bytes, second.bytes, g, s, job.model, state) == ImageResult::Refused)
        job.errorFlag = true;
    return PageResult::Done;
}

} // namespace kordane
