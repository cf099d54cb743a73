#include "platform/ConsoleControl.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace Platform {
namespace {

constexpr std::array<int, 3> kEvents = {SIGINT, SIGTERM, SIGHUP};

std::atomic<ConsoleControlHandler> registered{nullptr};
std::array<struct sigaction, kEvents.size()> previous{};

extern "C" void OnControlEvent(int event)
{
    const int savedErrno = errno;
    const ConsoleControlHandler handler = registered.load();
    if (handler == nullptr || !handler(event)) {
        // Not handled: the default action ends the process once this handler returns and
        // the signal, blocked while it runs, is delivered again.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        ::sigaction(event, &fallback, nullptr);
        ::raise(event);
    }
    errno = savedErrno;
}

}  // namespace

bool SetConsoleCtrlHandler(ConsoleControlHandler handler, bool add)
{
    if (add) {
        if (registered.load() != nullptr)
            return false;
        registered = handler;
        struct sigaction action {};
        action.sa_handler = OnControlEvent;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kEvents.size(); ++i) {
            if (::sigaction(kEvents[i], &action, &previous[i]) != 0) {
                for (std::size_t j = 0; j < i; ++j)
                    ::sigaction(kEvents[j], &previous[j], nullptr);
                registered = nullptr;
                return false;
            }
        }
        return true;
    }
    if (registered.load() != handler || handler == nullptr)
        return false;
    for (std::size_t i = 0; i < kEvents.size(); ++i)
        ::sigaction(kEvents[i], &previous[i], nullptr);
    registered = nullptr;
    return true;
}

}  // namespace Platform
