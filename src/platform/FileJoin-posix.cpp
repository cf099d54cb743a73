#include "platform/FileJoin.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/FilePieces.h"
#include "platform/Interrupt.h"
#include "platform/TextConversion.h"

namespace Platform {
namespace {

constexpr std::size_t kChunk = 1 << 20;

// Appends all of `from` to `to` in chunks, so an interrupt is seen between them. Without
// an observer the kernel may move the bytes; with one they pass where it can see them.
int AppendFile(int from, int to, const CJoinedFile::Observer& observe)
{
    FilePieces pieces(kChunk, static_cast<bool>(observe));
    while (true) {
        if (InterruptRequested())
            return ECANCELED;
        const std::ptrdiff_t moved = pieces.Move(from, to);
        if (moved <= 0)
            return static_cast<int>(-moved);
        if (observe)
            observe(pieces.LastPiece());
    }
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file beside `target` for its owner only; the caller gives it its final mode.
int CreateTemporaryBeside(const std::string& target, std::string& temporary)
{
    temporary = FolderOf(target) + "/.halvex-join-XXXXXX";
    return ::mkostemp(temporary.data(), O_CLOEXEC);
}

// mkostemp creates the file for its owner only; the finished file gets the mode an
// ordinary new file would get.
int GiveOrdinaryMode(int fd)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return ::fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
}

}  // namespace

CJoinedFile::CJoinedFile(const std::wstring& target) : target(target)
{
    std::string path;
    fd = CreateTemporaryBeside(NarrowHostText(target), path);
    if (fd < 0) {
        error = errno;
        return;
    }
    temporary = WidenHostText(path);
    error = GiveOrdinaryMode(fd);
}

CJoinedFile::~CJoinedFile()
{
    if (fd >= 0)
        ::close(fd);
    if (!committed && !temporary.empty())
        ::unlink(NarrowHostText(temporary).c_str());
}

int CJoinedFile::Join(const std::vector<std::wstring>& sources, const Observer& observe)
{
    for (const auto& source : sources) {
        if (error != 0)
            break;
        const FileDescriptor in(::open(NarrowHostText(source).c_str(), O_RDONLY | O_CLOEXEC));
        error = in.Get() < 0 ? errno : AppendFile(in.Get(), fd, observe);
    }
    if (fd >= 0) {
        // Only a close that succeeds proves the bytes were accepted.
        if (::close(fd) != 0 && error == 0)
            error = errno;
        fd = -1;
    }
    return error;
}

int CJoinedFile::Commit()
{
    if (error != 0)
        return error;
    if (::rename(NarrowHostText(temporary).c_str(), NarrowHostText(target).c_str()) != 0)
        return error = errno;
    committed = true;
    return 0;
}

int WriteFileAtomically(const std::wstring& target, std::string_view bytes)
{
    const std::string targetPath = NarrowHostText(target);
    std::string temporary;
    const int fd = CreateTemporaryBeside(targetPath, temporary);
    if (fd < 0)
        return errno;
    int error = GiveOrdinaryMode(fd);
    if (error == 0)
        error = WriteAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), targetPath.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

}  // namespace Platform
