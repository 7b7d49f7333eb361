// The filter run as CUPS runs it, on real PPD files and raster streams: every
// model by the groups the printers fall in, then every course of a job, its
// printer bytes, job-log lines and exit status. Expected bytes are built from
// the command layouts, never taken from the filter.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "core/model_table.h"
#include "support/bitmap_reference.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;
using test::concat;
using test::hex;
using Set = std::vector<int>;

bool in(const Set& set, int model) { return std::find(set.begin(), set.end(), model) != set.end(); }

// The groups the models fall in.
const Set kMonoFixed{10, 33, 40, 41, 81, 91, 92, 105, 116, 117, 147};
const Set kFixedFeed{10, 40, 41, 81, 83, 91, 92, 105, 116, 117, 147};
const Set kTwoColour{1,  6,  11, 22, 29, 30, 31, 35,  36,  42,  43,  60,  61,  63,  82,  87,
                     88, 90, 96, 97, 110, 111, 114, 115, 134, 137, 152, 153, 154, 156, 257, 273};
const Set kMono{10, 13, 31, 33, 36, 40, 41, 43, 52, 60, 61, 63, 81, 83, 91, 92, 105, 110, 111, 114, 115, 116,
                117, 147, 152, 156, 257, 273};
const Set kNoReduction{10, 40, 81, 83, 91, 116};
const Set kCompress{29, 30, 31, 33, 36, 40, 41, 42, 43, 60, 61, 63, 81, 82, 83, 87, 88, 90, 91,
                    92, 96, 97, 105, 110, 111, 114, 115, 116, 117, 134, 137, 147, 152, 153, 154, 156, 257, 273};
const Set kPageNv{10, 33, 40, 41, 42, 81, 82, 83, 87, 88, 90, 91, 92, 96, 97, 105, 116, 117, 134, 137, 147, 153, 154};
const Set kTextNv{10, 33, 40, 41, 42, 81, 83, 91, 92, 105, 116, 117, 147};
const Set kKey31{10, 40, 81, 91, 116};
const Set kOneLf{22, 35, 87, 88, 90}, kOneMoreLf{61, 110, 152, 257}, kTwoMoreLf{11, 30, 63, 111, 156, 273};

const Bytes kInit = hex("1B 40");
const Bytes kPrint = hex("1D 28 4C 02 00 30 32");
Bytes lf(std::size_t n) { return Bytes(n, 0x0A); }
Bytes le16(std::size_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }
Bytes lines(const Bytes& b, std::size_t first, std::size_t n, std::size_t L) { return {b.begin() + long(first * L), b.begin() + long((first + n) * L)}; }

// PageCut as the model reads it: not at all without a cut.
int pageCut(int m, int setting) { return in(kMonoFixed, m) || m == 83 ? 0 : setting; }

Bytes pageEnd(int m, int setting)
{
    if (in(kFixedFeed, m))
        return lf(m == 83 ? 4 : 2);
    const int cut = pageCut(m, setting);
    if (cut == 2)
        return concat(lf(in(kTwoMoreLf, m) ? 2 : in(kOneMoreLf, m)), hex(m == 22 || m == 35 ? "1D564201" : "1D564101"));
    if (cut == 0)
        return lf(2 - in(kOneLf, m) + in(kOneMoreLf, m) + (in(kTwoMoreLf, m) ? 2 : m == 42));
    return {};
}

Bytes jobEnd(int m, int setting) { return !in(kFixedFeed, m) && pageCut(m, setting) == 0 ? lf(m == 33 ? 1 : 6) : Bytes{}; }

Bytes logo(int m, bool text, int image, int width, int feed, int justification)
{
    const Bytes head = {0x1B, 0x61, static_cast<std::uint8_t>(justification)};
    const Bytes key = in(text ? kTextNv : kPageNv, m)
                          ? concat(hex("1D 28 4C 06 00 30 45 30"),
                                   Bytes{static_cast<std::uint8_t>((in(kKey31, m) ? 0x31 : 0x30) + image),
                                         static_cast<std::uint8_t>(1 + (width & 1)), static_cast<std::uint8_t>(1 + width / 2)})
                          : Bytes{0x1C, 0x70, static_cast<std::uint8_t>(image + 1), static_cast<std::uint8_t>(width)};
    return concat(head, key, kInit, lf(feed));
}

Bytes store(int colour, std::size_t width, std::size_t n, const Bytes& data)
{
    return concat(hex("1D 28 4C"), le16(data.size() + 10), hex("30 70 30 01 01"), Bytes{static_cast<std::uint8_t>(colour)},
                  le16(width), le16(n), data);
}

// A monochrome image by the model's method: the raster bit image, blocks of
// its compression band (CompPrinting 1), or the graphics buffer in one group
// up to 255 lines and in bands of 70 beyond.
Bytes monoImage(int m, int comp, const Bytes& data, std::size_t width, std::size_t L)
{
    const std::size_t height = data.size() / L;
    if (m == 13 || m == 52)
        return concat(hex("1D 76 30 00"), le16(L), le16(height), data);
    Bytes out;
    if (comp == 1 && in(kCompress, m)) {
        const std::size_t band = m == 33 ? 64 : in({40, 81, 116}, m) ? 10 : 246;
        for (std::size_t y = 0; y < height; y += band) {
            const Bytes part = lines(data, y, std::min(band, height - y), L);
            out = concat(out, hex("08 43 52 00 00 00 00 00"), le16(width), le16(part.size() / L),
                         reference::compress(part.data(), part.size()), hex("08 43 52 FF 00"));
        }
        return out;
    }
    const std::size_t group = height <= 255 ? height : 70;
    for (std::size_t y = 0; y < height; y += group)
        out = concat(out, store(0x31, width, std::min(group, height - y), lines(data, y, std::min(group, height - y), L)), kPrint);
    return out;
}

// A two-colour page as graphics: the K band is the first colour, the OR of
// the C, M and Y bands the second.
Bytes colourImage(const test::RasterPage& page)
{
    const std::size_t p = page.bytesPerLine / 4, height = page.height;
    Bytes first, second;
    for (std::size_t at = 0; at < page.pixels.size(); at += page.bytesPerLine)
        for (std::size_t j = at; j < at + p; ++j) {
            second.push_back(page.pixels[j] | page.pixels[j + p] | page.pixels[j + 2 * p]);
            first.push_back(page.pixels[j + 3 * p]);
        }
    const std::size_t group = height <= 255 ? height : 70;
    Bytes out;
    for (std::size_t y = 0; y <= height; y += group) {
        const std::size_t n = std::min(group, height - y);
        if (n == 0 && height <= 255)
            break;
        out = concat(out, store(0x31, page.width, n, lines(first, y, n, p)), store(0x32, page.width, n, lines(second, y, n, p)),
                     kPrint);
    }
    return out;
}

test::RasterPage colourPage(std::uint32_t width, std::uint32_t height, std::uint32_t seed)
{
    test::RasterPage page = test::twoColorPage(width, height);
    page.pixels = test::randomPage(page.bytesPerLine * 8, height, seed, 0.2).pixels;
    return page;
}

class Job : public ::testing::Test {
protected:
    test::FilterResult run(const std::string& ppd, const std::string& options, const Bytes& input, std::string file = "",
                           std::string title = "job")
    {
        return test::runFilter({test::filterArgs(options, std::move(file), std::move(title)), ppd, input});
    }
    test::FilterResult raster(int model, const std::string& options, const std::vector<test::RasterPage>& pages)
    {
        return run(test::writePpd(dir, model), options, test::rasterStream(pages));
    }
    test::TempDir dir;
};

// The exit status, the printer bytes and, when given, a text the job log holds.
::testing::AssertionResult ended(const test::FilterResult& r, int status, const Bytes& out, const std::string& logged = "")
{
    if (r.exitStatus != status || !test::bytesEqual(out, r.out) || r.err.find(logged) == std::string::npos)
        return ::testing::AssertionFailure() << "status " << r.exitStatus << ", " << test::bytesEqual(out, r.out).message()
                                             << "\nlog:\n" << r.err;
    return ::testing::AssertionSuccess();
}

// Each model by the groups it falls in: its page and job ends, its logos on
// pages and around text, its image method and compression band, reduction
// and colour handling.
class ModelJob : public Job, public ::testing::WithParamInterface<int> {};

TEST_P(ModelJob, PrintsByItsGroups)
{
    const int m = GetParam();
    const Bytes small = test::rasterStream({test::randomPage(64, 5, 1), test::randomPage(64, 3, 2)});
    const test::RasterPage tall = test::randomPage(64, 300, 3, 0.3), wide = test::randomPage(576, 30, 4, 0.3);
    const test::RasterPage colour = colourPage(64, 20, 5), plain = test::randomPage(64, 20, 6);
    const Bytes third = lines(reference::reduce(wide.pixels, 30, 72, 3), 0, 10, 24);
    const std::string text = dir.write("note.txt", "Table 4\r\nSoup\n");
    const std::string ppd = test::writePpd(dir, m);
    for (int cut : {0, 1, 2})
        EXPECT_BYTES(concat(kInit, pageEnd(m, cut), pageEnd(m, cut), jobEnd(m, cut)),
                     run(ppd, "LogoPosition=4 PageCut=" + std::to_string(cut), small).out);

    const Bytes around = logo(m, false, 1, 3, 1, 2);
    EXPECT_TRUE(ended(run(ppd, "ColorModel=1 PageType=1 PageCut=1 CompPrinting=1 LogoPosition=3 LogoImage=1 LogoWidth=3 "
                               "LineFeed=1 LogoJustification=2", test::rasterStream({tall})),
                      0, concat(kInit, around, monoImage(m, 1, tall.pixels, 64, 8), around, pageEnd(m, 1), jobEnd(m, 1))));

    const Bytes reduced = in(kNoReduction, m) ? monoImage(m, 0, wide.pixels, 576, 72) : monoImage(m, 0, third, 192, 24);
    EXPECT_BYTES(concat(kInit, reduced, pageEnd(m, 1), jobEnd(m, 1)),
                 run(ppd, "ColorModel=1 PageType=1 PageCut=1 PageSize=95", test::rasterStream({wide})).out);

    EXPECT_BYTES(concat(kInit, logo(m, true, 2, 1, 0, 0), test::bytes("Table 4\r\nSoup\n")),
                 run(ppd, "LogoPosition=1 LogoImage=2 LogoWidth=1", {}, text).out);

    if (in(kMonoFixed, m) || m == 83)
        return; // always monochrome
    const Bytes twoColours = in(kTwoColour, m) ? colourImage(colour) : monoImage(m, 0, colour.pixels, 64, 32);
    EXPECT_BYTES(concat(kInit, twoColours, pageEnd(m, 1), jobEnd(m, 1)),
                 run(ppd, "ColorModel=0 PageType=1 PageCut=1", test::rasterStream({colour})).out);
    EXPECT_BYTES(concat(kInit, in(kMono, m) ? monoImage(m, 0, plain.pixels, 64, 8) : Bytes{}, pageEnd(m, 1), jobEnd(m, 1)),
                 run(ppd, "ColorModel=2 PageType=1 PageCut=1", test::rasterStream({plain})).out);
}

std::vector<int> modelNumbers()
{
    std::vector<int> numbers;
    for (const ModelInfo& m : allModels())
        numbers.push_back(m.number);
    return numbers;
}
INSTANTIATE_TEST_SUITE_P(Models, ModelJob, ::testing::ValuesIn(modelNumbers()),
                         [](const auto& info) { return "Model" + std::to_string(info.param); });

TEST_F(Job, CoursesArgumentsAndPpds)
{
    const std::string ppd42 = test::writePpd(dir, 42);
    for (std::size_t count : {4u, 7u, 0u}) {
        std::vector<std::string> args = {"1", "user", "title", "1", "", "file", "extra"};
        args.resize(count);
        EXPECT_TRUE(ended(test::runFilter({args, ppd42}), 1, {},
                          "TQ4 DEBUG MSG : drive version v1.3.5\nTQ4 DEBUG MSG: rastertoKordane job-id user title copies options [file]\n"));
    }
    EXPECT_TRUE(ended(run(ppd42, "", {}, dir.file("missing.txt")), 1, {},
                      "TQ4 DEBUG MSG: Unable to open raster file - : No such file or directory"));

    // An unknown model, no PPD, one that is missing, a folder, empty or garbage.
    const std::string garbage = dir.write("garbage.ppd", Bytes{0x00, 0xFF, '*', 'P', 0x0A, 0x1B, 0x40, '"'});
    for (const std::string& path : {test::writePpd(dir, 2), std::string(), dir.file("none.ppd"), dir.path(),
                                    dir.write("empty.ppd", ""), garbage}) {
        const test::FilterResult r = run(path, "", test::rasterStream({test::randomPage(8, 2, 1)}));
        EXPECT_TRUE(ended(r, 1, {}, "TQ4 DEBUG MSG : This printer is not KORDANE's printer.\nERROR: No pages found!\n")) << path;
    }

    // The API title sends the initialisation only and never reads its input.
    for (const char* title : {"KORDANE_API_MODE", "KORDANE_API_MODE and more"}) {
        test::FilterRun r{test::filterArgs("", "", title), ppd42};
        r.closeStdin = false;
        EXPECT_TRUE(ended(test::runFilter(r), 1, kInit, "ERROR: No pages found!\n"));
    }
    EXPECT_TRUE(ended(run(ppd42, "", {}, "", "KORDANE_API_MOD"), 1, concat(kInit, lf(6)), "ERROR: No pages found!\n"));

    const test::FilterResult one = run(ppd42, "", test::rasterStream({test::randomPage(576, 20, 5)}));
    EXPECT_TRUE(ended(one, 0, one.out, "TQ4 DEBUG MESG: PAGE: 1 1\nPAGE: 1 1\nNormal printing.\nINFO: Ready to print.\n"));
    EXPECT_NE(one.err.find("TQ4 DEBUG MSG: The Printer Model is : 42\n"), std::string::npos);
}

TEST_F(Job, TextFilesAndRasterFiles)
{
    const std::string ppd42 = test::writePpd(dir, 42);
    const Bytes all = test::randomPage(8 * 1000, 210, 7).pixels;
    for (std::size_t size : {std::size_t{0}, std::size_t{1024}, std::size_t{1025}, all.size()}) {
        const Bytes part(all.begin(), all.begin() + static_cast<long>(size));
        EXPECT_TRUE(ended(run(ppd42, "", {}, dir.write("t.txt", part), "KORDANE_API_MODE"), 0, concat(kInit, part),
                          "TQ4 DEBUG MSG: The Printer Model is : 42"))
            << size << " bytes";
    }
    const Bytes twoLogos = hex("1B6100 1D284C0600304530300102 1B40 1B6100 1D284C0600304530300102 1B40");
    EXPECT_BYTES(concat(kInit, twoLogos), run(ppd42, "LogoPosition=3 LogoWidth=2", {}, dir.write("e.txt", "")).out);
    EXPECT_BYTES(kInit, run(ppd42, "LogoPosition=4", {}, dir.write("f.txt", "text")).out);
    EXPECT_BYTES(kInit, run(test::writePpd(dir, 42, {{"LogoPosition", ""}}), "", {}, dir.file("f.txt")).out);
    // A directory opens but cannot be read: the closing logo still goes out, the job fails.
    const test::FilterResult unreadable = run(ppd42, "LogoPosition=3 LogoWidth=2", {}, dir.path());
    EXPECT_TRUE(ended(unreadable, 1, concat(kInit, twoLogos), "\nERROR: Unable to read the text file"));

    // A file holding a raster stream is a raster job.
    const std::string cut = test::writePpd(dir, 42, {{"PageCut", "2"}});
    const Bytes stream = test::rasterStream({test::randomPage(576, 20, 5), test::randomPage(576, 30, 6)});
    const test::FilterResult fromStdin = run(cut, "", stream);
    const test::FilterResult fromFile = run(cut, "", {}, dir.write("job.ras", stream));
    EXPECT_TRUE(ended(fromFile, 0, fromStdin.out, "PAGE: 2 1"));
    EXPECT_TRUE(ended(run(cut, "", {}, dir.file("job.ras"), "KORDANE_API_MODE"), 1, kInit));
}

TEST_F(Job, PagesDrawersAndFailures)
{
    const Bytes fullCut = hex("1D 56 41 01"), drawer1 = hex("1B 70 00 32 FF"), drawer2 = hex("1B 70 01 64 FF");
    const auto page = [](std::uint32_t seed) { return test::randomPage(64, 4, seed); };
    const test::RasterPage blank = test::blankPage(64, 9);
    const std::string noImage = "LogoPosition=4 ";

    // Blank pages leave no trace, unless blank lines are kept.
    EXPECT_TRUE(ended(raster(6, noImage, {blank}), 1, concat(kInit, lf(6)), "TQ4 DEBUG MSG : removeNullLine() NULLPAGE\n"));
    EXPECT_BYTES(concat(kInit, lf(2), lf(6)), raster(6, noImage + "PageType=1", {blank}).out);
    EXPECT_TRUE(ended(raster(1, noImage, {page(1), blank, page(2)}), 0, concat(kInit, lf(2), lf(2), lf(6)), "PAGE: 2 1\n"));

    // The drawer before the first page and after the last, never per page.
    const std::vector<test::RasterPage> three = {page(1), page(2), page(3)};
    EXPECT_BYTES(concat(kInit, drawer1, drawer2, fullCut, fullCut, fullCut, drawer1, drawer2),
                 raster(42, noImage + "CashDrawer=3 CashDrawerOpen=2 PageCut=2", three).out);
    EXPECT_BYTES(concat(kInit, drawer1, fullCut, fullCut, fullCut), raster(42, noImage + "CashDrawer=1 PageCut=2", three).out);
    EXPECT_BYTES(concat(kInit, lf(6)), raster(42, noImage + "CashDrawer=1 CashDrawerOpen=0", {blank}).out);
    EXPECT_BYTES(concat(kInit, lf(6), drawer2), raster(42, noImage + "CashDrawer=2 CashDrawerOpen=1", {blank}).out);

    // One cut after the job: the model's feed and cut after the job-end feed,
    // before the drawer; none without a page, none more after cut pages.
    const std::string endCut = test::writePpd(dir, 11, {{"JobEndCut", "1"}});
    EXPECT_BYTES(concat(kInit, lf(4), lf(4), lf(4), lf(6), lf(2), fullCut, drawer1),
                 run(endCut, noImage + "CashDrawer=1 CashDrawerOpen=1", test::rasterStream(three)).out);
    EXPECT_BYTES(concat(kInit, lf(2), fullCut, lf(2), fullCut), run(endCut, noImage + "PageCut=2", test::rasterStream({page(1), page(2)})).out);
    EXPECT_BYTES(concat(kInit, lf(6)), run(endCut, noImage, test::rasterStream({blank})).out);

    // Pixels that cannot be read end the job after the pages before them.
    const Bytes stream = test::rasterStream({test::randomPage(576, 40, 1), test::randomPage(576, 40, 2), test::randomPage(576, 40, 3)});
    const test::FilterResult cutShort = run(test::writePpd(dir, 42), noImage + "PageCut=2 CashDrawer=1 CashDrawerOpen=1",
                                            Bytes(stream.begin(), stream.end() - 500));
    EXPECT_TRUE(ended(cutShort, 1, concat(kInit, fullCut, fullCut, drawer1),
                      "NULLIMAGE\nTQ4_DEBUG_MSG : removeNullLine return = -2\nTQ4_DEBUG : cupsHeight = 40\n"
                      "ERROR: The pixel data of page 3 cannot be read; the job ends here\nINFO: Ready to print.\n"));
    EXPECT_EQ(cutShort.err.find("PAGE: 3"), std::string::npos);

    // Pages deeper than 1 bit get no image and fail the job; copies are not repeated.
    for (std::uint32_t bits : {8u, 24u}) {
        test::RasterPage deep = test::deepPage(64, 6, bits);
        std::fill(deep.pixels.begin() + 10, deep.pixels.begin() + 40, 0x80);
        EXPECT_TRUE(ended(raster(42, "ColorModel=1 PageCut=2", {deep}), 1, concat(kInit, fullCut),
                          "ERROR: Page 1 has " + std::to_string(bits) + " bits per pixel"));
    }
    test::RasterPage copies = page(1);
    copies.numCopies = 3;
    EXPECT_TRUE(ended(raster(42, noImage + "PageCut=2", {copies}), 0, concat(kInit, fullCut), "TQ4 DEBUG MESG: PAGE: 1 3\n"));
}

TEST_F(Job, ImageBandsAndLimits)
{
    const std::string mono = "ColorModel=1 PageType=1 PageCut=1";
    for (std::uint32_t height : {255u, 256u, 280u}) {
        const test::RasterPage page = test::randomPage(576, height, height);
        EXPECT_TRUE(ended(raster(42, mono, {page}), 0, concat(kInit, monoImage(42, 0, page.pixels, 576, 72)), "Normal printing.\n"));
    }
    // 1000 bytes a line: at most 65 lines fit one block's 16-bit count.
    const test::RasterPage wide = test::randomPage(8000, 200, 3);
    Bytes split = kInit;
    for (std::size_t y = 0; y < 200; y += 65)
        split = concat(split, store(0x31, 8000, std::min<std::size_t>(65, 200 - y), lines(wide.pixels, y, std::min<std::size_t>(65, 200 - y), 1000)), kPrint);
    EXPECT_BYTES(split, raster(42, mono, {wide}).out);
    // A line no command can carry: no image, an error, the trailers still.
    const test::FilterResult huge = raster(42, "ColorModel=1 PageType=1 PageCut=2", {test::randomPage(66000 * 8, 2, 4)});
    EXPECT_TRUE(ended(huge, 1, concat(kInit, hex("1D 56 41 01")), "\nERROR: "));

    // A page reduced to no lines: an image of none by each method; then
    // turned: lines of no bytes, not trimmed.
    for (const auto& [model, comp, image] : {std::tuple{42, "0", concat(store(0x31, 192, 0, {}), kPrint)},
                                             {42, "1", hex("0843520000000000 C000 0000 084352FF00")},
                                             {52, "0", hex("1D763000 1800 0000")}})
        EXPECT_BYTES(concat(kInit, image), raster(model, mono + " PageSize=95 CompPrinting=" + comp, {test::randomPage(576, 2, 8)}).out);
    EXPECT_BYTES(concat(kInit, store(0x31, 0, 192, {}), kPrint),
                 raster(42, "ColorModel=1 PageCut=1 PageSize=95 Rotation=1", {test::randomPage(576, 2, 8)}).out);
    // A page made for one colour, sent to the two-colour output.
    const test::FilterResult oneBand = raster(42, "ColorModel=0 PageType=1 PageCut=2", {test::randomPage(576, 4, 9)});
    EXPECT_TRUE(ended(oneBand, 1, concat(kInit, hex("1D 56 41 01")), "print it with ColorModel=1"));

    // CompPrinting missing from the PPD: no image at all.
    const test::FilterResult none = run(test::writePpd(dir, 33, {{"CompPrinting", ""}}), "PageType=1",
                                        test::rasterStream({test::randomPage(64, 10, 1)}));
    EXPECT_BYTES(concat(kInit, lf(2), lf(1)), none.out);
    EXPECT_EQ(none.err.find("printing."), std::string::npos);
    // A logo below the image only.
    const test::RasterPage small = test::randomPage(64, 5, 9);
    EXPECT_BYTES(concat(kInit, monoImage(13, 0, small.pixels, 64, 8), logo(13, false, 1, 3, 0, 0), lf(2), lf(6)),
                 raster(13, "PageType=1 LogoPosition=2 LogoImage=1 LogoWidth=3", {small}).out);

    // Two colours in bands of 70, the last group sent even when empty.
    for (std::uint32_t height : {300u, 280u}) {
        const test::RasterPage page = colourPage(576, height, height);
        EXPECT_BYTES(concat(kInit, colourImage(page)), raster(42, "ColorModel=0 PageType=1 PageCut=1", {page}).out) << height;
    }

    // A later page larger than the first prints as it would alone.
    for (const char* rotation : {"0", "1", "3"}) {
        const std::string options = mono + " Rotation=" + rotation;
        const test::RasterPage first = test::randomPage(64, 10, 1), large = test::randomPage(800, 240, 2);
        const Bytes alone = raster(42, options, {large}).out;
        EXPECT_BYTES(concat(raster(42, options, {first}).out, Bytes(alone.begin() + 2, alone.end())),
                     raster(42, options, {first, large}).out)
            << "Rotation " << rotation;
    }
}

TEST_F(Job, PageCeilingAndOutputThatCannotBeWritten)
{
    // A page of 64 MiB is read (and, blank, skipped); one line more is
    // refused before anything is read or allocated for it.
    const std::string ppd = test::writePpd(dir, 42, {{"PageCut", "2"}});
    for (std::uint32_t height : {65536u, 65537u}) {
        const test::FilterResult r =
            run(ppd, "", test::rasterStream({test::blankPage(8192, height)}, CUPS_RASTER_WRITE_COMPRESSED));
        EXPECT_TRUE(ended(r, 1, kInit, height == 65536 ? "NULLPAGE" : "TQ4 DEBUG MSG: Memory Allocation Error\nERROR: No pages found!\n"));
    }
    // After a printed page, such a page ends the job as failed, without its trailer.
    const test::RasterPage first = test::randomPage(64, 4, 1);
    const test::FilterResult after =
        run(ppd, "", test::rasterStream({first, test::blankPage(8192, 65537)}, CUPS_RASTER_WRITE_COMPRESSED));
    EXPECT_TRUE(ended(after, 1, concat(kInit, monoImage(42, 0, first.pixels, 64, 8), pageEnd(42, 2)),
                      "Normal printing.\nTQ4 DEBUG MSG: Memory Allocation Error\n"));

    // Raster and text jobs whose printer stream cannot be written fail.
    const std::string text = dir.write("t.txt", "Total 12.50\n");
    int noReader[2];
    ASSERT_EQ(::pipe(noReader), 0);
    ::close(noReader[0]);
    const int full = ::open("/dev/full", O_WRONLY);
    for (auto [fd, error] : {std::pair{full, "No space left on device"}, {noReader[1], "Broken pipe"}})
        for (const std::string& file : {std::string(), text}) {
            test::FilterRun r{test::filterArgs("", file), ppd, test::rasterStream({test::randomPage(64, 4, 1)})};
            r.stdoutFd = fd;
            r.ignoreSigpipe = true;
            const test::FilterResult failed = test::runFilter(r);
            EXPECT_TRUE(ended(failed, 1, {}, std::string("ERROR: The job cannot be sent to the printer: ") + error));
            EXPECT_EQ(failed.err.find("INFO:"), std::string::npos);
            r.ignoreSigpipe = false; // the default action stays
            EXPECT_EQ(test::runFilter(r).termSignal, fd == full ? 0 : SIGPIPE);
        }
    ::close(full);
    ::close(noReader[1]);
}

// SIGTERM ends a job with the commands written so far, the cancel trailer
// (720 bytes 00 and ESC @) and status 0: here while the filter waits for its
// next page, and after the job's end, where it is ignored. The fuzz target's
// replays cancel jobs of every kind once a fuzzed number of printer bytes
// has come, and check that what came before the trailer is whole commands.
TEST_F(Job, CancelWhileWaitingForAPageAndAfterTheEnd)
{
    const std::string ppd = test::writePpd(
        dir, 42, {{"LogoPosition", "3"}, {"PageCut", "2"}, {"CashDrawer", "3"}, {"CashDrawerOpen", "2"}});
    const std::vector<test::RasterPage> pages = {test::randomPage(576, 560, 100, 0.05), test::randomPage(576, 560, 101, 0.05)};
    test::FilterRun job{test::filterArgs(), ppd, test::rasterStream(pages)};
    const test::FilterResult whole = test::runFilter(job);
    ASSERT_EQ(whole.exitStatus, 0);

    // Waiting for the next page: the first page went out whole.
    test::FilterRun waiting = job;
    waiting.args = test::filterArgs("LogoPosition=4");
    waiting.input.resize(test::rasterStream({pages[0]}).size() + sizeof(cups_page_header2_t) + 100);
    waiting.closeStdin = false;
    waiting.signalAfterStderr = "PAGE: 1 1\nTQ4_DEBUG : cupsHeight = 560\n";
    EXPECT_TRUE(ended(test::runFilter(waiting), 0,
                      concat(hex("1B 40 1B 70 00 32 FF 1B 70 01 64 FF 1D 56 41 01"), test::repeat(0, 720), hex("1B 40"))));

    // After the job's end the signal is ignored.
    test::FilterRun late = job;
    late.signalAfterStderr = "INFO: Ready to print.\n";
    const test::FilterResult after = test::runFilter(late);
    EXPECT_TRUE(after.signalSent && after.exitStatus == 0 && after.out == whole.out);
}

} // namespace
} // namespace kordane
