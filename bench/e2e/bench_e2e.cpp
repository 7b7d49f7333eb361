// End-to-end benchmark of the filter against a floor program that only reads
// the raster pages and writes their pixels back out. Run by scripts/bench.sh:
//
//   bench_e2e --filter build-bench/rastertoKordane --floor build-bench/raster_floor
//             [--runs 11] [--dir /tmp/somewhere] [--no-timing] [--no-instructions] [--no-memory]
//
// Timing: every case runs --runs times, the cases taking turns so that a
// change in the machine's load touches them all alike; wall and CPU time are
// medians, ratios are to the floor program on the same job. Per run the
// printer stream goes to a pipe that this program drains, and the child's
// read and write system calls are taken from /proc/<pid>/io before it is
// reaped, its peak RSS from wait4.
//
// Instructions (needs valgrind): each case on a 1-page and a 3-page version of
// its job under callgrind; half the difference is the cost of one more page.
//
// Memory: the default path on a 1-page and a 1000-page job: peak RSS and
// system calls of each.
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/e2e/receipt_jobs.h"

namespace {

using kordane::bench::JobShape;

struct Job {
    std::string name;
    JobShape shape;
    unsigned pages;
};

const Job kReceipt{"receipt", {576, 1600, false}, 3};
const Job kSynth{"synth", {576, 3000, false}, 50};
const Job kSynthColour{"synth-2c", {576, 3000, true}, 50};
const Job kA4{"a4", {1680, 2376, false}, 10};

struct Case {
    std::string label;
    const Job* job;
    bool floor;          // the floor program instead of the filter
    int model;           // printer model of the PPD
    std::string options; // the job's option string
    double cpuTarget;    // largest CPU ratio to the floor, 0: none
    double wallTarget;   // largest wall ratio to the floor, 0: none
    bool perPage;        // reported in the instruction counts
};

std::vector<Case> cases()
{
    return {
        {"floor", &kReceipt, true, 0, "", 0, 0, false},
        {"graphics buffer", &kReceipt, false, 31, "", 0, 1.3, false},
        {"floor", &kSynth, true, 0, "", 0, 0, true},
        {"graphics buffer", &kSynth, false, 31, "", 1.5, 0, true},
        {"compressed blocks", &kSynth, false, 31, "CompPrinting=1", 1.5, 0, true},
        {"raster bit image", &kSynth, false, 13, "", 1.5, 0, true},
        {"half turn", &kSynth, false, 31, "Rotation=2", 0, 0, true},
        {"quarter turn, trimmed", &kSynth, false, 31, "Rotation=1", 3.0, 0, true},
        {"3/4 turn, trimmed", &kSynth, false, 31, "Rotation=3", 3.0, 0, true},
        {"floor", &kSynthColour, true, 0, "", 0, 0, true},
        {"two-colour", &kSynthColour, false, 31, "ColorModel=0", 2.0, 0, true},
        {"floor", &kA4, true, 0, "", 0, 0, true},
        {"one-third", &kA4, false, 31, "PageSize=95", 2.0, 0, true},
        {"one-half", &kA4, false, 31, "PageSize=100", 2.0, 0, true},
        {"focus crop", &kA4, false, 31, "PageSize=100 FocusArea=1", 0, 0, true},
        {"focus crop, centre", &kA4, false, 31, "PageSize=100 FocusArea=2", 0, 0, true},
    };
}

struct Paths {
    std::string filter;
    std::string floor;
    std::string dir;
};

struct RunResult {
    double wall = 0;     // seconds
    double cpu = 0;      // user + system seconds
    long maxRssKb = 0;
    std::uint64_t outBytes = 0;
    std::uint64_t reads = 0;  // read system calls
    std::uint64_t writes = 0; // write system calls
    int status = 0;
};

std::uint64_t ioField(const std::string& text, const char* key)
{
    const auto at = text.find(key);
    return at == std::string::npos ? 0 : std::strtoull(text.c_str() + at + std::strlen(key), nullptr, 10);
}

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Runs argv with stdin from `input`, stdout into a pipe drained here, stderr
// to /dev/null and PPD in the environment.
RunResult runOnce(const std::vector<std::string>& argv, const std::string& input, const std::string& ppd)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        fail("pipe");
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        fail("fork");
    if (pid == 0) {
        const int in = ::open(input.c_str(), O_RDONLY);
        const int null = ::open("/dev/null", O_WRONLY);
        if (in < 0 || null < 0)
            _exit(126);
        ::dup2(in, STDIN_FILENO);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::setenv("PPD", ppd.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        _exit(127);
    }
    ::close(pipeFds[1]);

    RunResult r;
    static std::vector<char> drain(1 << 20);
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], drain.data(), drain.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        r.outBytes += static_cast<std::uint64_t>(n);
    }
    ::close(pipeFds[0]);

    // The child's counters are read while it is a zombie, then it is reaped.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0)
        if (errno != EINTR)
            fail("waitid");
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::stringstream text;
    text << io.rdbuf();
    r.reads = ioField(text.str(), "syscr: ");
    r.writes = ioField(text.str(), "syscw: ");

    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        fail("wait4");
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.maxRssKb = usage.ru_maxrss;
    return r;
}

std::vector<std::string> commandFor(const Case& c, const Paths& paths)
{
    if (c.floor)
        return {paths.floor};
    return {paths.filter, "1", "bench", "bench", "1", c.options};
}

std::string ppdFor(const Paths& paths, int model)
{
    const std::string path = paths.dir + "/model" + std::to_string(model) + ".ppd";
    if (!std::filesystem::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        out << kordane::bench::benchPpd(model);
        if (!out.flush())
            throw std::runtime_error("cannot write " + path);
    }
    return path;
}

std::string jobFile(const Paths& paths, const Job& job, unsigned pages)
{
    const std::string path = paths.dir + "/" + job.name + "-" + std::to_string(pages) + ".ras";
    if (!std::filesystem::exists(path))
        kordane::bench::writeReceiptJob(path, job.shape, pages);
    return path;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string shapeText(const Job& j)
{
    return std::to_string(j.pages) + " x " + std::to_string(j.shape.width) + "x" + std::to_string(j.shape.height) +
           (j.shape.twoColour ? " 2c" : "");
}

void timing(const Paths& paths, int runs)
{
    const std::vector<Case> all = cases();
    std::vector<std::string> inputs, ppds;
    for (const Case& c : all) {
        inputs.push_back(jobFile(paths, *c.job, c.job->pages));
        ppds.push_back(ppdFor(paths, c.floor ? 31 : c.model));
    }

    std::vector<std::vector<RunResult>> results(all.size());
    for (std::size_t c = 0; c < all.size(); ++c) // one warm-up run each, not counted
        runOnce(commandFor(all[c], paths), inputs[c], ppds[c]);
    for (int run = 0; run < runs; ++run)
        for (std::size_t c = 0; c < all.size(); ++c)
            results[c].push_back(runOnce(commandFor(all[c], paths), inputs[c], ppds[c]));

    std::printf("\n## Timing: median of %d runs; ratios to the floor on the same job\n\n", runs);
    std::printf("| job | path | wall ms | CPU ms | wall ratio | CPU ratio | target | out bytes/page | reads/page | "
                "writes/page | peak RSS MiB | exit |\n");
    std::printf("|---|---|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|\n");
    double floorWall = 0, floorCpu = 0;
    bool allMet = true;
    for (std::size_t c = 0; c < all.size(); ++c) {
        const Case& k = all[c];
        std::vector<double> wall, cpu;
        long rss = 0;
        for (const RunResult& r : results[c]) {
            wall.push_back(r.wall);
            cpu.push_back(r.cpu);
            rss = std::max(rss, r.maxRssKb);
        }
        const double w = median(wall), u = median(cpu);
        if (k.floor) {
            floorWall = w;
            floorCpu = u;
        }
        std::string target = "";
        if (k.wallTarget > 0) {
            const bool met = w / floorWall <= k.wallTarget;
            allMet = allMet && met;
            target = "wall <= " + std::to_string(k.wallTarget).substr(0, 3) + (met ? " met" : " MISSED");
        } else if (k.cpuTarget > 0) {
            const bool met = u / floorCpu <= k.cpuTarget;
            allMet = allMet && met;
            target = "CPU <= " + std::to_string(k.cpuTarget).substr(0, 3) + (met ? " met" : " MISSED");
        }
        const RunResult& last = results[c].back();
        const double pages = k.job->pages;
        std::printf("| %s | %s | %.1f | %.1f | %.2f | %.2f | %s | %.0f | %.1f | %.1f | %.1f | %d |\n",
                    shapeText(*k.job).c_str(), k.label.c_str(), w * 1e3, u * 1e3, w / floorWall, u / floorCpu,
                    target.c_str(), static_cast<double>(last.outBytes) / pages, static_cast<double>(last.reads) / pages,
                    static_cast<double>(last.writes) / pages, static_cast<double>(rss) / 1024.0, last.status);
    }
    std::printf("\nTargets %s.\n", allMet ? "all met" : "NOT all met");
}

// Instructions counted by callgrind for one run, or nothing when valgrind
// cannot be run.
std::optional<std::uint64_t> instructions(const std::vector<std::string>& argv, const std::string& input,
                                          const std::string& ppd, const Paths& paths)
{
    const std::string log = paths.dir + "/callgrind.log";
    std::vector<std::string> cmd = {"/usr/bin/valgrind", "--tool=callgrind", "--log-file=" + log,
                                    "--callgrind-out-file=/dev/null"};
    cmd.insert(cmd.end(), argv.begin(), argv.end());
    const RunResult r = runOnce(cmd, input, ppd);
    if (r.status != 0)
        return std::nullopt;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        const auto at = line.find("Collected : ");
        if (at != std::string::npos)
            return std::strtoull(line.c_str() + at + 12, nullptr, 10);
    }
    return std::nullopt;
}

void instructionCounts(const Paths& paths)
{
    if (::access("/usr/bin/valgrind", X_OK) != 0) {
        std::printf("\n(valgrind not installed: no instruction counts)\n");
        return;
    }
    std::printf("\n## Instructions (callgrind, user space): one more page = (3-page job - 1-page job) / 2\n\n");
    std::printf("| page | path | 1-page job | 3-page job | per extra page | target |\n|---|---|---:|---:|---:|---|\n");
    for (const Case& c : cases()) {
        if (!c.perPage)
            continue;
        const std::string ppd = ppdFor(paths, c.floor ? 31 : c.model);
        const auto one = instructions(commandFor(c, paths), jobFile(paths, *c.job, 1), ppd, paths);
        const auto three = instructions(commandFor(c, paths), jobFile(paths, *c.job, 3), ppd, paths);
        if (!one || !three) {
            std::printf("| %s | %s | failed | | | |\n", c.job->name.c_str(), c.label.c_str());
            continue;
        }
        const double extra = (static_cast<double>(*three) - static_cast<double>(*one)) / 2;
        std::string target;
        if (c.job == &kSynth && (c.label == "graphics buffer" || c.label == "compressed blocks"))
            target = extra <= 1e6 ? "<= 1M met" : "<= 1M MISSED";
        else if (c.job == &kSynth && c.label.find("turn, trimmed") != std::string::npos)
            target = extra <= 3e6 ? "<= 3M met" : "<= 3M MISSED";
        std::printf("| %ux%u%s | %s | %llu | %llu | %.0f | %s |\n", c.job->shape.width, c.job->shape.height,
                    c.job->shape.twoColour ? " 2c" : "", c.label.c_str(), static_cast<unsigned long long>(*one),
                    static_cast<unsigned long long>(*three), extra, target.c_str());
    }
}

void memory(const Paths& paths)
{
    std::printf("\n## Length of job: 576x3000 pages, graphics buffer and quarter turn\n\n");
    std::printf("| path | pages | peak RSS KiB | reads | writes | reads/page | writes/page | exit |\n"
                "|---|---:|---:|---:|---:|---:|---:|---:|\n");
    const Case paths2[] = {{"graphics buffer", &kSynth, false, 31, "", 0, 0, false},
                           {"quarter turn, trimmed", &kSynth, false, 31, "Rotation=1", 0, 0, false}};
    for (const Case& c : paths2) {
        long rss[2] = {0, 0};
        int i = 0;
        for (unsigned pages : {1u, 1000u}) {
            const RunResult r = runOnce(commandFor(c, paths), jobFile(paths, kSynth, pages), ppdFor(paths, 31));
            rss[i++] = r.maxRssKb;
            std::printf("| %s | %u | %ld | %llu | %llu | %.2f | %.2f | %d |\n", c.label.c_str(), pages, r.maxRssKb,
                        static_cast<unsigned long long>(r.reads), static_cast<unsigned long long>(r.writes),
                        static_cast<double>(r.reads) / pages, static_cast<double>(r.writes) / pages, r.status);
        }
        std::printf("| %s | 1000 vs 1 | %+.1f %% | | | | | |\n", c.label.c_str(),
                    100.0 * (static_cast<double>(rss[1]) - static_cast<double>(rss[0])) / static_cast<double>(rss[0]));
    }
    std::filesystem::remove(paths.dir + "/synth-1000.ras");
}

} // namespace

int main(int argc, char* argv[])
{
    Paths paths;
    int runs = 11;
    bool doTiming = true, doInstructions = true, doMemory = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(a + " needs a value");
            return argv[++i];
        };
        if (a == "--filter")
            paths.filter = value();
        else if (a == "--floor")
            paths.floor = value();
        else if (a == "--dir")
            paths.dir = value();
        else if (a == "--runs")
            runs = std::max(1, std::atoi(value().c_str()));
        else if (a == "--no-timing")
            doTiming = false;
        else if (a == "--no-instructions")
            doInstructions = false;
        else if (a == "--no-memory")
            doMemory = false;
        else {
            std::fprintf(stderr, "usage: bench_e2e --filter PATH --floor PATH [--dir DIR] [--runs N] "
                                 "[--no-timing] [--no-instructions] [--no-memory]\n");
            return 2;
        }
    }
    if (paths.filter.empty() || paths.floor.empty()) {
        std::fprintf(stderr, "bench_e2e: --filter and --floor are needed\n");
        return 2;
    }
    paths.filter = std::filesystem::absolute(paths.filter);
    paths.floor = std::filesystem::absolute(paths.floor);
    bool ownDir = false;
    if (paths.dir.empty()) {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/kordane-bench-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            fail("mkdtemp");
        paths.dir = pattern;
        ownDir = true;
    }

    try {
        if (doTiming)
            timing(paths, runs);
        if (doInstructions)
            instructionCounts(paths);
        if (doMemory)
            memory(paths);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_e2e: %s\n", e.what());
        if (ownDir)
            std::filesystem::remove_all(paths.dir);
        return 1;
    }
    if (ownDir)
        std::filesystem::remove_all(paths.dir);
    return 0;
}
