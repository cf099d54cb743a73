#include "platform/StandardStreams.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/TextConversion.h"

namespace Platform {
namespace {

std::atomic<bool> outputWasClosed{false};
std::atomic<bool> outputAttached{false};

constexpr std::size_t kDefaultColumns = 80;

// Writes everything or gives up at the first error other than an interruption.
bool WriteAll(int descriptor, std::string_view bytes)
{
    return Platform::WriteAll(descriptor, bytes.data(), bytes.size()) == 0;
}

}  // namespace

void PrepareStandardStreams()
{
    std::signal(SIGPIPE, SIG_IGN);
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() returns the lowest free number, which is this one.
        const int opened = ::open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened != descriptor && opened != -1)
            ::close(opened);
        if (descriptor == 1)
            outputWasClosed = true;
    }
}

bool AttachStandardOutput()
{
    bool usable = false;
    if (!outputWasClosed) {
        const int flags = ::fcntl(1, F_GETFL);
        usable = flags != -1 && ((flags & O_ACCMODE) == O_WRONLY || (flags & O_ACCMODE) == O_RDWR);
    }
    outputAttached = usable;
    return usable;
}

void WriteStandardOutputLine(std::wstring_view text)
{
    if (!outputAttached)
        return;
    if (!WriteAll(1, NarrowHostText(text) + '\n'))
        outputAttached = false;
}

void WriteStandardErrorLine(std::wstring_view text)
{
    WriteAll(2, NarrowHostText(text) + '\n');
}

bool StandardErrorIsTerminal()
{
    return ::isatty(2) == 1;
}

std::size_t StandardErrorColumns()
{
    winsize size{};
    if (::ioctl(2, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return kDefaultColumns;
    return size.ws_col;
}

bool WriteStandardError(std::string_view bytes)
{
    return WriteAll(2, bytes);
}

}  // namespace Platform
