#include "platform/FilePieces.h"

#include <cerrno>

#include <unistd.h>

#include "platform/FileDescriptor.h"

namespace Platform {

std::ptrdiff_t FilePieces::Move(int from, int to)
{
    lastSize = 0;
    while (true) {
        if (kernelCopy) {
            const ssize_t moved = ::copy_file_range(from, nullptr, to, nullptr, pieceSize, 0);
            if (moved >= 0)
                return moved;
            if (errno == EINTR)
                continue;
            // A file system without it: the bytes go through the buffer from now on.
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                return -errno;
            kernelCopy = false;
        }
        if (!buffer)
            buffer = std::make_unique<char[]>(pieceSize);
        const ssize_t got = ::read(from, buffer.get(), pieceSize);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        if (const int error = WriteAll(to, buffer.get(), static_cast<std::size_t>(got)))
            return -error;
        lastSize = static_cast<std::size_t>(got);
        return got;
    }
}

}  // namespace Platform
