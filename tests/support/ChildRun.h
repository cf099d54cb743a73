#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace TestSupport {

struct ChildResult {
    int exitCode = -1;  // -1 when a signal ended the program
    int signal = 0;  // the signal that ended it, 0 when it exited
    std::string out;  // standard output, when captured
    std::string err;  // standard error
    std::string terminal;  // what the pseudo-terminal received, when the program had one

    // Standard output line by line, line ends (LF or CR LF) cut off.
    std::vector<std::string> OutLines() const;
};

// What the program's standard output is.
enum class ChildOutput { Captured, Closed, BrokenPipe };

struct ChildOptions {
    // Variables set (or, given no value, removed) on top of this process's environment.
    std::map<std::string, std::optional<std::string>> environment;
    ChildOutput output = ChildOutput::Captured;
    // The program's standard input; without it the program inherits this process's.
    std::optional<std::string> input;
    // Drops root's rights (to user and group nobody) before the program starts.
    bool asNobody = false;
    // Sees each line of captured standard output as it arrives, with the program's id.
    std::function<void(const std::string& line, pid_t child)> onOutputLine;
    // Puts standard output, standard error or both on one pseudo-terminal this many columns
    // wide instead of capturing them.
    bool outputOnTerminal = false;
    bool errorOnTerminal = false;
    unsigned short terminalColumns = 80;
    // The folder the program starts in; without it, this process's.
    std::string workingFolder;
};

// Runs `program` with `arguments` to its end; standard error is captured unless it is on a
// terminal.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options = {});

}  // namespace TestSupport
