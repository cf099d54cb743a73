#include "platform/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/CommandLineSplit.h"
#include "platform/TextConversion.h"

extern char** environ;

namespace Platform {
namespace {

// An anonymous in-memory file: nothing on disk to name, clean up or collide with.
int CaptureFile(const char* name)
{
    return ::memfd_create(name, MFD_CLOEXEC);
}

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t actions;
};

class SpawnAttributes {
public:
    SpawnAttributes() { ::posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t attributes;
};

int DecodeStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

CChildProcess::CChildProcess(const std::wstring& commandLine)
{
    const std::vector<std::wstring> wideArguments = SplitCommandLine(commandLine);
    std::vector<std::string> arguments;
    for (const auto& argument : wideArguments)
        arguments.push_back(NarrowHostText(argument));
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    outputFd = CaptureFile("child-output");
    errorFd = CaptureFile("child-error");
    if (outputFd < 0 || errorFd < 0) {
        startError = errno;
        return;
    }

    SpawnActions files;
    ::posix_spawn_file_actions_addopen(&files.actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&files.actions, outputFd, 1);
    ::posix_spawn_file_actions_adddup2(&files.actions, errorFd, 2);

    // The child starts with default signal handling and nothing blocked, whatever
    // handlers or ignored signals the caller has set up for itself.
    SpawnAttributes spawn;
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT})
        sigaddset(&defaults, signal);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigdefault(&spawn.attributes, &defaults);
    ::posix_spawnattr_setsigmask(&spawn.attributes, &none);
    ::posix_spawnattr_setflags(&spawn.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t child = -1;
    startError = ::posix_spawn(&child, argv[0], &files.actions, &spawn.attributes, argv.data(), environ);
    if (startError == 0)
        pid = child;
}

CChildProcess::~CChildProcess()
{
    if (pid > 0 && !exitCode)
        Terminate();
    for (const int fd : {outputFd, errorFd})
        if (fd >= 0)
            ::close(fd);
}

std::optional<int> CChildProcess::Poll()
{
    if (exitCode || pid <= 0)
        return exitCode;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid)
        exitCode = DecodeStatus(status);
    else if (result < 0)
        exitCode = -1;  // not our child any more: nothing left to wait for
    return exitCode;
}

void CChildProcess::Terminate()
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
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        exitCode = DecodeStatus(status);
    }
}

std::string CChildProcess::ErrorOutput() const
{
    std::string text;
    if (errorFd < 0)
        return text;
    char buffer[4096];
    off_t offset = 0;
    for (ssize_t got; (got = ::pread(errorFd, buffer, sizeof buffer, offset)) > 0; offset += got)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

}  // namespace Platform
