#include "support/ChildRun.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace TestSupport {

namespace {

std::vector<std::string> Environment(const std::map<std::string, std::optional<std::string>>& changes)
{
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (changes.count(text.substr(0, text.find('='))) == 0)
            entries.push_back(text);
    }
    for (const auto& [name, value] : changes)
        if (value)
            entries.push_back(name + "=" + *value);
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

void TakeLines(std::string& pending, std::vector<std::string>& lines)
{
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        std::string line = pending.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
}

}  // namespace

std::vector<std::string> ChildResult::OutLines() const
{
    std::vector<std::string> lines;
    std::string pending = out;
    TakeLines(pending, lines);
    if (!pending.empty())
        lines.push_back(pending);
    return lines;
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments, const ChildOptions& options)
{
    // Everything the child needs is made before fork(): after it, the child calls only
    // functions that are safe there.
    std::vector<std::string> argumentTexts = {program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts = Environment(options.environment);
    const std::vector<char*> argv = Pointers(argumentTexts);
    const std::vector<char*> envp = Pointers(environmentTexts);

    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    // Standard input is a memory file read from its start, so any size of input is taken
    // without the parent having to feed a pipe while it reads the child's output.
    int in = -1;
    if (options.input) {
        in = ::memfd_create("input", MFD_CLOEXEC);
        if (in < 0 ||
            ::write(in, options.input->data(), options.input->size()) != static_cast<ssize_t>(options.input->size()) ||
            ::lseek(in, 0, SEEK_SET) != 0)
            throw std::runtime_error("cannot prepare the child's standard input");
    }
    int terminal = -1;
    int terminalSide = -1;
    if (options.outputOnTerminal || options.errorOnTerminal) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = options.terminalColumns;
        if (::openpty(&terminal, &terminalSide, nullptr, nullptr, &size) != 0 ||
            ::fcntl(terminal, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(terminalSide, F_SETFD, FD_CLOEXEC) != 0)
            throw std::runtime_error("cannot open a pseudo-terminal");
    }
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        ::dup2(err[1], 2);
        if (in >= 0)
            ::dup2(in, 0);
        if (options.output == ChildOutput::Captured) {
            ::dup2(out[1], 1);
        } else if (options.output == ChildOutput::Closed) {
            ::close(1);
        } else {
            // A pipe whose reading end is gone before the program starts.
            int broken[2];
            if (::pipe2(broken, O_CLOEXEC) != 0)
                ::_exit(126);
            ::dup2(broken[1], 1);
            ::close(broken[0]);
        }
        if (options.outputOnTerminal)
            ::dup2(terminalSide, 1);
        if (options.errorOnTerminal)
            ::dup2(terminalSide, 2);
        if (options.asNobody && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (in >= 0)
        ::close(in);
    if (terminalSide >= 0)
        ::close(terminalSide);

    ChildResult result;
    std::string pending;
    std::vector<std::string> lines;
    // A terminal's reading side fails (EIO) once the program and its children closed theirs.
    pollfd ends[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {terminal, POLLIN, 0}};
    for (int open = terminal >= 0 ? 3 : 2; open > 0;) {
        if (::poll(ends, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll failed");
        }
        for (auto& end : ends) {
            if (end.fd < 0 || end.revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(end.fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ::close(end.fd);
                end.fd = -1;
                --open;
            } else if (end.fd == err[0]) {
                result.err.append(buffer, static_cast<std::size_t>(got));
            } else if (end.fd == terminal) {
                result.terminal.append(buffer, static_cast<std::size_t>(got));
            } else {
                result.out.append(buffer, static_cast<std::size_t>(got));
                if (options.onOutputLine) {
                    pending.append(buffer, static_cast<std::size_t>(got));
                    lines.clear();
                    TakeLines(pending, lines);
                    for (const auto& line : lines)
                        options.onOutputLine(line, child);
                }
            }
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

}  // namespace TestSupport
