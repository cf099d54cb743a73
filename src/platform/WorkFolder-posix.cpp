#include "platform/WorkFolder.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextConversion.h"

namespace Platform {

namespace {

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

CRunLock::CRunLock(const std::wstring& lockFile, unsigned permissions, File lockFileUse)
    : path(NarrowHostText(lockFile)), file(lockFileUse)
{
    // A run that removes its lock file as it ends may do so between this open and this
    // lock: the lock is then on a file no other run can find, so it is taken again on the
    // file now at the name. Each turn means another run ended, so few turns are needed.
    for (int turn = 0; turn < 16; ++turn) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(permissions));
        if (fd < 0)
            return;
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            return;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                state = State::Busy;
            return;
        }
        struct stat named {};
        if (::lstat(path.c_str(), &named) == 0 && SameFile(named, info)) {
            state = State::Held;
            return;
        }
        ::close(fd);
        fd = -1;
    }
}

CRunLock::~CRunLock()
{
    if (fd < 0)
        return;
    // Removed while still locked, and only while the name is still this file: a run that
    // opened it meanwhile finds the name gone once it has the lock, and starts again.
    struct stat named {}, held {};
    if (state == State::Held && file == File::RemoveWhenReleased && ::lstat(path.c_str(), &named) == 0 &&
        ::fstat(fd, &held) == 0 && SameFile(named, held))
        ::unlink(path.c_str());
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
