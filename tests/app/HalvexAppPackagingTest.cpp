// Whole runs of `halvex -cli` that build packages through the real archiver.
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "packaging/PackagingTestSupport.h"

extern char** environ;

namespace {

using namespace PackagingTest;

struct Result {
    int exitCode = -1;
    std::vector<std::string> out;  // standard output, line by line, line ends cut off
    std::string err;
};

// Runs the program with standard output and error on pipes; `onLine` sees each line of
// standard output as it arrives, with the program's process id.
Result RunHalvex(const fs::path& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment,
                 const std::function<void(const std::string&, pid_t)>& onLine = {})
{
    std::vector<std::string> environmentText;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (environment.count(text.substr(0, text.find('='))) == 0)
            environmentText.push_back(text);
    }
    for (const auto& [name, value] : environment)
        environmentText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& text : environmentText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> argumentText = {program.string(), "-cli"};
    argumentText.insert(argumentText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : argumentText)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    int out[2];
    int err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    ::posix_spawn_file_actions_addclose(&actions, out[0]);
    ::posix_spawn_file_actions_addclose(&actions, err[0]);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);

    Result result;
    std::string pending;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    for (int open = 2; open > 0;) {
        ::poll(fds, 2, -1);
        for (auto& fd : fds) {
            if (fd.fd < 0 || fd.revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
            if (got <= 0) {
                ::close(fd.fd);
                fd.fd = -1;
                --open;
            } else if (fd.fd == err[0]) {
                result.err.append(buffer, static_cast<std::size_t>(got));
            } else {
                pending.append(buffer, static_cast<std::size_t>(got));
                for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                    std::string line = pending.substr(0, end);
                    if (!line.empty() && line.back() == '\r')
                        line.pop_back();
                    result.out.push_back(line);
                    if (onLine)
                        onLine(line, pid);
                }
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

const std::vector<std::string> kSuccessLines = {
    "Establishing package components to transfer...",
    "Copying package data and ConfigUpdate tool to local machine...",
    "Creating setup configuration script...",
    "Creating the final self-extracting archive...",
    "Cleaning up package components from local machine...",
    "Package generation complete.",
};

// Whether any running process has `text` on its command line. A process may end between
// the listing and the read: reading its command line then fails (ESRCH), and it is no
// longer running.
bool ProcessRunningWith(const std::string& text)
{
    for (const auto& entry : fs::directory_iterator("/proc")) {
        try {
            if (ReadBytes(entry.path() / "cmdline").find(text) != std::string::npos)
                return true;
        } catch (const std::ios_base::failure&) {
        }
    }
    return false;
}

class HalvexAppPackaging : public testing::Test {
protected:
    void SetUp() override
    {
        root = ScratchFolder() / "program runs";
        cid = MakeCid(root / "srv");
        output = root / "out";
        temp = root / "temp";
        fs::create_directories(output);
        // A copy of the program in a folder of its own, as an installation has it: the
        // real archiver linked into 7za/ and stand-ins for the administrator's files.
        program = MakeProgramFolder(root) / "halvex";
        fs::copy_file(HALVEX_PROGRAM, program);
        environment = {{"ProgramData", (root / "appdata").string()}, {"TEMP", temp.string()}};
    }

    Result Run(const std::vector<std::string>& arguments,
               const std::function<void(const std::string&, pid_t)>& onLine = {})
    {
        return RunHalvex(program, arguments, environment, onLine);
    }

    std::vector<std::string> LogFileLines()
    {
        const std::string bytes = ReadBytes(root / "appdata/Veskor/Zastrel/Log/log.txt");
        std::vector<std::string> lines;
        for (std::size_t from = 3, end; (end = bytes.find("\r\n", from)) != std::string::npos; from = end + 2)
            lines.push_back(bytes.substr(from + 20, end - from - 20));
        return lines;
    }

    fs::path root, cid, output, temp, program;
    std::map<std::string, std::string> environment;
};

TEST_F(HalvexAppPackaging, SuccessfulRunShowsEachStatusAndExitsZero)
{
    const fs::path package = output / "Client Setup.exe";
    const Result result = Run({"-cidpath", cid.string(), "-sfxpath", package.string(), "-s"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, kSuccessLines);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::is_regular_file(package));
    const auto log = LogFileLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Zastrel completed successfully ");
    EXPECT_FALSE(fs::exists(temp / "Halvex"));
}

TEST_F(HalvexAppPackaging, FailedJobsExit82WithTheFailureLine)
{
    struct Case { const char* name; std::function<void()> spoil; std::vector<std::string> out; std::string line; };
    const Case cases[] = {
        {"a CID lacking a component", [this] { fs::remove_all(cid / "torqel"); },
         {kSuccessLines[0], kSuccessLines[1], kSuccessLines[4], "Package generation failed. See log for details."},
         "One or more selected features or components are not available in source folder \"" + cid.string() +
             "\". Choose a different source folder and try again. "},
        {"no archiver beside the program", [this] { fs::remove(program.parent_path() / "7za/7za"); },
         {kSuccessLines[0], kSuccessLines[1], kSuccessLines[2], kSuccessLines[3], kSuccessLines[4],
          "Package generation failed. See log for details."},
         "Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code: 2 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.spoil();
        const Result result = Run({"-cidpath", cid.string(), "-sfxpath", (output / "pkg.exe").string()});
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_EQ(result.out, c.out);
        EXPECT_TRUE(fs::is_empty(output));
        const auto log = LogFileLines();
        EXPECT_NE(std::find(log.begin(), log.end(), c.line), log.end());
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "Zastrel failed ");
        fs::remove_all(root);
        SetUp();
    }
}

TEST_F(HalvexAppPackaging, SignalEndsTheArchiverAndLeavesNothingBehind)
{
    // Random bytes keep the archiver busy long enough to be interrupted.
    std::string noise(48 << 20, '\0');
    std::mt19937_64 random(7);
    for (std::size_t i = 0; i + 8 <= noise.size(); i += 8) {
        const auto value = random();
        std::memcpy(&noise[i], &value, 8);
    }
    WriteBytes(cid / "torqel/noise.bin", noise);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const fs::path package = output / ("interrupted-" + std::to_string(signal) + ".exe");
        const Result result = Run({"-cidpath", cid.string(), "-sfxpath", package.string()},
                                  [&](const std::string& line, pid_t pid) {
                                            if (line == kSuccessLines[3])
                                                ::kill(pid, signal);
                                        });
        EXPECT_EQ(result.exitCode, 82) << result.err;
        EXPECT_EQ(result.out.back(), "Package generation failed. See log for details.");
        EXPECT_TRUE(fs::is_empty(output));
        EXPECT_FALSE(fs::exists(temp / "Halvex"));
        EXPECT_FALSE(ProcessRunningWith(output.string())) << "no archiver outlives the run";
        const auto log = LogFileLines();
        EXPECT_NE(std::find(log.begin(), log.end(), "Archiving interrupted: the run was asked to stop "), log.end());
    }
}

}  // namespace
