#include "platform/WorkFolder.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextConversion.h"

namespace Platform {

CRunLock::CRunLock(const std::wstring& lockFile, unsigned permissions)
{
    fd = ::open(NarrowHostText(lockFile).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                static_cast<mode_t>(permissions));
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        state = State::Held;
    else if (errno == EWOULDBLOCK)
        state = State::Busy;
}

CRunLock::~CRunLock()
{
    if (fd >= 0)
        ::close(fd);
}

CFolderLock::CFolderLock(const std::wstring& folder)
{
    fd = ::open(NarrowHostText(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        state = State::Held;
    else if (errno == EWOULDBLOCK)
        state = State::Busy;
    else
        error = errno;
}

CFolderLock::~CFolderLock()
{
    if (fd >= 0)
        ::close(fd);
}

bool IsForeignFolder(const std::wstring& path)
{
    struct stat info {};
    if (::lstat(NarrowHostText(path).c_str(), &info) != 0)
        return errno != ENOENT;
    return !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid();
}

int CreatePrivateFolder(const std::wstring& path)
{
    return ::mkdir(NarrowHostText(path).c_str(), 0700) == 0 ? 0 : errno;
}

std::string SystemErrorText(int code)
{
    return std::generic_category().message(code);
}

}  // namespace Platform
