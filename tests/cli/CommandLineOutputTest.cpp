#include "cli/CommandLineOutput.h"

#include <csignal>

#include <gtest/gtest.h>

#include "platform/Interrupt.h"

namespace {

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

TEST(CommandLineOutput, FirstSignalAsksToStopSecondEndsTheProcess)
{
    struct sigaction before {};
    ::sigaction(SIGINT, nullptr, &before);
    Platform::ClearInterrupt();
    {
        CommandLineOutput output;
        ::raise(SIGTERM);
        EXPECT_TRUE(Platform::InterruptRequested());
        EXPECT_EXIT(::raise(SIGINT), testing::KilledBySignal(SIGINT), "");
    }
    struct sigaction after {};
    ::sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "the handler leaves with the reporter";
    Platform::ClearInterrupt();
}

}  // namespace
