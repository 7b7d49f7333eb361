// The PPDs and the installed filter with CUPS.
//
// Settings reads PPDs written for the case, with odd defaults and keywords,
// as the filter does. Ppd reads the PPDs that ppdc builds from ppd/kordane.drv through libcups,
// one per model of the model table. CupsQueue stages `cmake --install` with
// prefix /usr (as the package does), checks the staged PPDs with cupstestppd
// and starts one private scheduler (configuration, spool, logs and a Unix
// socket in a temporary directory, never the system's) whose server
// directory is the staged one and whose model directory holds the staged
// PPDs. Its driver listing must show every model once, and a queue made from
// a listed PPD prints a table of jobs to a FIFO that the test reads as the
// printer would. Each printout must be the raster CUPS's own filters make of
// the job (captured with cupsfilter, given the options the scheduler adds),
// trimmed of the blank lines above and below as the filter trims, plane by
// plane, with its cuts; page_log must count the printed pages.
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
#include <numeric>
#include <regex>
#include <set>
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
using preview::CommandKind;

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
    std::snprintf(s, sizeof s, "%ux%u dpi, space %d order %d, %u bit %u bpp, %u x %u dots %u bytes, compression %u %s",
                  h.HWResolution[0], h.HWResolution[1], h.cupsColorSpace, h.cupsColorOrder, h.cupsBitsPerColor,
                  h.cupsBitsPerPixel, h.cupsWidth, h.cupsHeight, h.cupsBytesPerLine, h.cupsCompression, h.cupsPageSizeName);
    return s;
}

// The settings record: the model, then every option in the order of the
// PPD writer's.
std::vector<int> fields(const PrintSettings& s)
{
    return {s.model_number, s.PageSize, s.PageType, s.Rotation, s.FocusArea, s.ColorModel, s.CompPrinting,
            s.LogoPosition, s.LogoJustification, s.LogoImage, s.LogoWidth, s.LineFeed, s.PageCut, s.CashDrawer,
            s.CashDrawerOpen, s.CashDrawer1PulseWidth, s.CashDrawer2PulseWidth, s.JobEndCut};
}

TEST(Ppd, EveryModelOffersWhatTheFilterReadsWithItsDefaultsRastersAndSizes)
{
    // The imageable width in dots of each page size; 95 and 100 are only
    // for the models that reduce wide pages.
    const std::map<std::string, unsigned> widths = {
        {"1", 576},   {"2", 576},   {"3", 384},   {"4", 384},   {"56", 576},  {"75", 576},   {"94", 576},
        {"110", 576}, {"111", 384}, {"112", 384}, {"138", 384}, {"139", 384}, {"95", 1728}, {"100", 1152}};
    const auto mono = [](unsigned dots, long lines, const std::string& size) {
        return "203x203 dpi, space 3 order 0, 1 bit 1 bpp, " + std::to_string(dots) + " x " + std::to_string(lines) +
               " dots " + std::to_string(dots / 8) + " bytes, compression 0 " + size;
    };
    for (const ModelInfo& m : allModels()) {
        char path[512];
        std::snprintf(path, sizeof path, "%s/krd%03d.ppd", KORDANE_PPD_DIR, m.number);
        SCOPED_TRACE(path);
        ppd_file_t* ppd = ppdOpenFile(path);
        ASSERT_NE(ppd, nullptr);
        EXPECT_EQ(ppd->color_device != 0, m.twoColour);
        // Text reaches the filter as raster, through CUPS's own text filters.
        EXPECT_TRUE(ppd->num_filters == 1 && ppd->filters[0] == std::string("application/vnd.cups-raster 0 rastertoKordane"));

        // Exactly the options the filter reads, besides the two CUPS needs;
        // every choice keyword is the number the filter takes from it, with
        // a text of its own.
        std::set<std::string> want = {"PageSize", "PageType", "Rotation", "LogoPosition", "LogoImage", "LogoWidth",
                                      "LogoJustification", "LineFeed", "PageRegion", "Resolution"}, offered;
        for (const auto& [offers, names] : std::vector<std::pair<bool, std::set<std::string>>>{
                 {!m.isFixedFeed(), {"FocusArea"}}, {m.compresses(), {"CompPrinting"}},
                 {m.options == OptionSet::All, {"ColorModel", "PageCut", "JobEndCut"}},
                 {m.options != OptionSet::MonoFixed, {"CashDrawer", "CashDrawerOpen", "CashDrawer1PulseWidth", "CashDrawer2PulseWidth"}}})
            if (offers)
                want.insert(names.begin(), names.end());
        for (ppd_option_t* o = ppdFirstOption(ppd); o; o = ppdNextOption(ppd)) {
            offered.insert(o->keyword);
            std::set<std::string> texts;
            for (const ppd_choice_t* c = o->choices; c < o->choices + o->num_choices; ++c)
                EXPECT_TRUE(c->choice == std::string("Custom") // libcups's own choice for the custom size
                            || ((c->choice == std::to_string(std::atoi(c->choice)) || o->keyword == std::string("Resolution"))
                                && c->choice != std::string(c->text) && texts.insert(c->text).second))
                    << o->keyword << " " << c->choice << "/" << c->text;
        }
        EXPECT_EQ(offered, want);

        // The defaults, as the filter's own settings reader takes them: a
        // 1 m page, trim, compress, waste no paper, cut with the models that
        // cut, after each page.
        PrintSettings s{}; PageState state{};
        EXPECT_EQ(initializeSettings(path, "", s, state), SettingsResult::Supported);
        const int cut = m.options == OptionSet::All ? 2 : 0, pulse = m.options == OptionSet::MonoFixed ? 0 : 100;
        EXPECT_EQ(fields(s), (std::vector<int>{m.number, 110, 0, 0, 0, m.options != OptionSet::DrawerOnly, m.compresses(),
                                               0, 1, 0, 0, 0, cut, 0, 0, pulse, pulse, 0}));

        // ColorModel 0, or IPP print-color-mode=color, gives the two-colour
        // models the four-band raster of one bit per colour; anything else
        // a one-bit black raster.
        for (const std::string options :
             {"", "ColorModel=0", "ColorModel=1", "print-color-mode=color", "print-color-mode=monochrome"})
            EXPECT_EQ(rasterFor(ppd, options), m.twoColour && (options.ends_with("=0") || options.ends_with("=color"))
                          ? "203x203 dpi, space 6 order 1, 1 bit 1 bpp, 576 x 7992 dots 288 bytes, compression 0 110" : mono(576, 7992, "110")) << options;

        // The sizes, each with its width and dimensions of its own; a
        // quarter turn fits the short ones (1 to 4) on the roll. Any length
        // on the 80 mm roll, and sizes named as users type them.
        std::set<std::pair<long, long>> dimensions;
        for (const ppd_size_t* size = ppd->sizes; size < ppd->sizes + ppd->num_sizes; ++size) {
            const std::string name = size->name;
            if (name == "Custom")
                continue;
            EXPECT_TRUE(dimensions.insert({std::lround(size->width * 100), std::lround(size->length * 100)}).second)
                << name;
            const unsigned dots = widths.at(name);
            EXPECT_EQ(rasterFor(ppd, "PageSize=" + name), mono(dots, std::lround(size->length * 203 / 72), name));
            EXPECT_TRUE((m.sizeReduction || dots <= 576)
                        && (std::atoi(name.c_str()) > 4 || std::lround((size->top - size->bottom) * 203 / 72) <= 576)) << name;
        }
        EXPECT_EQ(ppd->num_sizes, m.sizeReduction ? 15 : 13); // with Custom
        EXPECT_EQ(rasterFor(ppd, "PageSize=Custom.80x400mm"), mono(576, 3197, "Custom"));
        EXPECT_EQ(rasterFor(ppd, "media=58x297mm"), mono(384, 2374, "138"));
        ppdClose(ppd);
    }
}

// Settings read through libcups from PPD files and job options.
TEST(Settings, EachModelReadsItsOptionsJobOptionsWinOddKeywordsReadAsNumbers)
{
    // Every option a distinct default, in the order of fields().
    TempDir dir;
    const PpdDefaults defaults = {
        {"PageSize", "94"}, {"PageType", "1"}, {"Rotation", "2"}, {"FocusArea", "2"}, {"ColorModel", "0"},
        {"CompPrinting", "1"}, {"LogoPosition", "3"}, {"LogoJustification", "2"}, {"LogoImage", "1"}, {"LogoWidth", "3"},
        {"LineFeed", "4"}, {"PageCut", "2"}, {"CashDrawer", "3"}, {"CashDrawerOpen", "2"}, {"CashDrawer1PulseWidth", "255"},
        {"CashDrawer2PulseWidth", "600"}, {"JobEndCut", "1"}};
    struct Case { int model; const char* options; SettingsResult result; std::vector<int> expected; };
    for (Case c : {
             // No cut, no drawer, monochrome; 10 reads no focus area, 33 no compression either.
             Case{10, "", SettingsResult::Supported, {94, 1, 2, 0, 1, 0, 3, 2, 1, 3, 4, 0, 0, 0, 0, 0, 0}},
             Case{33, "", SettingsResult::Supported, {94, 1, 2, 2, 1, 1, 3, 2, 1, 3, 4, 0, 0, 0, 0, 0, 0}},
             // The drawer but neither colour nor cut.
             Case{83, "", SettingsResult::Supported, {94, 1, 2, 0, 0, 1, 3, 2, 1, 3, 4, 0, 3, 2, 255, 600, 0}},
             // Job options over the defaults; a choice the PPD lacks and an
             // option it does not know change nothing.
             Case{42, "ColorModel=1 LineFeed=77 PageCut=0 unrelated=yes CashDrawer1PulseWidth=1", SettingsResult::Supported,
                  {94, 1, 2, 2, 1, 1, 3, 2, 1, 3, 4, 0, 3, 2, 1, 600, 1}},
             Case{1, "", SettingsResult::Supported, {94, 1, 2, 2, 0, 0, 3, 2, 1, 3, 4, 2, 3, 2, 255, 600, 1}},
             // An unknown model is refused, its record filled all the same.
             Case{2, "", SettingsResult::Unsupported, {94, 1, 2, 2, 0, 0, 3, 2, 1, 3, 4, 2, 3, 2, 255, 600, 1}},
         }) {
        const std::string ppd = writePpd(dir, c.model, defaults);
        PrintSettings s;
        PageState state;
        EXPECT_EQ(initializeSettings(ppd.c_str(), c.options, s, state), c.result) << c.model;
        EXPECT_EQ(state.PrinterModel, c.model);
        c.expected.insert(c.expected.begin(), c.model);
        EXPECT_EQ(fields(s), c.expected);
    }

    // Missing options and defaults read -1; keywords are read as numbers.
    std::string odd = ppdText(42, {{"LogoPosition", ""}, {"PageType", "7"}, {"LineFeed", "x3"}, {"LogoImage", "-2"},
                                         {"LogoWidth", "2mm"}, {"CashDrawer1PulseWidth", "99999999999999999999"}});
    odd.erase(odd.find("*PageType 7/7"), 18); // a default that is not a choice
    PrintSettings s;
    PageState state;
    EXPECT_EQ(initializeSettings(dir.write("odd.ppd", odd).c_str(), "", s, state), SettingsResult::Supported);
    EXPECT_EQ((std::vector{s.LogoPosition, s.PageType, s.LineFeed, s.LogoImage, s.LogoWidth, s.CashDrawer1PulseWidth}),
              (std::vector{-1, -1, 0, -2, 2, -1})); // the last saturated, then its low 32 bits
    EXPECT_EQ(initializeSettings(writePpd(dir, 0).c_str(), "", s, state), SettingsResult::Unsupported);
}

// Far beyond what any step of a correct run takes on a loaded machine.
constexpr auto kDeadline = 5min;

std::string readText(const std::string& path) { return {std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}}; }

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

// Every match of the pattern in the text, or of its first group.
std::vector<std::string> matches(const std::string& text, const std::string& pattern)
{
    const std::regex re(pattern);
    std::vector<std::string> found;
    for (std::sregex_iterator m(text.begin(), text.end(), re), end; m != end; ++m)
        found.push_back((*m)[m->size() > 1 ? 1 : 0]);
    return found;
}

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
std::pair<preview::Bitmap, Bytes> trimmedRaster(const std::string& path)
{
    std::pair<preview::Bitmap, Bytes> p;
    const int fd = open(path.c_str(), O_RDONLY);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    for (cups_page_header2_t h; ras && cupsRasterReadHeader2(ras, &h);) {
        const std::size_t L = h.cupsBytesPerLine, bands = h.cupsColorOrder == CUPS_ORDER_BANDED && h.cupsNumColors == 4;
        const std::size_t P = p.first.bytesPerLine = bands ? L / 4 : L;
        Bytes page(L * h.cupsHeight);
        if (cupsRasterReadPixels(ras, page.data(), static_cast<unsigned>(page.size())) == 0)
            break;
        const auto inked = [](std::uint8_t b) { return b != 0; };
        const std::size_t top = (std::find_if(page.begin(), page.end(), inked) - page.begin()) / L * L;
        const std::size_t bottom = page.size() - (std::find_if(page.rbegin(), page.rend(), inked) - page.rbegin()) / L * L;
        for (std::size_t at = top; at < bottom; at += L)
            for (std::size_t j = at; j < at + P; ++j) {
                p.first.data.push_back(page[j + (bands ? 3 * P : 0)]);
                p.second.push_back(bands ? page[j] | page[j + P] | page[j + 2 * P] : 0);
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
        execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (root + "/cupsd.conf").c_str(), "-s",
              (root + "/cups-files.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Prints the file on the scheduler's queue Q and reads what the printer
// receives until the job has ended and the FIFO is empty. Returns the
// scheduler's log lines about the job once it has ended.
std::string print(const std::string& root, const std::string& file, const std::vector<std::string>& options,
                  Bytes& stream)
{
    const int fd = open((root + "/printer").c_str(), O_RDONLY | O_NONBLOCK);
    const std::string said = text(run({"lp", "-h", root + "/cups.sock", "-d", "Q", file}, options));
    const std::vector<std::string> ids = matches(said, "Q-([0-9]+)");
    const std::string job = ids.empty() ? "" : ids[0];
    const auto ended = [&] {
        const std::string done = text(run({"lpstat", "-h", root + "/cups.sock", "-W", "completed", "-o", "Q"}));
        return done.find("Q-" + job + " ") != std::string::npos;
    };
    stream.clear();
    std::uint8_t buf[4096];
    bool done = job.empty();
    for (const auto end = std::chrono::steady_clock::now() + kDeadline; !done && std::chrono::steady_clock::now() < end;) {
        // Nothing for a second, or no writer for now (the scheduler may open
        // the device more than once): done once the job has ended.
        pollfd p{fd, POLLIN, 0};
        const ssize_t n = poll(&p, 1, 1000) > 0 ? read(fd, buf, sizeof buf) : -1;
        stream.insert(stream.end(), buf, buf + std::max<ssize_t>(n, 0));
        done = n <= 0 && ended();
        // The job may have ended after the poll: take what it left in the FIFO.
        for (ssize_t m; done && (m = read(fd, buf, sizeof buf)) > 0;)
            stream.insert(stream.end(), buf, buf + m);
    }
    close(fd);
    if (job.empty() || !done || !eventually(ended))
        return "job " + job + " did not end: " + said;
    const std::vector<std::string> lines = matches(readText(root + "/log/error_log"), ".*\\[Job " + job + "\\] .*\n");
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

TEST(CupsQueue, PrintsEveryKindOfJobFromTheStagedInstall)
{
    TempDir dir;
    const std::string root = dir.path(), sock = root + "/cups.sock", stage = root + "/stage";
    const std::string serverBin = stage + KORDANE_CUPS_SERVERBIN, ppds = stage + "/usr/share/ppd/kordane";
    fs::permissions(root, fs::perms(0755)); // the filters run as lp

    // The staged install; cupstestppd on its PPDs with its filter. The
    // scheduler's server directory is the staged one with the system's
    // filters, backends and helpers linked in; its data directory the
    // system's, except that model/ holds only the staged PPDs.
    const FilterResult install = run({"sh", "-c", "DESTDIR=" + stage + " cmake --install " KORDANE_BINARY_DIR " --prefix /usr && cp -rsn "
                                      KORDANE_CUPS_SERVERBIN "/. " + serverBin + " && cp -rs /usr/share/cups/. " + root +
                                      "/data && rm -rf " + root + "/data/model " + root + "/data/drv && mkdir " + root + "/data/model && ln -s " + ppds + " " +
                                      root + "/data/model/kordane"});
    ASSERT_EQ(install.exitStatus, 0) << text(install);
    const FilterResult tested = run({"sh", "-c", KORDANE_CUPSTESTPPD " -R " + stage + " " + ppds + "/*.ppd"});
    const std::string report = text(tested);
    // Staged by a user rather than root, the filter is not root's, which
    // cupstestppd reports as bad permissions; nothing else may fail.
    EXPECT_TRUE(tested.exitStatus == 0 || ::geteuid() != 0) << report;
    EXPECT_EQ(matches(report, "FAIL\\*\\*(?!  Bad permissions on cupsFilter file).*"), std::vector<std::string>{});
    EXPECT_EQ(matches(report, "WARN(?!.*(should be the Adobe standard name|CashDrawer shares a common prefix)).*"),
              std::vector<std::string>{});
    struct Scheduler {
        pid_t pid;
        bool running() const { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }
        ~Scheduler() { (void)(running() && kill(pid, SIGTERM) == 0 && waitpid(pid, nullptr, 0)); }
    } cupsd{startScheduler(root, serverBin, root + "/data")};
    const auto answers = [&] { return text(run({"lpstat", "-h", sock, "-r"})).find(" is running") != std::string::npos; };
    ASSERT_TRUE(eventually([&] { return !cupsd.running() || answers(); }) && cupsd.running())
        << readText(root + "/log/error_log");

    // Every model listed once, from its own PPD; a two-colour model's queue
    // from the listing.
    const std::string listing = text(run({"lpinfo", "-h", sock, "-m"}));
    for (const ModelInfo& model : allModels())
        EXPECT_EQ(matches(listing, "kordane/krd0*" + std::to_string(model.number) + "\\.ppd Kordane " + std::to_string(model.number) + " ").size(), 1u);
    EXPECT_EQ(matches(listing, "kordane/").size(), 46u) << listing;
    const FilterResult added =
        run({"lpadmin", "-h", sock, "-p", "Q", "-E", "-v", "file://" + root + "/printer", "-m", "kordane/krd042.ppd"});
    ASSERT_EQ(added.exitStatus, 0) << text(added);

    // The sample (black and red, 72 mm wide) as the queue prints it by
    // default (in one colour), as IPP clients ask for two, and as a PNG at the
    // printer's resolution; its two-colour raster submitted as it is (then
    // the filter alone reads the spool file); receipts as wide as the roll,
    // 100 and 500 mm long, with bars along their edges and a red block; a
    // UTF-8 text in two copies, cut once at the end. Then the number of cuts
    // and whether the raster holds red.
    const std::string pdf = std::string(KORDANE_SOURCE_DIR) + "/samples/receipt.pdf", png = root + "/receipt.png";
    const std::string receipts = root + "/receipts.pdf", gs = "gs -q -dSAFER -dBATCH -dNOPAUSE -sOutputFile=";
    const FilterResult made = run({"sh", "-c", gs + png + " -sDEVICE=png16m -r203 " + pdf + " && " + gs + receipts +
        " -sDEVICE=pdfwrite -c '/page { /h exch def <</PageSize[226.77 h]>> setpagedevice 0 0 8 h rectfill 218.77 0 8 h "
        "rectfill 1 0 0 setrgbcolor 60 60 100 100 rectfill 0 setgray showpage } def 283.46 page 1417.32 page'"});
    ASSERT_EQ(made.exitStatus, 0) << text(made);
    const std::string note = dir.write("note.txt", "KORDANE CAFÉ\nSüße Brötchen   4,20 €\nΚαφές           2,50 €\n");
    const std::tuple<std::string, std::vector<std::string>, int, int, bool> jobs[] = {
        {pdf, {}, 1, 1, false}, {pdf, {"print-color-mode=color"}, 1, 1, true},
        {png, {"ColorModel=0", "ppi=203", "orientation-requested=3"}, 1, 1, true}, {root + "/job1.ras", {"ColorModel=0"}, 1, 1, true},
        {receipts, {}, 2, 2, false}, {note, {"copies=2", "PageCut=0", "JobEndCut=1"}, 2, 1, false}};
    Bytes stream;
    std::vector<std::string> pages;
    std::size_t i = 0;
    for (const auto& [file, options, pageCount, cuts, red] : jobs) {
        SCOPED_TRACE(file + " " + (options.empty() ? "" : options[0]));
        const FilterResult made = run({"cupsfilter", "-c", root + "/cups-files.conf", "-p", ppds + "/krd042.ppd", "-m",
                                       "application/vnd.cups-raster", "-o", "print-scaling=fit", file}, options); // as the presets give every job
        ASSERT_EQ(made.exitStatus, 0) << made.err;
        const auto [want, wantSecond] = trimmedRaster(dir.write("job" + std::to_string(i++) + ".ras", made.out));
        ASSERT_FALSE(want.data.empty()) << "the raster is blank";
        EXPECT_EQ(std::any_of(wantSecond.begin(), wantSecond.end(), [](int b) { return b; }), red);

        const std::string log = print(root, file, options, stream);
        EXPECT_NE(log.find("] Job completed."), std::string::npos) << log;
        EXPECT_NE(log.find("Started filter " + serverBin + "/filter/rastertoKordane"), std::string::npos) << log;
        EXPECT_EQ(log.find("Started filter") == log.rfind("Started filter"), file.ends_with(".ras")) << log; // alone
        pages.push_back(std::to_string(pageCount));

        // The stream decodes whole and prints exactly the trimmed raster;
        // the last command is a cut.
        const preview::DecodeResult d = preview::decodeStream(stream);
        ASSERT_TRUE(d.ok() && !d.commands.empty()) << stream.size() << " bytes " << (d.ok() ? "" : d.error->message) << "\n" << log;
        const auto images = preview::printedImages(d.commands);
        const preview::Bitmap first = preview::concatenateImages(images, preview::Plane::First);
        EXPECT_EQ(first.bytesPerLine, want.bytesPerLine);
        EXPECT_TRUE(first.data == want.data) << "first colour differs from the raster";
        EXPECT_TRUE(preview::concatenateImages(images, preview::Plane::Second).data == wantSecond)
            << "second colour differs from the raster";
        EXPECT_EQ(std::count_if(d.commands.begin(), d.commands.end(), [](auto& c) { return c.kind == CommandKind::Cut; }), cuts);
        EXPECT_EQ(d.commands.back().kind, CommandKind::Cut);

        // A receipt as wide as the roll keeps its outer columns on every
        // line, at any length: shrunk to the printable width, no further.
        for (std::uint32_t y = 0; file == receipts && y < first.lines; ++y)
            ASSERT_TRUE((first.data[y * 72] & 0x80) && (first.data[y * 72 + 71] & 0x01)) << "line " << y;
    }

    // The scheduler counted every printed page.
    EXPECT_EQ(matches(readText(root + "/log/page_log"), " total ([0-9]+) "), pages) << readText(root + "/log/page_log");
}

} // namespace
} // namespace kordane::test
