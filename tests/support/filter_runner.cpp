#include "support/filter_runner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace kordane::test {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Both ends of a pipe, closed on exec and when the object goes away.
struct Pipe {
    int fd[2] = {-1, -1};
    Pipe()
    {
        if (::pipe2(fd, O_CLOEXEC) != 0)
            fail("pipe2");
    }
    ~Pipe()
    {
        closeFd(fd[0]);
        closeFd(fd[1]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
};

std::vector<std::string> childEnvironment(const FilterRun& run)
{
    std::vector<std::string> env = {"PATH=/usr/bin:/bin"};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    if (!run.ppdPath.empty())
        env.push_back("PPD=" + run.ppdPath);
    // The first entry of a name is the one a program sees: replace, not append.
    for (const auto& [name, value] : run.env) {
        std::erase_if(env, [&](const std::string& e) { return e.starts_with(name + "="); });
        env.push_back(name + "=" + value);
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Reads what is there; false at end of file (or on an error).
template <class Buffer>
bool drain(int fd, Buffer& into)
{
    char buf[65536];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
        into.insert(into.end(), buf, buf + n);
        return true;
    }
    return n < 0 && (errno == EINTR || errno == EAGAIN);
}

} // namespace

std::vector<std::string> commandFor(const std::string& program)
{
    std::vector<std::string> words;
#ifdef KORDANE_EMULATOR
    // A cross build's programs run under its emulator (words separated by
    // spaces); programs of the build machine run as they are.
    if (program.starts_with(std::string(KORDANE_BINARY_DIR) + "/")) {
        std::istringstream emulator(KORDANE_EMULATOR);
        for (std::string word; emulator >> word;)
            words.push_back(word);
    }
#endif
    words.push_back(program);
    return words;
}

FilterResult runFilter(const FilterRun& run)
{
    // Under an emulator, the emulator is the process started; it gets the
    // program's path and passes it on as argv[0].
    std::vector<std::string> command = commandFor(run.program);
    std::vector<std::string> argvStrings = command.size() > 1 ? command : std::vector<std::string>{run.argv0};
    argvStrings.insert(argvStrings.end(), run.args.begin(), run.args.end());
    std::vector<std::string> envStrings = childEnvironment(run);
    std::vector<char*> argv = pointers(argvStrings);
    std::vector<char*> envp = pointers(envStrings);

    Pipe in, out, err;
    const pid_t pid = ::fork();
    if (pid < 0)
        fail("fork");

    // Child: the pipes become its standard streams, signals start out at
    // their defaults whatever the test process did with them.
    if (pid == 0) {
        ::dup2(in.fd[0], 0);
        ::dup2(out.fd[1], 1);
        ::dup2(err.fd[1], 2);
        for (int sig : {SIGPIPE, SIGTERM, SIGINT})
            std::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(command.front().c_str(), argv.data(), envp.data());
        _exit(127);
    }

    // Parent: keep only our ends. A child that stops reading its input
    // must show up as EPIPE, not kill the test.
    std::signal(SIGPIPE, SIG_IGN);
    closeFd(in.fd[0]);
    closeFd(out.fd[1]);
    closeFd(err.fd[1]);
    int& toChild = in.fd[1];
    int& fromOut = out.fd[0];
    int& fromErr = err.fd[0];
    ::fcntl(toChild, F_SETFL, O_NONBLOCK);

    FilterResult result;
    std::size_t written = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(run.timeoutMs);
    std::optional<Clock::time_point> signalAt;
    const bool wantSignal = !run.signalAfterStderr.empty();

    while (fromOut >= 0 || fromErr >= 0) {
        // Input: close it once written, unless it has to stay open for the signal.
        if (toChild >= 0 && written == run.input.size()
            && (run.closeStdin || result.signalSent))
            closeFd(toChild);

        const auto now = Clock::now();
        if (now >= deadline) {
            ::kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        if (signalAt && !result.signalSent && now >= *signalAt) {
            ::kill(pid, SIGTERM);
            result.signalSent = true;
            closeFd(toChild);
        }

        auto wake = deadline;
        if (signalAt && !result.signalSent)
            wake = std::min(wake, *signalAt);
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();

        pollfd fds[3] = {{fromOut, POLLIN, 0}, {fromErr, POLLIN, 0},
                         {written < run.input.size() ? toChild : -1, POLLOUT, 0}};
        if (::poll(fds, 3, static_cast<int>(waitMs)) < 0) {
            if (errno == EINTR)
                continue;
            fail("poll");
        }

        if (fds[0].revents && !drain(fromOut, result.out))
            closeFd(fromOut);
        if (fds[1].revents) {
            const std::size_t before = result.err.size();
            if (!drain(fromErr, result.err))
                closeFd(fromErr);
            // Look only at text that could include the new bytes.
            const std::size_t from = before >= run.signalAfterStderr.size()
                ? before - run.signalAfterStderr.size() + 1 : 0;
            if (wantSignal && !signalAt
                && result.err.find(run.signalAfterStderr, from) != std::string::npos)
                signalAt = Clock::now() + std::chrono::milliseconds(run.signalDelayMs);
        }
        if (fds[2].revents) {
            const ssize_t n = ::write(toChild, run.input.data() + written,
                                      run.input.size() - written);
            if (n > 0)
                written += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                written = run.input.size(); // the child closed its input
                closeFd(toChild);
            }
        }
    }

    // Both outputs are closed (or time is up); the process may still be
    // running, so wait for it only until the deadline.
    closeFd(toChild);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, result.timedOut ? 0 : WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            fail("waitpid");
        if (done == 0 && Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            result.timedOut = true;
        } else if (done == 0) {
            ::usleep(1000);
        }
    }
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.termSignal = WTERMSIG(status);
    return result;
}

FilterResult runFilterArgs(std::vector<std::string> args, std::string ppd,
                           std::vector<std::uint8_t> input)
{
    FilterRun run;
    run.args = std::move(args);
    run.ppdPath = std::move(ppd);
    run.input = std::move(input);
    return runFilter(run);
}

std::vector<std::string> defaultArgs(std::string title, std::string options)
{
    return {"1", "user", std::move(title), "1", std::move(options)};
}

} // namespace kordane::test
