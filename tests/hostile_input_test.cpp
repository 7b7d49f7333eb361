// The filter on whatever the print system might hand it: broken and absurd
// raster streams, bad PPD files and option strings, odd arguments and files.
// Every run must keep to test::survived; the expectations beyond that are
// stated per group.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "hostile_checks.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;

constexpr std::size_t kHeaderSize = sizeof(cups_page_header2_t);

class Hostile : public ::testing::Test {
protected:
    std::string ppd(int model, std::initializer_list<std::pair<const char*, const char*>> defaults = {})
    {
        return test::writeStandardPpd(dir, model, defaults);
    }
    test::FilterResult raster(const std::string& ppdPath, const Bytes& stream, const std::string& options = "")
    {
        test::FilterRun run;
        run.args = test::defaultArgs("job", options);
        run.ppdPath = ppdPath;
        run.input = stream;
        run.env.push_back(test::libcupsLeakSuppression());
        return test::runFilter(run);
    }
    test::TempDir dir;
};

bool mentions(const test::FilterResult& r, const std::string& text) { return r.err.find(text) != std::string::npos; }

test::RawRasterPage rawPage(std::uint32_t width, std::uint32_t height, std::uint32_t bytesPerLine,
                            std::size_t dataBytes, std::uint32_t bitsPerPixel = 1)
{
    test::RawRasterPage page = test::rawPage(test::blankPage(8, 1));
    page.header.cupsWidth = width;
    page.header.cupsHeight = height;
    page.header.cupsBytesPerLine = bytesPerLine;
    page.header.cupsBitsPerPixel = bitsPerPixel;
    page.data.assign(dataBytes, 0x5A);
    return page;
}

// ------------------------------------------------------------ raster streams

TEST_F(Hostile, StreamsCutShortInHeadersAndPixels)
{
    const Bytes stream = test::rasterStream({test::randomPage(576, 40, 1), test::randomPage(576, 40, 2)});
    const std::size_t page1 = 4 + kHeaderSize, page2 = page1 + 40 * 72 + kHeaderSize;
    const std::size_t cuts[] = {0, 1, 3, 4, 5, 100, page1 - 1, page1, page1 + 1, page1 + 72 * 20 + 7,
                                page2 - kHeaderSize - 1, page2 - kHeaderSize + 300, page2 - 1, page2 + 1,
                                stream.size() - 1};
    for (int model : {13, 1, 42}) {
        const std::string path = ppd(model, {{"LogoPosition", "3"}, {"ColorModel", "1"}});
        for (std::size_t cut : cuts) {
            SCOPED_TRACE("model " + std::to_string(model) + ", cut at " + std::to_string(cut));
            const test::FilterResult r = raster(path, test::truncate(stream, cut));
            ASSERT_TRUE(test::survived(r));
            EXPECT_TRUE(test::wholeCommands(r));
            // No page, or a first page whose pixels cannot be read; a
            // second header cut short ends the stream after page 1.
            EXPECT_EQ(r.exitStatus, cut >= page2 - kHeaderSize && cut < page2 ? 0 : 1);
            if (cut > page1 && cut < page2 - kHeaderSize) {
                EXPECT_TRUE(mentions(r, "ERROR: The pixel data of page 1 cannot be read"));
            }
        }
    }
}

TEST_F(Hostile, BadSyncWordsReadAsEmptyStreams)
{
    const Bytes page = test::rasterStream({test::randomPage(576, 10, 3)});
    for (const char* sync : {"RaS1", "XXXX", "rAS3", "\0\0\0\0", "SaR3"}) {
        Bytes stream = page;
        std::copy_n(sync, 4, stream.begin());
        const test::FilterResult r = raster(ppd(13), stream);
        ASSERT_TRUE(test::survived(r)) << sync;
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_TRUE(mentions(r, "ERROR: No pages found!"));
        EXPECT_EQ(r.out, test::hex("1B 40 0A 0A 0A 0A 0A 0A"));
    }
}

TEST_F(Hostile, ZeroAndAbsurdDimensions)
{
    struct Case {
        const char* name;
        std::uint32_t width, height, bytesPerLine;
        std::size_t data;
    };
    const Case cases[] = {
        {"zero height", 576, 0, 72, 72},
        {"zero bytes per line", 576, 10, 0, 72},
        {"zero width", 0, 10, 72, 720},
        {"H x L past 32 bits", 576, 0x10001, 0x10000, 4096},
        {"2 x H x L past 32 bits", 576, 0x8001, 0x10000, 4096},
        {"H x L past 64 bits", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 4096},
        {"larger than any page taken", 0xFFFFFFF8, 0x4000, 0x1FFFFFFF, 4096},
        {"tall, few bytes", 576, 0x7FFFFFFF, 72, 4096},
        {"wide, few bytes", 0x7FFFFFF8, 2, 0x0FFFFFFF, 4096},
    };
    for (int model : {13, 1, 29, 42}) {
        const std::string path = ppd(model, {{"Rotation", "1"}, {"PageSize", "95"}});
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", model " + std::to_string(model));
            const Bytes stream = test::rawRasterStream(
                {test::rawPage(test::randomPage(576, 8, 4)), rawPage(c.width, c.height, c.bytesPerLine, c.data)});
            const test::FilterResult r = raster(path, stream);
            ASSERT_TRUE(test::survived(r));
            EXPECT_TRUE(test::wholeCommands(r));
            EXPECT_TRUE(mentions(r, "PAGE: 1 1")) << "the good first page is printed";
        }
    }
}

TEST_F(Hostile, BytesPerLineThatDisagreeWithTheWidth)
{
    const std::uint32_t shapes[][2] = {{576, 10}, {10, 72}, {2000, 72}, {576, 73}, {7, 1}, {65535, 2}};
    for (int model : {13, 1, 29, 52}) {
        const std::string path = ppd(model, {{"CompPrinting", "1"}, {"ColorModel", "0"}, {"LogoPosition", "3"}});
        for (const auto& shape : shapes)
            for (const char* options : {"", "Rotation=3 PageSize=100 FocusArea=2"}) {
                SCOPED_TRACE("model " + std::to_string(model) + ", " + std::to_string(shape[0]) + " dots in " +
                             std::to_string(shape[1]) + " bytes, " + options);
                const Bytes stream =
                    test::rawRasterStream({rawPage(shape[0], 20, shape[1], std::size_t{20} * shape[1])});
                const test::FilterResult r = raster(path, stream, options);
                ASSERT_TRUE(test::survived(r));
                EXPECT_TRUE(test::wholeCommands(r));
            }
    }
}

TEST_F(Hostile, PagesWiderThanThePrinter)
{
    // 65536 dots and more cannot be carried by any image command.
    const std::uint32_t widths[] = {2000, 4096, 65528, 65536, 70000};
    for (int model : {13, 1, 29, 42, 33}) {
        for (const char* options : {"", "CompPrinting=1", "PageSize=95 Rotation=1", "PageSize=100 FocusArea=1",
                                    "ColorModel=0 Rotation=2"}) {
            const std::string path = ppd(model);
            for (std::uint32_t width : widths) {
                SCOPED_TRACE("model " + std::to_string(model) + ", " + std::to_string(width) + " dots, " + options);
                const test::FilterResult r = raster(path, test::rasterStream({test::randomPage(width, 3, 6, 0.3)}),
                                                    options);
                ASSERT_TRUE(test::survived(r));
                EXPECT_TRUE(test::wholeCommands(r));
            }
        }
    }
}

TEST_F(Hostile, PagesThatGrowAfterTheFirst)
{
    for (int model : {13, 1, 29, 42}) {
        for (const char* options : {"", "Rotation=1", "PageSize=95 Rotation=3", "PageSize=100 FocusArea=2",
                                    "ColorModel=0 CompPrinting=1"}) {
            SCOPED_TRACE("model " + std::to_string(model) + ", " + options);
            const test::FilterResult r =
                raster(ppd(model),
                       test::rasterStream({test::randomPage(64, 4, 7), test::randomPage(576, 300, 8, 0.1),
                                           test::randomPage(2000, 40, 9, 0.1), test::randomPage(576, 3000, 10, 0.01)}),
                       options);
            ASSERT_TRUE(test::survived(r));
            EXPECT_TRUE(test::wholeCommands(r));
            EXPECT_TRUE(mentions(r, "PAGE: 4 1"));
            // One-colour pages printed in two colours: their lines are not
            // four planes, and no image goes out for them.
            const bool planesMissing = model != 13 && std::string(options).starts_with("ColorModel=0");
            EXPECT_EQ(r.exitStatus, planesMissing ? 1 : 0);
            EXPECT_EQ(mentions(r, "ERROR: The page image"), planesMissing);
        }
    }
}

TEST_F(Hostile, ThousandsOfTinyPages)
{
    std::vector<test::RasterPage> pages;
    for (std::uint32_t i = 0; i < 3000; ++i)
        pages.push_back(test::randomPage(8 + i % 17, 1 + i % 3, i, 0.6));
    const test::FilterResult r = raster(ppd(42, {{"PageCut", "2"}}), test::rasterStream(pages));
    ASSERT_TRUE(test::survived(r));
    EXPECT_TRUE(test::wholeCommands(r));
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_TRUE(mentions(r, "PAGE: 3000 1\n"));
}

TEST_F(Hostile, MutatedValidStreams)
{
    // Seeded byte changes anywhere in a valid job: header fields, pixels,
    // the sync word. Compressed streams too, where a byte is a run count.
    std::mt19937 random(6);
    const std::vector<test::RasterPage> pages = {test::randomPage(576, 30, 11, 0.2), test::randomPage(384, 20, 12)};
    const Bytes streams[] = {test::rasterStream(pages), test::rasterStream(pages, CUPS_RASTER_WRITE_COMPRESSED)};
    const int models[] = {13, 1, 29, 42, 83, 110};
    for (int round = 0; round < 60; ++round) {
        Bytes stream = streams[round % 2];
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i) {
            const std::size_t at = random() % 3 == 0 ? random() % (4 + kHeaderSize) : random() % stream.size();
            stream[at] = static_cast<std::uint8_t>(random());
        }
        const int model = models[round % 6];
        SCOPED_TRACE("round " + std::to_string(round) + ", model " + std::to_string(model));
        const test::FilterResult r = raster(ppd(model, {{"LogoPosition", "3"}}), stream,
                                            round % 3 ? "Rotation=1 PageSize=95" : "CompPrinting=1");
        ASSERT_TRUE(test::survived(r));
        EXPECT_TRUE(test::wholeCommands(r));
    }
}

// ------------------------------------------------------------- PPD files

TEST_F(Hostile, ChoiceKeywordsThatAreNotSmallNumbers)
{
    const char* keywords[] = {"abc", "95x", "-1", "-2147483648", "2147483648", "4294967295", "4294967296", "2147483647",
                              "99999999999999999999999", "+3", "0x10", " 2"};
    const char* options[] = {"PageSize", "PageType", "Rotation", "FocusArea", "ColorModel", "CompPrinting",
                             "LogoPosition", "LogoJustification", "LogoImage", "LogoWidth", "LineFeed",
                             "PageCut", "CashDrawer", "CashDrawerOpen", "CashDrawer1PulseWidth",
                             "CashDrawer2PulseWidth"};
    const Bytes stream = test::rasterStream({test::randomPage(576, 20, 14, 0.2)});
    int n = 0;
    for (const char* keyword : keywords) {
        for (int model : {1, 29, 33, 83}) {
            // Every option at once gets the keyword, on top of a sane PPD;
            // one run in three gives it to the logo options only, with
            // logos above and below a printed page, so that they are used.
            test::PpdSpec desc = test::standardPpd(model);
            const bool logos = ++n % 3 == 0;
            for (const char* option : options) {
                const std::string name = option;
                if (!logos)
                    test::setDefault(desc, option, keyword);
                else if (name.starts_with("Logo"))
                    test::setDefault(desc, option, name == "LogoPosition" ? "3" : keyword);
            }
            SCOPED_TRACE(std::string("keyword \"") + keyword + "\", model " + std::to_string(model));
            const test::FilterResult r = raster(test::writePpd(dir, desc), stream);
            ASSERT_TRUE(test::survived(r));
            if (!r.out.empty()) {
                EXPECT_TRUE(test::wholeCommands(r));
            }
        }
    }
}

// ----------------------------------------------------------- option strings

TEST_F(Hostile, MalformedAndHugeOptionStrings)
{
    const std::string path = ppd(42, {{"LogoPosition", "3"}});
    const Bytes stream = test::rasterStream({test::randomPage(576, 20, 15, 0.2)});
    std::vector<std::string> strings = {
        "PageSize=95 ColorModel", "=", "==== = =", "PageSize=", "'PageSize=95", "PageSize=\"95",
        "PageSize={95", "{{{{{{{{", "}}}}", "a=\"\\", "Rotation=1\tRotation=3\nPageCut=2",
        "LineFeed=-5 LogoWidth=99999999999 LogoImage=-2147483648", "\x01\x02\xff\xfe=\x1b\x40",
    };
    std::string many;
    while (many.size() < 100 * 1024)
        many += "Rotation=" + std::to_string(many.size() % 5) + " x" + std::to_string(many.size()) + "=1 ";
    strings.push_back(many);
    strings.push_back("PageSize=" + std::string(100 * 1024, '9'));
    strings.push_back(std::string(100 * 1024, '{'));
    strings.push_back("LineFeed=\"" + std::string(100 * 1024, '\'') + "\"");
    for (const std::string& options : strings) {
        SCOPED_TRACE("options \"" + options.substr(0, 60) + "\" (" + std::to_string(options.size()) + " bytes)");
        const test::FilterResult r = raster(path, stream, options);
        ASSERT_TRUE(test::survived(r));
        EXPECT_TRUE(test::wholeCommands(r));
        EXPECT_EQ(r.exitStatus, 0);
    }
}

// ------------------------------------------------------ arguments and files

TEST_F(Hostile, FifoArguments)
{
    const std::string path = ppd(13);
    const Bytes stream = test::rasterStream({test::randomPage(576, 10, 16)});
    for (const Bytes& content : {test::bytes("text through a pipe\n"), stream, Bytes{}, test::truncate(stream, 2)}) {
        const std::string fifo = dir.file("fifo");
        ::unlink(fifo.c_str());
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // The writer opens once the filter opens its end, writes slowly, and
        // closes.
        std::thread writer([&] {
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            if (fd < 0)
                return;
            for (std::size_t done = 0; done < content.size();) {
                const std::size_t n = std::min<std::size_t>(3, content.size() - done);
                if (::write(fd, content.data() + done, n) <= 0)
                    break;
                done += n;
            }
            ::close(fd);
        });
        std::vector<std::string> args = test::defaultArgs();
        args.push_back(fifo);
        const test::FilterResult r = test::runFilterArgs(args, path);
        writer.join();
        SCOPED_TRACE(std::to_string(content.size()) + " bytes through a FIFO");
        ASSERT_TRUE(test::survived(r));
        if (content == stream) {
            EXPECT_EQ(r.exitStatus, 0);
            EXPECT_TRUE(mentions(r, "PAGE: 1 1"));
            EXPECT_TRUE(test::wholeCommands(r));
        } else {
            EXPECT_EQ(r.exitStatus, 0);
            EXPECT_EQ(r.out, test::concat(test::hex("1B 40"), content));
        }
    }
}

} // namespace
} // namespace kordane
