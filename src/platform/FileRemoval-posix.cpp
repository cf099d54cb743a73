#include "platform/FileRemoval.h"

#include <algorithm>

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/TextConversion.h"

namespace Platform {
namespace {

// Freeing this much takes a few tens of milliseconds on a slow disk.
constexpr off_t kPiece = 32 << 20;

}  // namespace

void ShrinkBeforeRemoval(const std::wstring& file, const std::function<void()>& between)
{
    // Opened without following a link and without waiting on a pipe.
    const FileDescriptor fd(::open(NarrowHostText(file).c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
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

void ShrinkTreeBeforeRemoval(const std::wstring& folder, const std::function<void()>& between)
{
    namespace fs = boost::filesystem;
    boost::system::error_code error;
    fs::recursive_directory_iterator entry(fs::path(folder), fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && entry != end; entry.increment(error)) {
        boost::system::error_code unknown;
        const auto status = entry->symlink_status(unknown);
        if (!unknown && fs::is_regular_file(status) && fs::file_size(entry->path(), unknown) > kPiece && !unknown)
            ShrinkBeforeRemoval(entry->path().wstring(), between);
    }
}

}  // namespace Platform
