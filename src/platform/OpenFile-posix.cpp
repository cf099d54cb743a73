#include "platform/OpenFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace Platform {
namespace {

// O_NONBLOCK: opening a pipe for reading would wait for a writer.
constexpr int kFileFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}  // namespace

int OpenFile::Hold(int opened)
{
    fd.Reset(opened);
    if (opened < 0)
        return errno;
    struct stat status{};
    int error = 0;
    if (::fstat(opened, &status) != 0)
        error = errno;
    else if (!S_ISREG(status.st_mode))
        error = EOPNOTSUPP;
    if (error != 0) {
        fd.Reset();
        return error;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    mode = status.st_mode & 07777;
    modifiedSeconds = status.st_mtim.tv_sec;
    modifiedNanoseconds = status.st_mtim.tv_nsec;
    return 0;
}

int OpenFile::OpenIn(const OpenFolder& folder, const std::string& name)
{
    return Hold(::openat(folder.Descriptor(), name.c_str(), kFileFlags | O_NOFOLLOW));
}

int OpenFile::Open(const std::string& path)
{
    // A device is not even opened: opening one can act.
    struct stat status{};
    if (::stat(path.c_str(), &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return EOPNOTSUPP;
    return Hold(::open(path.c_str(), kFileFlags));
}

}  // namespace Platform
