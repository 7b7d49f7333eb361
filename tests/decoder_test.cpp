// Reading printer command streams back: every command's fields, image data
// that looks like commands, text runs, and streams that are cut short or
// corrupt, which must end in an error at the right offset and never crash.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#include "output/commands.h"
#include "output/printer_stream.h"
#include "preview/decoder.h"
#include "support/bytes.h"

namespace kordane::preview {
namespace {

using test::Bytes;
using test::flushed;
using test::concat;
using test::hex;
using test::repeat;



DecodeResult decode(const Bytes& b) { return decodeStream(b); }

std::vector<CommandKind> kinds(const DecodeResult& r)
{
    std::vector<CommandKind> k;
    for (const Command& c : r.commands)
        k.push_back(c.kind);
    return k;
}

TEST(DecoderCommands, FixedCommandsAndTheirParameters)
{
    const Bytes stream = hex("1B40 1B6101 1C700203 1D284C0600304530310201 0A 1D284C02003032 "
                             "1B700032FF 1B7001 64FF 1D564101 1D564201");
    const DecodeResult r = decode(stream);
    ASSERT_TRUE(r.ok()) << r.error->message;
    using K = CommandKind;
    ASSERT_EQ(kinds(r), (std::vector{K::Initialize, K::Justify, K::NvBitImage, K::NvGraphics, K::LineFeed,
                                     K::PrintGraphics, K::Pulse, K::Pulse, K::Cut, K::Cut}));
    const auto& c = r.commands;
    EXPECT_EQ(c[1].n, 0x01);
    EXPECT_EQ(c[2].n, 0x02);
    EXPECT_EQ(c[2].m, 0x03);
    EXPECT_EQ((std::array{c[3].kc1, c[3].kc2, c[3].x, c[3].y}), (std::array<std::uint8_t, 4>{0x30, 0x31, 2, 1}));
    EXPECT_EQ((std::array{c[6].drawer, c[6].t1, c[6].t2}), (std::array<std::uint8_t, 3>{0, 0x32, 0xFF}));
    EXPECT_EQ((std::array{c[7].drawer, c[7].t1, c[7].t2}), (std::array<std::uint8_t, 3>{1, 0x64, 0xFF}));
    EXPECT_EQ(c[8].cut, CutMode::Full);
    EXPECT_EQ(c[9].cut, CutMode::Partial);
    EXPECT_EQ(c[9].n, 0x01);
    EXPECT_EQ(c[9].offset, stream.size() - 4);
}

TEST(DecoderImages, WorkedHeadersWithCommandLikeData)
{
    const Bytes data = test::noise(70 * 72, 1), raster = test::noise(72 * 300, 4);
    const Bytes stream = concat(hex("1D 28 4C BA 13 30 70 30 01 01 31 40 02 46 00"), data,
                                hex("1D 76 30 00 48 00 2C 01"), raster);
    const DecodeResult r = decode(stream);
    ASSERT_TRUE(r.ok()) << r.error->message;
    ASSERT_EQ(r.commands.size(), 2u);
    const Command& s = r.commands[0];
    EXPECT_EQ(s.kind, CommandKind::StoreGraphics);
    EXPECT_EQ(s.colour, 0x31);
    EXPECT_EQ(s.width, 576u);
    EXPECT_EQ(s.lines, 70u);
    EXPECT_EQ(s.bytesPerLine, 72u);
    EXPECT_EQ(s.length, 15u + data.size());
    EXPECT_EQ(s.data, data);
    const Command& v = r.commands[1];
    EXPECT_EQ(v.kind, CommandKind::RasterBitImage);
    EXPECT_EQ((std::array{v.bytesPerLine, v.width, v.lines}), (std::array<std::uint32_t, 3>{72, 576, 300}));
    EXPECT_EQ(v.data, raster);
}

TEST(DecoderImages, TwoColourGroupAndEmptyStore)
{
    const Bytes first = test::noise(2 * 3, 2), second = test::noise(2 * 3, 3);
    const Bytes stream = concat(hex("1D284C 1000 30703001 0131 1400 0200"), first,  // 20 dots, 2 lines
                                hex("1D284C 1000 30703001 0132 1400 0200"), second,
                                hex("1D284C 0200 3032"),
                                hex("1D 28 4C 0A 00 30 70 30 01 01 32 40 02 00 00"), // 0 lines, no data
                                hex("1D284C 0200 3032"));
    const DecodeResult r = decode(stream);
    ASSERT_TRUE(r.ok()) << r.error->message;
    using K = CommandKind;
    ASSERT_EQ(kinds(r), (std::vector{K::StoreGraphics, K::StoreGraphics, K::PrintGraphics, K::StoreGraphics,
                                     K::PrintGraphics}));
    EXPECT_EQ(r.commands[0].colour, 0x31);
    EXPECT_EQ(r.commands[0].data, first);
    EXPECT_EQ(r.commands[1].colour, 0x32);
    EXPECT_EQ(r.commands[1].data, second);
    EXPECT_EQ(r.commands[3].lines, 0u);
    EXPECT_EQ(r.commands[3].width, 576u);
    EXPECT_EQ(r.commands[3].length, 15u);
    EXPECT_TRUE(r.commands[3].data.empty());
}

TEST(DecoderCompressed, WorkedExamples)
{
    // 7 bytes per line (56 dots), one line.
    DecodeResult r = decode(hex("08 43 52 00 00 00 00 00 38 00 01 00  00 03 7E FF 01 81 00 01  08 43 52 FF 00"));
    ASSERT_TRUE(r.ok()) << r.error->message;
    ASSERT_EQ(r.commands.size(), 1u);
    EXPECT_EQ(r.commands[0].data, hex("00 00 00 7E FF 81 00"));
    EXPECT_EQ(r.commands[0].length, 25u);

    // 246 blank lines at 576 dots: 17712 zero bytes, 69 runs of 255 and one of 117.
    Bytes block = hex("08 43 52 00 00 00 00 00 40 02 F6 00");
    for (int i = 0; i < 69; ++i)
        block = concat(block, hex("00 FF"));
    block = concat(block, hex("00 75 08 43 52 FF 00"));
    r = decode(block);
    ASSERT_TRUE(r.ok()) << r.error->message;
    ASSERT_EQ(r.commands.size(), 1u);
    EXPECT_EQ(r.commands[0].width, 576u);
    EXPECT_EQ(r.commands[0].lines, 246u);
    EXPECT_EQ(r.commands[0].data, repeat(0, 246 * 72));
}

TEST(DecoderCompressed, LiteralEndRecordBytesAndLongRuns)
{
    // One line of 520 bytes: 255 + 1 FF, then the data bytes 08 43 52 FF 00
    // (coded 08 43 52 FF 01 00 01), then 08 08, then 255 zeros.
    const Bytes code = hex("FF FF FF 01  08 43 52 FF 01 00 01  08 08  00 FF");
    const Bytes expected = concat(repeat(0xFF, 256), hex("08 43 52 FF 00 08 08"), repeat(0x00, 255));
    ASSERT_EQ(expected.size(), 518u);
    const Bytes stream = concat(hex("08 43 52 00 00 00 00 00 30 10 01 00"), code, hex("08 43 52 FF 00 0A"));
    const DecodeResult r = decode(stream);
    ASSERT_TRUE(r.ok()) << r.error->message;
    ASSERT_EQ(r.commands.size(), 2u);
    EXPECT_EQ(r.commands[0].bytesPerLine, 518u);
    EXPECT_EQ(r.commands[0].data, expected);
    EXPECT_EQ(r.commands[1].kind, CommandKind::LineFeed);
}

TEST(DecoderText, RunsBetweenCommandsAndTheCancelTrailer)
{
    const Bytes stream = concat(test::bytes("ab"), hex("1B40"), test::bytes("c\x1B!d"), hex("0A"),
                                test::bytes("e"), hex("1B"));
    const DecodeResult r = decode(stream);
    ASSERT_TRUE(r.ok()) << r.error->message;
    using K = CommandKind;
    ASSERT_EQ(kinds(r), (std::vector{K::Text, K::Initialize, K::Text, K::LineFeed, K::Text}));
    EXPECT_EQ(r.commands[0].data, test::bytes("ab"));
    EXPECT_EQ(r.commands[2].data, test::bytes("c\x1B!d"));
    EXPECT_EQ(r.commands[2].offset, 4u);
    EXPECT_EQ(r.commands[4].data, hex("65 1B"));

    // The cancel trailer is text too.
    const DecodeResult cancel = decode(concat(repeat(0, 720), hex("1B 40")));
    ASSERT_EQ(kinds(cancel), (std::vector{K::Text, K::Initialize}));
    EXPECT_EQ(cancel.commands[0].data, repeat(0, 720));
}

struct BadStream {
    const char* name;
    const char* stream;
    std::size_t offset;
    const char* message; // part of the message
};

TEST(DecoderErrors, MalformedCommandsReportTheOffendingByte)
{
    const BadStream cases[] = {
        {"store: data length and counts disagree", "1B40 1D284C 0C00 30703001 0131 0800 0100 AABB", 5, "need 1"},
        {"store: parameter count below header", "1D284C 0900 30703001 0131 0800 0000", 3, "below"},
        {"store: bad colour", "1D284C 0A00 30703001 0133 0800 0000", 10, "colour"},
        {"store: bad tone byte", "1D284C 0A00 30703101 0131 0800 0000", 7, "tone"},
        {"unknown GS ( L function", "1D284C 0200 3031", 6, "unknown function"},
        {"GS ( L bad m", "1D284C 0200 3132", 5, "m must be 30"},
        {"function 69 count", "1D284C 0700 3045 30310101 00", 3, "must be 6"},
        {"function 50 count", "1D284C 0300 3032 00", 3, "must be 2"},
        {"GS v 0 size mode", "1D7630 01 0100 0100 FF", 3, "size mode"},
        {"GS v not 0", "1D7631 00 0100 0100 FF", 2, "function byte"},
        {"GS V mode", "1D5600 01", 2, "cut mode"},
        {"run count 0", "0A 0843520000000000 0800 0100 0000 0843 52FF00", 13, "count 0"},
        {"run past the block", "0843520000000000 0800 0100 0002 0843 52FF00", 12, "passes"},
        {"end record missing", "0843520000000000 0800 0100 7E 0A", 13, "end record"},
        {"end record too early", "0843520000000000 1000 0100 7E 0843 52FF00", 13, "after 1 of 2"},
        {"end record too early, 0 lines wide", "0843520000000000 0800 0000 7E 0843 52FF00", 12, "expected"},
        {"stray end record", "1B40 0843 52FF00", 2, "without"},
        {"bad start record", "0843520001000000 0800 0100 7E 0843 52FF00", 4, "start record"},
    };
    for (const BadStream& c : cases) {
        const DecodeResult r = decode(hex(c.stream));
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_EQ(r.error->offset, c.offset) << c.name << ": " << r.error->message;
        EXPECT_NE(r.error->message.find(c.message), std::string::npos) << c.name << ": " << r.error->message;
    }
}

// One of every command, images with data that mimics commands.
Bytes everyCommand()
{
    PrinterStream out(-1);
    initializePrinter(out);
    selectJustification(out, 1);
    printNvBitImage(out, 1, 0);
    printNvGraphics(out, 0x30, 1, 2);
    lineFeeds(out, 2);
    storeGraphics(out, GraphicsColour::First, 20, 3, test::noise(9, 11));
    storeGraphics(out, GraphicsColour::Second, 20, 3, test::noise(9, 12));
    storeGraphics(out, GraphicsColour::Second, 20, 0, {});
    printStoredGraphics(out);
    printRasterBitImage(out, 3, 4, test::noise(12, 13));
    printCompressedBlock(out, 24, 4, concat(repeat(0, 5), hex("08 43 52 FF 00 1B"), repeat(0xFF, 1)));
    printCompressedBlock(out, 24, 0, {});
    generatePulse(out, 1, 100);
    cutPaper(out, CutKind::Partial);
    Bytes stream = flushed(out);
    return concat(stream, test::bytes("tail"));
}

TEST(DecoderErrors, TruncatedAtEveryOffset)
{
    const Bytes full = everyCommand();
    const DecodeResult whole = decode(full);
    ASSERT_TRUE(whole.ok()) << whole.error->message;
    ASSERT_EQ(whole.commands.size(), 16u);

    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        const DecodeResult r = decode(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
        // The commands that end before the cut come back unchanged.
        std::size_t complete = 0;
        while (complete < whole.commands.size() &&
               whole.commands[complete].offset + whole.commands[complete].length <= cut &&
               whole.commands[complete].kind != CommandKind::Text)
            ++complete;
        ASSERT_GE(r.commands.size(), complete) << "cut at " << cut;
        for (std::size_t i = 0; i < complete; ++i) {
            EXPECT_EQ(r.commands[i].kind, whole.commands[i].kind) << "cut at " << cut;
            EXPECT_EQ(r.commands[i].length, whole.commands[i].length) << "cut at " << cut;
            EXPECT_EQ(r.commands[i].data, whole.commands[i].data) << "cut at " << cut;
        }
        const std::size_t done = complete ? whole.commands[complete - 1].offset + whole.commands[complete - 1].length : 0;
        if (complete + 1 == whole.commands.size())
            continue; // inside the closing text
        if (done == cut) {
            EXPECT_TRUE(r.ok()) << "cut at " << cut;
            EXPECT_EQ(r.commands.size(), complete) << "cut at " << cut;
            continue;
        }
        if (r.ok()) {
            // Only the first bytes of a command's introducer may be left over, as text.
            ASSERT_EQ(r.commands.size(), complete + 1) << "cut at " << cut;
            EXPECT_EQ(r.commands.back().kind, CommandKind::Text) << "cut at " << cut;
            EXPECT_LE(cut - done, 2u) << "cut at " << cut;
        } else {
            EXPECT_EQ(r.error->offset, done) << "cut at " << cut << ": " << r.error->message;
            EXPECT_EQ(r.commands.size(), complete) << "cut at " << cut;
        }
    }
}

TEST(DecoderErrors, CorruptBytesNeverCrashAndCommandsStayInsideTheStream)
{
    const Bytes full = everyCommand();
    std::mt19937 rng(5);
    for (std::size_t i = 0; i < full.size(); ++i)
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x08}, std::uint8_t{0x1D},
                                   std::uint8_t{0x0A}, static_cast<std::uint8_t>(rng())}) {
            Bytes bad = full;
            bad[i] = value;
            const DecodeResult r = decode(bad);
            std::size_t at = 0;
            for (const Command& c : r.commands) {
                ASSERT_EQ(c.offset, at) << "byte " << i << " set to " << int(value);
                at += c.length;
            }
            ASSERT_LE(at, bad.size());
            if (r.ok())
                EXPECT_EQ(at, bad.size()) << "byte " << i << " set to " << int(value);
            else
                EXPECT_LT(r.error->offset, bad.size()) << "byte " << i << " set to " << int(value);
        }
}

} // namespace
} // namespace kordane::preview
