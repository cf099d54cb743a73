#include "platform/ConsoleControl.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace Platform {
namespace {

constexpr std::array<int, 3> kEvents = {SIGINT, SIGTERM, SIGHUP};
// No signal has the number 0: it tells the handler's thread to end.
constexpr unsigned char kQuit = 0;

ConsoleControlHandler registered = nullptr;
std::array<struct sigaction, kEvents.size()> previous{};
std::thread dispatcher;
int eventReadEnd = -1;
// The signal handler's only state: where it writes an event, and for which process.
std::atomic<int> eventWriteEnd{-1};
std::atomic<pid_t> owner{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "signal handlers may only touch lock-free atomics");

// Signal context: the event goes down the pipe to the handler's thread. A child started
// with fork runs this until it restores the defaults; its signals are its own, not events
// of this process.
extern "C" void OnControlSignal(int event)
{
    const int savedErrno = errno;
    const int writeEnd = eventWriteEnd.load();
    if (writeEnd >= 0 && ::getpid() == owner.load()) {
        const auto code = static_cast<unsigned char>(event);
        // The pipe does not block: were it ever full, this event would be lost, not the process.
        [[maybe_unused]] const ssize_t written = ::write(writeEnd, &code, 1);
    }
    errno = savedErrno;
}

// What the system does with an event nobody handles: the signal's default action ends
// the process.
[[noreturn]] void EndByDefault(int event)
{
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(event, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, event);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(event);
    // Not reached: a signal a thread sends itself, unblocked, is delivered before raise returns.
    ::_exit(128 + event);
}

void Dispatch(int readEnd, ConsoleControlHandler handler)
{
    while (true) {
        unsigned char code = kQuit;
        const ssize_t got = ::read(readEnd, &code, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || code == kQuit)
            return;
        if (!handler(code))
            EndByDefault(code);
    }
}

// Events already in the pipe reach the handler before the thread reads the quit.
void StopDispatcher()
{
    const int writeEnd = eventWriteEnd.exchange(-1);
    ::fcntl(writeEnd, F_SETFL, 0);
    const unsigned char quit = kQuit;
    while (::write(writeEnd, &quit, 1) < 0 && errno == EINTR) {}
    dispatcher.join();
    ::close(writeEnd);
    ::close(eventReadEnd);
    eventReadEnd = -1;
}

bool StartDispatcher(ConsoleControlHandler handler)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    // The thread takes no signal itself: they interrupt the program's thread, as before.
    sigset_t all, before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    bool started = true;
    try {
        dispatcher = std::thread(Dispatch, ends[0], handler);
    } catch (const std::system_error&) {
        started = false;
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!started) {
        ::close(ends[0]);
        ::close(ends[1]);
        return false;
    }
    eventReadEnd = ends[0];
    owner = ::getpid();
    eventWriteEnd = ends[1];
    return true;
}

}  // namespace

bool SetConsoleCtrlHandler(ConsoleControlHandler handler, bool add)
{
    if (handler == nullptr)
        return false;
    if (add) {
        if (registered != nullptr || !StartDispatcher(handler))
            return false;
        struct sigaction action{};
        action.sa_handler = OnControlSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kEvents.size(); ++i) {
            if (::sigaction(kEvents[i], &action, &previous[i]) != 0) {
                for (std::size_t j = 0; j < i; ++j)
                    ::sigaction(kEvents[j], &previous[j], nullptr);
                StopDispatcher();
                return false;
            }
        }
        registered = handler;
        return true;
    }
    if (registered != handler)
        return false;
    for (std::size_t i = 0; i < kEvents.size(); ++i)
        ::sigaction(kEvents[i], &previous[i], nullptr);
    StopDispatcher();
    registered = nullptr;
    return true;
}

}  // namespace Platform
