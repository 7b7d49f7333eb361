// Memory of a job: the filter's peak resident size grows with the largest
// page, by a small multiple of its bytes, and not with the number of pages.
// Under the sanitizers (whose quarantine keeps freed memory resident) only
// the runs themselves are checked, there for leaks. The sizes are measured
// by GNU time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile_checks.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

#if defined(__SANITIZE_ADDRESS__)
#define KORDANE_RSS_MEANINGFUL 0
#else
#define KORDANE_RSS_MEANINGFUL 1
#endif

namespace kordane {
namespace {

// A page of the given size whose first and last lines hold dots, so that
// trimming keeps every line.
test::RasterPage framedPage(std::uint32_t height)
{
    test::RasterPage page = test::blankPage(576, height);
    for (std::uint32_t x = 0; x < 576; x += 5) {
        test::setDot(page, x, 0);
        test::setDot(page, x, height - 1);
    }
    return page;
}

// Runs the job under GNU time, which reports the filter's peak resident
// size in kB on standard error. -1 when the job failed.
long peakKilobytes(test::FilterRun run)
{
    std::vector<std::string> args = {"-f", "\npeak resident kB: %M\n"};
    for (const std::string& word : test::commandFor(run.program))
        args.push_back(word);
    args.insert(args.end(), run.args.begin(), run.args.end());
    run.args = args;
    run.program = "/usr/bin/time";
    run.argv0 = "time";
    const test::FilterResult r = test::runFilter(run);
    EXPECT_TRUE(test::survived(r));
    const std::size_t at = r.err.rfind("peak resident kB: ");
    if (at == std::string::npos || !test::survived(r))
        return -1;
    return std::stol(r.err.substr(at + 18));
}

class Memory : public ::testing::Test {
protected:
    long peakFor(const std::vector<test::RasterPage>& pages, const std::string& options = "")
    {
        test::FilterRun run;
        run.args = test::defaultArgs("job", options);
        run.ppdPath = test::writePpd(dir, test::standardPpd(42));
        run.input = test::rasterStream(pages);
        run.timeoutMs = 120000;
        return peakFor(run);
    }
    long peakFor(const test::FilterRun& run)
    {
        const long peak = peakKilobytes(run);
        EXPECT_GT(peak, 0) << "the job failed";
        return peak;
    }
    test::TempDir dir;
};

TEST_F(Memory, NoGrowthWithThePageCount)
{
    const test::RasterPage page = framedPage(1000); // 72 000 bytes
    const long one = peakFor({page});
    const long thousand = peakFor(std::vector<test::RasterPage>(1000, page));
    RecordProperty("peak_kB_1_page", static_cast<int>(one));
    RecordProperty("peak_kB_1000_pages", static_cast<int>(thousand));
    std::printf("peak resident size: 1 page %ld kB, 1000 pages %ld kB\n", one, thousand);
    if (KORDANE_RSS_MEANINGFUL) {
        EXPECT_LE(thousand, one + 1024) << "kB: the filter keeps memory per page";
    }
}

TEST_F(Memory, BoundedByTheLargestPage)
{
    // 576 dots by 40 000 lines: 2.88 MB of pixels, turned a quarter (the
    // largest working set: page, turned image, and the trimmed turn).
    const std::size_t pageKilobytes = 576 / 8 * 40000 / 1024;
    const long empty = peakFor(std::vector<test::RasterPage>{});
    const long large = peakFor({framedPage(40000)}, "Rotation=1");
    const long later = peakFor({framedPage(100), framedPage(40000), framedPage(100)}, "Rotation=1");
    RecordProperty("peak_kB_empty", static_cast<int>(empty));
    RecordProperty("peak_kB_large_page", static_cast<int>(large));
    std::printf("peak resident size: empty job %ld kB, one %zu kB page turned %ld kB\n", empty, pageKilobytes,
                large);
    if (KORDANE_RSS_MEANINGFUL) {
        EXPECT_LE(large - empty, static_cast<long>(6 * pageKilobytes)) << "kB above an empty job";
        EXPECT_LE(later, large + 1024) << "kB: a larger page later in the job costs more than alone";
    }
}

} // namespace
} // namespace kordane
