#include "platform/FileJoin.h"

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Interrupt.h"
#include "platform/TextConversion.h"

namespace Platform {
namespace {

constexpr std::size_t kChunk = 1 << 20;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }
    int Release()
    {
        const int result = ::close(fd);
        fd = -1;
        return result;
    }

private:
    int fd;
};

// Appends all of `from` to `to` in chunks, so an interrupt is seen between them.
int AppendFile(int from, int to)
{
    // copy_file_range lets the kernel move the bytes; a file system without it
    // falls back to reading and writing.
    bool kernelCopy = true;
    std::unique_ptr<char[]> buffer;
    while (true) {
        if (InterruptRequested())
            return ECANCELED;
        ssize_t moved;
        if (kernelCopy) {
            moved = ::copy_file_range(from, nullptr, to, nullptr, kChunk, 0);
            if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernelCopy = false;
                continue;
            }
        } else {
            if (!buffer)
                buffer = std::make_unique<char[]>(kChunk);
            moved = ::read(from, buffer.get(), kChunk);
            for (ssize_t written = 0; moved > 0 && written < moved;) {
                const ssize_t step = ::write(to, buffer.get() + written, static_cast<std::size_t>(moved - written));
                if (step < 0 && errno != EINTR)
                    return errno;
                written += step > 0 ? step : 0;
            }
        }
        if (moved == 0)
            return 0;
        if (moved < 0 && errno != EINTR)
            return errno;
    }
}

int JoinInto(const std::vector<std::wstring>& sources, int target)
{
    for (const auto& source : sources) {
        FileDescriptor in(::open(NarrowHostText(source).c_str(), O_RDONLY | O_CLOEXEC));
        if (in.Get() < 0)
            return errno;
        if (const int error = AppendFile(in.Get(), target))
            return error;
    }
    return 0;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int JoinFiles(const std::vector<std::wstring>& sources, const std::wstring& target)
{
    const std::string targetPath = NarrowHostText(target);
    std::string temporary = FolderOf(targetPath) + "/.halvex-join-XXXXXX";
    FileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.Get() < 0)
        return errno;

    // mkostemp creates the file for its owner only; the finished file gets the mode
    // an ordinary new file would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int error = ::fchmod(out.Get(), 0666 & ~mask) == 0 ? 0 : errno;
    if (error == 0)
        error = JoinInto(sources, out.Get());
    if (out.Release() != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), targetPath.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

}  // namespace Platform
