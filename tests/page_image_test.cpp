// Rebuilding the printed images from decoded commands: what a print of the
// graphics buffer holds, how compressed blocks join, and the page bitmap
// made of all printed lines.
#include <gtest/gtest.h>

#include <random>

#include "output/commands.h"
#include "output/printer_stream.h"
#include "preview/decoder.h"
#include "preview/page_image.h"
#include "support/bytes.h"

namespace kordane::preview {
namespace {

using test::Bytes;
using test::concat;
using test::repeat;


Bytes lines(const Bytes& bitmap, std::size_t bpl, std::size_t from, std::size_t count)
{
    return Bytes(bitmap.begin() + static_cast<std::ptrdiff_t>(from * bpl),
                 bitmap.begin() + static_cast<std::ptrdiff_t>((from + count) * bpl));
}

std::vector<PrintedImage> imagesOf(PrinterStream& out)
{
    out.flush();
    const DecodeResult r = decodeStream(out.captured());
    EXPECT_TRUE(r.ok()) << r.error->message;
    return printedImages(r.commands);
}

TEST(PrintedImage, TwoColourGroupsPrintOneImageEach)
{
    // 576 dots, 72 bytes per plane line; 280 lines as four groups of 70 and
    // a closing group of 0 lines.
    const std::size_t L = 72, H = 280;
    const Bytes first = test::noise(H * L, 1), second = test::noise(H * L, 2);
    PrinterStream out(-1);
    for (std::size_t s = 0; s <= H; s += 70) {
        const std::size_t n = std::min<std::size_t>(70, H - s);
        storeGraphics(out, GraphicsColour::First, 576, static_cast<std::uint16_t>(n), lines(first, L, s, n));
        storeGraphics(out, GraphicsColour::Second, 576, static_cast<std::uint16_t>(n), lines(second, L, s, n));
        printStoredGraphics(out);
    }
    const auto images = imagesOf(out);
    ASSERT_EQ(images.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(images[i].twoColour);
        EXPECT_EQ(images[i].widthDots, 576u);
        EXPECT_EQ(images[i].bytesPerLine, L);
        EXPECT_EQ(images[i].lines, 70u);
        EXPECT_EQ(images[i].first, lines(first, L, 70 * i, 70)) << "group " << i;
        EXPECT_EQ(images[i].second, lines(second, L, 70 * i, 70)) << "group " << i;
    }
    EXPECT_EQ(images[4].lines, 0u);
    EXPECT_TRUE(images[4].twoColour);

    const Bitmap page1 = concatenateImages(images, Plane::First), page2 = concatenateImages(images, Plane::Second);
    EXPECT_EQ(page1, (Bitmap{72, 280, first}));
    EXPECT_EQ(page2, (Bitmap{72, 280, second}));
}

TEST(PrintedImage, StoredBlocksCollectUntilPrinted)
{
    PrinterStream out(-1);
    const Bytes a = test::noise(2 * 2, 3), b = test::noise(3 * 2, 4), c = test::noise(1 * 3, 5);
    printStoredGraphics(out); // nothing stored: nothing printed
    storeGraphics(out, GraphicsColour::First, 16, 2, a);
    lineFeeds(out, 1); // other commands do not print or clear the buffer
    storeGraphics(out, GraphicsColour::First, 16, 3, b);
    printStoredGraphics(out);
    // Second colour only, wider than the first: first plane blank, narrower
    // lines padded.
    storeGraphics(out, GraphicsColour::Second, 24, 1, c);
    storeGraphics(out, GraphicsColour::First, 10, 2, a);
    printStoredGraphics(out);
    storeGraphics(out, GraphicsColour::First, 16, 2, a); // never printed
    const auto images = imagesOf(out);
    ASSERT_EQ(images.size(), 2u);

    EXPECT_FALSE(images[0].twoColour);
    EXPECT_EQ(images[0].lines, 5u);
    EXPECT_EQ(images[0].bytesPerLine, 2u);
    EXPECT_EQ(images[0].first, concat(a, b));
    EXPECT_TRUE(images[0].second.empty());

    EXPECT_TRUE(images[1].twoColour);
    EXPECT_EQ(images[1].widthDots, 24u);
    EXPECT_EQ(images[1].lines, 2u);
    EXPECT_EQ(images[1].first, (Bytes{a[0], a[1], 0, a[2], a[3], 0}));
    EXPECT_EQ(images[1].second, concat(c, repeat(0, 3)));
}

TEST(PrintedImage, CompressedBlocksJoinWhileTheWidthHolds)
{
    const Bytes p = test::noise(40, 6);
    PrinterStream out(-1);
    printCompressedBlock(out, 16, 2, lines(p, 2, 0, 2));
    printCompressedBlock(out, 16, 3, lines(p, 2, 2, 3));
    printCompressedBlock(out, 16, 0, {});
    printCompressedBlock(out, 8, 4, lines(p, 1, 10, 4)); // other width: new image
    lineFeeds(out, 1);
    printCompressedBlock(out, 8, 1, lines(p, 1, 14, 1)); // after another command: new image
    printRasterBitImage(out, 2, 3, lines(p, 2, 0, 3));
    printRasterBitImage(out, 2, 1, lines(p, 2, 3, 1));
    const auto images = imagesOf(out);
    ASSERT_EQ(images.size(), 5u);
    EXPECT_EQ(images[0].source, CommandKind::CompressedBlock);
    EXPECT_EQ(images[0].lines, 5u);
    EXPECT_EQ(images[0].first, lines(p, 2, 0, 5));
    EXPECT_EQ(images[1].lines, 4u);
    EXPECT_EQ(images[1].widthDots, 8u);
    EXPECT_EQ(images[2].lines, 1u);
    EXPECT_EQ(images[2].first, lines(p, 1, 14, 1));
    // Each GS v 0 is an image of its own.
    EXPECT_EQ(images[3].source, CommandKind::RasterBitImage);
    EXPECT_EQ(images[3].widthDots, 16u);
    EXPECT_EQ(images[3].first, lines(p, 2, 0, 3));
    EXPECT_EQ(images[4].first, lines(p, 2, 3, 1));

    // The page: every image's lines, narrower ones padded; nothing in the
    // second colour.
    const Bitmap page = concatenateImages(images);
    EXPECT_EQ(page.bytesPerLine, 2u);
    EXPECT_EQ(page.lines, 14u);
    EXPECT_EQ(lines(page.data, 2, 5, 1), (Bytes{p[10], 0}));
    EXPECT_EQ(lines(page.data, 2, 10, 4), lines(p, 2, 0, 4));
    EXPECT_EQ(concatenateImages(images, Plane::Second), (Bitmap{2, 14, repeat(0, 28)}));
}

} // namespace
} // namespace kordane::preview
