// The preview program as a user runs it: a good stream gives a trace and a
// PNG of the renderer's size; a malformed stream gives its error with the
// offset and status 1 (never a crash); bad arguments and unreadable input
// give status 2.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "preview/decoder.h"
#include "preview/render.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"

namespace kordane::test {
namespace {

FilterResult runPreview(std::vector<std::string> args, Bytes input = {})
{
    FilterRun run;
    run.program = KORDANE_PREVIEW_PATH;
    run.argv0 = "kordane_preview";
    run.args = std::move(args);
    run.input = std::move(input);
    return runFilter(run);
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t bigEndian(const Bytes& b, std::size_t at)
{
    return std::uint32_t{b.at(at)} << 24 | std::uint32_t{b.at(at + 1)} << 16 | std::uint32_t{b.at(at + 2)} << 8 |
           b.at(at + 3);
}

// A receipt-like stream: pulse, logo, two-colour image, text, feed, cut.
Bytes goodStream()
{
    return concat(hex("1B40 1B700032FF 1B6101 1C700100 1B40 0A"),
                   hex("1D284C 1200 30 70 30 01 01 31 1000 0400"), hex("FFFF 0000 FFFF 0000"),
                   hex("1D284C 1200 30 70 30 01 01 32 1000 0400"), hex("0000 FFFF 0000 FFFF"), hex("1D284C02003032"),
                   bytes("TOTAL 12.50"), hex("0A 1D564101"));
}

TEST(PreviewTool, GoodStreamGivesTraceAndPngOfTheRenderersSize)
{
    TempDir dir;
    const std::string png = dir.file("out.png");
    const Bytes stream = goodStream();
    const FilterResult r = runPreview({"-o", png}, stream);
    ASSERT_EQ(r.exitStatus, 0) << r.err;

    const std::string trace(r.out.begin(), r.out.end());
    EXPECT_NE(trace.find("00000000  ESC @  initialise\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("  GS ( L function 112  store second colour, 16 dots x 4 lines (8 bytes)\n"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("text 11 bytes  \"TOTAL 12.50\"\n"), std::string::npos) << trace;
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 12);

    const Bytes file = readFile(png);
    ASSERT_GT(file.size(), 24u);
    EXPECT_BYTES(hex("89504E470D0A1A0A 0000000D 49484452"), Bytes(file.begin(), file.begin() + 16));
    const preview::Preview expected = preview::renderPreview(preview::decodeStream(stream).commands);
    EXPECT_EQ(bigEndian(file, 16), expected.canvas.width);
    EXPECT_EQ(bigEndian(file, 20), expected.canvas.height);
}

TEST(PreviewTool, StreamFileAndQuietMode)
{
    TempDir dir;
    const std::string prn = dir.write("job.prn", goodStream());
    const FilterResult r = runPreview({"-q", prn});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_GT(readFile(prn + ".png").size(), 100u);
    EXPECT_NE(r.err.find(prn + ".png"), std::string::npos) << r.err;
}

struct Malformed {
    const char* name;
    Bytes stream;
    std::size_t offset;
};

TEST(PreviewTool, MalformedStreamsReportTheOffsetAndExitOne)
{
    const Bytes start = hex("1B40 0A");
    const Malformed cases[] = {
        {"raster image cut short in its data", concat(start, hex("1D763000 0200 0300 FFFF")), 3},
        {"unknown graphics function", concat(start, hex("1D284C 0200 30 33")), 9},
    };
    TempDir dir;
    for (const Malformed& m : cases) {
        const FilterResult r = runPreview({"-o", dir.file("bad.png")}, m.stream);
        EXPECT_EQ(r.termSignal, 0) << m.name;
        EXPECT_EQ(r.exitStatus, 1) << m.name << "\n" << r.err;
        EXPECT_NE(r.err.find("error at offset " + std::to_string(m.offset) + ":"), std::string::npos)
            << m.name << "\n" << r.err;
        // What came before the error is still traced.
        const std::string trace(r.out.begin(), r.out.end());
        EXPECT_EQ(trace.rfind("00000000  ESC @", 0), 0u) << m.name;
    }
}

TEST(PreviewTool, ArgumentAndFileErrorsExitTwo)
{
    TempDir dir;
    EXPECT_EQ(runPreview({"-x"}).exitStatus, 2);
    EXPECT_EQ(runPreview({"-o"}).exitStatus, 2);
    EXPECT_EQ(runPreview({"a", "b"}).exitStatus, 2);
    const FilterResult missing = runPreview({dir.file("nothing.prn")});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_NE(missing.err.find("nothing.prn"), std::string::npos) << missing.err;
    const FilterResult unwritable = runPreview({"-o", dir.file("no/such/dir.png")}, hex("1B40"));
    EXPECT_EQ(unwritable.exitStatus, 2);
    EXPECT_NE(unwritable.err.find("dir.png"), std::string::npos) << unwritable.err;
}

} // namespace
} // namespace kordane::test
