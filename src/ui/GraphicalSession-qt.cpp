#include "ui/GraphicalSession.h"

#include <cstdlib>

#include <QApplication>
#include <QGuiApplication>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Platform {
namespace {

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The toolkit ends the process when its platform plugin cannot start (no server behind
// DISPLAY, a refused connection, an unknown QT_QPA_PLATFORM). A child process tries first,
// with its error output silenced, and only a child that started cleanly lets the real
// session begin.
bool DisplayReachable(int argc, char** argv)
{
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM"))
        return false;
    const pid_t child = ::fork();
    if (child == -1)
        return false;
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null != -1)
            ::dup2(null, 2);
        int probeArgc = argc > 0 ? 1 : 0;
        QGuiApplication probe(probeArgc, argv);
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) == -1) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

GraphicalSession::GraphicalSession(int& argc, char** argv)
{
    if (!DisplayReachable(argc, argv))
        return;
    application = std::make_unique<QApplication>(argc, argv);
    // Ties the windows to the installed desktop entry, halvex.desktop, and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("halvex"));
}

GraphicalSession::~GraphicalSession() = default;

bool GraphicalSession::IsOpen() const
{
    return application != nullptr;
}

}  // namespace Platform
