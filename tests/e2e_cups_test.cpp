// The filter in a real print queue: each test starts its own CUPS scheduler
// on 127.0.0.1 at a free port, with its own configuration, spool and filter
// directories (never the system's scheduler), adds a queue for a two-colour
// model from the generated PPD with a file: device, prints one job with lp
// and reads the printer stream back with the decoder. The images printed
// must be the raster CUPS fed the filter (captured with cupsfilter), trimmed
// of its blank lines above and below as the filter trims, plane by plane.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cups/raster.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "preview/decoder.h"
#include "preview/page_image.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"

namespace kordane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kModel = 42; // a two-colour model

std::string findProgram(const std::string& name)
{
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/local/bin", "/usr/local/sbin"}) {
        const std::string path = std::string(dir) + "/" + name;
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string readText(const std::string& path)
{
    const Bytes b = readFile(path);
    return {b.begin(), b.end()};
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

ProgramRun run(const std::string& program, std::vector<std::string> args, int timeoutMs = 60000)
{
    FilterRun r;
    r.program = findProgram(program);
    r.argv0 = program;
    r.args = std::move(args);
    (void)timeoutMs;
    if (r.program.empty())
        return {127, {}, program + " not found"};
    const FilterResult res = runFilter(r);
    return {res.exitStatus, {res.out.begin(), res.out.end()}, res.err};
}

int freePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (s >= 0)
            close(s);
        return -1;
    }
    close(s);
    return ntohs(a.sin_port);
}

// One page plane by plane: first colour (or monochrome) and second colour.
struct Planes {
    std::uint32_t bytesPerLine = 0;
    Bytes first, second;
};

// The raster's pages trimmed of the blank lines above and below their
// content (blank pages dropped), one below the other. A four-band line
// gives its fourth band as the first plane and the OR of the other three
// as the second; a 1-bit line is the first plane alone.
Planes trimmedRaster(const std::string& path, int* pages = nullptr)
{
    Planes p;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return p;
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    int n = 0;
    while (ras && cupsRasterReadHeader2(ras, &h)) {
        ++n;
        Bytes page(std::size_t{h.cupsBytesPerLine} * h.cupsHeight);
        if (!page.empty() && cupsRasterReadPixels(ras, page.data(), static_cast<unsigned>(page.size())) == 0)
            break;
        const std::uint32_t L = h.cupsBytesPerLine;
        const bool bands = h.cupsColorOrder == CUPS_ORDER_BANDED && h.cupsNumColors == 4;
        const std::uint32_t P = bands ? L / 4 : L;
        p.bytesPerLine = P;
        auto blank = [&](std::uint32_t y) {
            return std::all_of(page.begin() + std::ptrdiff_t(y) * L, page.begin() + std::ptrdiff_t(y + 1) * L,
                               [](std::uint8_t b) { return b == 0; });
        };
        std::uint32_t top = 0, bottom = h.cupsHeight;
        while (top < bottom && blank(top))
            ++top;
        while (bottom > top && blank(bottom - 1))
            --bottom;
        for (std::uint32_t y = top; y < bottom; ++y) {
            const auto line = page.begin() + std::ptrdiff_t(y) * L;
            for (std::uint32_t j = 0; j < P; ++j) {
                if (bands) {
                    p.first.push_back(line[3 * P + j]);
                    p.second.push_back(static_cast<std::uint8_t>(line[j] | line[P + j] | line[2 * P + j]));
                } else {
                    p.first.push_back(line[j]);
                    p.second.push_back(0);
                }
            }
        }
    }
    if (ras)
        cupsRasterClose(ras);
    close(fd);
    if (pages)
        *pages = n;
    return p;
}

// A private scheduler with one queue. Everything lives in one directory
// tree; the destructor stops the scheduler (and the child is told to stop
// should this process die first).
class PrivateCups {
public:
    PrivateCups()
    {
        root_ = dir_.path();
        chmod(root_.c_str(), 0755); // the filters run as lp
        for (const char* d : {"conf", "spool", "spool/tmp", "cache", "state", "log", "serverbin", "serverbin/filter",
                              "out", "jobs"})
            fs::create_directories(root_ + "/" + d);
        for (const fs::path& d : {fs::path(root_), fs::path(root_ + "/out"), fs::path(root_ + "/jobs")})
            fs::permissions(d, fs::perms(0755));
    }

    ~PrivateCups() { stop(); }
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    // Builds the tree, starts the scheduler and adds the queue. An empty
    // result means success; otherwise it says what failed.
    std::string start(const std::string& ppd)
    {
        const std::string system = "/usr/lib/cups";
        const std::string sb = root_ + "/serverbin";
        for (const char* d : {"backend", "cgi-bin", "daemon", "driver", "monitor", "notifier"})
            if (fs::exists(system + "/" + d))
                fs::create_directory_symlink(system + "/" + d, sb + "/" + d);
        for (const auto& f : fs::directory_iterator(system + "/filter"))
            fs::create_symlink(f.path(), sb + "/filter/" + f.path().filename().string());
        fs::copy_file(KORDANE_FILTER_PATH, sb + "/filter/rastertoKordane");
        fs::permissions(sb + "/filter/rastertoKordane", fs::perms(0755));

        port_ = freePort();
        if (port_ <= 0)
            return "no free port";
        host_ = "127.0.0.1:" + std::to_string(port_);
        writeText(root_ + "/cups-files.conf",
                  "ServerRoot " + root_ + "/conf\nRequestRoot " + root_ + "/spool\nTempDir " + root_ +
                      "/spool/tmp\nCacheDir " + root_ + "/cache\nStateDir " + root_ + "/state\nServerBin " + sb +
                      "\nDataDir /usr/share/cups\nErrorLog " + root_ + "/log/error_log\nAccessLog " + root_ +
                      "/log/access_log\nPageLog " + root_ + "/log/page_log\nPrintcap " + root_ +
                      "/printcap\nFileDevice Yes\n");
        writeText(root_ + "/cupsd.conf", "Listen " + host_ +
                                             "\nBrowsing No\nBrowseLocalProtocols none\nDefaultShared No\n"
                                             "WebInterface No\nLogLevel debug\nMaxLogSize 0\nDefaultAuthType None\n"
                                             "ErrorPolicy abort-job\n"
                                             "<Location />\n  Order allow,deny\n  Allow from 127.0.0.1\n</Location>\n"
                                             "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                             "    Allow from 127.0.0.1\n  </Limit>\n</Policy>\n");

        const std::string cupsd = findProgram("cupsd");
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int log = open((root_ + "/log/cupsd.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(log, 1);
            dup2(log, 2);
            execl(cupsd.c_str(), "cupsd", "-f", "-c", (root_ + "/cupsd.conf").c_str(), "-s",
                  (root_ + "/cups-files.conf").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ < 0)
            return "fork failed";
        bool up = false;
        for (int i = 0; i < 200 && !up; ++i) {
            std::this_thread::sleep_for(50ms);
            int st;
            if (waitpid(pid_, &st, WNOHANG) == pid_) {
                pid_ = -1;
                return "cupsd ended at once: " + readText(root_ + "/log/cupsd.out") + log();
            }
            up = run("lpstat", {"-h", host_, "-r"}).out.find("is running") != std::string::npos;
        }
        if (!up)
            return "cupsd did not answer on " + host_ + log();
        const ProgramRun add = run("lpadmin", {"-h", host_, "-p", "kordane", "-E", "-v", "file://" + output(), "-P", ppd});
        if (add.status != 0)
            return "lpadmin failed: " + add.err + log();
        return {};
    }

    void stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // Submits the file; returns the job id, or 0 with the reason in `error`.
    int submit(const std::string& file, const std::vector<std::string>& options, std::string& error)
    {
        std::vector<std::string> args{"-h", host_, "-d", "kordane", "-t", "e2e"};
        for (const std::string& o : options) {
            args.push_back("-o");
            args.push_back(o);
        }
        args.push_back(file);
        const ProgramRun r = run("lp", args);
        std::smatch m;
        if (r.status != 0 || !std::regex_search(r.out, m, std::regex("kordane-([0-9]+)"))) {
            error = "lp failed: " + r.out + r.err;
            return 0;
        }
        return std::stoi(m[1]);
    }

    // Waits until the job has left the scheduler's active jobs. Returns
    // the job's final message from the log ("completed", "canceled",
    // "aborted" or "timeout").
    std::string wait(int job, std::chrono::seconds limit = 60s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        const std::string tag = "[Job " + std::to_string(job) + "] ";
        while (std::chrono::steady_clock::now() < end) {
            const std::string l = readText(root_ + "/log/error_log");
            if (l.find(tag + "Job completed.") != std::string::npos)
                return "completed";
            const bool done = run("lpstat", {"-h", host_, "-W", "not-completed", "-o", "kordane"})
                                  .out.find("kordane-" + std::to_string(job) + " ") == std::string::npos;
            if (done && std::regex_search(l, std::regex(std::regex_replace(tag, std::regex(R"([\[\]])"), R"(\$&)") +
                                                        "(Job canceled|.*[Cc]anceled by)")))
                return "canceled";
            if (done && l.find(tag + "Job aborted") != std::string::npos)
                return "aborted";
            if (done && l.find(tag) != std::string::npos &&
                l.find(tag + "End of messages") != std::string::npos)
                return "ended";
            std::this_thread::sleep_for(50ms);
        }
        return "timeout";
    }

    // The scheduler's log lines about one job.
    std::string jobLog(int job) const
    {
        std::istringstream in(readText(root_ + "/log/error_log"));
        const std::string tag = "[Job " + std::to_string(job) + "] ";
        std::string line, lines;
        while (std::getline(in, line))
            if (line.find(tag) != std::string::npos)
                lines += line + "\n";
        return lines;
    }

    // The last lines of the scheduler's log, for failure messages.
    std::string log() const
    {
        const std::string l = readText(root_ + "/log/error_log");
        return "\n--- scheduler log (end) ---\n" + l.substr(l.size() > 6000 ? l.size() - 6000 : 0);
    }

    std::string output() const { return root_ + "/out/job.prn"; }
    const std::string& root() const { return root_; }
    const std::string& host() const { return host_; }

private:
    TempDir dir_;
    std::string root_, host_;
    int port_ = 0;
    pid_t pid_ = -1;
};

class CupsQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* p : {"cupsd", "lp", "lpadmin", "lpstat", "cancel", "cupsfilter", "gs"})
            if (findProgram(p).empty()) {
                if (geteuid() == 0)
                    FAIL() << p << " is missing: scripts/install-deps.sh installs the CUPS packages";
                GTEST_SKIP() << p << " is missing and this is not root: run scripts/install-deps.sh as root";
            }
        ppd_ = generatedPpd();
        ASSERT_FALSE(ppd_.empty()) << "no PPD for model " << kModel;
        const std::string error = cups_.start(ppd_);
        ASSERT_TRUE(error.empty()) << error;
    }

    // The model's PPD from the build tree, or compiled here from the driver
    // file when the build has not made it.
    std::string generatedPpd()
    {
        char name[32];
        std::snprintf(name, sizeof name, "krd%03d.ppd", kModel);
        const std::string built = std::string(KORDANE_BINARY_DIR) + "/ppd/" + name;
        if (fs::exists(built))
            return built;
        const std::string dir = cups_.root() + "/ppd";
        run("ppdc", {"-D", "KORDANE_VERSION=test", "-d", dir, std::string(KORDANE_SOURCE_DIR) + "/ppd/kordane.drv"});
        return fs::exists(dir + "/" + name) ? dir + "/" + name : std::string();
    }

    // The raster CUPS's chain makes of the file for this queue's PPD.
    std::string capture(const std::string& file, const std::vector<std::string>& options, const std::string& as)
    {
        std::vector<std::string> args{"-c", cups_.root() + "/cups-files.conf", "-p", ppd_, "-m",
                                      "application/vnd.cups-raster"};
        for (const std::string& o : options) {
            args.push_back("-o");
            args.push_back(o);
        }
        args.push_back(file);
        const ProgramRun r = run("cupsfilter", args);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string path = cups_.root() + "/jobs/" + as;
        std::ofstream(path, std::ios::binary) << r.out;
        return path;
    }

    // Prints the file and returns the printer stream.
    Bytes print(const std::string& file, const std::vector<std::string>& options, const std::string& expectEnd = "completed")
    {
        std::string error;
        const int job = cups_.submit(file, options, error);
        lastJob_ = job;
        EXPECT_GT(job, 0) << error;
        if (job <= 0)
            return {};
        const std::string end = cups_.wait(job);
        EXPECT_EQ(end, expectEnd) << cups_.log();
        return readFile(cups_.output());
    }

    // The stream decodes whole and prints exactly the trimmed raster.
    void expectImagesOf(const Bytes& stream, const std::string& raster)
    {
        const preview::DecodeResult d = preview::decodeStream(stream);
        ASSERT_TRUE(d.ok()) << "offset " << d.error->offset << ": " << d.error->message;
        const Planes want = trimmedRaster(raster);
        ASSERT_GT(want.first.size(), 0u) << "the raster is blank";
        const auto images = preview::printedImages(d.commands);
        const preview::Bitmap first = preview::concatenateImages(images, preview::Plane::First);
        const preview::Bitmap second = preview::concatenateImages(images, preview::Plane::Second);
        EXPECT_EQ(first.bytesPerLine, want.bytesPerLine);
        EXPECT_EQ(first.lines * std::size_t{first.bytesPerLine}, want.first.size());
        EXPECT_TRUE(first.data == want.first) << "first colour differs from the raster";
        EXPECT_TRUE(second.data == want.second) << "second colour differs from the raster";
        EXPECT_EQ(stream.size() >= 2 ? toHex(stream, 0, 2) : "", "1B 40");
    }

    std::string sample() const { return std::string(KORDANE_SOURCE_DIR) + "/samples/receipt.pdf"; }

    PrivateCups cups_;
    std::string ppd_;
    int lastJob_ = 0;
};

bool hasRed(const std::string& raster)
{
    const Planes p = trimmedRaster(raster);
    return std::any_of(p.second.begin(), p.second.end(), [](std::uint8_t b) { return b != 0; });
}

// The sample PDF in monochrome and in two colours, and a PNG of it at the
// printer's resolution, each through one queue.
TEST_F(CupsQueue, SampleDocumentsPrintTheRasterCupsMakes)
{
    const std::string png = cups_.root() + "/jobs/receipt.png";
    const ProgramRun gs = run("gs", {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=png16m", "-r203",
                              "-sOutputFile=" + png, sample()});
    ASSERT_EQ(gs.status, 0) << gs.err;
    struct Case {
        std::string file;
        std::vector<std::string> options;
        bool red;
    };
    for (const Case& c : {Case{sample(), {"ColorModel=1"}, false}, Case{sample(), {"ColorModel=0"}, true},
                          Case{png, {"ColorModel=0", "ppi=203", "orientation-requested=3"}, true}}) {
        SCOPED_TRACE(c.file + " " + c.options[0]);
        const std::string raster = capture(c.file, c.options, "capture.ras");
        EXPECT_EQ(hasRed(raster), c.red) << "the sample's red parts reach the second colour in two colours only";
        expectImagesOf(print(c.file, c.options), raster);
    }
}

TEST_F(CupsQueue, TextJobWithLogoOptions)
{
    const std::string text = "KORDANE CAFE\n2 x Espresso    5.00\nTOTAL          19.50\n";
    const std::string file = cups_.root() + "/jobs/note.txt";
    writeText(file, text);
    const Bytes stream = print(file, {"LogoPosition=3", "LogoImage=1", "LogoJustification=1"});
    const preview::DecodeResult d = preview::decodeStream(stream);
    ASSERT_TRUE(d.ok()) << "offset " << d.error->offset << ": " << d.error->message;
    // The text's bytes, between a stored logo above and one below.
    std::string printed;
    std::vector<std::size_t> logos, texts;
    for (std::size_t i = 0; i < d.commands.size(); ++i) {
        const preview::Command& c = d.commands[i];
        if (c.kind == preview::CommandKind::Text) {
            printed.append(c.data.begin(), c.data.end());
            texts.push_back(i);
        }
        if (c.kind == preview::CommandKind::LineFeed && !texts.empty() && logos.size() == 1)
            printed += '\n';
        if (c.kind == preview::CommandKind::NvGraphics || c.kind == preview::CommandKind::NvBitImage)
            logos.push_back(i);
    }
    EXPECT_EQ(printed.substr(0, text.size()), text);
    ASSERT_EQ(logos.size(), 2u);
    ASSERT_FALSE(texts.empty());
    EXPECT_LT(logos[0], texts.front());
    EXPECT_GT(logos[1], texts.back());
    EXPECT_TRUE(preview::printedImages(d.commands).empty());
}

TEST_F(CupsQueue, RasterFileSubmittedDirectly)
{
    // The raster is the spool file itself: the filter is the whole chain
    // and finds the raster in its file argument.
    const std::string raster = capture(sample(), {"ColorModel=0"}, "direct.ras");
    expectImagesOf(print(raster, {"ColorModel=0"}), raster);
    const std::string log = cups_.jobLog(lastJob_);
    EXPECT_NE(log.find("Started filter " + cups_.root() + "/serverbin/filter/rastertoKordane"), std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n') > 0 && log.find("Started filter") == log.rfind("Started filter"),
              true)
        << "the filter should be the only one:\n"
        << log;
}

// A PDF of many pages of black and red bars, slow enough to rasterise that
// the job is still printing when it is cancelled.
std::string longPdf(int pages)
{
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    auto object = [&](const std::string& body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    std::string kids;
    for (int i = 0; i < pages; ++i)
        kids += std::to_string(3 + 2 * i) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    for (int i = 0; i < pages; ++i) {
        std::string content;
        for (int bar = 0; bar < 40; ++bar)
            content += (bar % 3 ? "0 0 0 rg " : "1 0 0 rg ") + std::to_string(10 + (bar * 37 + i * 11) % 150) + " " +
                       std::to_string(10 + bar * 12) + " " + std::to_string(20 + (bar * 13) % 40) + " 8 re f\n";
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 204.3 500] /Contents " + std::to_string(4 + 2 * i) +
               " 0 R >>");
        object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t o : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

TEST_F(CupsQueue, JobCancelledWhilePrinting)
{
    const std::string file = cups_.root() + "/jobs/long.pdf";
    writeText(file, longPdf(400));
    std::string error;
    const int job = cups_.submit(file, {"ColorModel=0"}, error);
    ASSERT_GT(job, 0) << error;

    // Cancel once the filter has printed its first page.
    const std::string page = "[Job " + std::to_string(job) + "] TQ4 DEBUG MESG: PAGE: 1 ";
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (readText(cups_.root() + "/log/error_log").find(page) == std::string::npos &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    ASSERT_NE(readText(cups_.root() + "/log/error_log").find(page), std::string::npos) << cups_.log();
    const ProgramRun c = run("cancel", {"-h", cups_.host(), std::to_string(job)});
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(cups_.wait(job), "canceled") << cups_.log();

    // The filter ends its stream with whole commands, then 720 × 00 and ESC @.
    Bytes stream = readFile(cups_.output());
    for (int i = 0; i < 100 && (stream.size() < 722 || stream.back() != 0x40); ++i) {
        std::this_thread::sleep_for(50ms);
        stream = readFile(cups_.output());
    }
    ASSERT_GE(stream.size(), 724u);
    EXPECT_BYTES(concat(repeat(0x00, 720), hex("1B40")), Bytes(stream.end() - 722, stream.end()));
    const preview::DecodeResult d = preview::decodeStream(stream);
    ASSERT_TRUE(d.ok()) << "offset " << d.error->offset << ": " << d.error->message;
    const auto images = preview::printedImages(d.commands);
    EXPECT_FALSE(images.empty());
    const std::string log = cups_.jobLog(job);
    int pages = 0;
    for (std::size_t at = 0; (at = log.find("TQ4 DEBUG MESG: PAGE:", at)) != std::string::npos; ++at)
        ++pages;
    EXPECT_LT(pages, 400) << "the job was not cancelled while printing";
}

} // namespace
} // namespace kordane::test
