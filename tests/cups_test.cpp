// The PPDs and the installed filter with CUPS.
//
// Ppd reads the PPDs that ppdc builds from ppd/kordane.drv through libcups,
// one per model of the model table. CupsQueue stages `cmake --install` with
// prefix /usr (as the package does), checks the staged PPDs with cupstestppd
// and starts one private scheduler (configuration, spool, logs and a Unix
// socket in a temporary directory, never the system's) whose server
// directory is the staged one and whose model directory holds the staged
// PPDs. Its driver listing must show every model once, and a queue made from
// a listed PPD prints several jobs to a FIFO that the test reads as the
// printer would. Each printout must be the raster CUPS's own filters make of
// the job (captured with cupsfilter), trimmed of the blank lines above and
// below as the filter trims, plane by plane.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// libcups marks its PPD interface as deprecated; the filter reads its
// settings through it, so the test reads the PPDs the same way.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>
#include <cups/raster.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <thread>

#include "core/model_table.h"
#include "core/page_state.h"
#include "filter/settings.h"
#include "preview/decoder.h"
#include "preview/page_image.h"
#include "support/bytes.h"
#include "support/filter_runner.h"
#include "support/ppd_writer.h"

namespace kordane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The raster header the PPD asks for with the job options, in short.
std::string rasterFor(ppd_file_t* ppd, const std::string& options)
{
    ppdMarkDefaults(ppd);
    cups_option_t* opts = nullptr;
    const int n = cupsParseOptions(options.c_str(), 0, &opts);
    cupsMarkOptions(ppd, n, opts);
    cups_page_header2_t h{};
    EXPECT_EQ(cupsRasterInterpretPPD(&h, ppd, n, opts, nullptr), 0) << options << ": " << cupsLastErrorString();
    cupsFreeOptions(n, opts);
    char s[256];
    std::snprintf(s, sizeof s, "%ux%u dpi, space %d order %d, %u bit %u bpp, %u dots %u bytes, compression %u %s",
                  h.HWResolution[0], h.HWResolution[1], h.cupsColorSpace, h.cupsColorOrder, h.cupsBitsPerColor,
                  h.cupsBitsPerPixel, h.cupsWidth, h.cupsBytesPerLine, h.cupsCompression, h.cupsPageSizeName);
    return s;
}

// The settings the filter's own reader takes from the PPD alone.
std::vector<int> settings(const std::string& ppd)
{
    PrintSettings s{};
    PageState state{};
    EXPECT_EQ(initializeSettings(ppd.c_str(), "", s, state), SettingsResult::Supported);
    return {s.model_number, s.PageSize,     s.PageType,          s.Rotation,  s.FocusArea, s.CompPrinting,
            s.ColorModel,   s.LogoPosition, s.LogoJustification, s.LogoImage, s.LogoWidth, s.LineFeed,
            s.PageCut,      s.CashDrawer,   s.CashDrawerOpen,    s.CashDrawer1PulseWidth,  s.CashDrawer2PulseWidth};
}

TEST(Ppd, EveryModelOffersWhatTheFilterReadsWithItsDefaultsRastersAndSizes)
{
    // The imageable width in dots of each page size; 95 and 100 are only
    // for the models that reduce wide pages.
    const std::map<std::string, unsigned> widths = {
        {"1", 576},   {"2", 576},   {"3", 384},   {"4", 384},   {"56", 576},  {"75", 576},   {"94", 576},
        {"110", 576}, {"111", 384}, {"112", 384}, {"138", 384}, {"139", 384}, {"95", 1728}, {"100", 1152}};
    for (const ModelInfo& m : allModels()) {
        char path[512];
        std::snprintf(path, sizeof path, "%s/krd%03d.ppd", KORDANE_PPD_DIR, m.number);
        SCOPED_TRACE(path);
        ppd_file_t* ppd = ppdOpenFile(path);
        ASSERT_NE(ppd, nullptr);
        EXPECT_EQ(ppd->model_number, m.number);
        EXPECT_STREQ(ppd->manufacturer, "Kordane");
        EXPECT_EQ(std::string(ppd->nickname).rfind("Kordane " + std::to_string(m.number) + " ", 0), 0u);
        EXPECT_EQ(ppd->color_device != 0, m.twoColour);
        EXPECT_EQ(std::set<std::string>(ppd->filters, ppd->filters + ppd->num_filters),
                  (std::set<std::string>{"application/vnd.cups-raster 0 rastertoKordane",
                                         "text/plain 0 rastertoKordane"}));

        // Exactly the options the filter reads, besides the two CUPS needs;
        // every choice keyword is the number the filter takes from it, with
        // a text of its own.
        std::set<std::string> want = {"PageSize", "PageType", "Rotation", "LogoPosition", "LogoImage", "LogoWidth",
                                      "LogoJustification", "LineFeed", "PageRegion", "Resolution"}, offered;
        if (!m.isFixedFeed())
            want.insert("FocusArea");
        if (m.compresses())
            want.insert("CompPrinting");
        if (m.options == OptionSet::All)
            want.insert({"ColorModel", "PageCut"});
        if (m.options != OptionSet::MonoFixed)
            want.insert({"CashDrawer", "CashDrawerOpen", "CashDrawer1PulseWidth", "CashDrawer2PulseWidth"});
        for (ppd_option_t* o = ppdFirstOption(ppd); o; o = ppdNextOption(ppd)) {
            offered.insert(o->keyword);
            std::set<std::string> texts;
            for (const ppd_choice_t& c : std::span(o->choices, o->num_choices))
                EXPECT_TRUE((c.choice == std::to_string(std::atoi(c.choice)) || o->keyword == std::string("Resolution"))
                            && c.choice != std::string(c.text) && texts.insert(c.text).second)
                    << o->keyword << " " << c.choice << "/" << c.text;
        }
        EXPECT_EQ(offered, want);

        // The defaults, as the filter's own settings reader takes them: trim,
        // compress, waste no paper, cut with the models that cut.
        const int cut = m.options == OptionSet::All ? 2 : 0, pulse = m.options == OptionSet::MonoFixed ? 0 : 100;
        EXPECT_EQ(settings(path), (std::vector<int>{m.number, 94, 0, 0, 0, m.compresses(),
                                                     m.options != OptionSet::DrawerOnly, 0, 1, 0, 0, 0, cut, 0, 0,
                                                     pulse, pulse}));

        // ColorModel 0 gives the two-colour models the four-band raster of
        // one bit per colour; every other choice a one-bit black raster.
        const auto mono = [](unsigned dots, const std::string& size) {
            return "203x203 dpi, space 3 order 0, 1 bit 1 bpp, " + std::to_string(dots) + " dots " +
                   std::to_string(dots / 8) + " bytes, compression 0 " + size;
        };
        ppd_option_t* colour = ppdFindOption(ppd, "ColorModel");
        EXPECT_EQ(ppdFindChoice(colour, "0") != nullptr, m.twoColour);
        for (int i = -1; i < (colour ? colour->num_choices : 0); ++i) {
            const std::string choice = i < 0 ? "" : colour->choices[i].choice;
            EXPECT_EQ(rasterFor(ppd, choice.empty() ? "" : "ColorModel=" + choice),
                      m.twoColour && choice == "0"
                          ? "203x203 dpi, space 6 order 1, 1 bit 1 bpp, 576 dots 288 bytes, compression 0 94"
                          : mono(576, "94"));
        }

        // The sizes, each with its width and dimensions of its own; a
        // quarter turn fits the short ones (1 to 4) on the roll.
        std::set<std::string> names, wanted;
        for (const auto& [name, width] : widths)
            if (m.sizeReduction || width <= 576)
                wanted.insert(name);
        std::set<std::pair<long, long>> dimensions;
        for (const ppd_size_t& size : std::span(ppd->sizes, ppd->num_sizes)) {
            names.insert(size.name);
            EXPECT_TRUE(dimensions.insert({std::lround(size.width * 100), std::lround(size.length * 100)}).second)
                << size.name;
            EXPECT_EQ(rasterFor(ppd, std::string("PageSize=") + size.name), mono(widths.at(size.name), size.name));
            EXPECT_TRUE(std::atoi(size.name) > 4 || std::lround((size.top - size.bottom) * 203 / 72) <= 576)
                << size.name;
        }
        EXPECT_EQ(names, wanted);
        ppdClose(ppd);
    }
}

// Far beyond what any step of a correct run takes on a loaded machine.
constexpr auto kDeadline = 5min;

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Runs a program found on the path, sbin included, with "-o" before each
// option. The result's text is its output and error output.
FilterResult run(std::vector<std::string> args, const std::vector<std::string>& options = {})
{
    FilterRun r;
    r.program = "/usr/bin/env";
    r.argv0 = "env";
    for (const std::string& o : options)
        args.insert(args.end(), {"-o", o});
    r.args = std::move(args);
    r.env = {{"PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"}};
    return runFilter(r);
}

std::string text(const FilterResult& r) { return std::string(r.out.begin(), r.out.end()) + r.err; }

// Polls until the condition holds; false if the deadline passes first.
bool eventually(const std::function<bool()>& done)
{
    for (const auto end = std::chrono::steady_clock::now() + kDeadline; !done(); std::this_thread::sleep_for(20ms))
        if (std::chrono::steady_clock::now() > end)
            return false;
    return true;
}

// The raster's pages without the blank lines above and below their content,
// one below the other: the first colour (the K band of a four-band line, or
// the whole 1-bit line) and the second (the OR of the C, M and Y bands).
struct Planes {
    std::uint32_t bytesPerLine = 0;
    Bytes first, second;
};

Planes trimmedRaster(const std::string& path)
{
    Planes p;
    const int fd = open(path.c_str(), O_RDONLY);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    while (ras && cupsRasterReadHeader2(ras, &h)) {
        const std::uint32_t L = h.cupsBytesPerLine;
        Bytes page(std::size_t{L} * h.cupsHeight);
        if (cupsRasterReadPixels(ras, page.data(), static_cast<unsigned>(page.size())) == 0)
            break;
        const bool bands = h.cupsColorOrder == CUPS_ORDER_BANDED && h.cupsNumColors == 4;
        const std::uint32_t P = p.bytesPerLine = bands ? L / 4 : L;
        const auto line = [&](std::uint32_t y) { return page.begin() + std::ptrdiff_t(y) * L; };
        const auto blank = [&](std::uint32_t y) { return std::all_of(line(y), line(y + 1), [](int b) { return !b; }); };
        std::uint32_t top = 0, bottom = h.cupsHeight;
        while (top < bottom && blank(top))
            ++top;
        while (bottom > top && blank(bottom - 1))
            --bottom;
        for (std::uint32_t y = top; y < bottom; ++y)
            for (std::uint32_t j = 0; j < P; ++j) {
                p.first.push_back(line(y)[bands ? 3 * P + j : j]);
                p.second.push_back(bands ? line(y)[j] | line(y)[P + j] | line(y)[2 * P + j] : 0);
            }
    }
    cupsRasterClose(ras);
    close(fd);
    return p;
}

// Starts a private scheduler with its files in root, listening on the socket
// root/cups.sock, with the FIFO root/printer for a printer.
pid_t startScheduler(const std::string& root, const std::string& serverBin, const std::string& dataDir)
{
    for (const char* d : {"conf", "spool/tmp", "cache", "state", "log"})
        fs::create_directories(root + "/" + d);
    std::ofstream(root + "/cups-files.conf")
        << "ServerRoot " << root << "/conf\nRequestRoot " << root << "/spool\nTempDir " << root
        << "/spool/tmp\nCacheDir " << root << "/cache\nStateDir " << root << "/state\nServerBin " << serverBin
        << "\nDataDir " << dataDir << "\nErrorLog " << root << "/log/error_log\nAccessLog " << root
        << "/log/access_log\nPageLog " << root << "/log/page_log\nPrintcap " << root << "/printcap\nFileDevice Yes\n";
    std::ofstream(root + "/cupsd.conf")
        << "Listen " << root << "/cups.sock\nBrowsing No\nBrowseLocalProtocols none\nDefaultShared No\n"
        << "WebInterface No\nLogLevel debug\nMaxLogSize 0\nDefaultAuthType None\nErrorPolicy abort-job\n"
        << "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n</Policy>\n";
    mkfifo((root + "/printer").c_str(), 0600);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // should the test process die first
        const int log = open((root + "/log/cupsd.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, 1);
        dup2(log, 2);
        execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (root + "/cupsd.conf").c_str(), "-s",
              (root + "/cups-files.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Prints the file on the scheduler's queue Q and reads what the printer
// receives until the filter closes the FIFO. `midway` runs once 16 KiB have
// come, while the filter waits for the printer to take more. Returns the
// scheduler's log lines about the job once it has ended.
std::string print(const std::string& root, const std::string& file, const std::vector<std::string>& options,
                  Bytes& stream, std::function<void(int)> midway = {})
{
    const int fd = open((root + "/printer").c_str(), O_RDONLY | O_NONBLOCK);
    const std::string said = text(run({"lp", "-h", root + "/cups.sock", "-d", "Q", file}, options));
    std::smatch m;
    const int job = std::regex_search(said, m, std::regex("Q-([0-9]+)")) ? std::stoi(m[1]) : 0;
    const auto ended = [&] {
        return text(run({"lpstat", "-h", root + "/cups.sock", "-W", "completed", "-o", "Q"}))
                   .find("Q-" + std::to_string(job) + " ") != std::string::npos;
    };
    stream.clear();
    std::uint8_t buf[4096];
    bool more = job > 0;
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (more && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) { // nothing yet: has the job ended without printing?
            more = !stream.empty() || !ended();
            continue;
        }
        const ssize_t n = read(fd, buf, sizeof buf);
        more = n != 0;
        stream.insert(stream.end(), buf, buf + std::max<ssize_t>(n, 0));
        if (midway && stream.size() >= 16384)
            std::exchange(midway, {})(job);
    }
    close(fd);
    if (job <= 0 || more || !eventually(ended))
        return "job " + std::to_string(job) + " did not end: " + said;
    std::istringstream in(readText(root + "/log/error_log"));
    std::string lines;
    for (std::string line; std::getline(in, line);)
        if (line.find("[Job " + std::to_string(job) + "] ") != std::string::npos)
            lines += line + "\n";
    return lines;
}

// The stream decodes whole and prints exactly the trimmed raster.
void expectImagesOf(const Bytes& stream, const std::string& raster)
{
    const preview::DecodeResult d = preview::decodeStream(stream);
    ASSERT_TRUE(d.ok()) << "offset " << d.error->offset << ": " << d.error->message;
    const Planes want = trimmedRaster(raster);
    ASSERT_FALSE(want.first.empty()) << "the raster is blank";
    const auto images = preview::printedImages(d.commands);
    const preview::Bitmap first = preview::concatenateImages(images, preview::Plane::First);
    EXPECT_EQ(first.bytesPerLine, want.bytesPerLine);
    EXPECT_TRUE(first.data == want.first) << "first colour differs from the raster";
    EXPECT_TRUE(preview::concatenateImages(images, preview::Plane::Second).data == want.second)
        << "second colour differs from the raster";
    EXPECT_EQ(toHex(stream, 0, 2), "1B 40");
}

TEST(CupsQueue, PrintsEveryKindOfJobFromTheStagedInstall)
{
    TempDir dir;
    const std::string root = dir.path(), sock = root + "/cups.sock", stage = root + "/stage";
    const std::string serverBin = stage + KORDANE_CUPS_SERVERBIN, ppds = stage + "/usr/share/ppd/kordane";
    fs::permissions(root, fs::perms(0755)); // the filters run as lp

    // The staged install, and cupstestppd on its PPDs with its filter.
    const FilterResult install =
        run({"env", "DESTDIR=" + stage, "cmake", "--install", KORDANE_BINARY_DIR, "--prefix", "/usr"});
    ASSERT_EQ(install.exitStatus, 0) << text(install);
    const FilterResult tested = run({"sh", "-c", KORDANE_CUPSTESTPPD " -R " + stage + " " + ppds + "/*.ppd"});
    const std::string report = text(tested);
    EXPECT_EQ(tested.exitStatus, 0) << report;
    const std::regex warning("WARN.*"), accepted("should be the Adobe standard name|CashDrawer shares a common prefix");
    for (std::sregex_iterator w(report.begin(), report.end(), warning), end; w != end; ++w)
        EXPECT_TRUE(std::regex_search(w->str(), accepted)) << w->str();

    // The scheduler: the staged server directory with the system's filters,
    // backends and helpers linked in; the system's data directory, except
    // that model/ holds only the staged PPDs.
    const auto link = [](const fs::path& from, const fs::path& dir) {
        if (!fs::exists(dir / from.filename()))
            fs::create_symlink(from, dir / from.filename());
    };
    for (const auto& e : fs::directory_iterator(KORDANE_CUPS_SERVERBIN))
        if (e.path().filename() != "filter")
            link(e.path(), serverBin);
        else
            for (const auto& f : fs::directory_iterator(e.path()))
                link(f.path(), serverBin + "/filter");
    fs::create_directories(root + "/data/model");
    for (const auto& e : fs::directory_iterator("/usr/share/cups"))
        if (e.path().filename() != "model" && e.path().filename() != "drv")
            link(e.path(), root + "/data");
    fs::create_symlink(ppds, root + "/data/model/kordane");
    struct Scheduler {
        pid_t pid;
        bool running() const { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }
        ~Scheduler()
        {
            if (running() && kill(pid, SIGTERM) == 0)
                waitpid(pid, nullptr, 0);
        }
    } cupsd{startScheduler(root, serverBin, root + "/data")};
    const auto answers = [&] {
        return text(run({"lpstat", "-h", sock, "-r"})).find(" is running") != std::string::npos;
    };
    ASSERT_TRUE(eventually([&] { return !cupsd.running() || answers(); }) && cupsd.running())
        << readText(root + "/log/cupsd.out") << readText(root + "/log/error_log");

    // Every model listed once, from its own PPD.
    const std::string listing = "\n" + text(run({"lpinfo", "-h", sock, "-m"}));
    for (const ModelInfo& model : allModels()) {
        char line[64];
        std::snprintf(line, sizeof line, "\nkordane/krd%03d.ppd Kordane %d ", model.number, model.number);
        EXPECT_TRUE(listing.find(line) != std::string::npos && listing.find(line) == listing.rfind(line)) << line;
    }
    const std::regex entry("\nkordane/");
    EXPECT_EQ(std::distance(std::sregex_iterator(listing.begin(), listing.end(), entry), {}), 46) << listing;

    // A two-colour model's queue, from the listing.
    const FilterResult added =
        run({"lpadmin", "-h", sock, "-p", "Q", "-E", "-v", "file://" + root + "/printer", "-m", "kordane/krd042.ppd"});
    ASSERT_EQ(added.exitStatus, 0) << text(added);

    // The sample in monochrome and in two colours, as a PNG at the printer's
    // resolution, and its two-colour raster submitted as it is: then the
    // filter alone reads the spool file.
    const std::string pdf = std::string(KORDANE_SOURCE_DIR) + "/samples/receipt.pdf", png = root + "/receipt.png";
    const FilterResult gs =
        run({"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=png16m", "-r203", "-sOutputFile=" + png, pdf});
    ASSERT_EQ(gs.exitStatus, 0) << text(gs);
    const std::tuple<std::string, std::vector<std::string>, bool, bool> jobs[] = {
        {pdf, {"ColorModel=1"}, false, false},
        {pdf, {"ColorModel=0"}, true, false},
        {png, {"ColorModel=0", "ppi=203", "orientation-requested=3"}, true, false},
        {root + "/job1.ras", {"ColorModel=0"}, true, true}};
    Bytes stream;
    std::size_t twoColourSize = 0, i = 0;
    for (const auto& [file, options, red, alone] : jobs) {
        SCOPED_TRACE(file + " " + options[0]);
        const FilterResult made = run({"cupsfilter", "-c", root + "/cups-files.conf", "-p", ppds + "/krd042.ppd", "-m",
                                       "application/vnd.cups-raster", file}, options);
        ASSERT_EQ(made.exitStatus, 0) << made.err;
        const std::string raster = dir.write("job" + std::to_string(i++) + ".ras", made.out);
        const Planes planes = trimmedRaster(raster);
        EXPECT_EQ(std::any_of(planes.second.begin(), planes.second.end(), [](int b) { return b; }), red);

        const std::string log = print(root, file, options, stream);
        EXPECT_NE(log.find("] Job completed."), std::string::npos) << log;
        EXPECT_NE(log.find("Started filter " + serverBin + "/filter/rastertoKordane"), std::string::npos) << log;
        EXPECT_EQ(log.find("Started filter") == log.rfind("Started filter"), alone) << log;
        expectImagesOf(stream, raster);
        twoColourSize = twoColourSize ? twoColourSize : red * stream.size();
    }

    // A text job: its lines between a stored logo above and one below.
    const std::string note = "KORDANE CAFE\n2 x Espresso    5.00\nTOTAL          19.50\n";
    const std::string log =
        print(root, dir.write("note.txt", note), {"LogoPosition=3", "LogoImage=1", "LogoJustification=1"}, stream);
    EXPECT_NE(log.find("] Job completed."), std::string::npos) << log;
    const preview::DecodeResult d = preview::decodeStream(stream);
    ASSERT_TRUE(d.ok()) << "offset " << d.error->offset << ": " << d.error->message;
    std::string printed;
    for (const preview::Command& c : d.commands) {
        using enum preview::CommandKind;
        printed += c.kind == Text       ? std::string(c.data.begin(), c.data.end())
                   : c.kind == LineFeed ? "\n"
                   : c.kind == NvGraphics || c.kind == NvBitImage ? "<logo>" : "";
    }
    EXPECT_TRUE(std::regex_match(printed, std::regex("<logo>\n*" + note + "\n*<logo>\n*"))) << printed;
    EXPECT_TRUE(preview::printedImages(d.commands).empty());

    // Three copies of the two-colour sample, cancelled while the filter
    // waits for the printer to take more: it ends the stream early, with
    // whole commands, then 720 x 00 and ESC @.
    const std::string cancelled = print(root, pdf, {"ColorModel=0", "copies=3"}, stream, [&](int job) {
        const FilterResult c = run({"cancel", "-h", sock, std::to_string(job)});
        EXPECT_EQ(c.exitStatus, 0) << text(c);
    });
    EXPECT_NE(cancelled.find("] Canceled by"), std::string::npos) << cancelled;
    ASSERT_GE(stream.size(), 16384u);
    EXPECT_LT(stream.size(), 3 * twoColourSize);
    EXPECT_BYTES(concat(repeat(0x00, 720), hex("1B40")), Bytes(stream.end() - 722, stream.end()));
    const preview::DecodeResult c = preview::decodeStream(stream);
    ASSERT_TRUE(c.ok()) << "offset " << c.error->offset << ": " << c.error->message;
    EXPECT_FALSE(preview::printedImages(c.commands).empty());
}

} // namespace
} // namespace kordane::test
