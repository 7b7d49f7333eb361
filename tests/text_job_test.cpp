// Text jobs: the file's bytes between the stored logo blocks.
#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"

namespace kordane {
namespace {

using test::Bytes;
using test::hex;

struct TextRun {
    Bytes out;
    std::string err;
    int status;
};

class TextJob : public ::testing::Test {
protected:
    TextRun print(int model, const Bytes& text, std::string options)
    {
        const std::string ppd = test::writePpd(dir, test::standardPpd(model));
        std::vector<std::string> args = test::defaultArgs("text", std::move(options));
        args.push_back(dir.write("text.txt", text));
        const test::FilterResult r = test::runFilterArgs(args, ppd);
        return {r.out, r.err, r.exitStatus};
    }
    test::TempDir dir;
};

TEST_F(TextJob, LogoBlocksByModelGroup)
{
    const Bytes text = test::bytes("Table 4\r\nSoup\n");
    // FS p models.
    TextRun r = print(87, text, "LogoPosition=1 LogoJustification=1 LogoImage=1 LogoWidth=3 LineFeed=2");
    EXPECT_EQ(r.status, 0);
    EXPECT_BYTES(test::concat(hex("1B 40  1B 61 01 1C 70 02 03 1B 40 0A 0A"), text), r.out);

    // Key base 31 and base 30, after the text.
    r = print(10, text, "LogoPosition=2 LogoImage=2 LogoWidth=1");
    EXPECT_BYTES(test::concat(hex("1B 40"), text, hex("1B 61 00 1D 28 4C 06 00 30 45 30 33 02 01 1B 40")), r.out);
    r = print(33, text, "LogoPosition=2 LogoImage=2 LogoWidth=1");
    EXPECT_BYTES(test::concat(hex("1B 40"), text, hex("1B 61 00 1D 28 4C 06 00 30 45 30 32 02 01 1B 40")), r.out);
}

TEST_F(TextJob, EmptyFileBetweenTwoLogos)
{
    const TextRun r = print(42, {}, "LogoPosition=3 LogoWidth=2");
    const Bytes logo = hex("1B 61 00 1D 28 4C 06 00 30 45 30 30 01 02 1B 40");
    EXPECT_EQ(r.status, 0);
    EXPECT_BYTES(test::concat(hex("1B 40"), logo, logo), r.out);
}

TEST_F(TextJob, EveryByteIsPassedThrough)
{
    // 00 bytes, all byte values, and sizes around the read size.
    Bytes text;
    for (int i = 0; i < 3 * 70000; ++i)
        text.push_back(static_cast<std::uint8_t>(i * 7 % 256));
    text[5] = 0;
    for (std::size_t size : {std::size_t{1024}, std::size_t{1025}, text.size()}) {
        const Bytes part(text.begin(), text.begin() + static_cast<long>(size));
        const TextRun r = print(1, part, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_BYTES(test::concat(hex("1B 40"), part), r.out) << size << " bytes";
    }
}

TEST_F(TextJob, LogoPositionOutsideTheRangePrintsNothing)
{
    test::PpdSpec desc = test::standardPpd(42);
    test::removeOption(desc, "LogoPosition");
    std::vector<std::string> args = test::defaultArgs();
    args.push_back(dir.write("t.txt", "text"));
    const test::FilterResult missing = test::runFilterArgs(args, test::writePpd(dir, desc));
    EXPECT_EQ(missing.exitStatus, 0);
    EXPECT_BYTES(hex("1B 40"), missing.out);
    EXPECT_BYTES(hex("1B 40"), print(42, test::bytes("text"), "LogoPosition=4").out);
}

TEST_F(TextJob, UnreadableFileIsAnError)
{
    // A directory opens but cannot be read: the copy stops, the closing logo
    // still goes out, and the job fails.
    const std::string ppd = test::writePpd(dir, test::standardPpd(87));
    std::vector<std::string> args = test::defaultArgs("text", "LogoPosition=3");
    args.push_back(dir.path());
    const test::FilterResult r = test::runFilterArgs(args, ppd);
    const Bytes logo = hex("1B 61 00 1C 70 01 00 1B 40");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_BYTES(test::concat(hex("1B 40"), logo, logo), r.out);
    EXPECT_NE(r.err.find("\nERROR: "), std::string::npos) << r.err;
}

} // namespace
} // namespace kordane
