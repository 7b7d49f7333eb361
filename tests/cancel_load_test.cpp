// Cancel at many moments of a long job: SIGTERM at seeded delays after
// marks in the job log (start, settings read, page reads, image output, job
// end), with standard input kept open or closed. Whatever the moment, the
// printer gets a prefix of the uncancelled job's bytes that ends on a command
// boundary, then 720 bytes 00 and ESC @, and the status is 0; or, when the
// signal comes after the job's output is complete, that output whole. Before
// the handler is installed the default action ends the process before any
// printer byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "hostile_checks.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;

const Bytes kTrailer = test::concat(test::repeat(0x00, 720), test::hex("1B 40"));

struct Moment {
    const char* mark;
    int maxDelayMs;
};

// Where the signal is aimed: before the handler exists, right after the
// settings are read, inside the page reads, inside image output, after the
// end of the job.
constexpr Moment kMoments[] = {
    {"drive version", 3},     {"The Printer Model is", 4}, {"cupsHeight = ", 30},
    {"Normal printing.\n", 20}, {"INFO: Ready to print.\n", 5},
};

std::set<std::size_t> commandEnds(const Bytes& stream)
{
    std::set<std::size_t> ends = {0};
    const preview::DecodeResult decoded = preview::decodeStream(stream);
    EXPECT_TRUE(decoded.ok());
    for (const preview::Command& c : decoded.commands)
        ends.insert(c.offset + c.length);
    return ends;
}

::testing::AssertionResult cancelledCleanly(const test::FilterResult& r, const Bytes& full,
                                            const std::set<std::size_t>& ends)
{
    if (r.timedOut)
        return ::testing::AssertionFailure() << "no end in time";
    if (r.termSignal == SIGTERM && r.out.empty())
        return ::testing::AssertionSuccess(); // before the handler was installed
    if (r.termSignal != 0 || r.exitStatus < 0)
        return ::testing::AssertionFailure() << "died by signal " << r.termSignal << "\n" << r.err;
    if (r.out == full)
        return ::testing::AssertionSuccess(); // after the job's output was flushed
    if (r.exitStatus != 0)
        return ::testing::AssertionFailure() << "exit status " << r.exitStatus;
    if (r.out.size() < kTrailer.size() || !std::equal(kTrailer.begin(), kTrailer.end(), r.out.end() - 722))
        return ::testing::AssertionFailure() << "no cancel trailer at the end (" << r.out.size() << " bytes)";
    const std::size_t kept = r.out.size() - kTrailer.size();
    if (kept > full.size() || !std::equal(r.out.begin(), r.out.begin() + static_cast<std::ptrdiff_t>(kept), full.begin()))
        return ::testing::AssertionFailure() << "the " << kept << " bytes before the trailer are not the job's own";
    if (!ends.contains(kept))
        return ::testing::AssertionFailure() << "the job's bytes stop inside a command, at " << kept;
    return ::testing::AssertionSuccess();
}

TEST(CancelUnderLoad, TwoHundredSeededMoments)
{
    test::TempDir dir;
    test::PpdSpec desc = test::standardPpd(42);
    test::setDefault(desc, "LogoPosition", "3");
    test::setDefault(desc, "PageCut", "2");
    test::setDefault(desc, "CashDrawer", "3");
    test::setDefault(desc, "CashDrawerOpen", "2");
    const std::string ppd = test::writePpd(dir, desc);

    // Twelve receipt pages in one colour, 40 kB of image each.
    std::vector<test::RasterPage> pages;
    for (std::uint32_t i = 0; i < 12; ++i)
        pages.push_back(test::randomPage(576, 560, 100 + i, 0.05));
    const Bytes stream = test::rasterStream(pages);

    test::FilterRun whole;
    whole.args = test::defaultArgs();
    whole.ppdPath = ppd;
    whole.input = stream;
    // A loaded machine under the sanitizers can take seconds per run.
    whole.timeoutMs = 120000;
    const test::FilterResult reference = test::runFilter(whole);
    ASSERT_EQ(reference.exitStatus, 0);
    ASSERT_TRUE(test::wholeCommands(reference));
    const std::set<std::size_t> ends = commandEnds(reference.out);

    std::mt19937 random(20240607);
    int cancelled = 0, complete = 0, beforeSetup = 0;
    for (int i = 0; i < 200; ++i) {
        const Moment& moment = kMoments[i % std::size(kMoments)];
        test::FilterRun run = whole;
        run.signalAfterStderr = moment.mark;
        run.signalDelayMs = static_cast<int>(random() % static_cast<unsigned>(moment.maxDelayMs + 1));
        // Half the runs keep standard input open: the filter then waits in a
        // read for a page that never comes (so the job cannot reach its end).
        run.closeStdin = i % 2 == 0 || std::string_view(moment.mark).starts_with("INFO");
        const test::FilterResult r = test::runFilter(run);
        SCOPED_TRACE(std::string("signal ") + std::to_string(run.signalDelayMs) + " ms after \"" + moment.mark +
                     "\", run " + std::to_string(i));
        ASSERT_TRUE(cancelledCleanly(r, reference.out, ends));
        if (r.termSignal != 0)
            ++beforeSetup;
        else if (r.out == reference.out)
            ++complete;
        else
            ++cancelled;
    }
    // The moments reach every part of the job.
    // How many land mid-job depends on the machine's speed (the sanitizers
    // slow the filter, a loaded machine more so); a fair share always does.
    EXPECT_GT(cancelled, 40);
    EXPECT_GT(complete, 0);
    RecordProperty("cancelled", cancelled);
    RecordProperty("complete", complete);
    RecordProperty("beforeSetup", beforeSetup);
}

} // namespace
} // namespace kordane
