#pragma once

#include <string>

#include "core/IProgress.h"
#include "platform/ConsoleControl.h"

// The console reporter of a command-line run: each status text on a line of its own on
// standard output, at once. Percentages are not shown. While it lives, Ctrl+C, SIGTERM and
// SIGHUP ask the running job to stop and clean up; a second one ends the process.
class CommandLineOutput : public IProgress {
public:
    CommandLineOutput();
    ~CommandLineOutput() override;

    CommandLineOutput(const CommandLineOutput&) = delete;
    CommandLineOutput& operator=(const CommandLineOutput&) = delete;

    void SetStatus(const std::wstring& text) override;
    void SetProgress(const int& percent) override;
    void Refresh() override;

private:
    Platform::ConsoleControlHandler handler;
};
