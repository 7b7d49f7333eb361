// The printer application end to end: the real app on a loopback port with
// its own state folder, printers added with its own sub-commands, jobs sent
// with ipptool, and the bytes that arrive read back with the preview decoder.
#include <gtest/gtest.h>

#include <cups/raster.h>
#include <jpeglib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "preview/decoder.h"
#include "preview/page_image.h"
#include "preview/png_file.h"
#include "preview/render.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using namespace kordane::preview;

Bytes readFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

pid_t spawn(const std::vector<std::string>& args, int out = -1)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0) {
        posix_spawn_file_actions_adddup2(&actions, out, 1);
        posix_spawn_file_actions_adddup2(&actions, out, 2);
    }
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int run(const std::vector<std::string>& args)
{
    int status = -1;
    waitpid(spawn(args), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A loopback listening socket on a free port.
int listenLoopback(int& port)
{
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), len);
    listen(s, 4);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

// Blocks until `dir/name` exists (it is renamed into place when complete).
void waitForFile(const fs::path& dir, const std::string& name)
{
    int in = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(in, dir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    char events[4096];
    while (!fs::exists(dir / name))
        ASSERT_GT(read(in, events, sizeof events), 0);
    close(in);
}

// One 1-bit page: `height` lines of `width` dots, dot (x, y) set by `dot`.
using DotFn = std::function<bool(unsigned x, unsigned y)>;

void writeRaster(const fs::path& p, bool pwg, unsigned width, unsigned height, int pages, const DotFn& dot)
{
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t* r = cupsRasterOpen(fd, pwg ? CUPS_RASTER_WRITE_PWG : CUPS_RASTER_WRITE);
    cups_page_header2_t h{};
    if (pwg) {
        cupsRasterInitPWGHeader(&h, pwgMediaForPWG("om_receipt-80_80x297mm"), "black_1", 203, 203, "one-sided",
                                nullptr);
    } else {
        h.cupsWidth = width;
        h.cupsBitsPerColor = h.cupsBitsPerPixel = 1;
        h.cupsBytesPerLine = (width + 7) / 8;
        h.cupsColorSpace = CUPS_CSPACE_K;
        h.HWResolution[0] = h.HWResolution[1] = 203;
        h.NumCopies = 1;
    }
    h.cupsHeight = height;
    Bytes line(h.cupsBytesPerLine);
    const unsigned shift = (h.cupsWidth - width) / 2;
    for (int page = 0; page < pages; ++page) {
        cupsRasterWriteHeader2(r, &h);
        for (unsigned y = 0; y < height; ++y) {
            std::fill(line.begin(), line.end(), 0);
            for (unsigned x = 0; x < width; ++x)
                if (dot(x, y))
                    line[(x + shift) / 8] |= static_cast<std::uint8_t>(0x80 >> ((x + shift) % 8));
            cupsRasterWritePixels(r, line.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(r);
    close(fd);
}

// A picture: red on its left half, black on its right, white around.
Canvas picture()
{
    Canvas c{400, 120, std::vector<std::uint8_t>(400 * 120, InkPaper)};
    for (unsigned y = 20; y < 100; ++y)
        for (unsigned x = 20; x < 380; ++x)
            c.pixels[y * c.width + x] = x < 200 ? InkRed : InkBlack;
    return c;
}

void writeJpeg(const fs::path& p, const Canvas& canvas)
{
    std::FILE* f = std::fopen(p.c_str(), "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = canvas.width;
    c.image_height = canvas.height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    Bytes row(canvas.width * 3);
    for (unsigned y = 0; y < canvas.height; ++y) {
        for (unsigned x = 0; x < canvas.width; ++x) {
            const Rgb ink = palette()[canvas.at(x, y)];
            std::memcpy(&row[3 * x], &ink, 3);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

// Dots set in the byte columns [from, to) of every line; all columns by default.
std::size_t dotsIn(const Bitmap& b, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < b.data.size(); ++i)
        if (i % b.bytesPerLine >= from && i % b.bytesPerLine < to)
            n += static_cast<std::size_t>(__builtin_popcount(b.data[i]));
    return n;
}

bool hasCut(const std::vector<Command>& commands)
{
    return std::ranges::any_of(commands, [](const Command& c) { return c.kind == CommandKind::Cut; });
}

// The application, started under a name of its own so that its sub-commands
// reach this server and no other; its log is read as it comes.
class App : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kordane-app-XXXXXX";
        dir_ = mkdtemp(pattern);
        exe_ = (dir_ / ("kordane-app-test-" + std::to_string(getpid()))).string();
        fs::create_symlink(KORDANE_APP_PATH, exe_);
        int free = listenLoopback(port_);
        close(free);
        int pipeFds[2];
        ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
        server_ = spawn({exe_, "server", "-o", "state-directory=" + (dir_ / "state").string(), "-o",
                         "server-port=" + std::to_string(port_), "-o", "log-level=info"},
                        pipeFds[1]);
        close(pipeFds[1]);
        reader_ = std::thread([this, fd = pipeFds[0]] {
            char buf[4096];
            for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
                std::lock_guard lock(mutex_);
                log_.append(buf, static_cast<std::size_t>(n));
                logged_.notify_all();
            }
            close(fd);
        });
        std::unique_lock lock(mutex_);
        logged_.wait(lock, [this] { return log_.find("Starting system.") != std::string::npos; });
    }
    void TearDown() override
    {
        kill(server_, SIGTERM);
        waitpid(server_, nullptr, 0);
        reader_.join();
        fs::remove_all(dir_);
    }

    // A printer of `driver` writing into its own folder.
    fs::path addPrinter(const std::string& name, const std::string& driver)
    {
        fs::create_directories(dir_ / name);
        EXPECT_EQ(run({exe_, "add", "-d", name, "-m", driver, "-v", "folder://" + (dir_ / name).string()}), 0);
        return dir_ / name;
    }
    // ipptool sending a Print-Job; raster documents are printed as they
    // arrive, so the job's answer comes once the document is printed.
    pid_t startPrint(const std::string& printer, const fs::path& file, const std::string& colour = "monochrome")
    {
        return spawn({"/usr/bin/ipptool", "-q", "-f", file.string(), "-d", "color=" + colour,
                      "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + printer,
                      KORDANE_SOURCE_DIR "/tests/app/print_job.test"});
    }
    void print(const std::string& printer, const fs::path& file, const std::string& colour = "monochrome")
    {
        int status = -1;
        waitpid(startPrint(printer, file, colour), &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << file;
    }
    // The stream of the folder's job `n`, once the job is complete.
    Bytes job(const fs::path& folder, int n)
    {
        char name[32];
        std::snprintf(name, sizeof name, "job-%04d", n);
        waitForFile(folder, std::string(name) + ".png");
        return readFile(folder / (std::string(name) + ".prn"));
    }

    fs::path dir_;
    std::string exe_;
    int port_ = 0;
    pid_t server_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable logged_;
    std::string log_;
};

const DotFn kTicket = [](unsigned x, unsigned y) { return y >= 100 && y < 300 && (x + y) % 7 < 3; };

TEST_F(App, PagesPngAndJpegArriveAsPrinterCommands)
{
    const fs::path mono = addPrinter("mono", "kordane_013");
    const fs::path two = addPrinter("two", "kordane_042");
    writeRaster(dir_ / "page.pwg", true, 576, 2373, 1, kTicket);
    std::string error;
    ASSERT_TRUE(writePng((dir_ / "picture.png").string(), picture(), error));
    writeJpeg(dir_ / "picture.jpg", picture());

    // The PWG raster page, and the same page through the CUPS filter: the
    // same bytes, trimmed to its 200 lines at the full 576 dots, then cut.
    print("mono", dir_ / "page.pwg");
    const Bytes app = job(mono, 1);
    writeRaster(dir_ / "page.ras", false, 576, 2373, 1, kTicket);
    const std::string filter = std::string("PPD=" KORDANE_PPD_DIR "/krd013.ppd " KORDANE_FILTER_PATH
                                           " 1 user title 1 '' ") + (dir_ / "page.ras").string() + " > " +
                               (dir_ / "filter.prn").string() + " 2>/dev/null";
    ASSERT_EQ(std::system(filter.c_str()), 0);
    EXPECT_EQ(app, readFile(dir_ / "filter.prn"));
    const DecodeResult page = decodeStream(app);
    ASSERT_TRUE(page.ok());
    const auto images = printedImages(page.commands);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].widthDots, 576u);
    EXPECT_EQ(images[0].lines, 200u);
    EXPECT_TRUE(hasCut(page.commands));

    // The PNG in two colours: the red half in the second colour, the black
    // half in the first; in monochrome no second colour at all, and the
    // page end stored for the printer (a feed) in place of the cut.
    print("two", dir_ / "picture.png", "color");
    ASSERT_EQ(run({exe_, "modify", "-d", "two", "-o", "page-end=feed"}), 0);
    print("two", dir_ / "picture.png", "monochrome");
    print("mono", dir_ / "picture.jpg");
    const DecodeResult colour = decodeStream(job(two, 1));
    const DecodeResult grey = decodeStream(job(two, 2));
    const DecodeResult jpeg = decodeStream(job(mono, 2));
    for (const DecodeResult* r : {&colour, &grey, &jpeg}) {
        ASSERT_TRUE(r->ok());
        ASSERT_FALSE(printedImages(r->commands).empty());
        EXPECT_EQ(printedImages(r->commands)[0].widthDots, 576u);
        EXPECT_EQ(hasCut(r->commands), r != &grey);
    }
    const auto colourImages = printedImages(colour.commands);
    const Bitmap first = concatenateImages(colourImages, Plane::First);
    const Bitmap second = concatenateImages(colourImages, Plane::Second);
    EXPECT_TRUE(colourImages[0].twoColour);
    EXPECT_GT(dotsIn(second), 0u);
    EXPECT_GT(dotsIn(first), 0u);
    // Red dots only on the left of the paper, black dots only on the right
    // (the picture's middle blends the two).
    EXPECT_EQ(dotsIn(second, second.bytesPerLine * 5 / 8), 0u);
    EXPECT_EQ(dotsIn(first, 0, first.bytesPerLine * 3 / 8), 0u);
    EXPECT_EQ(dotsIn(concatenateImages(printedImages(grey.commands), Plane::Second)), 0u);
    EXPECT_GT(dotsIn(concatenateImages(printedImages(jpeg.commands), Plane::First)), 0u);
}

TEST_F(App, CancelledJobEndsWithTheCancelTrailer)
{
    int port = 0;
    const int listener = listenLoopback(port);
    ASSERT_EQ(run({exe_, "add", "-d", "wire", "-m", "kordane_013", "-v",
                   "socket://127.0.0.1:" + std::to_string(port)}),
              0);
    // A hundred receipts, 17 MB of commands: far more than the socket buffers
    // hold, so the job is still printing when the cancel comes.
    writeRaster(dir_ / "long.pwg", true, 576, 2373, 100, [](unsigned x, unsigned y) { return (x ^ y) % 5 == 0; });
    const pid_t sender = startPrint("wire", dir_ / "long.pwg");
    const int conn = accept(listener, nullptr, nullptr);
    Bytes got(4096);
    got.resize(static_cast<std::size_t>(read(conn, got.data(), got.size())));
    ASSERT_EQ(run({exe_, "cancel", "-d", "wire", "-a"}), 0);
    std::uint8_t buf[65536];
    for (ssize_t n; (n = read(conn, buf, sizeof buf)) > 0;)
        got.insert(got.end(), buf, buf + n);
    close(conn);
    close(listener);
    waitpid(sender, nullptr, 0);

    ASSERT_GT(got.size(), 722u);
    Bytes trailer(720, 0);
    trailer.insert(trailer.end(), {0x1B, 0x40});
    EXPECT_TRUE(std::equal(trailer.begin(), trailer.end(), got.end() - 722));
    const DecodeResult r = decodeStream(got);
    ASSERT_TRUE(r.ok()) << r.error->message;
    EXPECT_LT(printedImages(r.commands).size(), 100u);
}

} // namespace
