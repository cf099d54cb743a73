#include "platform/StandardStreams.h"

#include <string>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Each case runs in a child process, since it rearranges the process's own descriptors.
// The child reports failure through its exit code.

TEST(StandardStreams, ClosedOutputIsReservedAndDetached)
{
    EXPECT_EXIT(
        {
            ::close(1);
            Platform::PrepareStandardStreams();
            const int file = ::open("/dev/null", O_RDONLY);
            const bool attached = Platform::AttachStandardOutput();
            Platform::WriteStandardOutputLine(L"never seen");
            ::_exit(file > 2 && !attached && ::fcntl(1, F_GETFD) != -1 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(StandardStreams, ReadOnlyOutputIsDetached)
{
    EXPECT_EXIT(
        {
            const int readOnly = ::open("/dev/null", O_RDONLY);
            ::dup2(readOnly, 1);
            ::_exit(Platform::AttachStandardOutput() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(StandardStreams, BrokenPipeNeverEndsTheProcess)
{
    EXPECT_EXIT(
        {
            Platform::PrepareStandardStreams();
            int ends[2];
            if (::pipe(ends) != 0)
                ::_exit(2);
            ::close(ends[0]);
            ::dup2(ends[1], 1);
            if (!Platform::AttachStandardOutput())
                ::_exit(3);
            Platform::WriteStandardOutputLine(L"into a closed pipe");
            Platform::WriteStandardOutputLine(L"and again");
            ::_exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(StandardStreams, LinesArriveWholeAsUtf8)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const int savedOutput = ::dup(1);
    ::dup2(ends[1], 1);
    ASSERT_TRUE(Platform::AttachStandardOutput());
    Platform::WriteStandardOutputLine(L"Package generation complete.");
    Platform::WriteStandardOutputLine(L"\u00E4\u4E2D");
    ::dup2(savedOutput, 1);
    ::close(savedOutput);
    ::close(ends[1]);
    std::string received(64, '\0');
    received.resize(static_cast<std::size_t>(::read(ends[0], received.data(), received.size())));
    ::close(ends[0]);
    EXPECT_EQ(received, "Package generation complete.\n\xC3\xA4\xE4\xB8\xAD\n");
}

// What standard error is decides whether a line can be rewritten there, and how wide it
// may be; a terminal that does not tell its width (0 columns) still gets a line.
TEST(StandardStreams, StandardErrorTerminalAndItsWidth)
{
    struct Case {
        const char* name;
        bool terminal;
        unsigned short columns;
        bool isTerminal;
        std::size_t width;
    };
    const Case cases[] = {
        {"a terminal 40 columns wide", true, 40, true, 40},
        {"a terminal that does not tell its width", true, 0, true, 80},
        {"a pipe", false, 0, false, 80},
    };
    for (const auto& c : cases) {
        int ends[2];
        winsize size{};
        size.ws_col = c.columns;
        ASSERT_EQ(c.terminal ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, &size) : ::pipe(ends), 0);
        const int savedError = ::dup(2);
        ::dup2(ends[1], 2);
        const bool isTerminal = Platform::StandardErrorIsTerminal();
        const std::size_t width = Platform::StandardErrorColumns();
        ::dup2(savedError, 2);
        ::close(savedError);
        ::close(ends[0]);
        ::close(ends[1]);
        EXPECT_EQ(isTerminal, c.isTerminal) << c.name;
        EXPECT_EQ(width, c.width) << c.name;
    }
}

}  // namespace
