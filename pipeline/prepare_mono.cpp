#include "pipeline/prepare.h"

namespace kordane {

PageResult prepareMonoPage(RasterJob& job, std::span<std::uint8_t>)
{
    job.state.ColorMode = 1;
    return PageResult::Done;
}

} // namespace kordane
