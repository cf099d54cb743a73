#pragma once

#include <optional>
#include <string>

namespace Platform {

// One program started from a Windows-style command line, without a shell: the line is
// split by SplitCommandLine and its first argument names the program. The program reads
// nothing on its standard input; what it writes on standard output and standard error
// is captured, never shown, so it cannot mix into the caller's own output.
class CChildProcess {
public:
    explicit CChildProcess(const std::wstring& commandLine);
    // A program still running is ended and waited for: no child outlives its owner.
    ~CChildProcess();

    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // 0 when the program started, else the system error code of the failed start
    // (a missing program gives 2, as on Windows).
    int StartError() const { return startError; }

    // Does not wait. The exit code once the program has ended (128 + the signal number
    // when a signal ended it); nothing while it runs.
    std::optional<int> Poll();

    // Asks the program to stop, forces it after a grace period, and waits for it.
    void Terminate();

    // What the program wrote on its standard error, as it wrote it.
    std::string ErrorOutput() const;

private:
    int pid = -1;
    int startError = 0;
    int outputFd = -1;
    int errorFd = -1;
    std::optional<int> exitCode;
};

}  // namespace Platform
