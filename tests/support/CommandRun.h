#pragma once

// Runs a program to its end with its standard output and error caught, for tests of whole
// programs and of the build's own tools.

#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

struct CommandResult {
    int exitCode = -1;  // -1 when a signal ended it
    std::string out;
    std::string err;
};

// `arguments` starts with the program's path; `environment` adds variables, or removes
// those given without a value. Output goes through files in the test's scratch folder,
// so nothing blocks however much a program writes.
inline CommandResult RunCommand(const std::vector<std::string>& arguments,
                                const std::map<std::string, std::optional<std::string>>& environment = {})
{
    std::vector<std::string> environmentText;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (environment.count(text.substr(0, text.find('='))) == 0)
            environmentText.push_back(text);
    }
    for (const auto& [name, value] : environment)
        if (value)
            environmentText.push_back(name + "=" + *value);
    std::vector<char*> envp;
    for (auto& text : environmentText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> argumentText = arguments;
    std::vector<char*> argv;
    for (auto& text : argumentText)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    const std::string scratch = std::getenv("HALVEX_TEST_TMP");
    const std::string outFile = scratch + "/command.out";
    const std::string errFile = scratch + "/command.err";
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << arguments.front();
    CommandResult result;
    if (spawned != 0)
        return result;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    const auto read = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    result.out = read(outFile);
    result.err = read(errFile);
    return result;
}
