// Whole runs of `halvex -cli` that build packages through the real archiver.
#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <random>

#include "packaging/PackagingTestSupport.h"
#include "support/ChildRun.h"

namespace {

using namespace PackagingTest;

const std::vector<std::string> kSuccessLines = {
    "Establishing package components to transfer...",
    "Copying package data and ConfigUpdate tool to local machine...",
    "Creating setup configuration script...",
    "Creating the final self-extracting archive...",
    "Cleaning up package components from local machine...",
    "Package generation complete.",
};

// Whether any running process has `text` on its command line.
bool ProcessRunningWith(const std::string& text)
{
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string commandLine = ReadBytes(entry.path() / "cmdline");
        if (commandLine.find(text) != std::string::npos)
            return true;
    }
    return false;
}

class HalvexAppPackaging : public testing::Test {
protected:
    void SetUp() override
    {
        root = ScratchFolder() / "program runs";
        cid = CidBuilder::Full(root / "srv");
        output = root / "out";
        temp = root / "temp";
        fs::create_directories(output);
        // A copy of the program in a folder of its own, as an installation has it: the
        // real archiver linked into 7za/ and stand-ins for the administrator's files.
        program = MakeProgramFolder(root) / "halvex";
        fs::copy_file(HALVEX_PROGRAM, program);
    }

    // Runs the copy with standard output and error captured; `onLine` sees each line of
    // standard output as it arrives, with the program's process id.
    ChildResult Run(const std::vector<std::string>& arguments,
                    const std::function<void(const std::string&, pid_t)>& onLine = {})
    {
        std::vector<std::string> all = {"-cli"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        ChildOptions options;
        options.environment = {{"ProgramData", (root / "appdata").string()}, {"TEMP", temp.string()}};
        options.onOutputLine = onLine;
        return RunChild(program.string(), all, options);
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
};

TEST_F(HalvexAppPackaging, SuccessfulRunShowsEachStatusAndExitsZero)
{
    const fs::path package = output / "Client Setup.exe";
    const ChildResult result = Run({"-cidpath", cid.string(), "-sfxpath", package.string(), "-s"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.OutLines(), kSuccessLines);
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
        const ChildResult result = Run({"-cidpath", cid.string(), "-sfxpath", (output / "pkg.exe").string()});
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_EQ(result.OutLines(), c.out);
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
        const ChildResult result = Run({"-cidpath", cid.string(), "-sfxpath", package.string()},
                                  [&](const std::string& line, pid_t pid) {
                                            if (line == kSuccessLines[3])
                                                ::kill(pid, signal);
                                        });
        EXPECT_EQ(result.exitCode, 82) << result.err;
        EXPECT_EQ(result.OutLines().back(), "Package generation failed. See log for details.");
        EXPECT_TRUE(fs::is_empty(output));
        EXPECT_FALSE(fs::exists(temp / "Halvex"));
        EXPECT_FALSE(ProcessRunningWith(output.string())) << "no archiver outlives the run";
        const auto log = LogFileLines();
        EXPECT_NE(std::find(log.begin(), log.end(), "Archiving interrupted: the run was asked to stop "), log.end());
    }
}

}  // namespace
