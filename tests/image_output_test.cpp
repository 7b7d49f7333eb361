// Page images byte for byte: the image methods and their bands, logo
// framing, two-colour planes, and reduction, turns and crops, through the
// built filter on raster streams and PPDs, and through the output functions
// where a case cannot arise from a raster page.
#include <gtest/gtest.h>

#include "core/model_table.h"
#include "output/page_output.h"
#include "support/bitmap_reference.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;
using test::hex;

const Bytes kInit = hex("1B 40");
const Bytes kPrint = hex("1D 28 4C 02 00 30 32");
Bytes lf(std::size_t n) { return test::repeat(0x0A, n); }

Bytes le16(std::size_t v) { return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)}; }

Bytes slice(const Bytes& b, std::size_t from, std::size_t n)
{
    return {b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n)};
}

Bytes store(std::uint8_t colour, std::size_t width, std::size_t lines, const Bytes& data)
{
    return test::concat(hex("1D 28 4C"), le16(data.size() + 10), hex("30 70 30 01 01"), Bytes{colour}, le16(width),
                        le16(lines), data);
}

Bytes compressedBlock(std::size_t width, std::size_t lines, const Bytes& data)
{
    return test::concat(hex("08 43 52 00 00 00 00 00"), le16(width), le16(lines),
                        reference::compress(data.data(), data.size()), hex("08 43 52 FF 00"));
}

class ImageJob : public ::testing::Test {
protected:
    test::FilterResult run(int model, const std::vector<test::RasterPage>& pages, std::string options,
                           test::PpdSpec desc = {})
    {
        if (desc.modelNumber == 0)
            desc = test::standardPpd(model);
        return test::runFilterArgs(test::defaultArgs("job", std::move(options)), test::writePpd(dir, desc),
                                   test::rasterStream(pages));
    }
    test::TempDir dir;
};

// Model 42 printing monochrome through the graphics buffer: PageCut 1 adds
// nothing after a page, so the stream is the image alone.
constexpr const char* kMonoGraphics = "ColorModel=1 PageType=1 PageCut=1";

TEST_F(ImageJob, GraphicsBufferBands)
{
    for (std::uint32_t height : {255u, 256u, 280u}) {
        const test::RasterPage page = test::randomPage(576, height, height);
        Bytes expected = kInit;
        if (height <= 255) {
            expected = test::concat(expected, store(0x31, 576, height, page.pixels), kPrint);
        } else {
            std::size_t line = 0;
            for (; line + 70 <= height; line += 70)
                expected = test::concat(expected, store(0x31, 576, 70, slice(page.pixels, line * 72, 70 * 72)), kPrint);
            if (line < height)
                expected = test::concat(
                    expected, store(0x31, 576, height - line, slice(page.pixels, line * 72, (height - line) * 72)),
                    kPrint);
        }
        const test::FilterResult r = run(42, {page}, kMonoGraphics);
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_BYTES(expected, r.out) << height << " lines";
        EXPECT_NE(r.err.find("Normal printing.\n"), std::string::npos);
    }
}

TEST_F(ImageJob, GraphicsBlockTooLargeForItsCountIsSplit)
{
    // 1000 bytes a line: at most 65 lines fit one block's 16-bit count.
    const test::RasterPage page = test::randomPage(8000, 200, 3);
    Bytes expected = kInit;
    for (std::size_t line = 0; line < 200; line += 65) {
        const std::size_t n = std::min<std::size_t>(65, 200 - line);
        expected = test::concat(expected, store(0x31, 8000, n, slice(page.pixels, line * 1000, n * 1000)), kPrint);
    }
    const test::FilterResult r = run(42, {page}, kMonoGraphics);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_BYTES(expected, r.out);

    // A line no block can carry: no image, an error, the trailers.
    const test::RasterPage huge = test::randomPage(66000 * 8, 2, 4);
    const test::FilterResult refused = run(42, {huge}, "ColorModel=1 PageType=1 PageCut=2");
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_BYTES(test::concat(kInit, hex("1D 56 41 01")), refused.out);
    EXPECT_NE(refused.err.find("\nERROR: "), std::string::npos);
}

TEST_F(ImageJob, CompressedBlockBands)
{
    struct Case {
        int model;
        std::uint32_t height;
        std::vector<std::size_t> blocks;
    };
    for (const Case& c : {Case{33, 64, {64}}, Case{33, 65, {64, 1}}, Case{90, 500, {246, 246, 8}},
                          Case{40, 30, {10, 10, 10}}}) {
        const test::RasterPage page = test::randomPage(576, c.height, c.height, 0.1);
        Bytes expected = kInit;
        std::size_t line = 0;
        for (std::size_t n : c.blocks) {
            expected = test::concat(expected, compressedBlock(576, n, slice(page.pixels, line * 72, n * 72)));
            line += n;
        }
        const test::FilterResult r = run(c.model, {page}, "ColorModel=1 PageType=1 PageCut=1 CompPrinting=1");
        const Bytes end = c.model == 40 ? lf(2) : c.model == 33 ? test::concat(lf(2), lf(1)) : Bytes{};
        EXPECT_BYTES(test::concat(expected, end), r.out) << "model " << c.model << ", " << c.height << " lines";
        EXPECT_NE(r.err.find("RLE printing.\n"), std::string::npos);
    }
}

TEST_F(ImageJob, CompPrintingChoosesTheMethod)
{
    const test::RasterPage page = test::randomPage(64, 10, 1);
    // Off: the graphics buffer.
    EXPECT_BYTES(test::concat(kInit, store(0x31, 64, 10, page.pixels), kPrint, lf(2), lf(1)),
                 run(33, {page}, "PageType=1 CompPrinting=0").out);
    // Missing from the PPD (-1): no image at all, the trailers still.
    test::PpdSpec desc = test::standardPpd(33);
    test::removeOption(desc, "CompPrinting");
    const test::FilterResult none = run(33, {page}, "PageType=1", desc);
    EXPECT_EQ(none.exitStatus, 0);
    EXPECT_BYTES(test::concat(kInit, lf(2), lf(1)), none.out);
    EXPECT_EQ(none.err.find("printing."), std::string::npos);
    // The raster bit image models ignore it.
    const test::FilterResult raster = run(52, {page}, "PageType=1 CompPrinting=1 PageCut=1");
    EXPECT_BYTES(test::concat(kInit, hex("1D 76 30 00 08 00 0A 00"), page.pixels), raster.out);
    EXPECT_NE(raster.err.find("TQ4 DEBUG MSG: START PRINTING\n"), std::string::npos);
}

TEST_F(ImageJob, LogoFraming)
{
    const test::RasterPage page = test::randomPage(64, 5, 9);
    const Bytes image = test::concat(store(0x31, 64, 5, page.pixels), kPrint);
    const std::string logo = " LogoJustification=1 LogoImage=0 LogoWidth=0 LineFeed=2";
    const Bytes above10 = hex("1B 61 01 1D 28 4C 06 00 30 45 30 31 01 01 1B 40 0A 0A");
    EXPECT_BYTES(test::concat(kInit, above10, image, lf(2)), run(10, {page}, "PageType=1 LogoPosition=1" + logo).out);
    const Bytes above33 = hex("1B 61 01 1D 28 4C 06 00 30 45 30 30 01 01 1B 40 0A 0A");
    EXPECT_BYTES(test::concat(kInit, above33, image, above33, lf(2), lf(1)),
                 run(33, {page}, "PageType=1 LogoPosition=3" + logo).out);
    const Bytes raster = test::concat(hex("1D 76 30 00 08 00 05 00"), page.pixels);
    EXPECT_BYTES(
        test::concat(kInit, raster, hex("1B 61 00 1C 70 02 03 1B 40"), lf(2), lf(6)),
        run(13, {page}, "PageType=1 LogoPosition=2 LogoJustification=0 LogoImage=1 LogoWidth=3 LineFeed=0").out);
    EXPECT_BYTES(test::concat(kInit, lf(2), lf(6)), run(13, {page}, "PageType=1 LogoPosition=4").out);
}

TEST_F(ImageJob, TwoColourPlanesAndBands)
{
    // 576 dots in four bands of 72 bytes; red in the first three, black in
    // the fourth. Dot 40 of line 3 set in band 2 and band 4: both planes.
    test::RasterPage page = test::twoColorPage(576, 300);
    page.pixels = test::randomPage(576 * 4, 300, 11, 0.2).pixels;
    test::setDot(page, 40, 3, 1);
    test::setDot(page, 40, 3, 3);
    Bytes first, second;
    for (std::size_t r = 0; r < 300; ++r)
        for (std::size_t j = 0; j < 72; ++j) {
            const std::uint8_t* line = page.pixels.data() + r * 288;
            second.push_back(static_cast<std::uint8_t>(line[j] | line[72 + j] | line[144 + j]));
            first.push_back(line[216 + j]);
        }
    EXPECT_NE(second[3 * 72 + 5] & 0x80, 0);
    EXPECT_NE(first[3 * 72 + 5] & 0x80, 0);

    Bytes expected = kInit;
    for (std::size_t line = 0; line < 300; line += 70) {
        const std::size_t n = std::min<std::size_t>(70, 300 - line);
        expected = test::concat(expected, store(0x31, 576, n, slice(first, line * 72, n * 72)),
                                store(0x32, 576, n, slice(second, line * 72, n * 72)), kPrint);
    }
    const test::FilterResult r = run(42, {page}, "ColorModel=0 PageType=1 PageCut=1");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_BYTES(expected, r.out);
    EXPECT_BYTES(hex("1D 28 4C BA 13 30 70 30 01 01 31 40 02 46 00"), slice(r.out, 2, 15));

    // 280 lines: four bands and a last group of no lines.
    page.height = 280;
    page.pixels.resize(280 * 288);
    const test::FilterResult even = run(42, {page}, "ColorModel=0 PageType=1 PageCut=1");
    const Bytes tail = test::concat(store(0x31, 576, 0, {}), store(0x32, 576, 0, {}), kPrint);
    EXPECT_BYTES(tail, slice(even.out, even.out.size() - tail.size(), tail.size()));
}

TEST_F(ImageJob, ReducedTurnedAndCroppedMonochromePage)
{
    // Model 6 halves 1200 lines of 576 dots to 600 lines of 288 dots, turns
    // them to 288 lines of 600 dots (75 bytes) and keeps the last 64 bytes.
    const test::RasterPage page = test::randomPage(576, 1200, 21, 0.05);
    const Bytes halved = slice(reference::reduce(page.pixels, 1200, 72, 2), 0, 600 * 36);
    const Bytes turned = reference::quarterTurn(halved, 600, 36, true);
    const Bytes cropped = reference::crop(turned, 288, 75, 11, 64);
    Bytes expected = kInit;
    for (std::size_t line = 0; line < 288; line += 70) {
        const std::size_t n = std::min<std::size_t>(70, 288 - line);
        expected = test::concat(expected, store(0x31, 505, n, slice(cropped, line * 64, n * 64)), kPrint);
    }
    const test::FilterResult r =
        run(6, {page}, "ColorModel=1 PageType=1 PageSize=100 Rotation=1 FocusArea=1 PageCut=1");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_BYTES(expected, r.out);
}

TEST_F(ImageJob, LaterPagesMayBeLargerThanTheFirst)
{
    const test::RasterPage small = test::randomPage(64, 10, 1);
    const test::RasterPage large = test::randomPage(800, 240, 2);
    for (const char* rotation : {"0", "1", "3"}) {
        const std::string options = std::string(kMonoGraphics) + " Rotation=" + rotation;
        const test::FilterResult both = run(42, {small, large}, options);
        const test::FilterResult alone = run(42, {large}, options);
        const test::FilterResult first = run(42, {small}, options);
        EXPECT_EQ(both.exitStatus, 0);
        EXPECT_BYTES(test::concat(first.out, slice(alone.out, 2, alone.out.size() - 2)), both.out)
            << "Rotation " << rotation;
    }
}

// Cases the page loop cannot produce from a raster page, sent directly.
class ImageOutput : public ::testing::Test {
protected:
    Bytes gray(int model, const Bytes& image, ImageGeometry g, std::int32_t comp, PageState state = {})
    {
        PrinterStream out(-1);
        printGrayPage(out, image, g, comp, *findModel(model), state);
        return test::flushed(out);
    }
};

TEST_F(ImageOutput, RasterBitImageDropsBlankBottomLinesAfterAQuarterTurn)
{
    Bytes image = test::randomPage(64, 8, 5).pixels;
    std::fill(image.begin() + 24, image.end(), 0);
    image[24] = 0x80; // line 3: only its first byte inked
    PageState turned;
    turned.Rotation = 1;
    EXPECT_BYTES(test::concat(hex("1D 76 30 00 08 00 04 00"), slice(image, 0, 32)),
                 gray(13, image, {64, 8, 8}, 0, turned));
    PageState straight;
    EXPECT_BYTES(test::concat(hex("1D 76 30 00 08 00 08 00"), image), gray(13, image, {64, 8, 8}, 0, straight));

    // Nothing left: no command at all.
    EXPECT_TRUE(gray(13, Bytes(64, 0), {64, 8, 8}, 0, turned).empty());
    EXPECT_TRUE(gray(52, {}, {64, 0, 8}, 1, straight).empty());
}

TEST_F(ImageOutput, PagesOfNoLines)
{
    EXPECT_BYTES(test::concat(store(0x31, 576, 0, {}), kPrint), gray(42, {}, {576, 0, 72}, 0));
    EXPECT_BYTES(hex("08 43 52 00 00 00 00 00 40 02 00 00 08 43 52 FF 00"), gray(42, {}, {576, 0, 72}, 1));
    PrinterStream out(-1);
    PageState state;
    printColorPage(out, {}, {}, {576, 0, 288}, state);
    EXPECT_BYTES(test::concat(store(0x31, 576, 0, {}), store(0x32, 576, 0, {}), kPrint), test::flushed(out));
}

} // namespace
} // namespace kordane
