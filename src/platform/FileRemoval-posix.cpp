#include "platform/FileRemoval.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/OpenFolder.h"
#include "platform/TextConversion.h"

namespace Platform {
namespace {

// Freeing this much takes a few tens of milliseconds on a slow disk.
constexpr off_t kPiece = 32 << 20;

// Shrinks the file `name` in `folder` (AT_FDCWD: a path).
void ShrinkIn(int folder, const std::string& name, const std::function<void()>& between)
{
    // Opened without following a link and without waiting on a pipe.
    const FileDescriptor fd(::openat(folder, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status{};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1)
        return;
    for (off_t size = status.st_size; size > kPiece;) {
        size = std::max<off_t>(0, size - kPiece);
        if (::ftruncate(fd.Get(), size) != 0)
            return;
        if (between)
            between();
    }
}

// Empties `folder`: its listing is read whole before anything in it is removed. Sizes are
// only worth a status call each when there is someone to give control back to.
int RemoveBelow(const OpenFolder& folder, const std::function<void()>& between)
{
    std::vector<FolderEntry> entries;
    if (const int error = folder.List(entries, between ? ListingDetail::Described : ListingDetail::KindOnly))
        return error;
    for (const auto& entry : entries) {
        if (entry.kind == EntryKind::Folder) {
            OpenFolder inner;
            int error = inner.OpenIn(folder, entry.name);
            if (error == 0)
                error = RemoveBelow(inner, between);
            if (error != 0)
                return error;
        } else if (entry.kind == EntryKind::File && entry.size > static_cast<std::uint64_t>(kPiece)) {
            ShrinkIn(folder.Descriptor(), entry.name, between);
        }
        if (::unlinkat(folder.Descriptor(), entry.name.c_str(), entry.kind == EntryKind::Folder ? AT_REMOVEDIR : 0) !=
            0)
            return errno;
    }
    return 0;
}

}  // namespace

void ShrinkBeforeRemoval(const std::wstring& file, const std::function<void()>& between)
{
    ShrinkIn(AT_FDCWD, NarrowHostText(file), between);
}

int RemoveTree(const std::wstring& folder, const std::function<void()>& between)
{
    const std::string path = NarrowHostText(folder);
    OpenFolder top;
    if (const int error = top.Open(path))
        return error;
    if (const int error = RemoveBelow(top, between))
        return error;
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

TreeRemoval::TreeRemoval(const std::wstring& folder)
    : result(std::async(std::launch::async, [folder] { return RemoveTree(folder, {}); }))
{}

int TreeRemoval::Wait(const std::function<void()>& between)
{
    while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (between)
            between();
    return result.get();
}

}  // namespace Platform
