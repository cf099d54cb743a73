#include "obfuscation/obscurity/SecureWipe.h"

namespace TolvarSecurity {
namespace {

ReleaseObserver releaseObserver = nullptr;

}  // namespace

void SecureWipe(void* data, std::size_t size, unsigned char fill) noexcept
{
    // Volatile stores: a plain memset before free is a dead store the optimiser may remove.
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = fill;
}

void SetReleaseObserver(ReleaseObserver observer) noexcept
{
    releaseObserver = observer;
}

void NotifyRelease(const unsigned char* data, std::size_t size) noexcept
{
    if (releaseObserver && data)
        releaseObserver(data, size);
}

}  // namespace TolvarSecurity
