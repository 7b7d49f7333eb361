// The whole raster job, fed from one byte buffer: the first bytes choose the
// printer model and the job's settings (odd values included), the rest is
// the raster stream. The printer stream is kept in memory and must start
// with ESC @ and read back as whole, well-formed commands.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>
#include <vector>

#include <cups/raster.h>

#include "core/input_source.h"
#include "core/model_table.h"
#include "filter/settings.h"
#include "fuzz/fuzz_input.h"
#include "output/commands.h"
#include "output/printer_stream.h"
#include "pipeline/page_loop.h"
#include "core/page_state.h"
#include "preview/decoder.h"

namespace {

using kordane::fuzz::ByteCursor;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// Values each setting takes: the meaningful ones, the option-absent -1 and
// a few that no PPD should hold.
constexpr std::int32_t kSmall[] = {0, 1, 2, 3, -1, 4, 7, 255, 256, kMin, kMax};
constexpr std::int32_t kPageSizes[] = {1, 95, 100, 56, 75, 94, 110, 111, 112, 138, 139, 0, -1, 2, kMax};
constexpr std::int32_t kFeeds[] = {0, 1, 2, 5, -1, 255, kMin};
constexpr std::int32_t kPulses[] = {100, 200, 1, 255, 600, 0, -1, kMax, kMin};

// Decoded pixel bytes a stream may hold before the input is skipped: a few
// bytes of a compressed stream can stand for gigabytes of pixels, which says
// nothing new and only makes the run slow. 256 KiB still holds a page 2048
// dots wide and 1024 lines long.
constexpr std::size_t kMaxDecodedBytes = std::size_t{256} << 10;

struct MemoryReader {
    std::span<const std::uint8_t> bytes;
    std::size_t pos = 0;
};

ssize_t readMemory(void* context, unsigned char* buffer, std::size_t length)
{
    auto* reader = static_cast<MemoryReader*>(context);
    const std::size_t n = std::min(length, reader->bytes.size() - reader->pos);
    std::copy_n(reader->bytes.data() + reader->pos, n, buffer);
    reader->pos += n;
    return static_cast<ssize_t>(n);
}

// False when the stream's pages decode to more than kMaxDecodedBytes.
bool decodedSizeIsSmall(std::span<const std::uint8_t> stream)
{
    MemoryReader reader{stream};
    cups_raster_t* raster = cupsRasterOpenIO(readMemory, &reader, CUPS_RASTER_READ);
    if (raster == nullptr)
        return true;
    std::size_t total = 0;
    bool small = true;
    cups_page_header2_t header;
    std::vector<unsigned char> line;
    while (small && cupsRasterReadHeader2(raster, &header)) {
        if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxDecodedBytes)
            break;
        line.resize(header.cupsBytesPerLine);
        for (std::uint32_t y = 0; y < header.cupsHeight; ++y) {
            if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) == 0)
                break;
            total += header.cupsBytesPerLine;
            if (total > kMaxDecodedBytes) {
                small = false;
                break;
            }
        }
    }
    cupsRasterClose(raster);
    return small;
}

[[noreturn]] void fail(const char* what, std::size_t offset)
{
    std::fprintf(stderr, "printer stream fault: %s at byte %zu\n", what, offset);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kordane;
    ByteCursor in({data, size});
    const auto models = allModels();
    const ModelInfo& model = models[in.next() % models.size()];

    PrintSettings s;
    s.model_number = model.number;
    s.PageSize = in.pick(kPageSizes);
    s.PageType = in.pick(kSmall);
    s.Rotation = in.pick(kSmall);
    s.FocusArea = in.pick(kSmall);
    s.ColorModel = in.pick(kSmall);
    s.CompPrinting = in.pick(kSmall);
    s.LogoPosition = in.pick(kSmall);
    s.LogoJustification = in.pick(kSmall);
    s.LogoImage = in.pick(kSmall);
    s.LogoWidth = in.pick(kSmall);
    s.LineFeed = in.pick(kFeeds);
    s.PageCut = in.pick(kSmall);
    s.CashDrawer = in.pick(kSmall);
    s.CashDrawerOpen = in.pick(kSmall);
    s.CashDrawer1PulseWidth = in.pick(kPulses);
    s.CashDrawer2PulseWidth = in.pick(kPulses);

    const auto stream = in.rest();
    if (!decodedSizeIsSmall(stream))
        return -1; // not added to the corpus

    fuzz::MemoryFile file(stream);
    if (file.fd() < 0)
        return 0;
    InputSource input(file.fd());
    PageState state;
    state.PrinterModel = model.number;
    PrinterStream out(-1, 4096);
    initializePrinter(out);
    runRasterJob(input, s, model, state, out);
    out.flush();

    const auto bytes = out.captured();
    if (bytes.size() < 2 || bytes[0] != 0x1B || bytes[1] != 0x40)
        fail("the stream does not start with ESC @", 0);
    const preview::DecodeResult decoded = preview::decodeStream(bytes);
    if (!decoded.ok()) {
        std::fprintf(stderr, "%s\n", decoded.error->message.c_str());
        fail("the stream does not read back as whole commands", decoded.error->offset);
    }
    // Every byte of a raster job belongs to a command: a stray byte would
    // reach the printer as text.
    for (const preview::Command& command : decoded.commands)
        if (command.kind == preview::CommandKind::Text)
            fail("bytes outside any command", command.offset);
    return 0;
}
