#include "platform/PrivateFolder.h"

#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileRemoval.h"
#include "platform/TextConversion.h"

namespace Platform {
namespace {

// A name no other run is likely to pick; the caller retries on a clash.
std::string RandomLeaf()
{
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        return {};
    std::string leaf = ".halvex-run-";
    static const char kHex[] = "0123456789abcdef";
    for (const unsigned char byte : bytes) {
        leaf += kHex[byte >> 4];
        leaf += kHex[byte & 0x0F];
    }
    return leaf;
}

}  // namespace

PrivateFolder::PrivateFolder(const std::wstring& parent)
{
    parentFd = ::open(NarrowHostText(parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) {
        error = errno;
        return;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        leaf = RandomLeaf();
        if (leaf.empty()) {
            error = EAGAIN;
            return;
        }
        if (::mkdirat(parentFd, leaf.c_str(), 0700) == 0)
            break;
        if (errno != EEXIST) {
            error = errno;
            leaf.clear();
            return;
        }
        leaf.clear();
    }
    if (leaf.empty()) {
        error = EEXIST;
        return;
    }
    name = parent + L"/" + WidenHostText(leaf);
    // Between making and opening, another writer of the parent may have put something
    // else at the name: only a folder of this user's, for this user alone, is taken.
    fd = ::openat(parentFd, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status{};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        error = errno;
        return;
    }
    if (status.st_uid != ::geteuid() || (status.st_mode & 077) != 0)
        error = EPERM;
}

PrivateFolder::~PrivateFolder()
{
    Remove();
    if (parentFd >= 0)
        ::close(parentFd);
}

std::wstring PrivateFolder::HeldPath() const
{
    return L"/proc/self/fd/" + std::to_wstring(fd);
}

std::wstring PrivateFolder::HeldPath(const std::wstring& file) const
{
    return HeldPath() + L"/" + file;
}

int PrivateFolder::MoveOut(const std::wstring& file, const std::wstring& target) const
{
    if (error != 0)
        return error;
    if (::renameat(fd, NarrowHostText(file).c_str(), parentFd, NarrowHostText(target).c_str()) != 0)
        return errno;
    return 0;
}

int PrivateFolder::Exchange(const std::wstring& file, const std::wstring& target) const
{
    if (error != 0)
        return error;
    const std::string targetName = NarrowHostText(target);
    // An exchange would also swap a folder in: only a file is taken.
    struct stat status{};
    if (::fstatat(parentFd, targetName.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISDIR(status.st_mode))
        return EISDIR;
    if (::renameat2(fd, NarrowHostText(file).c_str(), parentFd, targetName.c_str(), RENAME_EXCHANGE) != 0)
        return errno;
    return 0;
}

int PrivateFolder::MoveIn(const std::wstring& target, const std::wstring& file) const
{
    if (error != 0)
        return error;
    if (::renameat(parentFd, NarrowHostText(target).c_str(), fd, NarrowHostText(file).c_str()) != 0)
        return errno;
    return 0;
}

void PrivateFolder::Remove(const std::function<void()>& between)
{
    if (fd < 0)
        return;
    if (error != 0) {
        // Not this run's folder: nothing in it is touched.
        ::close(fd);
        fd = -1;
        return;
    }
    // The listing goes through a descriptor of its own: closing it closes only that one.
    if (DIR* const listing = ::fdopendir(::dup(fd))) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string file = entry->d_name;
            if (file == "." || file == "..")
                continue;
            if (between)
                ShrinkBeforeRemoval(HeldPath(WidenHostText(file)), between);
            ::unlinkat(fd, file.c_str(), 0);
        }
        ::closedir(listing);
    }
    // The folder goes only while its first name still leads to it: a folder that was put
    // in its place is not this run's to remove.
    struct stat held{};
    struct stat named{};
    if (!leaf.empty() && ::fstat(fd, &held) == 0 &&
        ::fstatat(parentFd, leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino)
        ::unlinkat(parentFd, leaf.c_str(), AT_REMOVEDIR);
    ::close(fd);
    fd = -1;
}

bool OpenToOtherWriters(const std::wstring& folder)
{
    struct stat status{};
    if (::stat(NarrowHostText(folder).c_str(), &status) != 0)
        return false;
    return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0;
}

}  // namespace Platform
