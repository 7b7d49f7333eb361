// Reading a page and trimming its blank lines, on raster streams written
// with libcupsimage.
#include <gtest/gtest.h>

#include <cstring>

#include "pipeline/trim.h"
#include "support/bytes.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;

// A raster stream in memory, read back through libcupsimage.
class MemoryRaster {
public:
    explicit MemoryRaster(Bytes stream) : stream_(std::move(stream))
    {
        raster_ = cupsRasterOpenIO(&MemoryRaster::read, this, CUPS_RASTER_READ);
    }
    ~MemoryRaster()
    {
        if (raster_)
            cupsRasterClose(raster_);
    }
    cups_raster_t* get() const { return raster_; }

private:
    static ssize_t read(void* ctx, unsigned char* buffer, std::size_t length)
    {
        auto* self = static_cast<MemoryRaster*>(ctx);
        const std::size_t n = std::min(length, self->stream_.size() - self->pos_);
        std::memcpy(buffer, self->stream_.data() + self->pos_, n);
        self->pos_ += n;
        return static_cast<ssize_t>(n);
    }
    Bytes stream_;
    std::size_t pos_ = 0;
    cups_raster_t* raster_ = nullptr;
};

struct Trimmed {
    int result;
    unsigned height;
    Bytes lines; // the kept lines
};

Trimmed trim(const test::RasterPage& page, std::int32_t pageType, Bytes stream = {})
{
    MemoryRaster raster(stream.empty() ? test::rasterStream({page}) : std::move(stream));
    cups_page_header2_t header;
    EXPECT_TRUE(cupsRasterReadHeader2(raster.get(), &header));
    Bytes image(std::size_t{header.cupsHeight} * header.cupsBytesPerLine, 0xEE);
    std::size_t first = 0;
    const int result = removeNullLine(raster.get(), image, header, pageType, first);
    Trimmed t{result, header.cupsHeight, {}};
    if (result == kPageRead) {
        const auto* start = image.data() + first * header.cupsBytesPerLine;
        t.lines.assign(start, start + std::size_t{header.cupsHeight} * header.cupsBytesPerLine);
    }
    return t;
}

Bytes linesOf(const test::RasterPage& page, std::size_t first, std::size_t count)
{
    const auto* start = page.pixels.data() + first * page.bytesPerLine;
    return {start, start + count * page.bytesPerLine};
}

TEST(Trim, KeepsTheRunFromFirstToLastInkedLine)
{
    test::RasterPage page = test::randomPage(576, 100, 7);
    for (std::size_t y : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99})
        std::fill_n(page.pixels.begin() + static_cast<long>(y * page.bytesPerLine), page.bytesPerLine, 0);
    // A blank line inside the content stays.
    std::fill_n(page.pixels.begin() + 50 * 72, 72, 0);

    const Trimmed t = trim(page, 0);
    EXPECT_EQ(t.result, kPageRead);
    EXPECT_EQ(t.height, 80u);
    EXPECT_EQ(t.lines, linesOf(page, 10, 80));
}

TEST(Trim, LinesCountAsBlankOnlyWhenEveryByteIsZero)
{
    // Only dot: the last byte of the last line.
    test::RasterPage last = test::blankPage(570, 12);
    test::setDot(last, 569, 11);
    Trimmed t = trim(last, 0);
    EXPECT_EQ(t.height, 1u);
    EXPECT_EQ(t.lines, linesOf(last, 11, 1));

    // The last line inked in its first byte only, the first line in its last.
    test::RasterPage edges = test::blankPage(64, 5);
    test::setDot(edges, 0, 4);
    test::setDot(edges, 63, 0);
    t = trim(edges, 0);
    EXPECT_EQ(t.height, 5u);
    EXPECT_EQ(t.lines, edges.pixels);

    // One byte per line.
    test::RasterPage narrow = test::blankPage(8, 9);
    test::setDot(narrow, 3, 4);
    t = trim(narrow, 0);
    EXPECT_EQ(t.height, 1u);
    EXPECT_EQ(t.lines, linesOf(narrow, 4, 1));
}

TEST(Trim, BlankPages)
{
    const test::RasterPage blank = test::blankPage(576, 40);
    const Trimmed trimmed = trim(blank, 0);
    EXPECT_EQ(trimmed.result, kPageBlank);
    EXPECT_EQ(trimmed.height, 40u) << "the height read stays";

    const Trimmed kept = trim(blank, 1);
    EXPECT_EQ(kept.result, kPageRead);
    EXPECT_EQ(kept.height, 40u);
    EXPECT_EQ(kept.lines, blank.pixels);
}

TEST(Trim, UnknownPageTypeReadsTheDataAndGivesABlankPage)
{
    const test::RasterPage inked = test::randomPage(64, 6, 3);
    const test::RasterPage next = test::randomPage(64, 4, 4);
    MemoryRaster raster(test::rasterStream({inked, next}));
    cups_page_header2_t header;
    ASSERT_TRUE(cupsRasterReadHeader2(raster.get(), &header));
    Bytes image(6 * 8);
    std::size_t first = 0;
    EXPECT_EQ(removeNullLine(raster.get(), image, header, 5, first), kPageRead);
    EXPECT_EQ(header.cupsHeight, 6u);
    EXPECT_EQ(image, Bytes(48, 0));

    // The next page starts where it should.
    ASSERT_TRUE(cupsRasterReadHeader2(raster.get(), &header));
    EXPECT_EQ(header.cupsHeight, 4u);
    Bytes second(4 * 8);
    EXPECT_EQ(removeNullLine(raster.get(), second, header, 1, first), kPageRead);
    EXPECT_EQ(second, next.pixels);
}

TEST(Trim, StreamEndingInsideThePixelsIsUnreadable)
{
    const test::RasterPage page = test::randomPage(576, 50, 9);
    const Bytes whole = test::rasterStream({page});
    for (std::int32_t pageType : {0, 1}) {
        const Trimmed t = trim(page, pageType, test::truncate(whole, whole.size() - 100));
        EXPECT_EQ(t.result, kPageUnreadable) << "page type " << pageType;
    }
}

TEST(Trim, FindContentLinesOnEmptyAndFullImages)
{
    EXPECT_EQ(findContentLines({}, 0, 72).count, 0u);
    const Bytes full(30, 0xFF);
    const ContentLines all = findContentLines(full, 10, 3);
    EXPECT_EQ(all.first, 0u);
    EXPECT_EQ(all.count, 10u);
}

} // namespace
} // namespace kordane
