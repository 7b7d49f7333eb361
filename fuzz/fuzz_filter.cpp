// The whole filter as CUPS starts it, in process: fuzzed arguments, title,
// option string, PPD text (generated around a model, or raw) and input, on
// standard input or as the file argument, so that text jobs, raster files,
// the settings reader and every course of a job are reached the way CUPS
// reaches them. Some inputs are cancelled: the filter runs in a child that
// gets SIGTERM after a fuzzed number of printer bytes. Whatever the input,
// the filter ends with status 0 or 1 (0 after a cancel), and its printer
// bytes start with ESC @ and, but for the text of a text job and the cancel
// trailer, read back as whole commands.
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "filter/job_control.h"
#include "fuzz/fuzz_input.h"
#include "preview/decoder.h"
#include "support/ppd_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kTitles[] = {"job", "KORDANE_API_MODE", "KORDANE_API_MODE 7", "KORDANE_API_MOD", ""};
constexpr int kModels[] = {42, 13, 33, 83, 1, 52, 40, 10, 90, 6, 31, 22, 2, 0};
constexpr const char* kOptions[] = {"PageSize", "PageType", "Rotation", "FocusArea", "ColorModel", "CompPrinting",
                                    "LogoPosition", "LogoJustification", "LogoImage", "LogoWidth", "LineFeed", "PageCut",
                                    "CashDrawer", "CashDrawerOpen", "CashDrawer1PulseWidth", "CashDrawer2PulseWidth"};
constexpr const char* kKeywords[] = {"0", "1", "2", "3", "4", "95", "100", "94", "56", "-1", "600", "x", "2147483647"};

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "filter fault: %s\n", what);
        std::abort();
    }
}

// Reads a descriptor to its end.
Bytes readAll(int fd)
{
    Bytes out;
    std::uint8_t buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;)
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (errno != EINTR)
            break;
    return out;
}

// ESC @ first; but for a text job (whose text may hold anything), whole
// commands only.
void checkStream(const Bytes& out, bool text)
{
    check(out.empty() || (out.size() >= 2 && out[0] == 0x1B && out[1] == 0x40), "printer bytes before ESC @");
    if (out.empty() || text)
        return;
    const kordane::preview::DecodeResult decoded = kordane::preview::decodeStream(out);
    check(decoded.ok() && std::none_of(decoded.commands.begin(), decoded.commands.end(),
                                       [](auto& c) { return c.kind == kordane::preview::CommandKind::Text; }),
          "the printer stream does not read back as whole commands");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kordane;
    // The fuzzer may have closed standard output or error: keep descriptors
    // 0 to 2 taken, so that the job's files never land on them.
    for (int fd = 0; fd < 3; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR);
    fuzz::ByteCursor in{{data, size}};
    const std::uint8_t flags = in.next();
    const bool rawPpd = flags & 2, cancel = flags & 4, noPpd = flags & 8;
    const int argsOff = (flags >> 4) % 4 == 1 ? -1 : (flags >> 4) % 4 == 2 ? 1 : 0;
    // The job is a file argument when the filter gets seven arguments.
    const bool fileArgument = (flags & 1) + argsOff == 1;
    const std::string title = in.pick(kTitles);
    const int model = in.pick(kModels);
    std::string options(in.next(), '\0');
    for (char& c : options)
        c = static_cast<char>(in.next());
    std::string ppd;
    if (rawPpd) {
        ppd.resize(in.next() * 256u + in.next());
        for (char& c : ppd)
            c = static_cast<char>(in.next());
    } else {
        test::PpdDefaults defaults;
        for (const char* option : kOptions)
            if (const std::uint8_t choice = in.next(); choice >= std::size(kKeywords))
                defaults.emplace_back(option, choice >= 2 * std::size(kKeywords) ? "" : kKeywords[choice - std::size(kKeywords)]);
        ppd = test::ppdText(model, defaults);
    }
    const std::size_t cancelAfter = std::size_t{in.next()} * 64;
    const auto input = in.rest();
    bool raster = false;
    for (const char* sync : {"RaS2", "RaS3", "RaSt", "2SaR", "3SaR", "tSaR"})
        raster = raster || (input.size() >= 4 && std::memcmp(input.data(), sync, 4) == 0);

    // The filter writes to a pipe that the parent of a cancelled run reads
    // as it goes, else to a file read afterwards.
    fuzz::MemoryFile ppdFile({reinterpret_cast<const std::uint8_t*>(ppd.data()), ppd.size()});
    fuzz::MemoryFile job(input), printer({});
    int out[2] = {-1, -1};
    if (ppdFile.fd() < 0 || job.fd() < 0 || printer.fd() < 0)
        return 0;
    // Pages of any declared size, up to and past the page ceiling, but not
    // more than 2 MiB of pixels actually decoded: more finds nothing new and
    // only slows the run.
    if (raster && !fuzz::decodesWithin(job.fd(), std::size_t{2} << 20))
        return -1;
    if (cancel && ::pipe(out) != 0)
        return 0;
    if (noPpd)
        ::unsetenv("PPD");
    else
        ::setenv("PPD", ppdFile.path().c_str(), 1);
    // One argument too few or too many; every file named exists.
    std::vector<std::string> args = {"rastertoKordane", "1", "user", title, "1", options};
    args.resize(static_cast<std::size_t>(6 + (flags & 1) + argsOff), job.path());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = cancel ? ::fork() : 0;
    if (pid == 0) {
        const int savedIn = ::dup(0), savedOut = ::dup(1);
        ::dup2(job.fd(), 0);
        ::dup2(cancel ? out[1] : printer.fd(), 1);
        const int status = runFilter(static_cast<int>(args.size()), argv.data(), 4096);
        if (cancel)
            _exit(status);
        std::signal(SIGTERM, SIG_DFL);
        ::dup2(savedIn, 0);
        ::dup2(savedOut, 1);
        ::close(savedIn);
        ::close(savedOut);
        ::lseek(printer.fd(), 0, SEEK_SET);
        check(status == 0 || status == 1, "exit status other than 0 and 1");
        const Bytes bytes = readAll(printer.fd());
        checkStream(bytes, !raster && fileArgument);
        return 0;
    }
    ::close(out[1]);
    if (pid < 0)
        return 0;
    Bytes bytes;
    std::uint8_t buf[64];
    while (bytes.size() < cancelAfter)
        if (const ssize_t n = ::read(out[0], buf, sizeof buf); n > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        else
            break;
    ::kill(pid, SIGTERM);
    const Bytes rest = readAll(out[0]);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM && bytes.empty())
        return 0; // before the filter took over the signal
    check(WIFEXITED(status) && WEXITSTATUS(status) <= 1, "a cancelled filter ended otherwise than by exit 0 or 1");
    Bytes trailer(720, 0x00);
    trailer.insert(trailer.end(), {0x1B, 0x40});
    const bool trailed = bytes.size() >= trailer.size() && std::equal(trailer.begin(), trailer.end(), bytes.end() - 722);
    check(!trailed || WEXITSTATUS(status) == 0, "a cancelled job did not end with status 0");
    checkStream(trailed ? Bytes(bytes.begin(), bytes.end() - 722) : bytes, !raster && fileArgument);
    return 0;
}
