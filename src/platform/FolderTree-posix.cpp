#include "platform/FolderTree.h"

#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/BuildTime.h"
#include "platform/FileDescriptor.h"
#include "platform/TextConversion.h"

namespace Platform {
namespace {

constexpr std::size_t kPiece = 1 << 20;

struct CloseListing {
    void operator()(DIR* listing) const { ::closedir(listing); }
};

TreeEntry::Kind KindOf(int parent, const char* name, unsigned char type)
{
    if (type == DT_UNKNOWN) {
        struct stat status {};
        if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            return TreeEntry::Kind::Other;
        type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    return type == DT_DIR ? TreeEntry::Kind::Folder : type == DT_REG ? TreeEntry::Kind::File : TreeEntry::Kind::Other;
}

// Lists the folder open at `fd` (taken over) below `prefix`, then the folders in it.
int ListBelow(int fd, const std::string& prefix, bool stampFolders, std::vector<TreeEntry>& entries)
{
    const std::unique_ptr<DIR, CloseListing> listing(::fdopendir(fd));
    if (!listing) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    const std::size_t first = entries.size();
    errno = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        entries.push_back({prefix + std::string(name), KindOf(fd, entry->d_name, entry->d_type)});
        errno = 0;
    }
    if (errno != 0)
        return errno;
    const std::size_t last = entries.size();
    for (std::size_t i = first; i < last; ++i) {
        if (entries[i].kind != TreeEntry::Kind::Folder)
            continue;
        const std::string name = entries[i].path.substr(prefix.size());
        const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0)
            return errno;
        if (const int error = ListBelow(sub, entries[i].path + "/", stampFolders, entries))
            return error;
        if (stampFolders) {
            struct timespec times[2] = {};
            times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(BuildTime());
            if (::utimensat(fd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
                return errno;
        }
    }
    return 0;
}

}  // namespace

int ListFolderTree(const std::wstring& folder, bool stampFolders, std::vector<TreeEntry>& entries)
{
    const int fd = ::open(NarrowHostText(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    return ListBelow(fd, "", stampFolders, entries);
}

int ReadTreeFile(const std::wstring& folder, const std::string& path,
                 const std::function<bool(std::string_view)>& piece)
{
    const std::string full = NarrowHostText(folder) + "/" + path;
    const FileDescriptor fd(::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0)
        return errno;
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return EINVAL;
    const auto buffer = std::make_unique<char[]>(kPiece);
    while (true) {
        const ssize_t got = ::read(fd.Get(), buffer.get(), kPiece);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        if (!piece(std::string_view(buffer.get(), static_cast<std::size_t>(got))))
            return ECANCELED;
    }
}

}  // namespace Platform
