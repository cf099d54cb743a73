#include "platform/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <sys/wait.h>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

int WaitFor(Platform::CChildProcess& child)
{
    for (int i = 0; i < 1000; ++i) {
        if (const auto code = child.Poll())
            return *code;
        std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << "the child did not end";
    return -1;
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
    const auto start = std::chrono::steady_clock::now();
    Platform::CChildProcess child(L"/bin/sleep 30");
    ASSERT_EQ(child.StartError(), 0);
    EXPECT_FALSE(child.Poll());
    child.Terminate();
    EXPECT_EQ(child.Poll(), 128 + SIGTERM);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
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
