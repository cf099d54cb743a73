#include "cli/CommandLineOutput.h"

#include "platform/Interrupt.h"
#include "platform/StandardStreams.h"

namespace {

bool OnConsoleControl(int)
{
    if (Platform::InterruptRequested())
        return false;
    Platform::RequestInterrupt();
    return true;
}

}  // namespace

CommandLineOutput::CommandLineOutput()
    : handler(OnConsoleControl)
{
    Platform::AttachStandardOutput();
    // Registered even when standard output is detached: a stop request must still let the
    // job end its archiver and remove what it started.
    Platform::SetConsoleCtrlHandler(handler, true);
}

CommandLineOutput::~CommandLineOutput()
{
    Platform::SetConsoleCtrlHandler(handler, false);
}

void CommandLineOutput::SetStatus(const std::wstring& text)
{
    Platform::WriteStandardOutputLine(text);
}

void CommandLineOutput::SetProgress(const int&)
{
}

void CommandLineOutput::Refresh()
{
}
