#include "platform/ConsoleControl.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Written by the handler's thread, read once the removal has handed it every event.
std::vector<int> events;
std::thread::id handlerThread;
// Set by the test's thread only after raise has returned.
std::atomic<bool> raised{false};

bool Handles(int event)
{
    // A handler that ran inside the signal, on the raising thread, would wait here for good.
    while (!raised.load())
        std::this_thread::yield();
    events.push_back(event);
    handlerThread = std::this_thread::get_id();
    return true;
}

bool Declines(int)
{
    return false;
}

TEST(ConsoleControl, EventsReachTheHandlerInOrderOnItsOwnThreadAndRemovalRestores)
{
    struct sigaction before{};
    ::sigaction(SIGTERM, nullptr, &before);
    events.clear();
    raised = false;
    ASSERT_TRUE(Platform::SetConsoleCtrlHandler(Handles, true));
    EXPECT_FALSE(Platform::SetConsoleCtrlHandler(Declines, true)) << "one handler at a time";
    for (const int event : {SIGINT, SIGTERM, SIGHUP})
        ::raise(event);
    raised = true;
    EXPECT_TRUE(Platform::SetConsoleCtrlHandler(Handles, false));
    EXPECT_EQ(events, (std::vector<int>{SIGINT, SIGTERM, SIGHUP}));
    EXPECT_NE(handlerThread, std::this_thread::get_id());
    struct sigaction after{};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(ConsoleControl, DeclinedEventEndsTheProcessByThatSignal)
{
    EXPECT_EXIT(
        {
            Platform::SetConsoleCtrlHandler(Declines, true);
            ::raise(SIGTERM);
            // The program's thread goes on until the handler's answer ends the process.
            while (true)
                ::pause();
        },
        testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
