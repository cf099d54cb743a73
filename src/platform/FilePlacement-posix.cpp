#include "platform/FilePlacement.h"

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

// A copy or clone of `source` (open, described by `status`) at the new name `target`.
PlacedFile CloneOrCopy(int source, const struct stat& status, const std::string& target, const PieceDone& pieceDone)
{
    PlacedFile result;
    const FileDescriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (out.Get() < 0) {
        result.error = errno;
        return result;
    }
    if (::ioctl(out.Get(), FICLONE, source) == 0) {
        result.way = FileWay::Cloned;
        if (pieceDone)
            pieceDone(static_cast<std::uint64_t>(status.st_size));
    } else {
        result.error = CopyContents(source, out.Get(), pieceDone);
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, status.st_mtim};
    if (result.error == 0 && ::fchmod(out.Get(), status.st_mode & 07777) != 0)
        result.error = errno;
    if (result.error == 0 && ::futimens(out.Get(), times) != 0)
        result.error = errno;
    if (result.error != 0)
        ::unlink(target.c_str());
    return result;
}

}  // namespace

PlacedFile PlaceFile(const std::wstring& from, const std::wstring& to, const PieceDone& pieceDone)
{
    const std::string source = NarrowHostText(from);
    const std::string target = NarrowHostText(to);
    PlacedFile result;
    // Only a regular file is placed: a pipe or a device is never opened, since opening
    // one can wait or act.
    struct stat status {};
    if (::stat(source.c_str(), &status) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.error = EOPNOTSUPP;
        return result;
    }
    const FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0 || ::fstat(in.Get(), &status) != 0) {
        result.error = errno;
        return result;
    }
    if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        result.way = FileWay::Linked;
        if (pieceDone)
            pieceDone(static_cast<std::uint64_t>(status.st_size));
        return result;
    }
    // Another file system, a file of another user where links to it are restricted, too
    // many links, a file system without links: a clone or a copy does instead.
    if (errno == EEXIST) {
        result.error = errno;
        return result;
    }
    return CloneOrCopy(in.Get(), status, target, pieceDone);
}

}  // namespace Platform
