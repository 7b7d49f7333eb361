// What the printer would print is the page: seeded random pages run through
// the built filter for every kind of model and a mix of options; the image
// commands are decoded back to bitmaps and compared with the page put
// through a plain reference of trimming, reduction, turns and crops.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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

struct Options {
    int pageType = 1, rotation = 0, pageSize = 1, focus = 0, colorModel = 1, comp = 0;

    std::string text() const
    {
        return "PageType=" + std::to_string(pageType) + " Rotation=" + std::to_string(rotation) +
               " PageSize=" + std::to_string(pageSize) + " FocusArea=" + std::to_string(focus) +
               " ColorModel=" + std::to_string(colorModel) + " CompPrinting=" + std::to_string(comp) +
               " PageCut=1";
    }
};

// One plane being put through the reference steps.
struct Plane {
    std::uint32_t width, height, lineBytes;
    Bytes dots;
};

Bytes lines(const Bytes& b, std::size_t first, std::size_t count, std::size_t lineBytes)
{
    return {b.begin() + static_cast<long>(first * lineBytes),
            b.begin() + static_cast<long>((first + count) * lineBytes)};
}

// First and last lines with a set dot in any of the planes.
std::pair<std::size_t, std::size_t> inkedRun(const std::vector<const Plane*>& planes)
{
    const Plane& p = *planes.front();
    std::size_t first = p.height, last = 0;
    for (std::size_t y = 0; y < p.height; ++y)
        for (const Plane* q : planes) {
            const auto begin = q->dots.begin() + static_cast<long>(y * q->lineBytes);
            if (std::any_of(begin, begin + q->lineBytes, [](std::uint8_t b) { return b != 0; })) {
                first = std::min(first, y);
                last = y;
            }
        }
    return {first, first == p.height ? 0 : last - first + 1};
}

void keepLines(Plane& p, std::size_t first, std::size_t count)
{
    p.dots = lines(p.dots, first, count, p.lineBytes);
    p.height = static_cast<std::uint32_t>(count);
}

void reduce(Plane& p, std::uint32_t f, bool roundUp)
{
    const Bytes r = reference::reduce(p.dots, p.height, p.lineBytes, f);
    const std::uint32_t line = p.lineBytes / f;
    const std::uint32_t height = roundUp ? (p.height + f - 1) / f : p.height / f;
    const std::uint32_t width = roundUp ? (p.width + f - 1) / f : p.width / f;
    p.dots = line == 0 ? Bytes{} : lines(r, 0, height, line);
    p = {std::min(width, 8 * line), height, line, p.dots};
}

void turn(Plane& p, int rotation)
{
    if (rotation == 2) {
        p.dots = reference::halfTurn(p.dots);
        return;
    }
    const Bytes t = reference::quarterTurn(p.dots, p.height, p.lineBytes, rotation == 1);
    const std::uint32_t line = (p.height + 7) / 8;
    const std::uint32_t kept = std::min(p.width, 8 * p.lineBytes);
    const std::size_t first = rotation == 1 ? 0 : 8 * p.lineBytes - kept;
    p = {p.height, kept, line, line == 0 ? Bytes(std::size_t{kept} * line) : lines(t, first, kept, line)};
}

void crop(Plane& p, int focus, int rotation)
{
    const std::uint32_t L = p.lineBytes;
    std::uint32_t skip, keep;
    if (focus == 2)
        skip = L / 2 - 32, keep = 64;
    else if (rotation == 1 || rotation == 3)
        skip = L - 64, keep = 64;
    else
        skip = L / 3, keep = L - L / 3;
    p = {8 * keep - 7, p.height, keep, reference::crop(p.dots, p.height, L, skip, keep)};
}

bool locksQuarterTurns(int pageSize)
{
    return pageSize == 56 || pageSize == 94;
}

// The planes the printer should print for `page`, or nothing for a blank page.
std::optional<std::vector<Plane>> expectedPlanes(const test::RasterPage& page, const ModelInfo& m, Options o)
{
    const bool colour = o.colorModel == 0 && m.twoColour;
    int rotation = o.rotation;
    if (locksQuarterTurns(o.pageSize) && (rotation == 1 || rotation == 3))
        rotation = 0;
    std::vector<Plane> planes;
    if (colour) {
        const std::uint32_t p = page.bytesPerLine / 4;
        Plane first{page.width, page.height, p, {}}, second{page.width, page.height, p, {}};
        for (std::size_t y = 0; y < page.height; ++y)
            for (std::size_t j = 0; j < p; ++j) {
                const std::uint8_t* line = page.pixels.data() + y * page.bytesPerLine;
                second.dots.push_back(static_cast<std::uint8_t>(line[j] | line[p + j] | line[2 * p + j]));
                first.dots.push_back(line[3 * p + j]);
            }
        planes = {first, second};
    } else {
        planes = {Plane{page.width, page.height, page.bytesPerLine, page.pixels}};
    }

    if (o.pageType == 0) {
        // Blank lines count across all four bands of a two-colour line.
        Plane whole{page.width, page.height, page.bytesPerLine, page.pixels};
        const auto [first, count] = inkedRun({&whole});
        if (count == 0)
            return std::nullopt;
        for (Plane& p : planes)
            keepLines(p, first, count);
    }
    if (m.sizeReduction && (o.pageSize == 95 || o.pageSize == 100))
        for (Plane& p : planes)
            reduce(p, o.pageSize == 95 ? 3 : 2, colour);
    if (!colour && (rotation < 0 || rotation > 3))
        rotation = 0;
    if (rotation >= 1 && rotation <= 3) {
        for (Plane& p : planes)
            turn(p, rotation);
        if (!colour && o.pageType == 0 && rotation != 2) {
            const auto [first, count] = inkedRun({&planes[0]});
            keepLines(planes[0], first, count);
        }
    }
    if ((colour || !m.isFixedFeed()) && o.pageSize == 100 && planes[0].lineBytes > 64 &&
        (o.focus == 1 || o.focus == 2))
        for (Plane& p : planes)
            crop(p, o.focus, rotation);
    return planes;
}

test::RasterPage randomColourPage(std::uint32_t width, std::uint32_t height, std::uint32_t seed)
{
    test::RasterPage page = test::twoColorPage(width, height);
    const std::uint32_t p = page.bytesPerLine / 4;
    for (std::uint32_t band = 0; band < 4; ++band) {
        const test::RasterPage plane = test::randomPage(width, height, seed * 4 + band, 0.15);
        for (std::size_t y = 0; y < height; ++y)
            std::copy_n(plane.pixels.begin() + static_cast<long>(y * p), p,
                        page.pixels.begin() + static_cast<long>(y * page.bytesPerLine + band * p));
    }
    return page;
}

// Random content framed by blank lines and blank side margins, so that both
// kinds of trimming have something to do.
test::RasterPage framed(test::RasterPage page, std::mt19937& rng)
{
    const std::uint32_t top = rng() % 5, bottom = rng() % 5, left = rng() % 40;
    for (std::uint32_t y = 0; y < page.height; ++y)
        for (std::uint32_t b = 0; b < page.bytesPerLine; ++b) {
            const std::uint32_t x = (b * 8) % std::max<std::uint32_t>(1, ((page.bytesPerLine * 8) / (page.numColors)));
            if (y < top || y + bottom >= page.height || x < left)
                page.pixels[std::size_t{y} * page.bytesPerLine + b] = 0;
        }
    return page;
}

TEST(PageRoundTrip, PrintedImagesAreTheTransformedPage)
{
    struct Kind {
        int model;
        bool colour;
    };
    // A model of every kind: graphics buffer, raster bit image, each
    // compression band, no reduction, fixed feed, two colours.
    const std::vector<Kind> kinds = {{42, false}, {42, true}, {13, false}, {33, false}, {40, false},
                                     {90, false}, {90, true}, {6, true},   {31, false}, {83, false}, {117, false}};
    std::mt19937 rng(20261206);
    test::TempDir dir;
    int runs = 0;
    for (const Kind& kind : kinds) {
        const std::string ppd = test::writePpd(dir, test::standardPpd(kind.model));
        const ModelInfo& model = *findModel(kind.model);
        for (int round = 0; round < 10; ++round) {
            Options o;
            o.pageType = static_cast<int>(rng() % 2);
            o.rotation = static_cast<int>(rng() % 4);
            const int sizes[] = {1, 94, 95, 100, 100};
            o.pageSize = sizes[rng() % 5];
            o.focus = static_cast<int>(rng() % 3);
            o.colorModel = kind.colour ? 0 : 1;
            o.comp = static_cast<int>(rng() % 2);
            const std::uint32_t width = (o.pageSize == 100 ? 1100 : 60) + rng() % 600;
            const std::uint32_t height = 1 + rng() % 300;
            const auto seed = static_cast<std::uint32_t>(rng());
            test::RasterPage page = kind.colour ? randomColourPage(width, height, seed)
                                                : test::randomPage(width, height, seed, 0.2);
            page = framed(std::move(page), rng);

            const test::FilterResult r =
                test::runFilterArgs(test::defaultArgs("job", o.text()), ppd, test::rasterStream({page}));
            ++runs;
            const std::string what = "model " + std::to_string(kind.model) + " " + o.text() + " page " +
                                     std::to_string(width) + "x" + std::to_string(height);
            ASSERT_EQ(r.termSignal, 0) << what;
            const preview::DecodeResult decoded = preview::decodeStream(r.out);
            ASSERT_FALSE(decoded.error) << what;
            const auto images = preview::printedImages(decoded.commands);

            const auto expected = expectedPlanes(page, model, o);
            if (!expected) {
                EXPECT_TRUE(images.empty()) << what;
                continue;
            }
            const bool compressedOff = model.compresses() && o.comp != 0 && o.comp != 1;
            if (compressedOff)
                continue;
            const Plane& first = (*expected)[0];
            const preview::Bitmap got = preview::concatenateImages(images, preview::Plane::First);
            if (first.height == 0 || first.lineBytes == 0) {
                EXPECT_TRUE(got.lines == 0 || got.data.empty() ||
                            std::all_of(got.data.begin(), got.data.end(), [](std::uint8_t b) { return b == 0; }))
                    << what;
                continue;
            }
            EXPECT_EQ(got.lines, first.height) << what;
            EXPECT_EQ(got.bytesPerLine, first.lineBytes) << what;
            EXPECT_TRUE(got.data == first.dots) << what;
            if (expected->size() == 2) {
                const preview::Bitmap red = preview::concatenateImages(images, preview::Plane::Second);
                EXPECT_TRUE(red.data == (*expected)[1].dots) << what << " (second colour)";
                ASSERT_FALSE(images.empty());
                EXPECT_EQ(images[0].widthDots, first.width) << what;
            } else if (!images.empty() && images[0].source != preview::CommandKind::RasterBitImage) {
                EXPECT_EQ(images[0].widthDots, first.width) << what;
            }
        }
    }
    EXPECT_EQ(runs, 110);
}

} // namespace
} // namespace kordane
