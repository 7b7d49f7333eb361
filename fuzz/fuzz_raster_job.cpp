// The whole raster job from one byte buffer: the first bytes choose the model
// and the job's settings (odd values included), the rest is the raster
// stream. The printer stream is kept in memory; it must start with ESC @ and
// read back as whole commands, none of them stray bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "core/input_source.h"
#include "core/model_table.h"
#include "filter/settings.h"
#include "fuzz/fuzz_input.h"
#include "output/commands.h"
#include "pipeline/page_loop.h"
#include "preview/decoder.h"

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min(), kMax = std::numeric_limits<std::int32_t>::max();
// The meaningful values, the option-absent -1 and some no PPD should hold.
constexpr std::int32_t kSmall[] = {0, 1, 2, 3, -1, 4, 7, 255, 256, kMin, kMax};
constexpr std::int32_t kPageSizes[] = {1, 95, 100, 56, 75, 94, 110, 111, 112, 138, 139, 0, -1, 2, kMax};
constexpr std::int32_t kFeeds[] = {0, 1, 2, 5, -1, 255, kMin};
constexpr std::int32_t kPulses[] = {100, 200, 1, 255, 600, 0, -1, kMax, kMin};

// Inputs whose pages decode to more than this are skipped: a few compressed
// bytes can stand for gigabytes, which finds nothing new and only slows the
// run. 256 KiB still holds a page of 2048 dots by 1024 lines.
constexpr std::size_t kMaxDecodedBytes = std::size_t{256} << 10;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kordane;
    fuzz::ByteCursor in({data, size});
    const ModelInfo& model = allModels()[in.next() % allModels().size()];
    PrintSettings s;
    s.model_number = model.number;
    s.PageSize = in.pick(kPageSizes);
    for (std::int32_t* field : {&s.PageType, &s.Rotation, &s.FocusArea, &s.ColorModel, &s.CompPrinting, &s.LogoPosition,
                                &s.LogoJustification, &s.LogoImage, &s.LogoWidth})
        *field = in.pick(kSmall);
    s.LineFeed = in.pick(kFeeds);
    for (std::int32_t* field : {&s.PageCut, &s.CashDrawer, &s.CashDrawerOpen})
        *field = in.pick(kSmall);
    s.CashDrawer1PulseWidth = in.pick(kPulses);
    s.CashDrawer2PulseWidth = in.pick(kPulses);

    fuzz::MemoryFile file(in.rest());
    if (file.fd() < 0)
        return 0;
    if (!fuzz::decodesWithin(file.fd(), kMaxDecodedBytes))
        return -1; // not added to the corpus
    InputSource input(file.fd());
    PageState state;
    state.PrinterModel = model.number;
    PrinterStream out(-1, 4096);
    initializePrinter(out);
    runRasterJob(input, s, model, state, out);
    out.flush();

    const auto bytes = out.captured();
    const preview::DecodeResult decoded = preview::decodeStream(bytes);
    std::size_t stray = decoded.ok() ? bytes.size() : decoded.error->offset;
    for (const preview::Command& command : decoded.commands)
        if (command.kind == preview::CommandKind::Text)
            stray = std::min(stray, command.offset);
    if (bytes.size() < 2 || bytes[0] != 0x1B || bytes[1] != 0x40 || stray < bytes.size()) {
        std::fprintf(stderr, "the printer stream is not whole commands after ESC @: fault at byte %zu\n", stray);
        std::abort();
    }
    return 0;
}
