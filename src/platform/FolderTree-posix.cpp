#include "platform/FolderTree.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

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

TreeEntryKind KindOf(int parent, const char* name, unsigned char type)
{
    if (type == DT_UNKNOWN) {
        struct stat status{};
        if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            return TreeEntryKind::Other;
        type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    return type == DT_DIR ? TreeEntryKind::Folder : type == DT_REG ? TreeEntryKind::File : TreeEntryKind::Other;
}

using Found = std::function<void(std::string_view, TreeEntryKind)>;

// Lists the folder open at `fd` (taken over), whose path is `path` ("" for the top, else
// ending in '/'), then the folders in it. `path` is extended in place and restored.
int ListBelow(int fd, std::string& path, bool stampFolders, const Found& found)
{
    const std::unique_ptr<DIR, CloseListing> listing(::fdopendir(fd));
    if (!listing) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    const std::size_t length = path.size();
    std::vector<std::string> folders;
    errno = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const TreeEntryKind kind = KindOf(fd, entry->d_name, entry->d_type);
        path.append(name);
        found(path, kind);
        path.resize(length);
        if (kind == TreeEntryKind::Folder)
            folders.emplace_back(name);
        errno = 0;
    }
    if (errno != 0)
        return errno;
    for (const std::string& name : folders) {
        const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0)
            return errno;
        path.append(name).push_back('/');
        const int error = ListBelow(sub, path, stampFolders, found);
        path.resize(length);
        if (error != 0)
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

// Reads the file open at `fd` (-1 when it could not be opened, with errno): 0, or the
// system error code.
int ReadOpened(const FileDescriptor& fd, const std::function<bool(std::string_view)>& piece)
{
    if (fd.Get() < 0)
        return errno;
    struct stat status{};
    if (::fstat(fd.Get(), &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return EINVAL;
    // Small files are the many: their buffer is no larger than the file (and a byte), and
    // never cleared.
    const std::size_t size = static_cast<std::size_t>(std::min<off_t>(status.st_size, kPiece - 1)) + 1;
    const auto buffer = std::make_unique_for_overwrite<char[]>(size);
    std::uint64_t total = 0;
    while (true) {
        const ssize_t got = ::read(fd.Get(), buffer.get(), size);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        if (!piece(std::string_view(buffer.get(), static_cast<std::size_t>(got))))
            return ECANCELED;
        // A short read that reaches the size the file had when opened is its end: one
        // call less for each of many small files. A file that grew since reads as it was.
        total += static_cast<std::uint64_t>(got);
        if (static_cast<std::size_t>(got) < size && total == static_cast<std::uint64_t>(status.st_size))
            return 0;
    }
}

constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

}  // namespace

int ListFolderTree(const std::wstring& folder, bool stampFolders, const Found& found)
{
    const int fd = ::open(NarrowHostText(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    std::string path;
    return ListBelow(fd, path, stampFolders, found);
}

int ReadTreeFile(const std::wstring& folder, const std::string& path,
                 const std::function<bool(std::string_view)>& piece)
{
    const std::string full = NarrowHostText(folder) + "/" + path;
    return ReadOpened(FileDescriptor(::open(full.c_str(), kReadFlags)), piece);
}

int ReadTreeFile(const OpenFolder& folder, const std::string& name, const std::function<bool(std::string_view)>& piece)
{
    return ReadOpened(FileDescriptor(::openat(folder.Descriptor(), name.c_str(), kReadFlags)), piece);
}

}  // namespace Platform
