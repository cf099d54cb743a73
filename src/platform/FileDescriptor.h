#pragma once

#include <unistd.h>

namespace Platform {

// An open file descriptor, closed when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

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

}  // namespace Platform
