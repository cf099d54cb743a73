#include "platform/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TestFolder.h"

namespace {

using namespace std::chrono_literals;

// However loaded the machine, the child ends: wait for that, not for a time.
int WaitFor(Platform::ChildProcess& child)
{
    std::optional<int> code;
    while (!(code = child.Poll()))
        std::this_thread::sleep_for(10ms);
    return *code;
}

bool ProcessExists(pid_t pid)
{
    // A zombie has ended already: only a running process counts.
    std::ifstream status("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, name, state;
    status >> pidText >> name >> state;
    return status && state != "Z";
}

TEST(ChildProcess, ReportsExitCodesAndKeepsItsOutputToItself)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Platform::ChildProcess child({L"/bin/sh", L"-c", L"echo visible; echo 'trouble here' >&2; exit 7"});
    ASSERT_EQ(child.StartError(), 0);
    EXPECT_EQ(WaitFor(child), 7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(child.Output(), "visible\n");
    EXPECT_EQ(child.ErrorOutput(), "trouble here\n");
    EXPECT_FALSE(child.EndingSignal());
}

// Output taken in pieces while the program runs and after it ended is all of it, in
// order, each byte once, whatever the piece size.
TEST(ChildProcess, OutputTakenInPiecesIsAllOfItOnce)
{
    for (const std::size_t most : {std::size_t{1000}, std::size_t{4096}, std::size_t{70000}}) {
        SCOPED_TRACE(most);
        Platform::ChildProcess child({L"/bin/sh", L"-c", L"seq 1 30000; echo end"});
        ASSERT_EQ(child.StartError(), 0);
        std::string taken;
        std::optional<int> code;
        do {
            code = child.Poll();
            for (std::string piece; !(piece = child.TakeOutput(most)).empty();) {
                EXPECT_LE(piece.size(), most);
                taken += piece;
            }
            std::this_thread::sleep_for(1ms);
        } while (!code);
        EXPECT_EQ(*code, 0);
        std::string expected;
        for (int line = 1; line <= 30000; ++line)
            expected += std::to_string(line) + "\n";
        EXPECT_EQ(taken, expected + "end\n");
    }
}

TEST(ChildProcess, EveryArgumentArrivesExactlyAsGiven)
{
    // Quotes, backslashes, blanks, wildcards and shell syntax in every place a path may
    // hold them: each must reach the program as one unchanged argument.
    const std::vector<std::wstring> hostile = {
        L"a \"b\" c", L"\"", L"\\\"", L"trailing\\", L"x\\\\\"y", L"", L"$(touch nope) *", L"-r", L"\u00E9\u4E2D \"q\"",
    };
    std::vector<std::wstring> arguments = {L"/bin/sh", L"-c", L"printf '%s\\0' \"$@\"", L"zero"};
    arguments.insert(arguments.end(), hostile.begin(), hostile.end());
    Platform::ChildProcess child(arguments);
    ASSERT_EQ(child.StartError(), 0);
    ASSERT_EQ(WaitFor(child), 0) << child.ErrorOutput();
    std::string expected;
    for (const auto& argument :
         {std::string("a \"b\" c"), std::string("\""), std::string("\\\""), std::string("trailing\\"),
          std::string("x\\\\\"y"), std::string(), std::string("$(touch nope) *"), std::string("-r"),
          std::string("\xC3\xA9\xE4\xB8\xAD \"q\"")})
        expected += argument + '\0';
    EXPECT_EQ(child.Output(), expected);
}

// Input handed over reaches the program exactly, through a pipe and not a file, and the
// program has no terminal to ask on instead; more than a pipe holds at once is refused.
TEST(ChildProcess, GivenInputIsAllTheProgramCanRead)
{
    const std::string secret("pass word\n\0tail", 15);
    Platform::ChildProcess reader({L"/bin/sh", L"-c", L"cat; readlink /proc/self/fd/0 >&2"}, L"", secret);
    ASSERT_EQ(reader.StartError(), 0);
    EXPECT_EQ(WaitFor(reader), 0);
    EXPECT_EQ(reader.Output(), secret);
    EXPECT_EQ(reader.ErrorOutput().rfind("pipe:", 0), 0u) << reader.ErrorOutput();

    Platform::ChildProcess asker({L"/bin/sh", L"-c", L"exec 3</dev/tty"}, L"", "");
    ASSERT_EQ(asker.StartError(), 0);
    EXPECT_NE(WaitFor(asker), 0) << "no controlling terminal";

    Platform::ChildProcess tooMuch({L"/bin/cat"}, L"", std::string(Platform::ChildProcess::kMaxInput + 1, 'x'));
    EXPECT_EQ(tooMuch.StartError(), E2BIG);
}

TEST(ChildProcess, RunsInTheFolderItIsGiven)
{
    const std::filesystem::path folder = TestSupport::ScratchFolder() / "a \"quoted\" folder";
    std::filesystem::create_directories(folder);
    Platform::ChildProcess child({L"/bin/pwd"}, folder.wstring());
    ASSERT_EQ(child.StartError(), 0);
    EXPECT_EQ(WaitFor(child), 0);
    EXPECT_EQ(child.Output(), folder.string() + "\n");
}

TEST(ChildProcess, FailedStartsGiveTheirErrorCode)
{
    const std::filesystem::path plain = TestSupport::ScratchFolder() / "not a program";
    std::ofstream(plain) << "text\n";
    std::filesystem::permissions(plain, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    struct Case {
        std::vector<std::wstring> arguments;
        std::wstring folder;
        int error;
    };
    const Case cases[] = {
        {{L"/nonexistent/7za/7za", L"a", L"x"}, L"", ENOENT},
        {{plain.wstring()}, L"", EACCES},
        {{L"/bin/true"}, L"/nonexistent folder", ENOENT},
        {{}, L"", EINVAL},
    };
    for (const auto& c : cases) {
        Platform::ChildProcess child(c.arguments, c.folder);
        EXPECT_EQ(child.StartError(), c.error);
        EXPECT_FALSE(child.Poll());
    }
    int status;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a failed start leaves nothing to reap";
}

TEST(ChildProcess, SignalThatEndsTheProgramIsNamed)
{
    Platform::ChildProcess child({L"/bin/sh", L"-c", L"kill -KILL $$"});
    ASSERT_EQ(child.StartError(), 0);
    EXPECT_EQ(WaitFor(child), 128 + SIGKILL);
    EXPECT_EQ(child.EndingSignal(), SIGKILL);
    EXPECT_EQ(Platform::SignalName(SIGKILL), "SIGKILL");
    EXPECT_EQ(Platform::SignalName(SIGTERM), "SIGTERM");
}

TEST(ChildProcess, TerminateEndsAndReapsARunningProgram)
{
    // The exit code says the signal ended it: sleep itself would end with 0.
    Platform::ChildProcess child({L"/bin/sleep", L"100000"});
    ASSERT_EQ(child.StartError(), 0);
    EXPECT_FALSE(child.Poll());
    child.Terminate();
    EXPECT_EQ(child.Poll(), 128 + SIGTERM);
}

TEST(ChildProcess, DestructionLeavesNoChildRunning)
{
    {
        Platform::ChildProcess child({L"/bin/sleep", L"30"});
        ASSERT_EQ(child.StartError(), 0);
    }
    int status;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "no child is left to reap";
    EXPECT_EQ(errno, ECHILD);
}

// The owner is killed outright, so no destructor runs: the system must end the child.
TEST(ChildProcess, ProgramDoesNotOutliveItsOwnerKilledOutright)
{
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t owner = ::fork();
    ASSERT_GE(owner, 0);
    if (owner == 0) {
        ::close(report[0]);
        Platform::ChildProcess child({L"/bin/sleep", L"300"});
        // The program's process id is not exposed: its parent finds it in /proc.
        std::string found;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::ifstream stat(entry.path() / "stat");
            std::string self, name, state, parent;
            stat >> self >> name >> state >> parent;
            if (stat && parent == std::to_string(::getpid()) && name == "(sleep)")
                found = self;
        }
        const int sleeper = found.empty() ? -1 : std::stoi(found);
        (void)!::write(report[1], &sleeper, sizeof sleeper);
        ::pause();
        ::_exit(0);
    }
    ::close(report[1]);
    int sleeper = -1;
    ASSERT_EQ(::read(report[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
    ::close(report[0]);
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(ProcessExists(sleeper));
    ::kill(owner, SIGKILL);
    int status = 0;
    ::waitpid(owner, &status, 0);
    bool gone = false;
    for (int i = 0; i < 3000 && !(gone = !ProcessExists(sleeper)); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(gone) << "the program went on after its owner was killed";
}

}  // namespace
