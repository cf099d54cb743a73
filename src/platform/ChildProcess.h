#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// One program started from its argument vector, without a shell: the first argument
// names the program, and every argument reaches it exactly as given. The program reads
// nothing on its standard input unless it is given some; what it writes on standard
// output and standard error is captured, never shown, so it cannot mix into the caller's
// own output. The system ends the program when its starter dies, however that happens.
class ChildProcess {
public:
    // The program runs in `folder`, or in the caller's current folder when it is empty.
    explicit ChildProcess(const std::vector<std::wstring>& arguments, const std::wstring& folder = L"");
    // The same, with `input` on the program's standard input, through a pipe: a secret
    // handed over this way is in no file, argument or environment variable. The program
    // runs without a controlling terminal, so it cannot prompt on one instead. Up to
    // kMaxInput bytes; more makes the start fail with E2BIG.
    ChildProcess(const std::vector<std::wstring>& arguments, const std::wstring& folder, std::string_view input);
    static constexpr std::size_t kMaxInput = 4096;
    // A program still running is ended and waited for: no child outlives its owner.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // 0 when the program started, else the system error code of the failed start
    // (a missing program gives 2, as on Windows).
    int StartError() const { return startError; }

    // Does not wait. The exit code once the program has ended (128 + the signal number
    // when a signal ended it); nothing while it runs.
    std::optional<int> Poll();

    // The signal that ended the program, once it has ended by one.
    std::optional<int> EndingSignal() const { return endingSignal; }

    // Asks the program to stop, forces it after a grace period, and waits for it.
    void Terminate();

    // What the program wrote on its standard output and standard error, as it wrote it.
    std::string Output() const;
    std::string ErrorOutput() const;
    // What the program wrote on its standard output since the last call: lets a caller
    // follow what a running program reports.
    std::string NewOutput();
    // The same, at most `most` bytes at a time, which are then let go of: a caller that
    // reads a long output this way holds no more of it than it has not read yet. Output()
    // no longer has what was taken.
    std::string TakeOutput(std::size_t most);

private:
    void Start(const std::vector<std::wstring>& arguments, const std::wstring& folder, const std::string_view* input);
    void Finish(int status);

    int pid = -1;
    int startError = 0;
    int outputFd = -1;
    int errorFd = -1;
    std::int64_t outputSeen = 0;
    std::optional<int> exitCode;
    std::optional<int> endingSignal;
};

// The conventional name of a signal ("SIGKILL"), or "signal <number>" for one without.
std::string SignalName(int signal);

}  // namespace Platform
