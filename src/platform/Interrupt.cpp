#include "platform/Interrupt.h"

#include <atomic>

namespace Platform {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers may only touch lock-free atomics");

}  // namespace

void RequestInterrupt()
{
    interrupted.store(true);
}

bool InterruptRequested()
{
    return interrupted.load();
}

void ClearInterrupt()
{
    interrupted.store(false);
}

}  // namespace Platform
