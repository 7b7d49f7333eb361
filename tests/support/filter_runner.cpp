#include "support/filter_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <system_error>

namespace kordane::test {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

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
};

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Appends what is there; false at the end of the output.
template <class Buffer>
bool drain(int fd, Buffer& into)
{
    char buf[65536];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0)
        into.insert(into.end(), buf, buf + n);
    return n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN));
}

} // namespace

FilterResult runFilter(const FilterRun& run)
{
    std::vector<std::string> argvStrings = {run.argv0};
    argvStrings.insert(argvStrings.end(), run.args.begin(), run.args.end());
    std::vector<std::string> envStrings = {"PATH=/usr/bin:/bin"};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "KORDANE_PORTABLE"})
        if (const char* value = std::getenv(name))
            envStrings.push_back(std::string(name) + "=" + value);
    if (!run.ppdPath.empty())
        envStrings.push_back("PPD=" + run.ppdPath);
    for (const auto& [name, value] : run.env) {
        std::erase_if(envStrings, [&](const std::string& e) { return e.starts_with(name + "="); });
        envStrings.push_back(name + "=" + value);
    }
    std::vector<char*> argv = pointers(argvStrings), envp = pointers(envStrings);

    Pipe in, out, err;
    const pid_t pid = ::fork();
    if (pid < 0)
        fail("fork");
    if (pid == 0) {
        // The signals start at their defaults whatever the test process did.
        ::dup2(in.fd[0], 0);
        ::dup2(out.fd[1], 1);
        ::dup2(err.fd[1], 2);
        for (int sig : {SIGPIPE, SIGTERM, SIGINT})
            std::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(run.program.c_str(), argv.data(), envp.data());
        _exit(127);
    }

    // A child that stops reading its input shows up as EPIPE here.
    std::signal(SIGPIPE, SIG_IGN);
    closeFd(in.fd[0]);
    closeFd(out.fd[1]);
    closeFd(err.fd[1]);
    int &toChild = in.fd[1], &fromOut = out.fd[0], &fromErr = err.fd[0];
    ::fcntl(toChild, F_SETFL, O_NONBLOCK);

    FilterResult result;
    std::size_t written = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(run.timeoutMs);
    std::optional<Clock::time_point> signalAt;
    while (fromOut >= 0 || fromErr >= 0) {
        if (toChild >= 0 && written == run.input.size() && (run.closeStdin || result.signalSent))
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
        const auto wake = signalAt && !result.signalSent ? std::min(deadline, *signalAt) : deadline;
        pollfd fds[3] = {{fromOut, POLLIN, 0}, {fromErr, POLLIN, 0},
                         {written < run.input.size() ? toChild : -1, POLLOUT, 0}};
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
        if (::poll(fds, 3, static_cast<int>(waitMs)) < 0) {
            if (errno == EINTR)
                continue;
            fail("poll");
        }
        if (fds[0].revents && !drain(fromOut, result.out))
            closeFd(fromOut);
        if (fds[1].revents) {
            if (!drain(fromErr, result.err))
                closeFd(fromErr);
            if (!run.signalAfterStderr.empty() && !signalAt &&
                result.err.find(run.signalAfterStderr) != std::string::npos)
                signalAt = Clock::now() + std::chrono::milliseconds(run.signalDelayMs);
        }
        if (fds[2].revents) {
            const ssize_t n = ::write(toChild, run.input.data() + written, run.input.size() - written);
            if (n > 0)
                written += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                written = run.input.size(); // the child closed its input
        }
    }

    closeFd(toChild);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            fail("waitpid");
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.termSignal = WTERMSIG(status);
    return result;
}

std::vector<std::string> filterArgs(std::string options, std::string file, std::string title)
{
    std::vector<std::string> args = {"1", "user", std::move(title), "1", std::move(options)};
    if (!file.empty())
        args.push_back(std::move(file));
    return args;
}

} // namespace kordane::test
