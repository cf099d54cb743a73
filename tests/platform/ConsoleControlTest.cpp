#include "platform/ConsoleControl.h"

#include <atomic>
#include <csignal>

#include <gtest/gtest.h>

namespace {

std::atomic<int> lastEvent{0};

bool Handles(int event)
{
    lastEvent = event;
    return true;
}

bool Declines(int event)
{
    lastEvent = event;
    return false;
}

TEST(ConsoleControl, HandledEventsKeepTheProcessAndRemovalRestores)
{
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    ASSERT_TRUE(Platform::SetConsoleCtrlHandler(Handles, true));
    EXPECT_FALSE(Platform::SetConsoleCtrlHandler(Declines, true)) << "one handler at a time";
    for (const int event : {SIGINT, SIGTERM, SIGHUP}) {
        ::raise(event);
        EXPECT_EQ(lastEvent.load(), event);
    }
    EXPECT_TRUE(Platform::SetConsoleCtrlHandler(Handles, false));
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(ConsoleControl, DeclinedEventEndsTheProcessByThatSignal)
{
    EXPECT_EXIT(
        {
            Platform::SetConsoleCtrlHandler(Declines, true);
            ::raise(SIGTERM);
            ::_exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
