// Reading printer streams back: where the decoder and the kordane_preview
// program stop on malformed or cut-short streams, the trace of every kind of
// command, and the picture's colours and marks. The printed images rebuilt
// from the commands are what the round-trip, CUPS and app tests compare with
// their pages, stored, compressed and sent in every way the filter has.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <tuple>

#include "preview/decoder.h"
#include "preview/png_file.h"
#include "preview/render.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"

namespace kordane::preview {
namespace {

using namespace test;

FilterResult preview(std::vector<std::string> args, Bytes input = {})
{
    FilterRun run(std::move(args), "", std::move(input));
    run.program = KORDANE_PREVIEW_PATH;
    return runFilter(run);
}

// Each error stops both at the offending byte: stream, offset of the error,
// part of its message, limit on the bytes compressed blocks decode to (the
// program's limit is far above these).
TEST(Preview, DecoderAndProgramStopAtTheFaultyByte)
{
    const std::tuple<const char*, std::size_t, const char*, std::uint64_t> bad[] = {
        {"1B40 1D284C 0C00 30703001 0131 0800 0100 AABB", 5, "need 1", -1},
        {"1D284C 0900 30703001 0131 0800 0000", 3, "below", -1},
        {"1D284C 0A00 30703001 0133 0800 0000", 10, "colour", -1},
        {"1D284C 0A00 30703101 0131 0800 0000", 7, "tone", -1},
        {"1D284C 0200 3031", 6, "unknown function", -1},
        {"1D284C 0200 3132", 5, "m must be 30", -1},
        {"1D284C 0700 3045 30310101 00", 3, "must be 6", -1},
        {"1D284C 0300 3032 00", 3, "must be 2", -1},
        {"1D7630 01 0100 0100 FF", 3, "size mode", -1},
        {"1D7631 00 0100 0100 FF", 2, "function byte", -1},
        {"1D5600 01", 2, "cut mode", -1},
        {"0A 0843520000000000 0800 0100 0000 084352FF00", 13, "count 0", -1},
        {"0843520000000000 0800 0100 0002 084352FF00", 12, "passes", -1},
        {"0843520000000000 0800 0100 7E 0A", 13, "end record", -1},
        {"0843520000000000 1000 0100 7E 084352FF00", 13, "after 1 of 2", -1},
        {"0843520000000000 0800 0000 7E 084352FF00", 12, "expected", -1},
        {"1B40 084352FF00", 2, "without", -1},
        {"0843520001000000 0800 0100 7E 084352FF00", 4, "start record", -1},
        {"1B40 0843520000000000 0800 0100 7E 084352FF00", 2, "limit", 0},
    };
    for (const auto& [stream, offset, message, limit] : bad) {
        const DecodeResult r = decodeStream(hex(stream), limit);
        ASSERT_FALSE(r.ok()) << stream;
        EXPECT_TRUE(r.error->offset == offset && r.error->message.find(message) != std::string::npos)
            << stream << ": offset " << r.error->offset << ": " << r.error->message;
        const FilterResult program = preview({"-q", "-o", "/dev/null"}, hex(stream));
        const std::string error = "error at offset " + std::to_string(offset) + ": " + r.error->message;
        EXPECT_TRUE(limit == 0 || (program.exitStatus == 1 && program.err.find(error) != std::string::npos)) << program.err;
    }
}

// One of every command and its trace line; image data looks like commands.
// The first kWhole rows are commands, text follows them.
constexpr std::size_t kWhole = 13;
const std::pair<Bytes, std::string> kRows[] = {
    {hex("1B40"), "ESC @  initialise"},
    {hex("1B6131"), "ESC a 31  justify centre"},
    {hex("1C700203"), "FS p 02 03  print stored image 2, size mode 3"},
    {hex("1D284C0600304530310201"), "GS ( L function 69  print stored graphics, key 30 31, magnification 2 x 1"},
    {hex("0A"), "LF"},
    {hex("1D284C 1000 30703001 0131 1400 0200 1B400A 084352"),
     "GS ( L function 112  store first colour, 20 dots x 2 lines (6 bytes)"},
    {hex("1D284C 0A00 30703001 0132 4002 0000"),
     "GS ( L function 112  store second colour, 576 dots x 0 lines (0 bytes)"},
    {hex("1D284C02003032"), "GS ( L function 50  print the stored graphics"},
    {hex("1D763000 0200 0200 1D564100"), "GS v 0  2 bytes (16 dots) x 2 lines"},
    {hex("0843520000000000 3800 0100 0003 7E FF01 81 0001 084352FF00"),
     "compressed block  56 dots x 1 lines, 7 bytes from 8 coded"},
    {hex("1B703032FF"), "ESC p 30 32 FF  drawer 1 pulse, on 100 ms, off 510 ms"},
    {hex("1D564201"), "GS V 42 01  partial cut after feeding 1"},
    {hex("1D564100"), "GS V 41 00  full cut after feeding 0"},
    {concat(hex("6122625C20090D01"), repeat('A', 45)), R"(text 53 bytes  "a\"b\\ \t\r\x01)" + std::string(32, 'A') + "\"..."},
    {hex("0A"), "LF"},
    {repeat(0, 720), "text 720 bytes  720 x 00"},
    {hex("1B40"), "ESC @  initialise"},
};

// The program traces every command with its offset and draws the picture
// the renderer draws; the decoder cut anywhere keeps the whole commands
// before the cut.
TEST(Preview, ProgramTracesEveryCommandAndTheDecoderKeepsWholeOnesAtAnyCut)
{
    TempDir dir;
    Bytes stream;
    std::string trace;
    for (const auto& [bytes, line] : kRows) {
        const std::string offset = std::to_string(stream.size());
        trace += std::string(8 - offset.size(), '0') + offset + "  " + line + "\n";
        stream = concat(stream, bytes);
    }
    const std::string prn = dir.write("job.prn", stream), want = dir.file("want.png");
    const FilterResult r = preview({prn});
    EXPECT_TRUE(r.exitStatus == 0 && std::string(r.out.begin(), r.out.end()) == trace) << r.err;
    std::string error;
    ASSERT_TRUE(writePng(want, renderPreview(decodeStream(stream).commands).canvas, error));
    const auto slurp = [](const std::string& path) { return std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}); };
    EXPECT_EQ(slurp(prn + ".png"), slurp(want));
    EXPECT_TRUE(slurp(want).starts_with("\x89PNG\r\n\x1A\n"));
    EXPECT_TRUE(preview({"-q", prn}).out.empty());
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-x"}, {"-o"}, {"a", "b"}, {dir.file("none.prn")}, {"-o", dir.file("no/dir.png"), prn}}) {
        const FilterResult r = preview(args);
        EXPECT_TRUE(r.exitStatus == 2 && !r.err.empty()) << args.back() << ": " << r.err;
    }

    // Cut anywhere, with zeros past the end that must not be read: a command
    // cut short is an error at its first byte; only one or two bytes of an
    // introducer may be left over, as text. The limit is the 7 bytes the
    // compressed block decodes to.
    for (std::size_t cut = 0, whole = 0, done = 0; done < stream.size() && whole < kWhole; ++cut) {
        SCOPED_TRACE(cut);
        for (; whole < kWhole && done + kRows[whole].first.size() <= cut; ++whole)
            done += kRows[whole].first.size();
        const Bytes prefix = concat(Bytes(stream.begin(), stream.begin() + std::ptrdiff_t(cut)), repeat(0, 2));
        const DecodeResult r = decodeStream(std::span(prefix).first(cut), 7);
        ASSERT_GE(r.commands.size(), whole);
        for (std::size_t i = 0; i < whole; ++i)
            EXPECT_EQ(traceLine(r.commands[i]), kRows[i].second);
        EXPECT_TRUE(r.ok() ? cut == done ? r.commands.size() == whole
                                         : cut - done <= 2 && r.commands.back().kind == CommandKind::Text
                           : r.error->offset == done);
    }
}

TEST(Preview, PictureDrawsDotsColoursLogosFeedsCutsAndText)
{
    const Preview p = renderPreview(decodeStream(concat(
        hex("1D284C 0C00 30703001 0131 1000 0100 F0F0 1D284C 0C00 30703001 0132 1000 0100 FF00 1D284C02003032"),
        hex("1D763000 4800 0100 80"), repeat(0, 70), hex("01 0A"), // 576 dots; a feed
        hex("1B6131 1C700001 1B40 1D284C0600304530310102"),       // centred double-wide logo; tall logo
        hex("1D564105 1B700032FF 4849 0A 1D763000 0200 0200 8000 0001"))) // cut, pulse, text, 2 dots
                                        .commands);
    // Two colours in line 0, the ends of line 1, the logos' frames from
    // line 32 and 128, the cut's dashes at 325, an H from 330, dots at 359 and 360.
    const std::tuple<std::uint32_t, std::uint32_t, Ink> dots[] = {
        {3, 0, InkBlack},    {4, 0, InkRed},      {12, 0, InkPaper},  {575, 1, InkBlack}, {95, 32, InkPaper},
        {96, 32, InkGrey},   {479, 32, InkGrey},  {480, 32, InkPaper}, {200, 128, InkPaper}, {0, 319, InkGrey},
        {0, 325, InkGrey},   {8, 325, InkPaper},  {1, 330, InkBlack}, {0, 359, InkBlack},  {15, 360, InkBlack}};
    for (const auto& [x, y, colour] : dots)
        EXPECT_EQ(p.canvas.at(p.paperLeft + x, p.paperTop + y), colour) << x << ", " << y;
    // The drawer and text marks in the margin.
    EXPECT_TRUE(std::ranges::count(p.canvas.pixels, InkBlue) > 0 && std::ranges::count(p.canvas.pixels, InkGreen) > 0);
    EXPECT_TRUE(!p.truncated && p.canvas.width == kPreviewMarginWidth + 576 + kPreviewPadding);

    // An image 65536 dots wide and a feed of 2000 lines stay within limits.
    const Preview big = renderPreview(
        decodeStream(concat(hex("1D763000 0020 0100"), repeat(0xFF, 8192), repeat(0x0A, 2000))).commands, {1024, 5000});
    EXPECT_TRUE(big.truncated && big.paperWidth == 1024u && big.canvas.height <= 5000 + 2 * kPreviewPadding + kPreviewLabelRows);
    EXPECT_EQ(big.canvas.at(big.paperLeft + 1023, big.paperTop), InkBlack);
}

} // namespace
} // namespace kordane::preview
