// The raster page loop through the built filter: page and job trailers for
// every model, blank and unreadable pages, drawer pulses and pixel depths.
// LogoPosition 4 keeps images and logos out of these streams, so the
// trailers stand alone.
#include <gtest/gtest.h>

#include <set>

#include "core/model_table.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;
using test::hex;

const Bytes kInit = hex("1B 40");
Bytes lf(std::size_t n) { return test::repeat(0x0A, n); }
const Bytes kFullCut = hex("1D 56 41 01");
const Bytes kPartialCut = hex("1D 56 42 01");

class PageLoop : public ::testing::Test {
protected:
    test::FilterResult run(int model, const std::vector<test::RasterPage>& pages, std::string options)
    {
        return runStream(model, test::rasterStream(pages), std::move(options));
    }
    test::FilterResult runStream(int model, const Bytes& stream, std::string options)
    {
        const std::string ppd = test::writePpd(dir, test::standardPpd(model));
        return test::runFilterArgs(test::defaultArgs("job", "LogoPosition=4 " + options), ppd, stream);
    }
    test::TempDir dir;
};

// What follows a page, written out group by group.
Bytes expectedPageEnd(int model, int pageCut)
{
    const std::set<int> fixed2{10, 40, 41, 81, 91, 92, 105, 116, 117, 147};
    const std::set<int> oneExtra{61, 110, 152, 257};
    const std::set<int> twoExtra{11, 30, 63, 111, 156, 273};
    const std::set<int> single{22, 35, 87, 88, 90};
    const std::set<int> monoFixed{33};
    if (fixed2.count(model))
        return lf(2);
    if (model == 83)
        return lf(4);
    if (monoFixed.count(model) || model == 83)
        pageCut = 0; // PageCut is not read for these models
    if (pageCut == 2) {
        const Bytes cut = (model == 22 || model == 35) ? kPartialCut : kFullCut;
        return test::concat(lf(twoExtra.count(model) ? 2 : oneExtra.count(model) ? 1 : 0), cut);
    }
    if (pageCut == 0)
        return lf(1 + (single.count(model) ? 0 : 1) + (oneExtra.count(model) ? 1 : 0) +
                  (twoExtra.count(model) ? 2 : model == 42 ? 1 : 0));
    return {};
}

Bytes expectedJobEnd(int model, int pageCut)
{
    const std::set<int> fixedFeed{10, 40, 41, 81, 83, 91, 92, 105, 116, 117, 147};
    if (fixedFeed.count(model))
        return {};
    if (model == 33)
        return lf(1);
    return pageCut == 0 ? lf(6) : Bytes{};
}

TEST_F(PageLoop, PageAndJobTrailersForEveryModel)
{
    const std::vector<test::RasterPage> pages = {test::randomPage(64, 5, 1), test::randomPage(64, 3, 2)};
    for (const ModelInfo& m : allModels()) {
        for (int pageCut : {0, 1, 2}) {
            const test::FilterResult r = run(m.number, pages, "PageCut=" + std::to_string(pageCut));
            const Bytes page = expectedPageEnd(m.number, pageCut);
            EXPECT_EQ(r.exitStatus, 0);
            EXPECT_BYTES(test::concat(kInit, page, page, expectedJobEnd(m.number, pageCut)), r.out)
                << "model " << m.number << " PageCut " << pageCut;
        }
    }
}

TEST_F(PageLoop, BlankPagesAreSkippedWithoutATrace)
{
    const test::FilterResult empty = runStream(6, {}, "");
    const test::FilterResult blank = run(6, {test::blankPage(576, 100)}, "");
    EXPECT_EQ(empty.exitStatus, 1);
    EXPECT_EQ(blank.exitStatus, 1);
    EXPECT_BYTES(test::concat(kInit, lf(6)), empty.out);
    EXPECT_BYTES(empty.out, blank.out);
    EXPECT_NE(blank.err.find("TQ4 DEBUG MSG : removeNullLine() NULLPAGE\n"), std::string::npos);

    // Kept when blank lines are not trimmed.
    const test::FilterResult kept = run(6, {test::blankPage(576, 100)}, "PageType=1");
    EXPECT_EQ(kept.exitStatus, 0);
    EXPECT_BYTES(test::concat(kInit, lf(2), lf(6)), kept.out);

    // Between printed pages, a blank page adds nothing.
    const test::FilterResult mixed =
        run(1, {test::randomPage(64, 4, 1), test::blankPage(64, 9), test::randomPage(64, 4, 2)}, "");
    EXPECT_BYTES(test::concat(kInit, lf(2), lf(2), lf(6)), mixed.out);
    EXPECT_NE(mixed.err.find("PAGE: 2 1\n"), std::string::npos);
}

TEST_F(PageLoop, UnreadablePixelsEndTheJobWithAnError)
{
    std::vector<test::RasterPage> pages = {test::randomPage(576, 40, 1), test::randomPage(576, 40, 2),
                                           test::randomPage(576, 40, 3)};
    const Bytes stream = test::rasterStream(pages);
    const test::FilterResult r = runStream(42, test::truncate(stream, stream.size() - 500), "PageCut=2 CashDrawer=1 CashDrawerOpen=1");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_BYTES(test::concat(kInit, kFullCut, kFullCut, hex("1B 70 00 32 FF")), r.out);
    EXPECT_NE(r.err.find("PAGE: 2 1\n"), std::string::npos);
    EXPECT_EQ(r.err.find("PAGE: 3"), std::string::npos);
    EXPECT_NE(r.err.find("TQ4 DEBUG MSG : removeNullLine() NULLIMAGE\n"), std::string::npos);
    const auto error = r.err.find("\nERROR: ");
    ASSERT_NE(error, std::string::npos);
    EXPECT_LT(error, r.err.find("INFO: Ready to print.\n"));
}

TEST_F(PageLoop, DrawerBeforeTheFirstPageAndAfterTheLast)
{
    const std::vector<test::RasterPage> three = {test::randomPage(64, 4, 1), test::randomPage(64, 4, 2),
                                                 test::randomPage(64, 4, 3)};
    const Bytes both = hex("1B 70 00 32 FF 1B 70 01 64 FF");
    const test::FilterResult r = run(42, three, "CashDrawer=3 CashDrawerOpen=2 PageCut=2");
    EXPECT_BYTES(test::concat(kInit, both, kFullCut, kFullCut, kFullCut, both), r.out);

    const test::FilterResult before = run(42, three, "CashDrawer=1 CashDrawerOpen=0 PageCut=2");
    EXPECT_BYTES(test::concat(kInit, hex("1B 70 00 32 FF"), kFullCut, kFullCut, kFullCut), before.out);

    // Blank pages only: never pulsed before a page; after the job it is.
    const std::vector<test::RasterPage> blanks = {test::blankPage(64, 4), test::blankPage(64, 4)};
    EXPECT_BYTES(test::concat(kInit, lf(6)), run(42, blanks, "CashDrawer=1 CashDrawerOpen=0").out);
    EXPECT_BYTES(test::concat(kInit, lf(6), hex("1B 70 01 64 FF")),
                 run(42, blanks, "CashDrawer=2 CashDrawerOpen=1").out);
}

TEST_F(PageLoop, PagesWithoutAnImageStillCountAndEnd)
{
    // Model 6 prints two colours or nothing: ColorModel 2 sends no image.
    const test::FilterResult r = run(6, {test::randomPage(64, 4, 1), test::randomPage(64, 4, 2)}, "ColorModel=2");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_BYTES(test::concat(kInit, lf(2), lf(2), lf(6)), r.out);
    EXPECT_NE(r.err.find("PAGE: 2 1\n"), std::string::npos);
}

TEST_F(PageLoop, PagesDeeperThanOneBitGetNoImageAndFailTheJob)
{
    for (std::uint32_t bits : {8u, 24u}) {
        test::RasterPage page = test::deepPage(64, 6, bits);
        std::fill(page.pixels.begin() + 10, page.pixels.begin() + 40, 0x80);
        const test::FilterResult r = run(42, {page}, "ColorModel=1 PageCut=2");
        EXPECT_EQ(r.exitStatus, 1) << bits;
        EXPECT_BYTES(test::concat(kInit, kFullCut), r.out);
        EXPECT_NE(r.err.find("ERROR: Page 1 has " + std::to_string(bits) + " bits per pixel"), std::string::npos)
            << r.err;
    }
}

TEST_F(PageLoop, CopiesAreNotRepeated)
{
    test::RasterPage page = test::randomPage(64, 4, 1);
    page.numCopies = 3;
    const test::FilterResult r = run(42, {page}, "PageCut=2");
    EXPECT_BYTES(test::concat(kInit, kFullCut), r.out);
    EXPECT_NE(r.err.find("TQ4 DEBUG MESG: PAGE: 1 3\n"), std::string::npos);
}

} // namespace
} // namespace kordane
