// SIGTERM ends a job with the commands written so far, the cancel trailer
// (720 bytes 00 and ESC @) and status 0: here while the filter waits for its
// next page, and after the job's end, where it is ignored. The fuzz target's
// replays cancel jobs of every kind once a fuzzed number of printer bytes
// has come, and check that what came before the trailer is whole commands.
#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

TEST(Cancel, WhileWaitingForAPageAndAfterTheEnd)
{
    test::TempDir dir;
    const std::string ppd = test::writePpd(
        dir, 42, {{"LogoPosition", "3"}, {"PageCut", "2"}, {"CashDrawer", "3"}, {"CashDrawerOpen", "2"}});
    const std::vector<test::RasterPage> pages = {test::randomPage(576, 560, 100, 0.05), test::randomPage(576, 560, 101, 0.05)};
    test::FilterRun job{test::filterArgs(), ppd, test::rasterStream(pages)};
    const test::FilterResult whole = test::runFilter(job);
    ASSERT_EQ(whole.exitStatus, 0);

    // Waiting for the next page: the first page went out whole.
    test::FilterRun waiting = job;
    waiting.args = test::filterArgs("LogoPosition=4");
    waiting.input.resize(test::rasterStream({pages[0]}).size() + sizeof(cups_page_header2_t) + 100);
    waiting.closeStdin = false;
    waiting.signalAfterStderr = "PAGE: 1 1\nTQ4_DEBUG : cupsHeight = 560\n";
    const test::FilterResult cancelled = test::runFilter(waiting);
    EXPECT_EQ(cancelled.exitStatus, 0);
    EXPECT_BYTES(test::concat(test::hex("1B 40 1B 70 00 32 FF 1B 70 01 64 FF 1D 56 41 01"), test::repeat(0, 720), test::hex("1B 40")),
                 cancelled.out);

    // After the job's end the signal is ignored.
    test::FilterRun late = job;
    late.signalAfterStderr = "INFO: Ready to print.\n";
    const test::FilterResult after = test::runFilter(late);
    EXPECT_TRUE(after.signalSent && after.exitStatus == 0 && after.out == whole.out);
}

} // namespace
} // namespace kordane
