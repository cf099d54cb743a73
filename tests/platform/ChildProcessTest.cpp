#include "platform/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <thread>

#include <sys/wait.h>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// However loaded the machine, the child ends: wait for that, not for a time.
int WaitFor(Platform::CChildProcess& child)
{
    std::optional<int> code;
    while (!(code = child.Poll()))
        std::this_thread::sleep_for(10ms);
    return *code;
}

TEST(ChildProcess, ReportsExitCodesAndKeepsItsOutputToItself)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Platform::CChildProcess child(LR"(/bin/sh -c "echo visible; echo 'trouble here' >&2; exit 7")");
    ASSERT_EQ(child.StartError(), 0);
    EXPECT_EQ(WaitFor(child), 7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(child.ErrorOutput(), "trouble here\n");
}

TEST(ChildProcess, ArgumentsArriveLiterallyWithoutAShell)
{
    // The script compares its first argument with the literal text; a shell expanding
    // the command line would have split or substituted it.
    Platform::CChildProcess child(LR"(/bin/sh -c "test \"$1\" = 'a \"b\" $(c) *'" zero "a \"b\" $(c) *")");
    ASSERT_EQ(child.StartError(), 0);
    EXPECT_EQ(WaitFor(child), 0) << child.ErrorOutput();
}

TEST(ChildProcess, MissingProgramGivesItsErrorCode)
{
    Platform::CChildProcess child(LR"("/nonexistent/7za/7za" a "x")");
    EXPECT_EQ(child.StartError(), 2);
    EXPECT_FALSE(child.Poll());
}

TEST(ChildProcess, TerminateEndsAndReapsARunningProgram)
{
    // The exit code says the signal ended it: sleep itself would end with 0.
    Platform::CChildProcess child(L"/bin/sleep 100000");
    ASSERT_EQ(child.StartError(), 0);
    EXPECT_FALSE(child.Poll());
    child.Terminate();
    EXPECT_EQ(child.Poll(), 128 + SIGTERM);
}

TEST(ChildProcess, DestructionLeavesNoChildRunning)
{
    {
        Platform::CChildProcess child(L"/bin/sleep 30");
        ASSERT_EQ(child.StartError(), 0);
    }
    int status;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "no child is left to reap";
    EXPECT_EQ(errno, ECHILD);
}

}  // namespace
