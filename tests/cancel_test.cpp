// SIGTERM: the commands written so far, the cancel trailer, status 0.
#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;
using test::hex;

const Bytes kTrailer = test::concat(test::repeat(0x00, 720), hex("1B 40"));

TEST(Cancel, WhileWaitingForTheNextPage)
{
    test::TempDir dir;
    test::PpdSpec desc = test::standardPpd(42);
    test::setDefault(desc, "PageCut", "2");
    test::setDefault(desc, "LogoPosition", "4");
    test::FilterRun run;
    run.args = test::defaultArgs();
    run.ppdPath = test::writePpd(dir, desc);
    // One page, then the stream stays open: the filter waits for more.
    run.input = test::rasterStream({test::randomPage(576, 30, 1), test::randomPage(576, 30, 2)});
    run.input.resize(run.input.size() - 30 * 72);
    run.closeStdin = false;
    run.signalAfterStderr = "PAGE: 1 1\n";
    run.signalDelayMs = 300;
    const test::FilterResult r = test::runFilter(run);
    EXPECT_TRUE(r.signalSent);
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_BYTES(test::concat(hex("1B 40 1D 56 41 01"), kTrailer), r.out);
}

TEST(Cancel, BeforeAnyPage)
{
    test::TempDir dir;
    test::FilterRun run;
    run.args = test::defaultArgs();
    run.ppdPath = test::writePpd(dir, test::standardPpd(1));
    run.closeStdin = false;
    run.signalAfterStderr = "The Printer Model is : 1\n";
    run.signalDelayMs = 200;
    const test::FilterResult r = test::runFilter(run);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_BYTES(test::concat(hex("1B 40"), kTrailer), r.out);
}

TEST(Cancel, AfterTheJobEndsIsIgnored)
{
    test::TempDir dir;
    test::FilterRun run;
    run.args = test::defaultArgs();
    run.ppdPath = test::writePpd(dir, test::standardPpd(42));
    run.input = test::rasterStream({test::randomPage(576, 30, 1)});
    run.signalAfterStderr = "INFO: Ready to print.\n";
    const test::FilterResult r = test::runFilter(run);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.termSignal, 0);
    ASSERT_GE(r.out.size(), 2u);
    EXPECT_NE(Bytes(r.out.end() - 2, r.out.end()), hex("1B 40"));
}

} // namespace
} // namespace kordane
