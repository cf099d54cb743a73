#include "platform/WorkFolder.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
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

// A link, or something else than the file or folder wanted, at a lock's name: EPERM, as for
// another user's.
int NotOwnName(int code)
{
    return code == ELOOP || code == ENOTDIR || code == EISDIR ? EPERM : code;
}

}  // namespace

RunLock::RunLock(const std::wstring& lockFile, unsigned permissions, File lockFileUse) : file(lockFileUse)
{
    const std::string path = NarrowHostText(lockFile);
    const std::size_t slash = path.rfind('/');
    leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folderPath = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (!Open(folderPath, permissions)) {
        fd.Reset();
        state = State::Unusable;
    }
}

bool RunLock::Open(const std::string& folderPath, unsigned permissions)
{
    const bool onlyALock = file == File::OnlyALock;
    if (onlyALock && ::mkdir(folderPath.c_str(), 0700) != 0 && errno != EEXIST) {
        error = errno;
        return false;
    }
    // A lock's own folder is never reached through a link at its last part.
    folder.Reset(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (onlyALock ? O_NOFOLLOW : 0)));
    struct stat info{};
    if (folder.Get() < 0 || ::fstat(folder.Get(), &info) != 0) {
        error = NotOwnName(errno);
        return false;
    }
    if (onlyALock && (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)) {
        error = EPERM;
        return false;
    }
    // A run that removes its lock file as it ends may do so between this open and this
    // lock: the lock is then on a file no other run can find, so it is taken again on the
    // file now at the name. Each turn means another run ended, so few turns are needed.
    for (int turn = 0; turn < 16; ++turn) {
        fd.Reset(::openat(folder.Get(), leaf.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          static_cast<mode_t>(permissions)));
        if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0) {
            error = NotOwnName(errno);
            return false;
        }
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
            (info.st_mode & (S_IWGRP | S_IWOTH) & ~static_cast<mode_t>(permissions)) != 0) {
            error = EPERM;
            return false;
        }
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            error = errno;
            if (errno != EWOULDBLOCK)
                return false;
            state = State::Busy;
            if (onlyALock)
                ReadHolder();
            return true;
        }
        struct stat named{};
        if (::fstatat(folder.Get(), leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(named, info)) {
            state = State::Held;
            error = 0;
            if (onlyALock)
                WriteHolder();
            return true;
        }
    }
    error = EAGAIN;
    return false;
}

// The holder's process id and when it took the lock, so that a refused run can say who
// holds it and whether that is still the same process.
void RunLock::WriteHolder()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y/%m/%d %H:%M:%S", &local);
    const std::string text = "process " + std::to_string(::getpid()) + " since " + when + "\n";
    if (::ftruncate(fd.Get(), 0) == 0)
        WriteAll(fd.Get(), text.data(), text.size());
}

void RunLock::ReadHolder()
{
    char text[128];
    const ssize_t got = ::pread(fd.Get(), text, sizeof text, 0);
    if (got <= 0)
        return;
    holder.assign(text, static_cast<std::size_t>(got));
    holder.resize(std::min(holder.find('\n'), holder.size()));
}

RunLock::~RunLock()
{
    // Removed while still locked, and only while the name is still this file: a run that
    // opened it meanwhile finds the name gone once it has the lock, and starts again.
    struct stat named{}, held{};
    if (state == State::Held && file == File::OnlyALock &&
        ::fstatat(folder.Get(), leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd.Get(), &held) == 0 &&
        SameFile(named, held))
        ::unlinkat(folder.Get(), leaf.c_str(), 0);
}

FolderLock::FolderLock(const std::wstring& folder)
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

FolderLock::~FolderLock()
{
    if (fd >= 0)
        ::close(fd);
}

bool IsForeignFolder(const std::wstring& path)
{
    struct stat info{};
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
