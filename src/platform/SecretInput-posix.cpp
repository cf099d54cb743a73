#include "platform/SecretInput.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include <termios.h>
#include <unistd.h>

namespace Platform {
namespace {

struct termios savedTerminal;
const int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Echo must come back even when the user breaks off the prompt.
extern "C" void RestoreTerminalAndRaise(int signal)
{
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Turns terminal echo off for its lifetime.
class NoEcho {
public:
    NoEcho()
    {
        if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0)
            return;
        for (const int signal : kRestoringSignals)
            std::signal(signal, RestoreTerminalAndRaise);
        struct termios quiet = savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~NoEcho()
    {
        if (active_) {
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
            // The user's Enter was not echoed either.
            std::fputc('\n', stderr);
        }
        for (const int signal : kRestoringSignals)
            std::signal(signal, SIG_DFL);
    }

    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    bool active_ = false;
};

void Wipe(std::string& text)
{
    volatile char* bytes = text.data();
    for (std::size_t i = 0; i < text.capacity(); ++i)
        bytes[i] = '\0';
}

void AppendWithoutCopiesLeft(std::string& line, char c)
{
    if (line.size() == line.capacity()) {
        std::string bigger;
        bigger.reserve(2 * line.capacity() + 64);
        bigger.assign(line);
        Wipe(line);
        line.swap(bigger);
    }
    line.push_back(c);
}

}  // namespace

bool ReadSecretLine(const char* prompt, std::string& line, std::size_t limit)
{
    Wipe(line);
    line.clear();
    line.reserve(256);
    const bool terminal = isatty(STDIN_FILENO) == 1;
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
    }
    std::optional<NoEcho> noEcho;
    if (terminal)
        noEcho.emplace();
    // One byte at a time straight from the descriptor: no library buffer keeps a copy.
    for (;;) {
        char c = 0;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0 || c == '\n')
            break;
        AppendWithoutCopiesLeft(line, c);
        if (line.size() > limit)
            break;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

}  // namespace Platform
