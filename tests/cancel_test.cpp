// SIGTERM ends a job with the commands written so far, the cancel trailer
// (720 bytes 00 and ESC @) and status 0, wherever the job stands: waiting
// for input, inside the image output, or (ignored) after its end. Signals
// aimed at seeded moments of a long job cover the rest; whatever the moment,
// the printer gets a prefix of the job's bytes that ends on a command
// boundary and the trailer, or the whole job when the signal came after it,
// or nothing when it came before the filter took over the signal.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "preview/decoder.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;

const Bytes kTrailer = test::concat(Bytes(720, 0x00), test::hex("1B 40"));

::testing::AssertionResult endsCleanly(const test::FilterResult& r, const Bytes& whole, const std::set<std::size_t>& ends)
{
    if (r.termSignal == SIGTERM && r.out.empty())
        return ::testing::AssertionSuccess(); // before the filter took over the signal
    if (r.termSignal != 0 || r.exitStatus != 0)
        return ::testing::AssertionFailure() << "signal " << r.termSignal << ", status " << r.exitStatus << "\n" << r.err;
    if (r.out == whole)
        return ::testing::AssertionSuccess(); // after the job's end
    const std::size_t kept = r.out.size() - std::min(r.out.size(), kTrailer.size());
    if (!std::equal(kTrailer.begin(), kTrailer.end(), r.out.begin() + static_cast<long>(kept), r.out.end()))
        return ::testing::AssertionFailure() << "no cancel trailer at the end of " << r.out.size() << " bytes";
    if (kept > whole.size() || !std::equal(r.out.begin(), r.out.begin() + static_cast<long>(kept), whole.begin()))
        return ::testing::AssertionFailure() << "the bytes before the trailer are not the job's own";
    if (!ends.contains(kept))
        return ::testing::AssertionFailure() << "the job's bytes stop inside a command, at " << kept;
    return ::testing::AssertionSuccess();
}

TEST(Cancel, AtEveryKindOfMoment)
{
    test::TempDir dir;
    const std::string ppd = test::writePpd(
        dir, 42, {{"LogoPosition", "3"}, {"PageCut", "2"}, {"CashDrawer", "3"}, {"CashDrawerOpen", "2"}});
    std::vector<test::RasterPage> pages;
    for (std::uint32_t i = 0; i < 12; ++i)
        pages.push_back(test::randomPage(576, 560, 100 + i, 0.05));
    test::FilterRun job{test::filterArgs(), ppd, test::rasterStream(pages)};
    const test::FilterResult whole = test::runFilter(job);
    ASSERT_EQ(whole.exitStatus, 0);
    const preview::DecodeResult decoded = preview::decodeStream(whole.out);
    ASSERT_TRUE(decoded.ok());
    std::set<std::size_t> ends = {0};
    for (const preview::Command& c : decoded.commands)
        ends.insert(c.offset + c.length);

    // Waiting for the next page: the first page went out whole.
    test::FilterRun waiting = job;
    waiting.args = test::filterArgs("LogoPosition=4");
    waiting.input.resize(test::rasterStream({pages[0]}).size() + sizeof(cups_page_header2_t) + 100);
    waiting.closeStdin = false;
    waiting.signalAfterStderr = "PAGE: 1 1\nTQ4_DEBUG : cupsHeight = 560\n";
    const test::FilterResult cancelled = test::runFilter(waiting);
    EXPECT_TRUE(cancelled.exitStatus == 0 && test::bytesEqual(test::concat(test::hex("1B 40 1B 70 00 32 FF 1B 70 01 64 FF 1D 56 41 01"), kTrailer), cancelled.out));

    // After the job's end the signal is ignored.
    test::FilterRun late = job;
    late.signalAfterStderr = "INFO: Ready to print.\n";
    const test::FilterResult after = test::runFilter(late);
    EXPECT_TRUE(after.signalSent && after.exitStatus == 0 && after.out == whole.out);

    // Seeded moments: before the handler, after the settings, in the page
    // reads, in the image output, at the end; input kept open or closed.
    const std::pair<const char*, int> moments[] = {{"drive version", 3}, {"The Printer Model is", 4}, {"cupsHeight = ", 30},
                                                   {"Normal printing.\n", 20}, {"INFO: Ready to print.\n", 5}};
    std::mt19937 random(20240607);
    for (int i = 0; i < 60; ++i) {
        const auto [mark, maxDelay] = moments[i % std::size(moments)];
        test::FilterRun run = job;
        run.signalAfterStderr = mark;
        run.signalDelayMs = static_cast<int>(random() % static_cast<unsigned>(maxDelay + 1));
        run.closeStdin = i % 2 == 0 || std::string_view(mark).starts_with("INFO");
        ASSERT_TRUE(endsCleanly(test::runFilter(run), whole.out, ends))
            << run.signalDelayMs << " ms after \"" << mark << "\", run " << i;
    }
}

} // namespace
} // namespace kordane
