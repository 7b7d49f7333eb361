// The printer commands, the bitmap sizes and the coder in process. The
// transforms and the coder are checked against their dot-by-dot references
// on random shapes by the fuzz targets' replays, and the stream's whole
// commands by the whole-filter target's, cancels included; ctest runs this
// suite and those replays once more on the plain loops (KORDANE_PORTABLE=1).
#include <gtest/gtest.h>

#include <random>

#include "bitmap/crop.h"
#include "bitmap/rotate.h"
#include "output/cash_drawer.h"
#include "output/commands.h"
#include "output/compress.h"
#include "output/logo.h"
#include "support/bitmap_reference.h"
#include "support/bytes.h"

namespace kordane {
namespace {

using test::Bytes;
using test::flushed;
using test::hex;

TEST(Units, CommandsAtTheEdgesOfTheirValues)
{
    // One-byte parameters are the low 8 bits; no feed for a count below 1;
    // the pulse carries half the width; each drawer its own.
    PrinterStream out(-1);
    selectJustification(out, -1);
    lineFeeds(out, 0);
    lineFeeds(out, -5);
    for (const int width : {101, 255, 1, -1, -3, 600})
        generatePulse(out, 1, width);
    PrintSettings s;
    s.CashDrawer1PulseWidth = 100;
    s.CashDrawer2PulseWidth = 200;
    for (const int drawer : {1, 2, 3, 0, -1, 4}) {
        s.CashDrawer = drawer;
        openCashDrawer(out, s);
    }
    EXPECT_BYTES(hex("1B61FF 1B700132FF 1B70017FFF 1B700100FF 1B700100FF 1B7001FFFF 1B70012CFF "
                     "1B700032FF 1B700164FF 1B700032FF 1B700164FF"),
                 flushed(out));

    // Logo values outside their ranges: the key is the base plus LogoImage
    // as one byte, the size normal; the stored image number wraps.
    s.LogoJustification = 0;
    s.LogoImage = 7;
    s.LogoWidth = 9;
    s.LineFeed = -1;
    PrinterStream logo(-1);
    printLogoBlock(logo, s, LogoCommand::NvGraphicsKey31);
    s.LogoImage = 2147483647;
    printLogoBlock(logo, s, LogoCommand::NvBitImage);
    EXPECT_BYTES(hex("1B6100 1D284C0600304530380101 1B40 1B6100 1C700009 1B40"), flushed(logo));
}

// The transforms themselves are checked against their references by the
// fuzz targets' replays; here the sizes at their limits and the focus
// windows, which those replays take from the code under test.
TEST(Units, SizesAndFocusWindows)
{
    if constexpr (sizeof(std::size_t) >= 8) {
        EXPECT_EQ(quarterTurnSize(UINT32_MAX, 1), std::size_t{1} << 32); // no 32-bit wrap of H + 7
    }
    // Focus windows: bytes skipped and kept of a line.
    struct Window { std::uint32_t line; FocusWindow centre, end0, end1; };
    for (const Window& w : {Window{72, {4, 64}, {24, 48}, {8, 64}}, Window{70, {3, 64}, {23, 47}, {6, 64}},
                            Window{65, {0, 64}, {21, 44}, {1, 64}}, Window{100, {18, 64}, {33, 67}, {36, 64}}}) {
        SCOPED_TRACE(w.line);
        EXPECT_EQ(focusWindowCenter(w.line).skip, w.centre.skip);
        EXPECT_EQ(focusWindowEnd(w.line, 0).skip, w.end0.skip);
        EXPECT_EQ(focusWindowEnd(w.line, 2).keep, w.end0.keep);
        EXPECT_EQ(focusWindowEnd(w.line, 3).skip, w.end1.skip);
        EXPECT_EQ(focusWindowEnd(w.line, 1).keep, w.end1.keep);
    }
}

Bytes compressed(const Bytes& region)
{
    VectorSink sink;
    CompressData(region, sink);
    return sink.bytes();
}

TEST(Units, CompressRunsAcrossBlockEnds)
{
    // The coder walks 64-byte blocks: one run of each value, of lengths
    // around the block size and the 255 cap, at and around block ends,
    // among other bytes; the regions end at and around block ends too.
    std::mt19937 rng(2024);
    for (std::uint8_t v : {0x00, 0xFF})
        for (std::size_t n : {63u, 64u, 65u, 80u, 129u, 700u})
            for (std::size_t at = 0; at < n; at += 1 + at / 8)
                for (std::size_t len : {1u, 2u, 63u, 64u, 65u, 255u, 256u, 511u}) {
                    Bytes input(n);
                    for (auto& b : input)
                        b = static_cast<std::uint8_t>(1 + rng() % 254);
                    std::fill(input.begin() + static_cast<long>(at), input.begin() + static_cast<long>(std::min(n, at + len)), v);
                    ASSERT_EQ(compressed(input), reference::compress(input.data(), n))
                        << n << " bytes, a run of " << len << " at " << at;
                }
}

} // namespace
} // namespace kordane
