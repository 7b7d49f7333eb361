#include "pipeline/prepare.h"

#include <algorithm>

#include "bitmap/crop.h"
#include "bitmap/rotate.h"
#include "core/log.h"
#include "pipeline/trim.h"
#include "pipeline/working_image.h"

namespace kordane {

PageResult prepareMonoPage(RasterJob& job, std::span<std::uint8_t> page)
{
    const PrintSettings& s = job.settings;
    PageState& state = job.state;
    state.ColorMode = 1;

    ImageGeometry g{job.header.cupsWidth, job.header.cupsHeight, job.header.cupsBytesPerLine};
    WorkingImage image(page, job.buffers.monoImage, job.buffers.reduceBuffer);

    // Reduction to a third (PageSize 95) or a half (PageSize 100). The last
    // group of lines, when partial, is not printed.
    if (job.model.sizeReduction && (s.PageSize == 95 || s.PageSize == 100)) {
        const unsigned f = s.PageSize == 95 ? 3 : 2;
        state.Scale = s.PageSize;
        if (!image.reduce(g.height, g.bytesPerLine, f))
            return PageResult::MemoryFailure;
        g = {std::min(g.width / f, dotsIn(g.bytesPerLine / f)), g.height / f, g.bytesPerLine / f};
        image.bytes = image.bytes.first(std::size_t{g.height} * g.bytesPerLine);
    }

    // A rotation setting outside 0 to 3 prints the page unturned.
    const std::int32_t rotation = (s.Rotation >= 0 && s.Rotation <= 3) ? s.Rotation : 0;
    const bool quarter = rotation == 1 || rotation == 3;
    if (rotation == 2) {
        rotate180Degree(image.bytes.first(std::size_t{g.height} * g.bytesPerLine));
        state.Rotation = 2;
    } else if (quarter) {
        const std::uint32_t lines = std::min(g.width, dotsIn(g.bytesPerLine));
        if (!image.quarterTurn(g.height, g.bytesPerLine, rotation == 3, lines))
            return PageResult::MemoryFailure;
        state.Rotation = rotation;
        g = {g.height, lines, turnedLineBytes(g.height)};

        // The turn brings the page's side margins to its top and bottom.
        if (state.PageType == 0) {
            const ContentLines content = findContentLines(image.bytes, g.height, g.bytesPerLine);
            image.bytes = image.bytes.subspan(content.first * g.bytesPerLine, content.count * g.bytesPerLine);
            g.height = static_cast<std::uint32_t>(content.count);
        }
    }

    // Focus area: a window of a wide, halved page.
    if (!job.model.isFixedFeed() && s.PageSize == 100 && g.bytesPerLine > 64 &&
        (state.Focus == 1 || state.Focus == 2)) {
        const bool centre = state.Focus == 2;
        const FocusWindow window =
            centre ? focusWindowCenter(g.bytesPerLine) : focusWindowEnd(g.bytesPerLine, rotation);
        if (!image.crop(g.height, g.bytesPerLine, centre, rotation, window.keep))
            return PageResult::MemoryFailure;
        g = {dotsIn(window.keep) - 7, g.height, window.keep};
    }

    job.header.cupsWidth = g.width;
    job.header.cupsHeight = g.height;
    job.header.cupsBytesPerLine = g.bytesPerLine;
    if (printPage(job.out, image.bytes, {}, g, s, job.model, state) == ImageResult::Refused)
        job.errorFlag = true;
    return PageResult::Done;
}

} // namespace kordane
