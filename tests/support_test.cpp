// Checks of the test support code against the real libraries it stands on:
// PPDs read back through libcups, raster streams read back through
// libcupsimage, and the process runner on ordinary programs.
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

// The PPD calls are the ones the filter reads its settings with; libcups
// marks them deprecated.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace kordane::test {
namespace {

// ---------------------------------------------------------------- bytes

TEST(SupportBytes, HexAcceptsSpacedAndPackedPairsOnly)
{
    EXPECT_EQ(hex("1B 40 0a"), (Bytes{0x1B, 0x40, 0x0A}));
    EXPECT_EQ(hex("1B400A\n1d"), (Bytes{0x1B, 0x40, 0x0A, 0x1D}));
    EXPECT_TRUE(hex("").empty());
    EXPECT_THROW(hex("1B4"), std::invalid_argument);
    EXPECT_THROW(hex("1 B"), std::invalid_argument);
    EXPECT_THROW(hex("1G"), std::invalid_argument);
    EXPECT_EQ(concat(hex("1B"), repeat(0, 2), bytes("A")), (Bytes{0x1B, 0, 0, 'A'}));
    EXPECT_EQ(concat({hex("1B"), {}, hex("40")}), hex("1B 40"));
}

TEST(SupportBytes, MismatchReportNamesSizesOffsetAndContext)
{
    const Bytes expected = concat(repeat(0, 20), hex("1B 40"), repeat(0, 20));
    Bytes actual = expected;
    actual[21] = 0xFF;
    EXPECT_TRUE(bytesEqual(expected, expected));

    const std::string message = bytesEqual(expected, actual).message();
    EXPECT_NE(message.find("offset 21"), std::string::npos) << message;
    EXPECT_NE(message.find("[40]"), std::string::npos) << message;
    EXPECT_NE(message.find("[FF]"), std::string::npos) << message;

    const std::string shorter = bytesEqual(expected, truncate(expected, 10)).message();
    EXPECT_NE(shorter.find("expected 42 bytes, actual 10 bytes"), std::string::npos) << shorter;
    EXPECT_NE(shorter.find("offset 10"), std::string::npos) << shorter;
    EXPECT_NE(shorter.find("[end]"), std::string::npos) << shorter;
}

// ---------------------------------------------------------------- PPD

std::string markedChoice(ppd_file_t* ppd, const char* keyword)
{
    const ppd_choice_t* choice = ppdFindMarkedChoice(ppd, keyword);
    return choice ? choice->choice : "(none)";
}

TEST(SupportPpd, LibcupsReadsModelDefaultsAndJobOptions)
{
    TempDir dir;
    PpdSpec spec = standardPpd(42);
    setDefault(spec, "LineFeed", "2");
    setDefault(spec, "LogoImage", "7"); // a choice the option did not have
    ppd_file_t* ppd = ppdOpenFile(writePpd(dir, spec).c_str());
    ASSERT_NE(ppd, nullptr) << ppdErrorString(ppdLastError(nullptr));

    EXPECT_EQ(ppd->model_number, 42);
    ppdMarkDefaults(ppd);
    for (const PpdOption& option : spec.options)
        EXPECT_EQ(markedChoice(ppd, option.keyword.c_str()), option.defaultChoice)
            << option.keyword;

    // Job options win over the defaults.
    cups_option_t* options = nullptr;
    const int count = cupsParseOptions("LineFeed=3 PageSize=95", 0, &options);
    cupsMarkOptions(ppd, count, options);
    cupsFreeOptions(count, options);
    EXPECT_EQ(markedChoice(ppd, "LineFeed"), "3");
    EXPECT_EQ(markedChoice(ppd, "PageSize"), "95");
    EXPECT_EQ(markedChoice(ppd, "Rotation"), "0");

    // Every size leaves 576 dots of imageable width at 203 dpi.
    const ppd_size_t* size = ppdPageSize(ppd, "95");
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(std::lround((size->right - size->left) * 203 / 72), 576);
    ppdClose(ppd);
}

TEST(SupportPpd, MissingModelOptionAndDefaultChoice)
{
    TempDir dir;
    PpdSpec spec = standardPpd(0);
    removeOption(spec, "LogoPosition");
    spec.options.push_back({"CompPrinting", "", {"0", "1"}});
    removeOption(spec, "PageType");
    spec.options.push_back({"PageType", "7", {"0", "1"}});
    ppd_file_t* ppd = ppdOpenFile(writePpd(dir, spec).c_str());
    ASSERT_NE(ppd, nullptr) << ppdErrorString(ppdLastError(nullptr));

    ppdMarkDefaults(ppd);
    EXPECT_EQ(ppd->model_number, 0);
    EXPECT_EQ(ppdFindOption(ppd, "LogoPosition"), nullptr);
    ppd_option_t* pageType = ppdFindOption(ppd, "PageType");
    ASSERT_NE(pageType, nullptr);
    EXPECT_EQ(ppdFindMarkedChoice(ppd, "PageType"), nullptr);
    EXPECT_EQ(ppdFindChoice(pageType, pageType->defchoice), nullptr);
    ppdClose(ppd);
}

// ---------------------------------------------------------------- raster

struct MemoryReader {
    const Bytes* data;
    std::size_t pos = 0;
};

ssize_t readMemory(void* ctx, unsigned char* buffer, size_t length)
{
    auto* reader = static_cast<MemoryReader*>(ctx);
    const std::size_t n = std::min(length, reader->data->size() - reader->pos);
    std::memcpy(buffer, reader->data->data() + reader->pos, n);
    reader->pos += n;
    return static_cast<ssize_t>(n);
}

// Reads every page back as libcupsimage sees it.
std::vector<RasterPage> readBack(const Bytes& stream)
{
    MemoryReader reader{&stream};
    cups_raster_t* raster = cupsRasterOpenIO(readMemory, &reader, CUPS_RASTER_READ);
    std::vector<RasterPage> pages;
    cups_page_header2_t h;
    while (raster && cupsRasterReadHeader2(raster, &h)) {
        RasterPage page{h.cupsWidth, h.cupsHeight, h.cupsBytesPerLine, h.cupsBitsPerPixel,
                        h.cupsBitsPerColor, h.cupsColorSpace, h.NumCopies, h.cupsColorOrder,
                        h.cupsNumColors, Bytes(std::size_t{h.cupsHeight} * h.cupsBytesPerLine)};
        const auto got = cupsRasterReadPixels(raster, page.pixels.data(),
                                              static_cast<unsigned>(page.pixels.size()));
        page.pixels.resize(got);
        pages.push_back(page);
    }
    cupsRasterClose(raster);
    return pages;
}

void expectSamePage(const RasterPage& a, const RasterPage& b, std::size_t n)
{
    EXPECT_EQ(a.width, b.width) << "page " << n;
    EXPECT_EQ(a.height, b.height) << "page " << n;
    EXPECT_EQ(a.bytesPerLine, b.bytesPerLine) << "page " << n;
    EXPECT_EQ(a.bitsPerPixel, b.bitsPerPixel) << "page " << n;
    EXPECT_EQ(a.bitsPerColor, b.bitsPerColor) << "page " << n;
    EXPECT_EQ(a.colorSpace, b.colorSpace) << "page " << n;
    EXPECT_EQ(a.colorOrder, b.colorOrder) << "page " << n;
    EXPECT_EQ(a.numColors, b.numColors) << "page " << n;
    EXPECT_EQ(a.numCopies, b.numCopies) << "page " << n;
    EXPECT_BYTES(a.pixels, b.pixels) << "page " << n;
}

TEST(SupportRaster, PagesRoundTripThroughLibcupsInEveryWriteMode)
{
    RasterPage color = twoColorPage(21, 3);
    setDot(color, 20, 2, 3);
    setDot(color, 0, 0, 1);
    RasterPage gray = deepPage(5, 2, 8);
    gray.pixels = {0, 1, 2, 3, 4, 250, 251, 252, 253, 254};
    RasterPage copies = blankPage(576, 4);
    copies.numCopies = 3;
    const std::vector<RasterPage> pages = {randomPage(13, 7, 1, 0.3), color, gray,
                                           deepPage(4, 2, 24), copies};

    for (cups_mode_t mode : {CUPS_RASTER_WRITE, CUPS_RASTER_WRITE_COMPRESSED}) {
        SCOPED_TRACE(mode);
        const std::vector<RasterPage> back = readBack(rasterStream(pages, mode));
        ASSERT_EQ(back.size(), pages.size());
        for (std::size_t n = 0; n < pages.size(); ++n)
            expectSamePage(pages[n], back[n], n);
    }
}

TEST(SupportRaster, HandBuiltStreamMatchesLibcupsAndTakesAnyHeader)
{
    const std::vector<RasterPage> pages = {randomPage(13, 7, 2), twoColorPage(16, 2)};
    EXPECT_BYTES(rasterStream(pages), rawRasterStream({rawPage(pages[0]), rawPage(pages[1])}));

    RawRasterPage hostile = rawPage(blankPage(16, 2));
    hostile.header.cupsBytesPerLine = 3;
    hostile.header.cupsHeight = 0xFFFFFFFF;
    const Bytes stream = rawRasterStream({hostile});
    EXPECT_EQ(stream.size(), 4 + sizeof(cups_page_header2_t) + 4);
    RasterPage shortData = blankPage(16, 2);
    shortData.pixels.pop_back();
    EXPECT_THROW(rasterStream({shortData}), std::runtime_error);
}

TEST(SupportRaster, DotsFollowTheBitmapLayout)
{
    const RasterPage art = artPage({"#........#", ".#"});
    EXPECT_EQ(art.width, 10u);
    EXPECT_BYTES(hex("80 40 40 00"), art.pixels);
    EXPECT_TRUE(getDot(art, 9, 0));
    EXPECT_THROW(getDot(art, 10, 0), std::out_of_range);

    // Spare bits after the last dot of a line stay clear.
    const RasterPage dense = randomPage(13, 4, 3, 1.0);
    EXPECT_BYTES(hex("FF F8 FF F8 FF F8 FF F8"), dense.pixels);

    RasterPage color = twoColorPage(9, 1);
    setDot(color, 8, 0, 3);
    EXPECT_BYTES(hex("00 00 00 00 00 00 00 80"), color.pixels);
    EXPECT_THROW(setDot(color, 0, 0, 4), std::out_of_range);
}

// ---------------------------------------------------------------- runner

FilterRun shell(std::string script)
{
    FilterRun run;
    run.program = "/bin/sh";
    run.args = {"-c", std::move(script)};
    return run;
}

TEST(SupportRunner, LargeInputAndOutputDoNotBlockEachOther)
{
    FilterRun run;
    run.program = "/bin/cat";
    run.input.resize(3 << 20);
    std::mt19937 random(7);
    for (auto& b : run.input)
        b = static_cast<std::uint8_t>(random());
    const FilterResult result = runFilter(run);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_BYTES(run.input, result.out);
}

TEST(SupportRunner, CleanEnvironmentPpdArgumentsAndExitStatus)
{
    FilterRun run = shell("printf '%s|%s|%s' \"${PPD-unset}\" \"${HOME-unset}\" \"$X\";"
                          " echo oops >&2; exit 3");
    run.ppdPath = "/p.ppd";
    run.env = {{"X", "x"}};
    FilterResult result = runFilter(run);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_BYTES(bytes("/p.ppd|unset|x"), result.out);
    EXPECT_EQ(result.err, "oops\n");

    run.ppdPath.clear();
    EXPECT_BYTES(bytes("unset|unset|x"), runFilter(run).out);
    run.env = {{"PPD", "/other.ppd"}};
    EXPECT_BYTES(bytes("/other.ppd|unset|"), runFilter(run).out);

    run.program = "/nonexistent";
    EXPECT_EQ(runFilter(run).exitStatus, 127);
    EXPECT_EQ(defaultArgs("t", "o"), (std::vector<std::string>{"1", "user", "t", "1", "o"}));
}

TEST(SupportRunner, SignalAfterStderrTextWithInputKeptOpen)
{
    // cat would end at once on a closed input: dying of the signal shows the
    // input stayed open until then.
    FilterRun run = shell("echo ready >&2; exec cat");
    run.input = bytes("abc");
    run.closeStdin = false;
    run.signalAfterStderr = "ready";
    run.signalDelayMs = 100;
    const FilterResult result = runFilter(run);
    EXPECT_TRUE(result.signalSent);
    EXPECT_EQ(result.termSignal, SIGTERM);
    EXPECT_BYTES(bytes("abc"), result.out);
}

TEST(SupportRunner, TimeoutKillsTheProcess)
{
    FilterRun run = shell("exec sleep 10");
    run.timeoutMs = 200;
    const FilterResult result = runFilter(run);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.termSignal, SIGKILL);
}

} // namespace
} // namespace kordane::test
