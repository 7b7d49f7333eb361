// Runs the filter as the print system does: a separate process with the
// filter arguments, a clean environment holding PPD, the job on standard
// input, printer bytes collected from standard output and the job log from
// standard error.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kordane::test {

struct FilterRun {
    std::vector<std::string> args;   // argv[1..]
    std::string ppdPath;             // empty: PPD unset
    std::vector<std::uint8_t> input; // written to standard input
    bool closeStdin = true;          // false: keep it open after the input until the signal is sent
    // If non-empty: once this text has appeared on standard error, wait
    // signalDelayMs and send SIGTERM (then close standard input).
    std::string signalAfterStderr;
    int signalDelayMs = 0;
    int timeoutMs = 20000; // then SIGKILL and timedOut
    // Added to the environment, after PPD (so they can override it).
    std::vector<std::pair<std::string, std::string>> env;
    std::string program = KORDANE_FILTER_PATH;
    std::string argv0 = "rastertoKordane";
};

struct FilterResult {
    std::vector<std::uint8_t> out;
    std::string err;
    int exitStatus = -1; // when the process exited
    int termSignal = 0;  // when a signal ended it
    bool timedOut = false;
    bool signalSent = false;
};

// Starts the program and feeds its input while draining both outputs, so
// large inputs and outputs never block each other. The environment holds
// only PATH, PPD, any sanitizer options of the test process and the extra
// entries. Throws std::system_error when the process cannot be started.
FilterResult runFilter(const FilterRun& run);

FilterResult runFilterArgs(std::vector<std::string> args, std::string ppd,
                           std::vector<std::uint8_t> input = {});

// The words that start `program`: the program itself, or, when it was built
// here for another processor, the build's emulator followed by it. For
// tests that hand the filter to another program (a shell, GNU time).
std::vector<std::string> commandFor(const std::string& program);

// The five standard filter arguments: job id 1, user, title, 1 copy, options.
std::vector<std::string> defaultArgs(std::string title = "job", std::string options = "");

} // namespace kordane::test
