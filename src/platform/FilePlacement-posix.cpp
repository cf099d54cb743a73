#include "platform/FilePlacement.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/FilePieces.h"
#include "platform/TextConversion.h"

namespace Platform {
namespace {

// Small enough that a piece takes a few milliseconds even on a slow disk.
constexpr std::size_t kPiece = 4 << 20;

// Linking a descriptor itself needs a right only root has; without it the link goes
// through the descriptor's name in /proc, which names the same open file.
std::atomic<bool> linkByDescriptor{true};

int CopyContents(int from, int to, const PieceDone& pieceDone)
{
    FilePieces pieces(kPiece, false);
    std::uint64_t placed = 0;
    while (true) {
        const std::ptrdiff_t moved = pieces.Move(from, to);
        if (moved < 0)
            return static_cast<int>(-moved);
        if (moved == 0)
            return 0;
        placed += static_cast<std::uint64_t>(moved);
        if (pieceDone && !pieceDone(placed))
            return ECANCELED;
    }
}

// A hard link at `name` in `folder` to the open file: 0, or the system error code.
int LinkOpenFile(int file, int folder, const char* name)
{
    if (linkByDescriptor && ::linkat(file, "", folder, name, AT_EMPTY_PATH) == 0)
        return 0;
    if (linkByDescriptor && errno != ENOENT && errno != EPERM)
        return errno;
    linkByDescriptor = false;
    const std::string self = "/proc/self/fd/" + std::to_string(file);
    return ::linkat(AT_FDCWD, self.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// A copy or clone of `source` at the new name `name` in `folder`.
PlacedFile CloneOrCopy(const OpenFile& source, int folder, const char* name, const PieceDone& pieceDone)
{
    PlacedFile result;
    const FileDescriptor out(
        ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (out.Get() < 0) {
        result.error = errno;
        return result;
    }
    if (::ioctl(out.Get(), FICLONE, source.Descriptor()) == 0) {
        result.way = FileWay::Cloned;
        if (pieceDone)
            pieceDone(source.Size());
    } else if (::lseek(source.Descriptor(), 0, SEEK_SET) != 0) {
        // The whole file, however much of it was read before.
        result.error = errno;
    } else {
        result.error = CopyContents(source.Descriptor(), out.Get(), pieceDone);
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, {source.ModifiedSeconds(), source.ModifiedNanoseconds()}};
    if (result.error == 0 && ::fchmod(out.Get(), source.Mode()) != 0)
        result.error = errno;
    if (result.error == 0 && ::futimens(out.Get(), times) != 0)
        result.error = errno;
    if (result.error != 0)
        ::unlinkat(folder, name, 0);
    return result;
}

PlacedFile Place(const OpenFile& file, int folder, const char* name, const PieceDone& pieceDone)
{
    PlacedFile result;
    const int linked = LinkOpenFile(file.Descriptor(), folder, name);
    if (linked == 0) {
        result.way = FileWay::Linked;
        if (pieceDone)
            pieceDone(file.Size());
        return result;
    }
    // Another file system, a file of another user where links to it are restricted, too
    // many links, a file system without links: a clone or a copy does instead.
    if (linked == EEXIST) {
        result.error = linked;
        return result;
    }
    return CloneOrCopy(file, folder, name, pieceDone);
}

}  // namespace

PlacedFile PlaceFile(const OpenFile& file, const OpenFolder& target, const std::string& name,
                     const PieceDone& pieceDone)
{
    return Place(file, target.Descriptor(), name.c_str(), pieceDone);
}

int LinkListedFile(const OpenFolder& source, const std::string& sourceName, const FileIdentity& identity,
                   const OpenFolder& target, const std::string& name)
{
    // Without AT_SYMLINK_FOLLOW a link at the source name is linked itself, and then
    // refused below like anything else that is not the file listed.
    if (::linkat(source.Descriptor(), sourceName.c_str(), target.Descriptor(), name.c_str(), 0) != 0)
        return errno;
    struct stat status{};
    if (::fstatat(target.Descriptor(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) &&
        FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)} == identity)
        return 0;
    ::unlinkat(target.Descriptor(), name.c_str(), 0);
    return ESTALE;
}

PlacedFile PlaceFile(const std::wstring& from, const std::wstring& to, const PieceDone& pieceDone)
{
    OpenFile file;
    PlacedFile result;
    result.error = file.Open(NarrowHostText(from));
    if (result.error != 0)
        return result;
    return Place(file, AT_FDCWD, NarrowHostText(to).c_str(), pieceDone);
}

}  // namespace Platform
