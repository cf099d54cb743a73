#pragma once

#include <cstdint>
#include <string>

#include "platform/FileDescriptor.h"
#include "platform/OpenFolder.h"

namespace Platform {

// A regular file open for reading, with what its descriptor said about it when it was
// opened. Whatever is renamed afterwards, reading it reads this very file.
class OpenFile {
public:
    // Opens the regular file `name` in `folder`, never through a link (ELOOP) and without
    // waiting, should a pipe have taken its place; anything but a regular file is closed
    // again unread (EOPNOTSUPP). 0, or the system error code.
    int OpenIn(const OpenFolder& folder, const std::string& name);
    // The same for a path, whose links are followed as any reader's are.
    int Open(const std::string& path);

    int Descriptor() const { return fd.Get(); }
    std::uint64_t Size() const { return size; }
    FileIdentity Identity() const { return identity; }
    unsigned Mode() const { return mode; }
    // The modification time, in seconds and nanoseconds.
    std::int64_t ModifiedSeconds() const { return modifiedSeconds; }
    long ModifiedNanoseconds() const { return modifiedNanoseconds; }

private:
    int Hold(int opened);

    FileDescriptor fd;
    std::uint64_t size = 0;
    FileIdentity identity;
    unsigned mode = 0;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
};

}  // namespace Platform
