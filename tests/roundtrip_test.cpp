// What the printer prints is the page: seeded random pages go through the
// filter for a model of every kind and a mix of options; the image commands
// are read back to bitmaps and compared with the page put through a plain
// reference of the trimming, reduction, turns and crops.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include "core/model_table.h"
#include "preview/decoder.h"
#include "preview/page_image.h"
#include "support/bitmap_reference.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One plane on its way through the reference steps.
struct Plane {
    std::uint32_t width, height, lineBytes;
    Bytes dots;

    void keep(std::size_t first, std::size_t count)
    {
        dots = Bytes(dots.begin() + static_cast<long>(first * lineBytes),
                     dots.begin() + static_cast<long>((first + count) * lineBytes));
        height = static_cast<std::uint32_t>(count);
    }
};

// The first line with a dot in any plane, and how many lines to the last.
std::pair<std::size_t, std::size_t> inked(const std::vector<Plane>& planes)
{
    std::size_t first = planes[0].height, last = 0;
    for (std::size_t y = 0; y < planes[0].height; ++y)
        for (const Plane& p : planes)
            if (std::any_of(p.dots.begin() + static_cast<long>(y * p.lineBytes),
                            p.dots.begin() + static_cast<long>((y + 1) * p.lineBytes), [](auto b) { return b != 0; })) {
                first = std::min(first, y);
                last = y;
            }
    return {first, first == planes[0].height ? 0 : last - first + 1};
}

struct Options {
    int pageType, rotation, pageSize, focus, colorModel, comp;
    std::string text() const
    {
        return "PageType=" + std::to_string(pageType) + " Rotation=" + std::to_string(rotation) +
               " PageSize=" + std::to_string(pageSize) + " FocusArea=" + std::to_string(focus) +
               " ColorModel=" + std::to_string(colorModel) + " CompPrinting=" + std::to_string(comp) + " PageCut=1";
    }
};

// The planes the printer should print, none for a blank page.
std::vector<Plane> expectedPlanes(const test::RasterPage& page, const ModelInfo& m, const Options& o)
{
    const bool colour = o.colorModel == 0 && m.twoColour;
    std::vector<Plane> planes;
    const std::uint32_t p = colour ? page.bytesPerLine / 4 : page.bytesPerLine;
    planes.assign(colour ? 2 : 1, Plane{page.width, page.height, p, {}});
    for (std::size_t y = 0; y < page.height; ++y) {
        const std::uint8_t* line = page.pixels.data() + y * page.bytesPerLine;
        for (std::size_t j = 0; j < p; ++j) {
            planes[0].dots.push_back(colour ? line[3 * p + j] : line[j]);
            if (colour)
                planes[1].dots.push_back(line[j] | line[p + j] | line[2 * p + j]);
        }
    }
    // A line is blank when all four bands are.
    const auto [first, count] = inked({Plane{page.width, page.height, page.bytesPerLine, page.pixels}});
    if (o.pageType == 0 && count == 0)
        return {};
    for (Plane& pl : planes)
        pl.keep(o.pageType == 0 ? first : 0, o.pageType == 0 ? count : page.height);
    if (m.sizeReduction && (o.pageSize == 95 || o.pageSize == 100)) {
        const std::uint32_t f = o.pageSize == 95 ? 3 : 2;
        for (Plane& pl : planes) {
            const std::uint32_t line = pl.lineBytes / f;
            const std::uint32_t height = colour ? (pl.height + f - 1) / f : pl.height / f;
            const std::uint32_t width = colour ? (pl.width + f - 1) / f : pl.width / f;
            const Bytes r = reference::reduce(pl.dots, pl.height, pl.lineBytes, f);
            pl = {std::min(width, 8 * line), height, line, line == 0 ? Bytes{} : Bytes(r.begin(), r.begin() + height * line)};
        }
    }
    // Receipt lengths are never turned a quarter turn.
    const std::set<int> receipts = {56, 75, 94, 110, 111, 112, 138, 139};
    int rotation = receipts.contains(o.pageSize) && o.rotation % 2 ? 0 : o.rotation;
    for (Plane& pl : planes) {
        if (rotation == 2)
            pl.dots = reference::halfTurn(pl.dots);
        if (rotation != 1 && rotation != 3)
            continue;
        const Bytes t = reference::quarterTurn(pl.dots, pl.height, pl.lineBytes, rotation == 1);
        const std::uint32_t line = (pl.height + 7) / 8, kept = std::min(pl.width, 8 * pl.lineBytes);
        const std::size_t first = rotation == 1 ? 0 : 8 * pl.lineBytes - kept;
        pl = {pl.height, kept, line, Bytes(t.begin() + static_cast<long>(first * line), t.begin() + static_cast<long>((first + kept) * line))};
    }
    if (!colour && o.pageType == 0 && rotation % 2) {
        const auto [first, count] = inked(planes);
        planes[0].keep(first, count);
    }
    if ((colour || !m.isFixedFeed()) && o.pageSize == 100 && planes[0].lineBytes > 64 && (o.focus == 1 || o.focus == 2))
        for (Plane& pl : planes) {
            const std::uint32_t L = pl.lineBytes;
            const std::uint32_t skip = o.focus == 2 ? L / 2 - 32 : rotation % 2 ? L - 64 : L / 3;
            const std::uint32_t keep = o.focus == 2 || rotation % 2 ? 64 : L - L / 3;
            pl = {8 * keep - 7, pl.height, keep, reference::crop(pl.dots, pl.height, L, skip, keep)};
        }
    return planes;
}

TEST(RoundTrip, PrintedImagesAreTheTransformedPage)
{
    // A model of every kind: graphics buffer, raster bit image, each
    // compression band, no reduction, fixed feed, two colours.
    const std::pair<int, bool> kinds[] = {{42, false}, {42, true}, {13, false}, {33, false}, {40, false}, {90, false},
                                          {90, true},  {6, true},  {31, false}, {83, false}, {117, false}};
    std::mt19937 rng(20261206);
    test::TempDir dir;
    for (const auto& [model, colour] : kinds) {
        const std::string ppd = test::writePpd(dir, model);
        const ModelInfo& m = *findModel(model);
        for (int round = 0; round < 10; ++round) {
            const int sizes[] = {1, 2, 94, 95, 100, 100, 75, 139};
            Options o{static_cast<int>(rng() % 2), static_cast<int>(rng() % 4), sizes[rng() % 8],
                      static_cast<int>(rng() % 3), colour ? 0 : 1, static_cast<int>(rng() % 2)};
            // Each two-colour kind crops its focus area both ways, unturned and turned a half turn.
            if (colour && round < 2)
                std::tie(o.rotation, o.pageSize, o.focus) = std::tuple(2 * round, 100, round + 1);
            const std::uint32_t width = (o.pageSize == 100 ? 1100 : 60) + rng() % 600, height = 1 + rng() % 300;
            test::RasterPage page = colour ? test::twoColorPage(width, height) : test::blankPage(width, height);
            // Random dots inside blank margins, so that both trims have work.
            const std::uint32_t top = rng() % 5, bottom = rng() % 5, left = rng() % 40;
            const test::RasterPage dots = test::randomPage(page.bytesPerLine * 8, height, static_cast<std::uint32_t>(rng()), 0.2);
            const std::uint32_t band = page.bytesPerLine / page.numColors;
            for (std::uint32_t y = top; y + bottom < height; ++y)
                for (std::uint32_t b = 0; b < page.bytesPerLine; ++b)
                    if ((b % band) * 8 >= left && (b % band) * 8 + 8 <= width)
                        page.pixels[std::size_t{y} * page.bytesPerLine + b] = dots.pixels[std::size_t{y} * page.bytesPerLine + b];

            const test::FilterResult r = test::runFilter({test::filterArgs(o.text()), ppd, test::rasterStream({page})});
            const std::string what = "model " + std::to_string(model) + " " + o.text() + " page " + std::to_string(width) +
                                     "x" + std::to_string(height);
            ASSERT_EQ(r.exitStatus, r.err.find("ERROR") == std::string::npos ? 0 : 1) << what;
            const preview::DecodeResult decoded = preview::decodeStream(r.out);
            ASSERT_TRUE(decoded.ok()) << what;
            const auto images = preview::printedImages(decoded.commands);
            const std::vector<Plane> want = expectedPlanes(page, m, o);
            const preview::Bitmap got = preview::concatenateImages(images, preview::Plane::First);
            if (want.empty() || want[0].height == 0 || want[0].lineBytes == 0) {
                EXPECT_TRUE(std::all_of(got.data.begin(), got.data.end(), [](auto b) { return b == 0; })) << what;
                continue;
            }
            EXPECT_TRUE(got.lines == want[0].height && got.bytesPerLine == want[0].lineBytes && got.data == want[0].dots)
                << what << ": " << got.lines << " lines of " << got.bytesPerLine << " bytes";
            EXPECT_TRUE(want.size() == 1 || preview::concatenateImages(images, preview::Plane::Second).data == want[1].dots) << what;
            // The raster bit image has no width in dots, only in bytes.
            EXPECT_TRUE(images.empty() || images[0].source == preview::CommandKind::RasterBitImage || images[0].widthDots == want[0].width)
                << what;
        }
    }
}

} // namespace
} // namespace kordane
