// The print preview's picture and trace, drawn from hand-built streams:
// where dots, colours, logos, feeds, cuts and margin marks land, that the
// picture stays within its limits, and that any mangled stream decodes and
// draws without a fault.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "output/commands.h"
#include "output/printer_stream.h"
#include "preview/decoder.h"
#include "preview/render.h"
#include "support/bytes.h"

namespace kordane::preview {
namespace {

using test::Bytes;
using test::concat;
using test::hex;
using test::repeat;

Preview render(const Bytes& stream, const RenderLimits& limits = {})
{
    const DecodeResult r = decodeStream(stream);
    EXPECT_TRUE(r.ok()) << r.error->message;
    return renderPreview(r.commands, limits);
}

// Ink of paper dot (x, y).
Ink dot(const Preview& p, std::uint32_t x, std::uint32_t y) { return p.canvas.at(p.paperLeft + x, p.paperTop + y); }

// How many pixels of the ink lie in the rectangle of the canvas.
int count(const Canvas& c, Ink ink, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1, std::uint32_t y1)
{
    int n = 0;
    for (std::uint32_t y = y0; y < std::min(y1, c.height); ++y)
        for (std::uint32_t x = x0; x < std::min(x1, c.width); ++x)
            n += c.at(x, y) == ink;
    return n;
}

int inMargin(const Preview& p, Ink ink) { return count(p.canvas, ink, 0, 0, p.paperLeft, p.canvas.height); }

// Rows of the paper where the first dot column (or all columns) holds ink.
std::vector<std::uint32_t> rowsWith(const Preview& p, Ink ink)
{
    std::vector<std::uint32_t> rows;
    for (std::uint32_t y = 0; y + p.paperTop < p.canvas.height - kPreviewPadding; ++y)
        for (std::uint32_t x = 0; x < p.paperWidth; ++x)
            if (dot(p, x, y) == ink) {
                rows.push_back(y);
                break;
            }
    return rows;
}

Bytes built(void (*build)(PrinterStream&))
{
    PrinterStream out(-1);
    build(out);
    out.flush();
    return {out.captured().begin(), out.captured().end()};
}

TEST(PreviewPicture, MonochromeImageGivesPictureOfItsSizeWithDotsInPlace)
{
    // 16 dots x 3 lines: the top-left dot, the right-most dot of line 1,
    // line 2 full.
    const Preview p = render(concat(hex("1B40 1D763000 0200 0300"), hex("8000 0001 FFFF")));
    EXPECT_EQ(p.paperWidth, 16u);
    EXPECT_EQ(p.canvas.width, kPreviewMarginWidth + 16 + kPreviewPadding);
    // The image is lower than its margin label.
    EXPECT_EQ(p.canvas.height, kPreviewPadding + kPreviewLabelRows + kPreviewPadding);
    EXPECT_EQ(p.canvas.pixels.size(), std::size_t{p.canvas.width} * p.canvas.height);
    EXPECT_FALSE(p.truncated);
    EXPECT_EQ(dot(p, 0, 0), InkBlack);
    EXPECT_EQ(dot(p, 1, 0), InkPaper);
    EXPECT_EQ(dot(p, 15, 1), InkBlack);
    EXPECT_EQ(dot(p, 14, 1), InkPaper);
    for (std::uint32_t x = 0; x < 16; ++x)
        EXPECT_EQ(dot(p, x, 2), InkBlack) << x;
    EXPECT_EQ(p.canvas.at(0, 0), InkMargin);
}

TEST(PreviewPicture, TwoColourGroupDrawsBlackAndRedWhereEachPlaneHasDots)
{
    // First colour: left half of line 0 and dot 0 of line 1. Second colour:
    // right half of line 0 and all of line 1. A dot in both is black.
    const Bytes stream = built([](PrinterStream& out) {
        const Bytes first = hex("F0 80");
        const Bytes second = hex("0F FF");
        storeGraphics(out, GraphicsColour::First, 8, 2, first);
        storeGraphics(out, GraphicsColour::Second, 8, 2, second);
        printStoredGraphics(out);
    });
    const Preview p = render(stream);
    for (std::uint32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(dot(p, x, 0), InkBlack) << x;
        EXPECT_EQ(dot(p, x + 4, 0), InkRed) << x;
    }
    EXPECT_EQ(dot(p, 0, 1), InkBlack);
    for (std::uint32_t x = 1; x < 8; ++x)
        EXPECT_EQ(dot(p, x, 1), InkRed) << x;
    EXPECT_EQ(p.canvas.height, kPreviewPadding + kPreviewLabelRows + kPreviewPadding);
}

TEST(PreviewPicture, CompressedBlocksOfOneWidthFollowOneAnother)
{
    const Bytes stream = built([](PrinterStream& out) {
        const Bytes a = concat(repeat(0xFF, 2), repeat(0x00, 2));
        const Bytes b = concat(repeat(0x00, 2), hex("0180"));
        printCompressedBlock(out, 16, 2, a);
        printCompressedBlock(out, 16, 2, b);
    });
    const Preview p = render(stream);
    EXPECT_EQ(rowsWith(p, InkBlack), (std::vector<std::uint32_t>{0, 3}));
    EXPECT_EQ(dot(p, 7, 3), InkBlack);
    EXPECT_EQ(dot(p, 8, 3), InkBlack);
    EXPECT_EQ(dot(p, 6, 3), InkPaper);
}

TEST(PreviewPicture, FeedsLogosAndCutsAdvanceThePaperInOrder)
{
    // LF, logo (double height), image line, cut after feeding 5, image line.
    const Bytes stream = concat(hex("0A 1D284C0600304530310102"), hex("1D763000 0100 0100 FF"), hex("1D564105"),
                                hex("1D763000 0100 0100 FF"));
    const Preview p = render(stream);
    const std::uint32_t imageRow = kLineFeedDots + 2 * 96;
    const std::uint32_t cutRow = imageRow + 1 + 5;
    EXPECT_EQ(rowsWith(p, InkBlack), (std::vector<std::uint32_t>{imageRow, cutRow + 4}));
    // The logo's frame is grey from its top row; the cut line is dashed.
    EXPECT_EQ(dot(p, 0, kLineFeedDots), InkGrey);
    EXPECT_EQ(dot(p, 0, kLineFeedDots - 1), InkPaper);
    EXPECT_EQ(dot(p, 0, cutRow), InkGrey);
    EXPECT_EQ(dot(p, 1, cutRow + 1), InkGrey);
}

TEST(PreviewPicture, JustificationPlacesLogoBoxes)
{
    // A 576-dot image sets the paper width; a centred logo box of 192 dots
    // starts at 192, a right-justified double-width one at 576 - 384.
    const Bytes image = concat(hex("1D763000 4800 0100"), repeat(0x00, 72));
    const Preview centred = render(concat(image, hex("1B6101 1C700100")));
    EXPECT_EQ(dot(centred, 192, 1), InkGrey);
    EXPECT_EQ(dot(centred, 191, 1), InkPaper);
    EXPECT_EQ(dot(centred, 383, 1), InkGrey);
    const Preview right = render(concat(image, hex("1B6132 1C700131")));
    EXPECT_EQ(dot(right, 192, 1), InkGrey);
    EXPECT_EQ(dot(right, 575, 1), InkGrey);
    // ESC @ puts the justification back to the left.
    const Preview reset = render(concat(image, hex("1B6101 1B40 1C700100")));
    EXPECT_EQ(dot(reset, 0, 1), InkGrey);
}

TEST(PreviewPicture, TextIsPrintedOnItsLineAndMarkedInTheMargin)
{
    const Preview p = render(concat(hex("1B40"), test::bytes("HI"), hex("0A 0A"), test::bytes("X")));
    // Two text lines of glyphs and one empty line between them.
    EXPECT_GT(count(p.canvas, InkBlack, p.paperLeft, p.paperTop, p.paperLeft + 24, p.paperTop + 24), 20);
    EXPECT_EQ(count(p.canvas, InkBlack, p.paperLeft, p.paperTop + 30, p.paperLeft + 576, p.paperTop + 60), 0);
    EXPECT_GT(count(p.canvas, InkBlack, p.paperLeft, p.paperTop + 60, p.paperLeft + 12, p.paperTop + 84), 10);
    EXPECT_GT(inMargin(p, InkGreen), 0);
    EXPECT_EQ(inMargin(p, InkBlue), 0);
}

TEST(PreviewPicture, DrawerPulseAndCancelTrailerAreMarkedOnlyInTheMargin)
{
    const Preview p = render(concat(hex("1B40 1B700032FF"), repeat(0x00, 720), hex("1B40")));
    EXPECT_GT(inMargin(p, InkBlue), 0);
    EXPECT_EQ(inMargin(p, InkGreen), 0); // NUL bytes are not text to read
    EXPECT_EQ(rowsWith(p, InkBlack), std::vector<std::uint32_t>{});
}

TEST(PreviewPicture, LimitsBoundTheCanvas)
{
    // An image 65536 dots wide and a feed of 2000 lines.
    const Bytes stream = concat(hex("1D763000 0020 0100"), repeat(0xFF, 8192), repeat(0x0A, 2000));
    const Preview p = render(stream, RenderLimits{1024, 5000});
    EXPECT_TRUE(p.truncated);
    EXPECT_EQ(p.paperWidth, 1024u);
    EXPECT_LE(p.canvas.height, 5000 + 3 * kPreviewPadding + 20);
    EXPECT_EQ(dot(p, 1023, 0), InkBlack);

    const Preview fits = render(hex("0A 0A"));
    EXPECT_FALSE(fits.truncated);
    EXPECT_EQ(fits.paperWidth, 576u);
    EXPECT_EQ(fits.canvas.height, kPreviewPadding + 2 * kLineFeedDots + kPreviewPadding);
}

TEST(PreviewPicture, MangledStreamsDecodeAndDrawWithoutFault)
{
    // A stream with every command, then random byte changes, cuts and
    // inserted command heads: decoding stops or goes on, drawing always ends.
    const Bytes good = built([](PrinterStream& out) {
        initializePrinter(out);
        generatePulse(out, 0, 100);
        selectJustification(out, 1);
        printNvGraphics(out, 0x31, 2, 1);
        printNvBitImage(out, 1, 3);
        lineFeeds(out, 2);
        const Bytes img(72 * 4, 0x5A);
        storeGraphics(out, GraphicsColour::First, 576, 4, img);
        storeGraphics(out, GraphicsColour::Second, 576, 4, img);
        printStoredGraphics(out);
        printRasterBitImage(out, 72, 4, img);
        printCompressedBlock(out, 576, 4, img);
        cutPaper(out, CutKind::Partial);
    });
    const Bytes heads[] = {hex("1D763000"), hex("1D284C"), hex("084352"), hex("1D28"), hex("08435200000000")};
    std::mt19937 rng(5);
    for (int round = 0; round < 400; ++round) {
        Bytes s = good;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !s.empty(); ++e) {
            const std::size_t at = rng() % s.size();
            switch (rng() % 3) {
            case 0: s[at] = static_cast<std::uint8_t>(rng()); break;
            case 1: s.resize(at); break;
            default: {
                const Bytes& h = heads[rng() % std::size(heads)];
                s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), h.begin(), h.end());
            }
            }
        }
        const DecodeResult r = decodeStream(s);
        if (!r.ok()) {
            EXPECT_LE(r.error->offset, s.size()) << round;
        }
        const Preview p = renderPreview(r.commands);
        EXPECT_EQ(p.canvas.pixels.size(), std::size_t{p.canvas.width} * p.canvas.height) << round;
        for (const Command& c : r.commands)
            EXPECT_FALSE(traceLine(c).empty());
    }
}

TEST(PreviewDecodeLimit, CompressedDataBeyondTheLimitStopsAtTheBlock)
{
    // 1 line of 576 dots from one run of 72 zero bytes.
    const Bytes ok = hex("084352000000000040020100 0048 084352FF00");
    EXPECT_TRUE(decodeStream(concat(ok, ok), 144).ok());
    const DecodeResult r = decodeStream(concat(hex("1B40"), ok, ok), 143);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error->offset, 2u + ok.size());
    EXPECT_EQ(r.commands.size(), 2u);
}

TEST(PreviewTrace, LinesNameCommandsAndParameters)
{
    const DecodeResult r =
        decodeStream(concat(hex("1B700032FF 1D564201 1B6131 1D284C0600304530320201"), test::bytes("a\"b\\\t\r"),
                            hex("01 0A"), repeat(0x00, 720), hex("1B40")));
    ASSERT_TRUE(r.ok()) << r.error->message;
    ASSERT_EQ(r.commands.size(), 8u);
    EXPECT_EQ(traceLine(r.commands[0]), "ESC p 00 32 FF  drawer 1 pulse, on 100 ms, off 510 ms");
    EXPECT_EQ(traceLine(r.commands[1]), "GS V 42 01  partial cut after feeding 1");
    EXPECT_EQ(traceLine(r.commands[2]), "ESC a 31  justify centre");
    EXPECT_EQ(traceLine(r.commands[3]), "GS ( L function 69  print stored graphics, key 30 32, magnification 2 x 1");
    EXPECT_EQ(traceLine(r.commands[4]), "text 7 bytes  \"a\\\"b\\\\\\t\\r\\x01\"");
    EXPECT_EQ(traceLine(r.commands[5]), "LF");
    EXPECT_EQ(traceLine(r.commands[6]), "text 720 bytes  720 x 00");

    const DecodeResult longText = decodeStream(repeat('A', 50));
    const std::string line = traceLine(longText.commands.at(0));
    EXPECT_EQ(line, "text 50 bytes  50 x 41");
    const DecodeResult mixed = decodeStream(concat(repeat('A', 45), test::bytes("B")));
    EXPECT_EQ(traceLine(mixed.commands.at(0)), "text 46 bytes  \"" + std::string(40, 'A') + "\"...");
}

} // namespace
} // namespace kordane::preview
