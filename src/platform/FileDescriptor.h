#pragma once

#include <cerrno>
#include <cstddef>

#include <unistd.h>

namespace Platform {

// An open file descriptor, closed when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            Reset(other.fd);
            other.fd = -1;
        }
        return *this;
    }

    int Get() const { return fd; }
    // Closes the descriptor held, if any, and holds `other` instead.
    void Reset(int other = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = other;
    }

private:
    int fd;
};

// Writes all `size` bytes, however many calls that takes. 0, or the system error code.
inline int WriteAll(int fd, const char* bytes, std::size_t size)
{
    for (std::size_t written = 0; written < size;) {
        const ssize_t step = ::write(fd, bytes + written, size - written);
        if (step < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += static_cast<std::size_t>(step);
    }
    return 0;
}

}  // namespace Platform
