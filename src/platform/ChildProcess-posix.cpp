#include "platform/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/TextConversion.h"

extern char** environ;

namespace Platform {
namespace {

// An anonymous in-memory file: nothing on disk to name, clean up or collide with.
int CaptureFile(const char* name)
{
    return ::memfd_create(name, MFD_CLOEXEC);
}

// Up to `most` bytes in `fd` from `offset` on; `offset` ends past them. The program's own
// offset is not moved.
std::string ReadFrom(int fd, off_t& offset, std::size_t most = SIZE_MAX)
{
    std::string text;
    if (fd < 0)
        return text;
    char buffer[4096];
    for (ssize_t got;
         text.size() < most && (got = ::pread(fd, buffer, std::min(sizeof buffer, most - text.size()), offset)) > 0;
         offset += got)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

std::string ReadAll(int fd)
{
    off_t offset = 0;
    return ReadFrom(fd, offset);
}

// Runs in the forked child, so only async-signal-safe calls: it makes the system kill
// the child when the parent dies, restores default signal handling, wires the standard
// streams and replaces itself with the program. A failure goes back as errno on `report`.
[[noreturn]] void StartInChild(const char* program, char* const* argv, const char* folder, pid_t parent, int input,
                               int output, int error, int report, bool detach)
{
    int failure = 0;
    // A session of its own has no controlling terminal: a program handed its input can
    // never turn to the terminal to ask for more.
    if (detach && ::setsid() < 0)
        failure = errno;
    else if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        failure = errno;
    // The parent may have died before the request above took effect: then nobody
    // would ever send the signal.
    else if (::getppid() != parent)
        ::_exit(127);
    if (failure == 0) {
        struct sigaction defaults{};
        defaults.sa_handler = SIG_DFL;
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT})
            ::sigaction(signal, &defaults, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 || ::dup2(error, 2) < 0)
            failure = errno;
        else if (folder != nullptr && ::chdir(folder) != 0)
            failure = errno;
    }
    if (failure == 0) {
        ::execve(program, argv, environ);
        failure = errno;
    }
    while (::write(report, &failure, sizeof failure) < 0 && errno == EINTR) {}
    ::_exit(127);
}

// The read end of a pipe that already holds all of `input` and whose write end is closed,
// so the program reads exactly those bytes and then the end. A pipe holds at least a page
// before a write would wait.
int InputPipe(std::string_view input)
{
    if (input.size() > ChildProcess::kMaxInput) {
        errno = E2BIG;
        return -1;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    FileDescriptor writeEnd(ends[1]);
    if (const int error = WriteAll(writeEnd.Get(), input.data(), input.size())) {
        ::close(ends[0]);
        errno = error;
        return -1;
    }
    return ends[0];
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::wstring>& arguments, const std::wstring& folder)
{
    Start(arguments, folder, nullptr);
}

ChildProcess::ChildProcess(const std::vector<std::wstring>& arguments, const std::wstring& folder,
                           std::string_view input)
{
    Start(arguments, folder, &input);
}

void ChildProcess::Start(const std::vector<std::wstring>& arguments, const std::wstring& folder,
                         const std::string_view* given)
{
    if (arguments.empty()) {
        startError = EINVAL;
        return;
    }
    std::vector<std::string> narrow;
    for (const auto& argument : arguments)
        narrow.push_back(NarrowHostText(argument));
    std::vector<char*> argv;
    for (auto& argument : narrow)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string workingFolder = NarrowHostText(folder);
    // The program is named before the child changes folder: a relative name means the
    // caller's folder.
    std::string program = narrow.front();
    if (!folder.empty() && !program.starts_with('/'))
        program = boost::filesystem::absolute(program).string();

    outputFd = CaptureFile("child-output");
    errorFd = CaptureFile("child-error");
    const FileDescriptor input(given ? InputPipe(*given) : ::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int reportPipe[2];
    if (outputFd < 0 || errorFd < 0 || input.Get() < 0 || ::pipe2(reportPipe, O_CLOEXEC) != 0) {
        startError = errno;
        return;
    }
    const FileDescriptor reportRead(reportPipe[0]);
    FileDescriptor reportWrite(reportPipe[1]);

    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        startError = errno;
        return;
    }
    if (child == 0)
        StartInChild(program.c_str(), argv.data(), folder.empty() ? nullptr : workingFolder.c_str(), parent,
                     input.Get(), outputFd, errorFd, reportWrite.Get(), given != nullptr);

    pid = child;
    // The pipe closes on a successful exec; a failed start sends its errno first.
    reportWrite.Reset();
    int failure = 0;
    ssize_t got;
    while ((got = ::read(reportRead.Get(), &failure, sizeof failure)) < 0 && errno == EINTR) {}
    if (got == static_cast<ssize_t>(sizeof failure)) {
        startError = failure;
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        pid = -1;
    }
}

ChildProcess::~ChildProcess()
{
    if (pid > 0 && !exitCode)
        Terminate();
    for (const int fd : {outputFd, errorFd})
        if (fd >= 0)
            ::close(fd);
}

void ChildProcess::Finish(int status)
{
    if (WIFEXITED(status)) {
        exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        endingSignal = WTERMSIG(status);
        exitCode = 128 + *endingSignal;
    } else {
        exitCode = -1;
    }
}

std::optional<int> ChildProcess::Poll()
{
    if (exitCode || pid <= 0)
        return exitCode;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid)
        Finish(status);
    else if (result < 0)
        exitCode = -1;  // not our child any more: nothing left to wait for
    return exitCode;
}

void ChildProcess::Terminate()
{
    if (pid <= 0 || Poll())
        return;
    ::kill(pid, SIGTERM);
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!Poll() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    if (!Poll()) {
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        Finish(status);
    }
}

std::string ChildProcess::Output() const
{
    return ReadAll(outputFd);
}

std::string ChildProcess::ErrorOutput() const
{
    return ReadAll(errorFd);
}

std::string ChildProcess::NewOutput()
{
    off_t offset = static_cast<off_t>(outputSeen);
    std::string text = ReadFrom(outputFd, offset);
    outputSeen = offset;
    return text;
}

std::string ChildProcess::TakeOutput(std::size_t most)
{
    off_t offset = static_cast<off_t>(outputSeen);
    std::string text = ReadFrom(outputFd, offset, most);
    outputSeen = offset;
    // What was read goes back to the system; the program writes on past it. Should the
    // file system not free ranges, the output is merely kept.
    if (!text.empty())
        (void)::fallocate(outputFd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, offset);
    return text;
}

std::string SignalName(int signal)
{
    if (const char* name = ::sigabbrev_np(signal))
        return std::string("SIG") + name;
    return "signal " + std::to_string(signal);
}

}  // namespace Platform
