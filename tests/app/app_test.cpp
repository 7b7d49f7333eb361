// The printer application end to end: the real app on a free loopback port
// with its own state folder, printers added with its own sub-commands, jobs
// sent with ipptool, and the bytes that arrive read back with the decoder.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "preview/decoder.h"
#include "preview/page_image.h"
#include "support/bitmap_reference.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace kordane::preview {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class Text = Bytes>
Text slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Blocks until `path` holds `text`: a line of a log, or a job's picture once
// it is renamed into place.
void waitFor(const std::string& path, const std::string& text)
{
    const int in = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(in, std::filesystem::path(path).parent_path().c_str(), IN_MODIFY | IN_MOVED_TO);
    char events[4096];
    while (slurp<std::string>(path).find(text) == std::string::npos)
        ASSERT_GT(read(in, events, sizeof events), 0);
    close(in);
}

// A listening loopback socket on a free port.
int listenLoopback(int& port)
{
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), len);
    listen(s, 4);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

int run(const std::string& program, std::vector<std::string> args, const std::string& argv0 = "test")
{
    test::FilterRun r(std::move(args), "");
    r.program = program;
    r.argv0 = argv0;
    return test::runFilter(r).exitStatus;
}

// A receipt on a page `width` dots wide: 200 lines of stripes across the
// middle 576 dots, between blank lines.
Bytes ticket(std::uint32_t width, cups_mode_t mode)
{
    test::RasterPage page = test::blankPage(width, 2373);
    for (std::uint32_t y = 100; y < 300; ++y)
        for (std::uint32_t x = 0; x < 576; ++x)
            if ((x + y) % 7 < 3)
                reference::setDot(page.pixels, page.bytesPerLine, x + (width - 576) / 2, y);
    return test::rasterStream({page}, mode);
}

// The app's server, under a name of its own so that its sub-commands reach
// it and no other, logging into its state folder.
class App : public ::testing::Test {
protected:
    void SetUp() override
    {
        close(listenLoopback(port_));
        const std::vector<std::string> args = {"server", "-o", "server-port=" + std::to_string(port_), "-o",
                                               "state-directory=" + dir_.path(), "-o", "log-file=" + dir_.file("log")};
        server_ = std::thread(&App::app, this, args);
        waitFor(dir_.file("log"), "Starting system.");
    }
    // The server acts on a shutdown once a connection wakes it.
    void TearDown() override
    {
        app({"shutdown"});
        run("/usr/bin/ipptool",
            {"ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print", "get-printer-attributes.test"});
        server_.join();
    }
    int app(std::vector<std::string> args) { return run(KORDANE_APP_PATH, std::move(args), name_); }
    // A printer of `driver` writing each job into a file of its own folder.
    std::string addPrinter(const std::string& name, const std::string& driver)
    {
        std::filesystem::create_directory(dir_.file(name));
        EXPECT_EQ(app({"add", "-d", name, "-m", driver, "-v", "folder://" + dir_.file(name)}), 0);
        return dir_.file(name);
    }
    // A Print-Job through ipptool, answered once the document is printed.
    int print(const std::string& printer, const std::string& file, const std::string& colour = "monochrome")
    {
        return run("/usr/bin/ipptool", {"-q", "-f", file, "-d", "color=" + colour,
                                        "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + printer,
                                        KORDANE_SOURCE_DIR "/tests/app/print_job.test"});
    }
    // The stream of a folder's job `n`, once the job is complete.
    Bytes job(const std::string& folder, int n)
    {
        waitFor(folder + "/job-000" + std::to_string(n) + ".png", "PNG");
        return slurp(folder + "/job-000" + std::to_string(n) + ".prn");
    }

    test::TempDir dir_;
    const std::string name_ = "kordane-app-test-" + std::to_string(getpid());
    int port_ = 0;
    std::thread server_;
};

std::size_t dots(const Bitmap& b, std::size_t fromByte = 0, std::size_t toByte = SIZE_MAX)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < b.data.size(); ++i)
        n += i % b.bytesPerLine >= fromByte && i % b.bytesPerLine < toByte ? std::popcount(b.data[i]) : 0;
    return n;
}

TEST_F(App, PrintsRastersAndPicturesAndEndsACancelledJobWithTheTrailer)
{
    const std::string mono = addPrinter("mono", "kordane_013"), two = addPrinter("two", "kordane_042");
    ASSERT_EQ(print("mono", dir_.write("page.pwg", ticket(639, CUPS_RASTER_WRITE_PWG))), 0);
    // A picture, red on its left half and black on its right, in two colours
    // as a PNG, then as a JPEG in monochrome with the page end stored for the
    // printer (a feed).
    const std::string picture = "1 0 0 setrgbcolor 20 20 180 80 rectfill 0 setgray 200 20 180 80 rectfill showpage";
    for (const auto& [file, device] : {std::pair{"pic.png", "-sDEVICE=png16m"}, std::pair{"pic.jpg", "-sDEVICE=jpeg"}})
        ASSERT_EQ(run("/usr/bin/gs", {"-q", device, "-g400x120", "-o", dir_.file(file), "-c", picture}), 0);
    ASSERT_EQ(print("two", dir_.file("pic.png"), "color"), 0);
    const DecodeResult colour = decodeStream(job(two, 1)); // printed before the page end changes
    ASSERT_EQ(app({"modify", "-d", "two", "-o", "page-end=feed"}), 0);
    ASSERT_EQ(print("two", dir_.file("pic.jpg")), 0);

    // The PWG raster page, as wide as the 80 mm roll, comes out as the
    // filter's bytes for the page at the printable 576 dots.
    const Bytes pwg = job(mono, 1);
    const test::FilterRun filter(test::filterArgs(), KORDANE_PPD_DIR "/krd013.ppd", ticket(576, CUPS_RASTER_WRITE));
    EXPECT_EQ(pwg, test::runFilter(filter).out);
    const DecodeResult page = decodeStream(pwg), grey = decodeStream(job(two, 2));
    for (const DecodeResult* r : {&page, &colour, &grey}) {
        ASSERT_TRUE(r->ok());
        EXPECT_EQ(concatenateImages(printedImages(r->commands)).bytesPerLine * 8, 576u);
        EXPECT_EQ(std::ranges::count(r->commands, CommandKind::Cut, &Command::kind), r == &grey ? 0 : 1);
    }
    // In two colours red dots only on the left of the paper, black dots only
    // on the right (the picture's middle blends the two); in monochrome no
    // second colour.
    const Bitmap first = concatenateImages(printedImages(colour.commands), Plane::First);
    const Bitmap second = concatenateImages(printedImages(colour.commands), Plane::Second);
    EXPECT_TRUE(dots(second) > 0 && dots(second, second.bytesPerLine * 5 / 8) == 0) << "red";
    EXPECT_TRUE(dots(first) > 0 && dots(first, 0, first.bytesPerLine * 3 / 8) == 0) << "black";
    EXPECT_TRUE(dots(concatenateImages(printedImages(grey.commands))) > 0 &&
                dots(concatenateImages(printedImages(grey.commands), Plane::Second)) == 0);

    // A hundred receipts, 17 MB of commands to a socket: far more than its
    // buffers hold, so the job is still printing when the cancel comes, and
    // ends on a whole command followed by the cancel trailer.
    int port = 0;
    const int listener = listenLoopback(port);
    ASSERT_EQ(app({"add", "-d", "wire", "-m", "kordane_013", "-v", "socket://127.0.0.1:" + std::to_string(port)}), 0);
    const std::vector pages(100, test::randomPage(639, 2373, 1));
    const std::string receipts = dir_.write("receipts.pwg", test::rasterStream(pages, CUPS_RASTER_WRITE_PWG));
    const auto sender = std::async(std::launch::async, [&] { return print("wire", receipts); });
    const int conn = accept(listener, nullptr, nullptr);
    Bytes got;
    std::uint8_t buf[65536];
    for (ssize_t n; (n = read(conn, buf, sizeof buf)) > 0; got.insert(got.end(), buf, buf + n))
        EXPECT_TRUE(!got.empty() || app({"cancel", "-d", "wire", "-a"}) == 0); // after the first bytes
    close(conn);
    close(listener);
    EXPECT_TRUE(std::string(got.begin(), got.end()).ends_with(std::string(720, '\0') + "\x1B@"));
    const DecodeResult cancelled = decodeStream(got);
    ASSERT_TRUE(cancelled.ok()) << cancelled.error->message;
    EXPECT_LT(printedImages(cancelled.commands).size(), 100u);
}

} // namespace
} // namespace kordane::preview
