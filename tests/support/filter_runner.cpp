#include "support/filter_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <semaphore>
#include <sstream>
#include <system_error>
#include <thread>

namespace kordane::test {

namespace {

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

template <class Buffer>
void readAll(int fd, Buffer& into)
{
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;)
        if (n > 0)
            into.insert(into.end(), buf, buf + n);
        else if (errno != EINTR)
            break;
}

// The words that start `program`: the program itself, or, when it was built
// here for another processor, the build's emulator followed by it.
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

} // namespace

FilterResult runFilter(const FilterRun& run)
{
    // Under an emulator, the emulator is the process started; it gets the
    // program's path and passes it on as argv[0].
    const std::vector<std::string> command = commandFor(run.program);
    std::vector<std::string> argvStrings = command.size() > 1 ? command : std::vector<std::string>{run.argv0};
    std::vector<std::string> envStrings = {"PATH=/usr/bin:/bin"};
    argvStrings.insert(argvStrings.end(), run.args.begin(), run.args.end());
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "KORDANE_PORTABLE"})
        if (const char* value = std::getenv(name))
            envStrings.push_back(std::string(name) + "=" + value);
    if (!run.ppdPath.empty())
        envStrings.push_back("PPD=" + run.ppdPath);
    for (const auto& entry : run.env) {
        const std::string name = entry.first + "=";
        std::erase_if(envStrings, [&](const std::string& e) { return e.starts_with(name); });
        envStrings.push_back(name + entry.second);
    }
    std::vector<char*> argv = pointers(argvStrings), envp = pointers(envStrings);

    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
        fail("pipe2");
    const pid_t pid = ::fork();
    if (pid < 0)
        fail("fork");
    if (pid == 0) {
        // The signals start at their defaults whatever the test process did.
        ::dup2(in[0], 0);
        ::dup2(run.stdoutFd >= 0 ? run.stdoutFd : out[1], 1);
        ::dup2(err[1], 2);
        for (int sig : {SIGPIPE, SIGTERM, SIGINT})
            std::signal(sig, SIG_DFL);
        if (run.ignoreSigpipe)
            std::signal(SIGPIPE, SIG_IGN);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(command.front().c_str(), argv.data(), envp.data());
        _exit(127);
    }
    for (int fd : {in[0], out[1], err[1]})
        ::close(fd);

    // Standard input is written, then closed at once or once the signal is
    // sent (or the process is gone). A child that stops reading its input
    // shows up as EPIPE here.
    std::signal(SIGPIPE, SIG_IGN);
    FilterResult result;
    std::binary_semaphore release(0);
    std::thread writer([&] {
        for (std::size_t done = 0; done < run.input.size();) {
            const ssize_t n = ::write(in[1], run.input.data() + done, run.input.size() - done);
            if (n < 0 && errno != EINTR)
                break;
            done += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        if (!run.closeStdin)
            release.acquire();
        ::close(in[1]);
    });
    std::thread reader([&] { readAll(out[0], result.out); });

    // The job log, watched for the line after which the signal is due.
    char buf[4096];
    for (ssize_t n; (n = ::read(err[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        result.err.append(buf, static_cast<std::size_t>(n));
        if (!run.signalAfterStderr.empty() && !result.signalSent &&
            result.err.find(run.signalAfterStderr) != std::string::npos) {
            ::kill(pid, SIGTERM);
            result.signalSent = true;
            release.release();
        }
    }
    reader.join();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!result.signalSent && !run.closeStdin)
        release.release();
    writer.join();
    for (int fd : {out[0], err[0]})
        ::close(fd);
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
