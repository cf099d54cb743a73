#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a package's client script does, read from its text without running it: every
// program it starts with the arguments it passes, and every exit code it can quit with.
// Text here is UTF-8; the script itself is Windows-1252.

// One program the script starts through its shell object.
struct ScriptRun {
    // The program as the client will name it, with the client's temporary folder shown
    // as %TEMP%.
    std::string program;
    std::vector<std::string> arguments;
    // The arguments the package itself was started with follow those above.
    bool passesPackageArguments = false;
    // The variable that receives the program's exit code, or empty.
    std::string resultVariable;
};

// How the script can end: a fixed code, or the value of one of its variables.
struct ScriptQuit {
    std::optional<int> code;
    std::string variable;
};

struct ScriptFacts {
    std::vector<ScriptRun> runs;
    std::vector<ScriptQuit> quits;
    // Files the script deletes from the unpacked package, by name.
    std::vector<std::string> deletedFiles;
};

// The script is refused with a reason when it cannot be one this program writes: a run
// whose command cannot be read, a construct outside what the script is made of, or no
// run of the suite's setup at all.
struct ScriptReading {
    std::optional<ScriptFacts> facts;
    std::string problem;
};

// The longest script read: what halvex writes stays far below it.
constexpr std::size_t kMaxScriptSize = 1 << 20;

ScriptReading ReadSetupScript(std::string_view windowsText);

// The words of a Windows command line: blanks separate them, double quotes group.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);
