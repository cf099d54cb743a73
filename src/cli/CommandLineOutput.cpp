#include "cli/CommandLineOutput.h"

#include "cli/ProgressLine.h"
#include "core/StopRequests.h"
#include "platform/StandardStreams.h"
#include "platform/TextConversion.h"

namespace {

// The job calls Refresh every 10 ms while the archiver runs; a terminal needs far fewer.
constexpr std::chrono::milliseconds kRedrawInterval{100};

}  // namespace

CommandLineOutput::CommandLineOutput()
    : handler(OnStopRequest),
      drawing(Platform::StandardErrorIsTerminal()),
      start(Clock::now())
{
    Platform::AttachStandardOutput();
    // Registered even when standard output is detached: a stop request must still let the
    // job end its archiver and remove what it started.
    ForgetStopRequests();
    Platform::SetConsoleCtrlHandler(handler, true);
}

CommandLineOutput::~CommandLineOutput()
{
    EraseLine();
    Platform::SetConsoleCtrlHandler(handler, false);
}

void CommandLineOutput::SetStatus(const std::wstring& text)
{
    EraseLine();
    Platform::WriteStandardOutputLine(text);
    status = text;
    overall.StartStep();
    DrawLine();
}

void CommandLineOutput::SetProgress(const int& percent)
{
    overall.SetProgress(percent);
    DrawLine();
}

void CommandLineOutput::Refresh()
{
    DrawLine();
}

void CommandLineOutput::SetStepProgress(std::uint64_t done, std::uint64_t total)
{
    overall.SetStepProgress(done, total);
    DrawLine();
}

void CommandLineOutput::DrawLine()
{
    if (!drawing || status.empty())
        return;
    const auto now = Clock::now();
    const std::wstring text =
        ProgressLineText(status, overall.Percent(), std::chrono::duration_cast<std::chrono::seconds>(now - start),
                         Platform::StandardErrorColumns());
    if (text == shown || (!shown.empty() && now - shownAt < kRedrawInterval))
        return;
    // Blanks cover what a longer line before left to the right.
    const std::size_t leftover = shown.size() > text.size() ? shown.size() - text.size() : 0;
    drawing = Platform::WriteStandardError("\r" + Platform::NarrowHostText(text) + std::string(leftover, ' '));
    shown = drawing ? text : std::wstring();
    shownAt = now;
}

void CommandLineOutput::EraseLine()
{
    if (shown.empty())
        return;
    drawing = Platform::WriteStandardError("\r" + std::string(shown.size(), ' ') + "\r") && drawing;
    shown.clear();
}
