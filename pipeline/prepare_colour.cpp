#include "pipeline/prepare.h"

namespace kordane {

PageResult prepareColourPage(RasterJob& job, std::span<std::uint8_t>)
{
    job.state.ColorMode = 0;
    job.state.Rotation = job.settings.Rotation;
    return PageResult::Done;
}

} // namespace kordane
