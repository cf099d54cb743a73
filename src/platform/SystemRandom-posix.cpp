#include "platform/SystemRandom.h"

#include <cerrno>

#include <sys/random.h>

namespace Platform {

bool SystemRandomBytes(void* data, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(data);
    while (size > 0) {
        // Requests over 256 bytes may come back short or be interrupted by a signal.
        const ssize_t got = getrandom(bytes, size, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace Platform
