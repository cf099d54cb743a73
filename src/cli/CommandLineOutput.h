#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "core/IProgress.h"
#include "core/OverallProgress.h"
#include "core/StepProgress.h"
#include "platform/ConsoleControl.h"

// The console reporter of a command-line run: each status text on a line of its own on
// standard output, at once. While it lives, Ctrl+C, SIGTERM and SIGHUP are answered as
// OnStopRequest says: the first asks the running job to stop and clean up, a second lets
// the clean-up go on, a third ends the process at once.
//
// When standard error is a terminal, one line on it shows the step, the overall percentage
// and the time since the reporter was made, rewritten in place at most ten times a second.
// It is erased before each status line and when the reporter ends, so the two never mix
// on one terminal and nothing of it stays. Otherwise nothing is written to standard error.
class CommandLineOutput : public IProgress, public StepProgress {
public:
    CommandLineOutput();
    ~CommandLineOutput() override;

    CommandLineOutput(const CommandLineOutput&) = delete;
    CommandLineOutput& operator=(const CommandLineOutput&) = delete;

    void SetStatus(const std::wstring& text) override;
    void SetProgress(const int& percent) override;
    void Refresh() override;
    void SetStepProgress(std::uint64_t done, std::uint64_t total) override;

private:
    using Clock = std::chrono::steady_clock;

    void DrawLine();
    void EraseLine();

    Platform::ConsoleControlHandler handler;
    // Decided once: a terminal that fails a write is given up for the rest of the run.
    bool drawing;
    const Clock::time_point start;
    OverallProgress overall;
    std::wstring status;
    // The line as the terminal shows it now; empty when erased.
    std::wstring shown;
    Clock::time_point shownAt;
};
