// Command layouts byte for byte, and the printer stream's rule that only
// whole commands leave its buffer.
#include <gtest/gtest.h>

#include "output/cash_drawer.h"
#include "output/commands.h"
#include "output/logo.h"
#include "output/printer_stream.h"
#include "support/bytes.h"

namespace kordane {
namespace {

using test::Bytes;
using test::flushed;
using test::hex;
using test::repeat;


TEST(Commands, FixedCommands)
{
    PrinterStream out(-1);
    initializePrinter(out);
    selectJustification(out, -1);
    printNvBitImage(out, 2, 3);
    printNvGraphics(out, 0x31, 2, 1);
    lineFeeds(out, 3);
    lineFeeds(out, 0);
    lineFeeds(out, -5);
    printStoredGraphics(out);
    cutPaper(out, CutKind::Full);
    cutPaper(out, CutKind::Partial);
    EXPECT_BYTES(hex("1B40 1B61FF 1C700203 1D284C0600304530310201 0A0A0A 1D284C02003032 1D564101 1D564201"),
                 flushed(out));
}

TEST(Commands, DrawerPulseHalvesTheWidthIntoOneByte)
{
    struct Case {
        std::int32_t width;
        std::uint8_t t1;
    };
    for (Case c : {Case{101, 0x32}, {100, 0x32}, {255, 0x7F}, {1, 0x00}, {-1, 0x00}, {-3, 0xFF}, {600, 0x2C}}) {
        PrinterStream out(-1);
        generatePulse(out, 0, c.width);
        EXPECT_BYTES((Bytes{0x1B, 0x70, 0x00, c.t1, 0xFF}), flushed(out)) << "width " << c.width;
    }
}

TEST(CashDrawer, PulsesTheDrawersCashDrawerSelects)
{
    PrintSettings s;
    s.CashDrawer1PulseWidth = 100;
    s.CashDrawer2PulseWidth = 200;
    const Bytes first = hex("1B 70 00 32 FF"), second = hex("1B 70 01 64 FF");
    for (auto [drawer, expected] : {std::pair{1, first}, {2, second}, {3, test::concat(first, second)},
                                    {0, Bytes{}}, {-1, Bytes{}}, {4, Bytes{}}}) {
        PrinterStream out(-1);
        s.CashDrawer = drawer;
        openCashDrawer(out, s);
        EXPECT_BYTES(expected, flushed(out)) << "CashDrawer " << drawer;
    }
}

// Logo values outside their ranges (the in-range blocks are checked byte for
// byte in the image and text job tests): the key is base + LogoImage as one
// byte, the magnification normal, no feed.
TEST(Logo, ValuesOutsideTheRanges)
{
    PrintSettings s;
    s.LogoJustification = 0;
    s.LogoImage = 7;
    s.LogoWidth = 9;
    s.LineFeed = -1;
    PrinterStream out(-1);
    printLogoBlock(out, s, LogoCommand::NvGraphicsKey31);
    EXPECT_BYTES(hex("1B 61 00 1D 28 4C 06 00 30 45 30 38 01 01 1B 40"), flushed(out));
    // The stored bit image is numbered LogoImage + 1, wrapping at the top.
    s.LogoImage = 2147483647;
    PrinterStream nv(-1);
    printLogoBlock(nv, s, LogoCommand::NvBitImage);
    EXPECT_BYTES(hex("1B 61 00 1C 70 00 09 1B 40"), flushed(nv));
    EXPECT_FALSE(logoPlacement(4).valid);
    EXPECT_FALSE(logoPlacement(-1).valid);
}

TEST(PrinterStream, OnlyClosedCommandsAreFlushed)
{
    PrinterStream out(-1);
    initializePrinter(out);
    out.begin();
    out.put(hex("1D 76 30 00"));
    out.flush(); // the open command stays behind
    EXPECT_BYTES(hex("1B 40"), Bytes(out.captured().begin(), out.captured().end()));
    out.put(hex("01 00 01 00 FF"));
    out.end();
    EXPECT_BYTES(hex("1B 40 1D 76 30 00 01 00 01 00 FF"), flushed(out));
}

TEST(PrinterStream, CommandsLargerThanTheBufferStayWhole)
{
    PrinterStream out(-1);
    const Bytes big = repeat(0x5A, 3 * 1024 * 1024 + 17);
    lineFeeds(out, 1);
    out.command(big);
    lineFeeds(out, 1);
    const Bytes got = flushed(out);
    ASSERT_EQ(got.size(), big.size() + 2);
    EXPECT_EQ(got.front(), 0x0A);
    EXPECT_EQ(got.back(), 0x0A);
    EXPECT_TRUE(std::all_of(got.begin() + 1, got.end() - 1, [](std::uint8_t b) { return b == 0x5A; }));
}

} // namespace
} // namespace kordane
