#include "platform/OpenFolder.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace Platform {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

EntryKind KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

EntryKind KindOfType(unsigned char type)
{
    switch (type) {
    case DT_DIR:
        return EntryKind::Folder;
    case DT_REG:
        return EntryKind::File;
    case DT_LNK:
        return EntryKind::Link;
    default:
        return EntryKind::Other;
    }
}

}  // namespace

int OpenFolder::Hold(int opened)
{
    fd.Reset(opened);
    if (opened < 0)
        return errno;
    struct stat status{};
    if (::fstat(opened, &status) != 0) {
        const int error = errno;
        fd.Reset();
        return error;
    }
    identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    return 0;
}

int OpenFolder::Open(const std::string& path)
{
    return Hold(::open(path.c_str(), kFolderFlags));
}

int OpenFolder::OpenIn(const OpenFolder& parent, const std::string& name)
{
    return Hold(::openat(parent.Descriptor(), name.c_str(), kFolderFlags));
}

int OpenFolder::CreateIn(const OpenFolder& parent, const std::string& name)
{
    if (::mkdirat(parent.Descriptor(), name.c_str(), 0777) != 0 && errno != EEXIST)
        return errno;
    return OpenIn(parent, name);
}

int OpenFolder::List(std::vector<FolderEntry>& entries, ListingDetail detail) const
{
    // A listing of its own, from the start, whatever listed this folder before.
    const int listed = ::openat(fd.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0)
        return errno;
    DIR* const folder = ::fdopendir(listed);
    if (folder == nullptr) {
        const int error = errno;
        ::close(listed);
        return error;
    }
    int error = 0;
    while (true) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (entry == nullptr) {
            error = errno;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        FolderEntry added;
        if (detail == ListingDetail::KindOnly && entry->d_type != DT_UNKNOWN) {
            added.name = entry->d_name;
            added.kind = KindOfType(entry->d_type);
        } else if ((error = Describe(entry->d_name, added)) != 0) {
            break;
        }
        entries.push_back(std::move(added));
    }
    ::closedir(folder);
    return error;
}

int OpenFolder::Describe(const std::string& name, FolderEntry& entry) const
{
    struct stat status{};
    if (::fstatat(fd.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    entry.name = name;
    entry.kind = KindOf(status.st_mode);
    entry.size = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : 0;
    entry.identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    return 0;
}

}  // namespace Platform
