#include "cli/CommandLineOutput.h"

#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/StopRequests.h"
#include "platform/Interrupt.h"
#include "support/LogLines.h"
#include "support/TerminalScreen.h"

namespace {

using TestSupport::TerminalScreen;

// Points standard output and standard error at one pseudo-terminal while it lives, and
// collects what the terminal receives on a thread of its own, so no write ever waits for a
// reader.
class OnTerminal {
public:
    explicit OnTerminal(unsigned short columns)
    {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = columns;
        if (::openpty(&reading, &terminal, nullptr, nullptr, &size) != 0)
            throw std::runtime_error("cannot open a pseudo-terminal");
        std::fflush(stdout);
        savedOutput = ::dup(1);
        savedError = ::dup(2);
        ::dup2(terminal, 1);
        ::dup2(terminal, 2);
        reader = std::thread([this] {
            char buffer[4096];
            // The reading side fails (EIO) once every descriptor of the terminal is closed.
            while (true) {
                const ssize_t got = ::read(reading, buffer, sizeof buffer);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return;
                const std::lock_guard lock(mutex);
                received.append(buffer, static_cast<std::size_t>(got));
            }
        });
    }

    ~OnTerminal() { Finish(); }

    OnTerminal(const OnTerminal&) = delete;
    OnTerminal& operator=(const OnTerminal&) = delete;

    std::string Received()
    {
        const std::lock_guard lock(mutex);
        return received;
    }

    // Gives standard output and error back and answers everything the terminal received.
    std::string Finish()
    {
        if (reader.joinable()) {
            ::dup2(savedOutput, 1);
            ::dup2(savedError, 2);
            ::close(savedOutput);
            ::close(savedError);
            ::close(terminal);
            reader.join();
            ::close(reading);
        }
        return Received();
    }

private:
    int reading = -1;
    int terminal = -1;
    int savedOutput = -1;
    int savedError = -1;
    std::thread reader;
    std::mutex mutex;
    std::string received;
};

// Each text the terminal got after a carriage return that shows something.
std::vector<std::string> DrawnLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; from <= bytes.size(); from = end + 1) {
        end = std::min(bytes.find('\r', from), bytes.size());
        const std::string piece = bytes.substr(from, end - from);
        if (piece.find_first_not_of(" \n") != std::string::npos)
            lines.push_back(piece.substr(0, piece.find_last_not_of(' ') + 1));
    }
    return lines;
}

TEST(CommandLineOutput, StatusLinesOnlyAndAtOnce)
{
    testing::internal::CaptureStdout();
    {
        CommandLineOutput output;
        IProgress& progress = output;
        progress.SetStatus(L"Establishing package components to transfer...");
        progress.SetProgress(20);
        progress.Refresh();
        progress.SetStatus(L"Package generation complete.");
        progress.SetProgress(100);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Establishing package components to transfer...\nPackage generation complete.\n");
}

// The job calls Refresh every 10 ms while the archiver runs and reports a step's bytes as
// they go: the line follows at most ten times a second and catches up afterwards; standard
// output on the same terminal gets whole status lines with nothing of the line around them.
TEST(CommandLineOutput, LineOnATerminalKeepsPaceAndNeverMixesWithStatusLines)
{
    const std::wstring copying = L"Copying package data and ConfigUpdate tool to local machine...";
    std::string received;
    std::chrono::steady_clock::duration burst{};
    bool caughtUp = false;
    {
        OnTerminal terminal(100);
        {
            CommandLineOutput output;
            output.SetStatus(L"Establishing package components to transfer...");
            output.SetProgress(20);
            output.SetStatus(copying);
            const auto start = std::chrono::steady_clock::now();
            for (std::uint64_t done = 0; done < 20; ++done) {
                output.SetStepProgress(done, 20);
                output.Refresh();
            }
            burst = std::chrono::steady_clock::now() - start;
            // The last figure shows once the pause between redraws is over.
            for (int i = 0; i < 10000 && !caughtUp; ++i) {
                output.Refresh();
                caughtUp = terminal.Received().find("  39%  ") != std::string::npos;
                ::usleep(1000);
            }
            output.SetProgress(40);
            output.SetStatus(L"Creating setup configuration script...");
        }
        received = terminal.Finish();
    }
    EXPECT_TRUE(caughtUp) << received;
    const std::vector<std::string> statusLines = {"Establishing package components to transfer...",
                                                  "Copying package data and ConfigUpdate tool to local machine...",
                                                  "Creating setup configuration script..."};
    // Erased before each status line and at the end: the screen holds the status lines alone.
    std::vector<std::string> screen = statusLines;
    screen.push_back("");
    EXPECT_EQ(TerminalScreen(received).rows, screen) << received;
    // Everything else drawn is the progress line: the step, the percentage, the time.
    const std::regex progressLine("(.*)  ([0-9]+)%  0:[0-9][0-9]");
    long copyingLines = 0;
    for (const auto& line : DrawnLines(received)) {
        std::smatch parts;
        if (std::find(statusLines.begin(), statusLines.end(), line) != statusLines.end())
            continue;
        ASSERT_TRUE(std::regex_match(line, parts, progressLine)) << line;
        EXPECT_NE(std::find(statusLines.begin(), statusLines.end(), parts[1].str()), statusLines.end()) << line;
        copyingLines += parts[1] == statusLines[1] ? 1 : 0;
    }
    // One line as the step starts, one when the line caught up, and at most one more for
    // every 100 ms the burst took.
    EXPECT_LE(copyingLines, 2 + burst / std::chrono::milliseconds(100)) << received;
}

// A terminal that goes away during a run (its window closed, the connection dropped) ends
// the line; the status lines go on.
TEST(CommandLineOutput, HungUpTerminalEndsTheLineOnly)
{
    int reading = -1;
    int terminal = -1;
    ASSERT_EQ(::openpty(&reading, &terminal, nullptr, nullptr, nullptr), 0);
    const int savedError = ::dup(2);
    ::dup2(terminal, 2);
    testing::internal::CaptureStdout();
    {
        CommandLineOutput output;
        output.SetStatus(L"Establishing package components to transfer...");
        ::close(reading);
        output.SetProgress(20);
        output.SetStatus(L"Copying package data and ConfigUpdate tool to local machine...");
        output.SetStepProgress(5, 10);
        output.Refresh();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    ::dup2(savedError, 2);
    ::close(savedError);
    ::close(terminal);
    EXPECT_EQ(out,
              "Establishing package components to transfer...\n"
              "Copying package data and ConfigUpdate tool to local machine...\n");
}

// The first request asks the job to stop and the second lets its clean-up go on: the
// process stays. A third ends it by that signal, after one line in the log.
TEST(CommandLineOutput, ThirdStopRequestEndsTheProcessWithALogLine)
{
    struct sigaction before{};
    ::sigaction(SIGINT, nullptr, &before);
    Platform::ClearInterrupt();
    {
        CommandLineOutput output;
        ::raise(SIGTERM);
        ::raise(SIGHUP);
    }
    EXPECT_TRUE(Platform::InterruptRequested());
    EXPECT_EQ(StopRequestCount(), 2);
    LogLines log;
    EXPECT_EXIT(
        {
            CommandLineOutput output;
            for (int i = 0; i < 3; ++i)
                ::raise(SIGINT);
            while (true)
                ::pause();
        },
        testing::KilledBySignal(SIGINT), "");
    EXPECT_EQ(log.Take(), std::vector<std::string>{
                              "Stop requested a third time, by SIGINT: the program ends at once, before its clean-up "
                              "is done; the work folder and the run's files in the output folder may be left behind "});
    struct sigaction after{};
    ::sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "the handler leaves with the reporter";
    Platform::ClearInterrupt();
}

}  // namespace
