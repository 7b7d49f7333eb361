// The filter run as CUPS runs it: every course of a job, its printer bytes,
// its job-log lines and its exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane {
namespace {

using test::Bytes;
using test::hex;

const Bytes kInit = hex("1B 40");

std::string lastLine(const std::string& err)
{
    std::string text = err;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    const auto nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

class Job : public ::testing::Test {
protected:
    std::string ppd(int model, std::initializer_list<std::pair<const char*, const char*>> defaults = {})
    {
        return test::writeStandardPpd(dir, model, defaults);
    }
    test::TempDir dir;
};

TEST_F(Job, WrongArgumentCount)
{
    for (std::size_t count : {4u, 7u, 8u, 0u}) {
        std::vector<std::string> args = {"1", "user", "title", "1", "", "file", "extra", "more"};
        args.resize(count);
        const test::FilterResult r = test::runFilterArgs(args, ppd(42));
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err, "TQ4 DEBUG MSG : drive version v1.3.5\n"
                         "TQ4 DEBUG MSG: rastertoKordane job-id user title copies options [file]\n");
    }
}

TEST_F(Job, FileThatCannotBeOpened)
{
    std::vector<std::string> args = test::defaultArgs();
    args.push_back(dir.file("missing.txt"));
    const test::FilterResult r = test::runFilterArgs(args, ppd(42));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(lastLine(r.err), "TQ4 DEBUG MSG: Unable to open raster file - : No such file or directory");

    // A directory opens, then every read fails.
    args.back() = dir.path();
    const test::FilterResult unreadable = test::runFilterArgs(args, ppd(42));
    EXPECT_EQ(unreadable.exitStatus, 1);
    EXPECT_NE(unreadable.err.find("ERROR: Unable to read the text file"), std::string::npos);
}

TEST_F(Job, UnsupportedModelWritesNoPrinterByte)
{
    const test::FilterResult r = test::runFilterArgs(test::defaultArgs(), ppd(2), test::rasterStream({test::randomPage(64, 8, 1)}));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err, "TQ4 DEBUG MSG : drive version v1.3.5\n"
                     "TQ4 DEBUG MSG : This printer is not KORDANE's printer.\n"
                     "ERROR: No pages found!\n");
}

TEST_F(Job, MissingOrUnreadablePpdIsReportedAsAnUnsupportedPrinter)
{
    const std::string garbage = dir.write("garbage.ppd", Bytes{0x00, 0xFF, '*', 'P', 0x0A, 0x1B, 0x40, '"'});
    for (std::string path : {std::string(), dir.file("none.ppd"), dir.path(), dir.write("empty.ppd", ""), garbage}) {
        const test::FilterResult r = test::runFilterArgs(test::defaultArgs(), path);
        EXPECT_EQ(r.exitStatus, 1) << path;
        EXPECT_TRUE(r.out.empty()) << path;
        EXPECT_NE(r.err.find("\nERROR: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("This printer is not KORDANE's printer.\nERROR: No pages found!\n"), std::string::npos);
    }
}

TEST_F(Job, ApiTitleSendsOnlyTheInitialisation)
{
    for (std::string title : {"KORDANE_API_MODE", "KORDANE_API_MODE and more"}) {
        test::FilterRun run;
        run.args = test::defaultArgs(title);
        run.ppdPath = ppd(42);
        run.closeStdin = false; // standard input is never read
        run.timeoutMs = 5000;
        const test::FilterResult r = test::runFilter(run);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_BYTES(kInit, r.out);
        EXPECT_EQ(lastLine(r.err), "ERROR: No pages found!");
    }
    // Fifteen of the sixteen characters make a raster job.
    const test::FilterResult r = test::runFilterArgs(test::defaultArgs("KORDANE_API_MOD"), ppd(42, {{"PageCut", "0"}}));
    EXPECT_BYTES(test::concat(kInit, test::repeat(0x0A, 6)), r.out);
}

TEST_F(Job, RasterJobCourses)
{
    const std::string model42 = ppd(42, {{"PageCut", "0"}});
    // No page: the end-of-job feed still goes out.
    test::FilterResult r = test::runFilterArgs(test::defaultArgs(), model42, {});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_BYTES(test::concat(kInit, test::repeat(0x0A, 6)), r.out);
    EXPECT_EQ(lastLine(r.err), "ERROR: No pages found!");

    // One page.
    r = test::runFilterArgs(test::defaultArgs(), model42, test::rasterStream({test::randomPage(576, 20, 5)}));
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(lastLine(r.err), "INFO: Ready to print.");
    EXPECT_NE(r.err.find("TQ4 DEBUG MSG: The Printer Model is : 42\n"), std::string::npos);
    EXPECT_NE(r.err.find("TQ4 DEBUG MESG: PAGE: 1 1\n"), std::string::npos);
}

TEST_F(Job, TextJobWithAnyTitle)
{
    const std::string text = dir.write("note.txt", "Total 12.50\n");
    std::vector<std::string> args = test::defaultArgs("KORDANE_API_MODE");
    args.push_back(text);
    const test::FilterResult r = test::runFilterArgs(args, ppd(42));
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_BYTES(test::concat(kInit, test::bytes("Total 12.50\n")), r.out);
    EXPECT_EQ(lastLine(r.err), "TQ4 DEBUG MSG: The Printer Model is : 42");
}

TEST_F(Job, RasterFileArgumentIsARasterJob)
{
    const std::string model42 = ppd(42, {{"PageCut", "2"}});
    const Bytes stream = test::rasterStream({test::randomPage(576, 20, 5), test::randomPage(576, 30, 6)});
    std::vector<std::string> args = test::defaultArgs();
    args.push_back(dir.write("job.ras", stream));
    const test::FilterResult fromFile = test::runFilterArgs(args, model42);
    const test::FilterResult fromStdin = test::runFilterArgs(test::defaultArgs(), model42, stream);
    EXPECT_EQ(fromFile.exitStatus, 0);
    EXPECT_EQ(lastLine(fromFile.err), "INFO: Ready to print.");
    EXPECT_BYTES(fromStdin.out, fromFile.out);
    EXPECT_NE(fromFile.err.find("PAGE: 2 1"), std::string::npos);

    // The same through a FIFO: the bytes read to recognise it are not lost.
    const std::string fifo = dir.file("job.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    test::FilterRun run;
    run.program = "/bin/sh";
    run.argv0 = "sh";
    run.args = {"-c", "cat \"$0\" > \"$1\" & fifo=$1; shift; exec \"$@\" 1 user t 1 '' \"$fifo\"",
                args.back(), fifo};
    for (const std::string& word : test::commandFor(KORDANE_FILTER_PATH))
        run.args.push_back(word);
    run.ppdPath = model42;
    const test::FilterResult throughFifo = test::runFilter(run);
    EXPECT_EQ(throughFifo.exitStatus, 0);
    EXPECT_BYTES(fromStdin.out, throughFifo.out);

    // The API title is honoured for a raster file too.
    args[2] = "KORDANE_API_MODE";
    const test::FilterResult api = test::runFilterArgs(args, model42);
    EXPECT_BYTES(kInit, api.out);
    EXPECT_EQ(api.exitStatus, 1);
}

} // namespace
} // namespace kordane
