// Runs the filter as the print system does: a process of its own with the
// filter arguments, an environment holding PPD, the job on standard input,
// printer bytes from standard output and the job log from standard error.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kordane::test {

struct FilterRun {
    FilterRun() = default;
    FilterRun(std::vector<std::string> a, std::string ppd, std::vector<std::uint8_t> in = {})
        : args(std::move(a)), ppdPath(std::move(ppd)), input(std::move(in))
    {
    }

    std::vector<std::string> args;   // argv[1..]
    std::string ppdPath;             // empty: PPD unset
    std::vector<std::uint8_t> input; // written to standard input
    bool closeStdin = true;          // false: kept open after the input until the signal is sent
    // When set: once this text has appeared on standard error, send SIGTERM
    // and close standard input.
    std::string signalAfterStderr;
    // Added to the environment after PPD, replacing entries of the same name.
    std::vector<std::pair<std::string, std::string>> env;
    int stdoutFd = -1;         // >= 0: the child's standard output instead of a pipe
    bool ignoreSigpipe = false; // the child starts with SIGPIPE ignored
    std::string program = KORDANE_FILTER_PATH;
    std::string argv0 = "rastertoKordane";
};

struct FilterResult {
    std::vector<std::uint8_t> out;
    std::string err;
    int exitStatus = -1; // when the process exited
    int termSignal = 0;  // when a signal ended it
    bool signalSent = false;
};

// Feeds the input and drains both outputs at once, so that no side blocks,
// and waits for the process to end (ctest's time limit guards against a hang).
// The environment holds PATH, PPD, the sanitizer options of the test process
// and the extra entries. Throws std::system_error when the process cannot
// be started.
FilterResult runFilter(const FilterRun& run);

// The five standard filter arguments: job 1, user, title, 1 copy, options;
// then the file, when one is given.
std::vector<std::string> filterArgs(std::string options = "", std::string file = "", std::string title = "job");

} // namespace kordane::test
