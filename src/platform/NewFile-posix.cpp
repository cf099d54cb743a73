#include "platform/NewFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/TextConversion.h"

namespace Platform {

int WriteNewFile(const std::wstring& path, std::string_view bytes)
{
    const std::string name = NarrowHostText(path);
    // O_EXCL fails on any entry at the name, a dangling link included.
    const int file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file < 0)
        return errno;
    // A fixed mode, whatever the umask: a package holds the same bytes for everyone.
    int error = ::fchmod(file, 0644) != 0 ? errno : 0;
    if (error == 0)
        error = WriteAll(file, bytes.data(), bytes.size());
    // A delayed write error shows at close.
    if (::close(file) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(name.c_str());
    return error;
}

}  // namespace Platform
