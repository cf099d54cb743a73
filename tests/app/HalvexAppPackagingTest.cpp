// Whole runs of `halvex -cli` that build packages through the real archiver.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "packaging/PackagingTestSupport.h"
#include "support/ChildRun.h"
#include "support/TerminalScreen.h"

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

// Whether any running process has `text` on its command line. A process may end between
// the listing and the read: reading its command line then fails (ESRCH), and it is no
// longer running.
bool ProcessRunningWith(const std::string& text)
{
    for (const auto& entry : fs::directory_iterator("/proc")) {
        try {
            if (ReadBytes(entry.path() / "cmdline").find(text) != std::string::npos)
                return true;
        } catch (const std::ios_base::failure&) {}
    }
    return false;
}

// Sends `signal` to the process and waits, without a fixed time, until the process has
// taken it: signals of one kind sent while one is still pending merge into one.
void SendSignal(pid_t pid, int signal)
{
    ::kill(pid, signal);
    const std::string status = "/proc/" + std::to_string(pid) + "/status";
    for (int i = 0; i < 5000; ++i) {
        std::ifstream in(status);
        std::string line;
        while (std::getline(in, line) && !line.starts_with("ShdPnd:")) {}
        if (!line.starts_with("ShdPnd:") || (std::stoull(line.substr(7), nullptr, 16) & (1ull << (signal - 1))) == 0)
            return;
        ::usleep(100);
    }
}

// Random bytes keep the archiver busy long enough to act while it runs.
void WriteNoise(const fs::path& file, std::size_t megabytes)
{
    std::string noise(megabytes << 20, '\0');
    std::mt19937_64 random(7);
    for (std::size_t i = 0; i + 8 <= noise.size(); i += 8) {
        const auto value = random();
        std::memcpy(&noise[i], &value, 8);
    }
    WriteBytes(file, noise);
}

// Waits, without a fixed time, until no process has `text` on its command line; false
// when one still has after a generous bound.
bool NoProcessRunningWith(const std::string& text)
{
    for (int i = 0; i < 2000; ++i) {
        if (!ProcessRunningWith(text))
            return true;
        ::usleep(10000);
    }
    return false;
}

TestSupport::ChildOptions StartingIn(const fs::path& folder)
{
    TestSupport::ChildOptions options;
    options.workingFolder = folder.string();
    return options;
}

int SevenZip(const std::vector<std::string>& arguments, const fs::path& folder)
{
    return RunChild("/usr/bin/7za", arguments, StartingIn(folder)).exitCode;
}

// sha256sum's verdict on the checksum file `name` in `folder`.
int ChecksumCheck(const fs::path& folder, const std::string& name)
{
    return RunChild("/usr/bin/sha256sum", {"-c", "--status", "--strict", name}, StartingIn(folder)).exitCode;
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
    EXPECT_FALSE(fs::exists(temp / "Halvex.lock")) << "nothing of the lock is in the shared temporary folder";
    EXPECT_TRUE(fs::is_empty(root / "appdata/Veskor/Zastrel/Lock")) << "the run's lock file goes with it";
}

TEST_F(HalvexAppPackaging, FailedJobsExit82WithTheFailureLine)
{
    struct Case {
        const char* name;
        std::function<void()> spoil;
        std::vector<std::string> out;
        std::string line;
    };
    const Case cases[] = {
        {"a CID lacking a component",
         [this] { fs::remove_all(cid / "torqel"); },
         {kSuccessLines[0], kSuccessLines[1], kSuccessLines[4], "Package generation failed. See log for details."},
         "One or more selected features or components are not available in source folder \"" + cid.string() +
             "\". Choose a different source folder and try again. "},
        {"no archiver beside the program",
         [this] { fs::remove(program.parent_path() / "7za/7za"); },
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
    WriteNoise(cid / "torqel/noise.bin", 48);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const fs::path package = output / ("interrupted-" + std::to_string(signal) + ".exe");
        const ChildResult result =
            Run({"-cidpath", cid.string(), "-sfxpath", package.string()}, [&](const std::string& line, pid_t pid) {
                if (line == kSuccessLines[3])
                    ::kill(pid, signal);
            });
        EXPECT_EQ(result.exitCode, 82) << result.err;
        EXPECT_EQ(result.OutLines().back(), "Package generation failed. See log for details.");
        EXPECT_TRUE(fs::is_empty(output));
        EXPECT_FALSE(fs::exists(temp / "Halvex"));
        EXPECT_FALSE(ProcessRunningWith(output.string())) << "no archiver outlives the run";
        // The stop lands in the archiver or just before it starts, as the machine's load has it.
        const auto log = LogFileLines();
        EXPECT_TRUE(
            std::find(log.begin(), log.end(), "Archiving interrupted: the run was asked to stop ") != log.end() ||
            std::find(log.begin(), log.end(), "Packaging interrupted: the run was asked to stop ") != log.end());
    }
}

// A stop request repeated while the run cleans up lets the clean-up finish: whenever the
// two requests come, by whichever signal, the run ends with its closing lines and leaves
// no work folder, no private folder, no archiver and no partial package; a run the stop
// came too late for has built a whole package. A third request ends the program at once,
// after one log line.
TEST_F(HalvexAppPackaging, RepeatedStopRequestsLetTheCleanUpFinishAThirdEndsAtOnce)
{
    WriteNoise(cid / "torqel/noise.bin", 1);
    const std::string logFile = (root / "appdata/Veskor/Zastrel/Log/log.txt").string();
    // Waits, without a fixed time, until the program's log holds one of `texts`.
    const auto logShows = [&](std::initializer_list<std::string> texts) {
        for (int i = 0; i < 5000; ++i) {
            const std::string bytes = ReadBytes(logFile);
            for (const auto& text : texts)
                if (bytes.find(text) != std::string::npos)
                    return true;
            ::usleep(1000);
        }
        return false;
    };
    // Where the first request goes: once this status line shows and, when given, this log
    // line is written after it.
    struct Moment {
        std::size_t status;
        std::string logLine;
    };
    const Moment moments[] = {
        {0, ""},
        {1, ""},
        {1, "About to copy ConfigUpdate"},
        {2, ""},
        {3, ""},
        {3, "Calling "},
        {3, "Successfully invoked archiver tool"},
        {3, "Verifying the package"},
        {3, "Package verified"},
        {3, "Successfully created final self-extracting archive"},
        {4, ""},
    };
    // The moments at which the job surely still runs once three requests are sent.
    const std::vector<std::size_t> beforeTheEnd = {0, 1, 3, 4, 5, 7};
    enum class Then { AtOnce, InTheCleanUp, ThirdAtOnce };
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    const std::string thirdLine = "Stop requested a third time, by ";
    int trials = 0;
    int endedAtOnce = 0;
    for (const Then then : {Then::AtOnce, Then::InTheCleanUp, Then::ThirdAtOnce}) {
        for (int round = 0; round < (then == Then::ThirdAtOnce ? 1 : 2); ++round) {
            for (std::size_t m = 0; m < std::size(moments); ++m) {
                if (then == Then::ThirdAtOnce &&
                    std::find(beforeTheEnd.begin(), beforeTheEnd.end(), m) == beforeTheEnd.end())
                    continue;
                const Moment& moment = moments[m];
                const int signal = signals[(m + static_cast<std::size_t>(round)) % std::size(signals)];
                SCOPED_TRACE("moment " + std::to_string(m) + ", round " + std::to_string(round) + ", signal " +
                             std::to_string(signal) + ", then " + std::to_string(static_cast<int>(then)));
                ++trials;
                const fs::path package = output / "pkg.exe";
                const ChildResult result = Run({"-cidpath", cid.string(), "-sfxpath", package.string()},
                                               [&](const std::string& line, pid_t pid) {
                                                   if (line != kSuccessLines[moment.status])
                                                       return;
                                                   if (!moment.logLine.empty() && !logShows({moment.logLine}))
                                                       return;
                                                   SendSignal(pid, signal);
                                                   // The job says where it noticed the stop, then cleans up; a stop
                                                   // too late for every step shows only in the closing lines.
                                                   if (then == Then::InTheCleanUp)
                                                       logShows({"asked to stop", "*** Ending packaging process"});
                                                   for (int more = then == Then::ThirdAtOnce ? 2 : 1; more > 0; --more)
                                                       SendSignal(pid, signal);
                                               });
                const auto log = LogFileLines();
                ASSERT_GE(log.size(), 2u);
                // A third request ends the program at once after its line, unless the run
                // was already over: then it finds no handler and only ends the program.
                if (then == Then::ThirdAtOnce && log.back().starts_with(thirdLine)) {
                    ++endedAtOnce;
                    EXPECT_EQ(result.signal, signal);
                    EXPECT_TRUE(NoProcessRunningWith(output.string())) << "the archiver ends with the program";
                    fs::remove_all(temp / "Halvex");
                    fs::remove_all(output);
                    fs::create_directories(output);
                    continue;
                }
                // A request that came once the reporter was gone, after the job, ends the
                // program by the signal: there is nothing left to clean up then.
                EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 82 || result.signal == signal)
                    << result.exitCode << " " << result.signal << "\n"
                    << result.err;
                const bool built = log.back() == "Zastrel completed successfully ";
                EXPECT_TRUE(built || log.back() == "Zastrel failed ") << log.back();
                EXPECT_EQ(log[log.size() - 2], "*** Ending packaging process *** ");
                EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                        [&](const std::string& text) { return text.starts_with(thirdLine); }),
                          0);
                if (result.exitCode >= 0) {
                    EXPECT_EQ(result.exitCode, built ? 0 : 82);
                }
                if (built) {
                    EXPECT_EQ(Tree(output), (std::set<std::string>{"pkg.exe", "pkg.exe.sha256"}));
                    EXPECT_EQ(ChecksumCheck(output, "pkg.exe.sha256"), 0);
                    EXPECT_EQ(SevenZip({"t", "--", "pkg.exe"}, output), 0);
                } else {
                    EXPECT_EQ(Tree(output), std::set<std::string>{});
                }
                EXPECT_FALSE(fs::exists(temp / "Halvex"));
                EXPECT_FALSE(ProcessRunningWith(output.string())) << "no archiver outlives the run";
                fs::remove_all(output);
                fs::create_directories(output);
            }
        }
    }
    EXPECT_GT(endedAtOnce, 0) << "no third request came while a run was still going";
    std::cout << "[          ] " << trials << " runs stopped by repeated requests, " << endedAtOnce
              << " ended at once by a third\n";
}

// A terminal on standard error gets one progress line, rewritten in place, never as wide as
// the terminal and gone at the end; with standard output on the same terminal the screen
// holds the status lines alone. Without a terminal on standard error nothing goes there.
// Standard output is the status lines alone, wherever it goes.
TEST_F(HalvexAppPackaging, ProgressLineOnlyOnATerminalAndGoneAtTheEnd)
{
    struct Case {
        const char* name;
        bool outputOnTerminal;
        bool errorOnTerminal;
        unsigned short columns;
    };
    const Case cases[] = {
        {"standard error alone on a narrow terminal", false, true, 40},
        {"both on one wide terminal", true, true, 120},
        {"standard output alone on a terminal", true, false, 80},
    };
    std::vector<std::string> screenOfStatusLines = kSuccessLines;
    screenOfStatusLines.push_back("");
    std::string statusOutput;
    for (const auto& line : kSuccessLines)
        statusOutput += line + "\n";
    const std::regex progressLine("(.*)  ([0-9]+)%  [0-9]+:[0-9][0-9]");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChildOptions options;
        options.environment = {{"ProgramData", (root / "appdata").string()}, {"TEMP", temp.string()}};
        options.outputOnTerminal = c.outputOnTerminal;
        options.errorOnTerminal = c.errorOnTerminal;
        options.terminalColumns = c.columns;
        const ChildResult result = RunChild(
            program.string(), {"-cli", "-cidpath", cid.string(), "-sfxpath", (output / "pkg.exe").string()}, options);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const TerminalScreen screen(result.terminal);
        if (c.outputOnTerminal)
            EXPECT_EQ(screen.rows, screenOfStatusLines) << result.terminal;
        else
            EXPECT_EQ(result.out, statusOutput);
        if (!c.errorOnTerminal) {
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.terminal.find('%'), std::string::npos) << result.terminal;
        } else if (!c.outputOnTerminal) {
            EXPECT_EQ(screen.rows, std::vector<std::string>{""}) << "erased at the end: " << result.terminal;
            EXPECT_LT(screen.widest, c.columns);
            // Each text drawn after a carriage return, blanks that erase cut off.
            std::vector<std::string> drawn;
            std::istringstream pieces(result.terminal);
            for (std::string piece; std::getline(pieces, piece, '\r');)
                if (piece.find_first_not_of(' ') != std::string::npos)
                    drawn.push_back(piece.substr(0, piece.find_last_not_of(' ') + 1));
            ASSERT_FALSE(drawn.empty());
            int percent = 0;
            for (const auto& line : drawn) {
                std::smatch parts;
                ASSERT_TRUE(std::regex_match(line, parts, progressLine)) << line;
                const std::string status = parts[1];
                // Every status fits or is cut to what fits, ending in "...".
                EXPECT_TRUE(std::find(kSuccessLines.begin(), kSuccessLines.end(), status) != kSuccessLines.end() ||
                            (status.ends_with("...") &&
                             std::find_if(kSuccessLines.begin(), kSuccessLines.end(),
                                          [&](const std::string& full) {
                                              return full.size() > status.size() &&
                                                     full.starts_with(status.substr(0, status.size() - 3));
                                          }) != kSuccessLines.end()))
                    << line;
                EXPECT_GE(std::stoi(parts[2]), percent) << line;
                percent = std::stoi(parts[2]);
            }
            EXPECT_EQ(percent, 100);
            EXPECT_NE(std::find_if(drawn.begin(), drawn.end(),
                                   [](const std::string& line) {
                                       return line.starts_with("Creating the final self-e...  60%  ");
                                   }),
                      drawn.end())
                << "the archive step's text cut to fit 40 columns";
        }
        fs::remove_all(output);
        fs::create_directories(output);
    }
}

// Shell syntax, quotes and switch-like names in the CID, and a double quote in the work
// and program folders (which no argument carries), must all reach the archiver
// unchanged; links inside the CID are packed as their targets' content.
TEST_F(HalvexAppPackaging, HostileNamesAndInsideLinksArePackedFaithfully)
{
    const std::vector<std::string> names = {"a 'quoted' name.txt",
                                            "$(touch pwned)",
                                            "-r",
                                            "@list.txt",
                                            "semi;colon",
                                            "%TEMP%",
                                            "!bang",
                                            "\xC3\xBCnic\xC3\xB6"
                                            "de \xE2\x9C\x93.txt"};
    for (const auto& name : names)
        WriteBytes(cid / "torqel" / name, name + "\n");
    fs::create_symlink("defs/2024/defs.dat", cid / "torqel/alias.dat");
    fs::create_directory_symlink("../lorv", cid / "bexu/shared");
    const fs::path quoted = root / "q\"uo\"te";
    temp = quoted / "temp";
    const fs::path quotedProgram = quoted / "program";
    fs::create_directories(quotedProgram.parent_path());
    fs::rename(program.parent_path(), quotedProgram);
    program = quotedProgram / "halvex";
    const fs::path package = root / "out -r *" / "Client Setup.exe";

    const ChildResult result = Run({"-cidpath", cid.string(), "-sfxpath", package.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(fs::exists(temp / "Halvex"));
    EXPECT_EQ(SevenZip({"x", "-y", "-ox", "--", package.filename().string()}, package.parent_path()), 0);
    const fs::path extracted = package.parent_path() / "x";
    for (const auto& name : names)
        EXPECT_EQ(ReadBytes(extracted / "NORDAVIN/torqel" / name), name + "\n") << name;
    EXPECT_EQ(ReadBytes(extracted / "NORDAVIN/torqel/alias.dat"), "definitions\n");
    EXPECT_EQ(ReadBytes(extracted / "NORDAVIN/bexu/shared/payload.txt"), "lorv payload\n");
    EXPECT_FALSE(fs::is_symlink(extracted / "NORDAVIN/bexu/shared"));
    EXPECT_EQ(ChecksumCheck(package.parent_path(), package.filename().string() + ".sha256"), 0);
    for (const auto& entry : fs::recursive_directory_iterator(root))
        EXPECT_NE(entry.path().filename(), "pwned");
}

// Outputs the run would destroy, pack into itself or could not publish whole are refused
// before any work, and a package already at the name stays as it was.
TEST_F(HalvexAppPackaging, OutputsTheRunWouldDestroyAreRefusedBeforeAnyWork)
{
    fs::create_directories(temp / "Halvex");
    fs::create_directory_symlink(cid, root / "cid link");
    // The package's name fits the file system, its checksum's does not.
    const long limit = ::pathconf(output.c_str(), _PC_NAME_MAX);
    ASSERT_GT(limit, 20);
    const std::string longName = std::string(static_cast<std::size_t>(limit) - 9, 'n') + ".exe";
    WriteBytes(output / longName, "an older package");
    WriteBytes(output / "pkg.exe", "an older package");
    fs::create_directories(output / "pkg.exe.sha256");
    const std::set<std::string> before = Tree(output);
    struct Case {
        std::string output;
        std::string reason;
    };
    const Case cases[] = {
        {(output / "halvex_archive.7z").string(), " is the intermediate archive, which the run deletes "},
        {(temp / "Halvex/pkg.exe").string(), " lies inside the work folder, which the run deletes "},
        {(temp / "Halvex").string(), " lies inside the work folder, which the run deletes "},
        {(temp / "Halvex/../Halvex/sub/pkg.exe").string(), " lies inside the work folder, which the run deletes "},
        {(cid / "torqel/pkg.exe").string(), " lies inside the source folder, which the run packs "},
        {(root / "cid link/pkg.exe").string(), " lies inside the source folder, which the run packs "},
        {(cid.parent_path() / "KELDWIN/pkg.exe").string(), " lies inside the source folder, which the run packs "},
        {(output / longName).string(), " cannot be written: the checksum file's name " + longName + ".sha256 is " +
                                           std::to_string(limit + 2) +
                                           " bytes long, and the output folder's file system takes names of at most " +
                                           std::to_string(limit) + " bytes "},
        {(output / "pkg.exe").string(), " cannot be written: the checksum file's name is taken by a folder: " +
                                            (output / "pkg.exe.sha256").string() + " "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const ChildResult result = Run({"-cidpath", cid.string(), "-sfxpath", c.output});
        EXPECT_EQ(result.exitCode, 82);
        const auto log = LogFileLines();
        EXPECT_NE(std::find(log.begin(), log.end(), "Destination path:  " + c.output + " " + c.reason), log.end());
        EXPECT_EQ(std::find(log.begin(), log.end(), "*** Starting packaging process *** "), log.end());
        EXPECT_EQ(Tree(output), before);
        EXPECT_EQ(ReadBytes(output / longName), "an older package");
        EXPECT_EQ(ReadBytes(output / "pkg.exe"), "an older package");
        EXPECT_TRUE(fs::is_empty(temp / "Halvex"));
        EXPECT_FALSE(fs::exists(cid / "torqel/pkg.exe"));
    }
}

// kill -9 gives the program no chance to clean up: the system must end the archiver.
TEST_F(HalvexAppPackaging, ArchiverDoesNotOutliveAKilledProgram)
{
    WriteNoise(cid / "torqel/noise.bin", 48);
    const ChildResult result = Run({"-cidpath", cid.string(), "-sfxpath", (output / "pkg.exe").string()},
                                   [&](const std::string& line, pid_t pid) {
                                       if (line == kSuccessLines[3]) {
                                           // Only once the archiver is writing is the test a test.
                                           for (int i = 0; i < 2000 && !ProcessRunningWith(output.string()); ++i)
                                               ::usleep(10000);
                                           EXPECT_TRUE(ProcessRunningWith(output.string()));
                                           ::kill(pid, SIGKILL);
                                       }
                                   });
    EXPECT_EQ(result.signal, SIGKILL) << "the program was killed";
    EXPECT_TRUE(NoProcessRunningWith(output.string())) << "the archiver went on after the program was killed";
    EXPECT_FALSE(fs::exists(output / "pkg.exe"));
}

// Two runs with their own work folders into one output folder: the second fails at once,
// and the first builds a whole package.
TEST_F(HalvexAppPackaging, SecondRunIntoTheSameOutputFolderFailsAtOnce)
{
    WriteNoise(cid / "torqel/noise.bin", 24);
    ChildResult second;
    ChildOptions secondRun;
    secondRun.environment = {{"TEMP", (root / "temp2").string()}, {"ProgramData", (root / "appdata2").string()}};
    const ChildResult first = Run(
        {"-cidpath", cid.string(), "-sfxpath", (output / "first.exe").string()}, [&](const std::string& line, pid_t) {
            if (line == kSuccessLines[3])
                second = RunChild(program.string(),
                                  {"-cli", "-cidpath", cid.string(), "-sfxpath", (output / "second.exe").string()},
                                  secondRun);
        });
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(second.exitCode, 82);
    const std::string secondLog = ReadBytes(root / "appdata2/Veskor/Zastrel/Log/log.txt");
    EXPECT_NE(secondLog.find("Another packaging run is writing into the output folder: " + output.string() + " "),
              std::string::npos)
        << secondLog;
    EXPECT_EQ(secondLog.find("About to copy package from source..."), std::string::npos) << "it fails at once";
    EXPECT_EQ(Tree(output), (std::set<std::string>{"first.exe", "first.exe.sha256"}));
    EXPECT_EQ(ChecksumCheck(output, "first.exe.sha256"), 0);
    EXPECT_EQ(SevenZip({"t", "--", "first.exe"}, output), 0);
}

// A second process exchanging two names (renameat2 RENAME_EXCHANGE) as fast as it can
// while it lives; it leaves them as they were. With `pokePipes`, it also opens whatever
// pipe sits at either name for writing, so a run that opened one and waits for a writer
// gets an empty file instead of hanging the test: a blocking open shows as wrong bytes.
class NameExchange {
public:
    NameExchange(const fs::path& first, const fs::path& second, bool pokePipes)
    {
        void* shared =
            ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(shared, MAP_FAILED);
        stop = new (shared) std::atomic<int>(0);
        const std::string a = first.string(), b = second.string();
        child = ::fork();
        if (child != 0)
            return;
        unsigned long exchanges = 0;
        while (stop->load(std::memory_order_relaxed) == 0) {
            if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0)
                ++exchanges;
            if (pokePipes) {
                for (const std::string* name : {&a, &b}) {
                    const int pipe = ::open(name->c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
                    if (pipe >= 0)
                        ::close(pipe);
                }
            }
        }
        if (exchanges % 2 == 1)
            ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
        ::_exit(0);
    }
    ~NameExchange()
    {
        stop->store(1);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::munmap(stop, sizeof(std::atomic<int>));
    }
    NameExchange(const NameExchange&) = delete;
    NameExchange& operator=(const NameExchange&) = delete;

private:
    std::atomic<int>* stop = nullptr;
    pid_t child = -1;
};

// Everything below `folder`, links not followed: a path's kind and, for a file, its bytes.
std::map<std::string, std::string> Contents(const fs::path& folder)
{
    std::map<std::string, std::string> contents;
    for (auto entry = fs::recursive_directory_iterator(folder); entry != fs::recursive_directory_iterator(); ++entry) {
        const std::string relative = fs::relative(entry->path(), folder).generic_string();
        const auto status = entry->symlink_status();
        if (fs::is_symlink(status))
            contents[relative] = "link to " + fs::read_symlink(entry->path()).string();
        else if (fs::is_directory(status))
            contents[relative] = "folder";
        else if (fs::is_regular_file(status))
            contents[relative] = "file " + ReadBytes(entry->path());
        else
            contents[relative] = "other";
    }
    return contents;
}

// Why a run that met a swap may stop.
bool IsSwapReason(const std::string& line)
{
    for (const char* reason :
         {"Link leaves the source folder: ", "Link points to nothing: ", "Boost file system error: ",
          "The source changed while it was being copied, and is not packed: "})
        if (line.starts_with(reason))
            return true;
    return false;
}

// Runs of the program while a second process swaps part of the CID with something
// outside it. Each run fails with the reason, or builds a package whose every byte is the
// CID's; nothing is left behind, and the CID is as it was.
class CidSwaps : public HalvexAppPackaging {
protected:
    static constexpr int kTrials = 40;

    void SetUp() override
    {
        HalvexAppPackaging::SetUp();
        elsewhere = root / "srv/elsewhere";
        fs::create_directories(elsewhere);
        // What only root may read, where the swapped links lead.
        WriteBytes(root / "secret.txt", "root only\n");
        fs::permissions(root / "secret.txt", fs::perms::owner_read | fs::perms::owner_write);
        WriteBytes(root / "private/2024/defs.dat", "root only\n");
        fs::permissions(root / "private", fs::perms::owner_all);
    }

    // Lets an unprivileged run reach the program, the CID, its own folders and the log.
    void OpenToNobody()
    {
        for (fs::path folder = root; folder != ScratchFolder().parent_path(); folder = folder.parent_path())
            fs::permissions(folder, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
        // Afresh: what root's runs left there (the log's folders, the run lock) is root's.
        for (const fs::path& folder : {output, temp, root / "appdata"}) {
            fs::remove_all(folder);
            fs::create_directories(folder);
            fs::permissions(folder, fs::perms::all);
        }
    }

    // `trials` runs with `first` and `second` swapped meanwhile; `consistent` judges the
    // package's NORDAVIN folder (relative path -> bytes) when a run succeeds.
    void Trials(const fs::path& first, const fs::path& second, bool pokePipes, bool asNobody,
                const std::function<bool(const std::map<std::string, std::string>&)>& consistent)
    {
        if (asNobody) {
            if (::geteuid() != 0) {
                std::cout << "[  SKIPPED ] the unprivileged trials: they need root to drop to nobody\n";
                return;
            }
            OpenToNobody();
        }
        const auto before = Contents(root / "srv");
        int built = 0, refused = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            SCOPED_TRACE("trial " + std::to_string(trial) + (asNobody ? " as nobody" : " as root"));
            ChildOptions options;
            options.environment = {{"ProgramData", (root / "appdata").string()}, {"TEMP", temp.string()}};
            options.asNobody = asNobody;
            ChildResult result;
            {
                NameExchange exchange(first, second, pokePipes);
                result =
                    RunChild(program.string(),
                             {"-cli", "-cidpath", cid.string(), "-sfxpath", (output / "pkg.exe").string()}, options);
            }
            EXPECT_EQ(Contents(root / "srv"), before) << "the CID and what lies beside it are as they were";
            EXPECT_FALSE(fs::exists(temp / "Halvex"));
            const auto log = LogFileLines();
            ASSERT_FALSE(log.empty());
            if (result.exitCode == 0) {
                ++built;
                EXPECT_EQ(Tree(output), (std::set<std::string>{"pkg.exe", "pkg.exe.sha256"}));
                const fs::path extracted = root / "extracted";
                fs::remove_all(extracted);
                ASSERT_EQ(SevenZip({"x", "-y", "-o" + extracted.string(), "--", "pkg.exe"}, output), 0);
                std::map<std::string, std::string> packed;
                for (const auto& [path, content] : Contents(extracted))
                    if (path.starts_with("NORDAVIN/") && content.starts_with("file "))
                        packed[path] = content;
                EXPECT_TRUE(consistent(packed));
                fs::remove_all(extracted);
            } else {
                ++refused;
                EXPECT_EQ(result.exitCode, 82) << result.err;
                EXPECT_EQ(log.back(), "Zastrel failed ");
                EXPECT_TRUE(std::any_of(log.begin(), log.end(), IsSwapReason)) << "the reason is logged";
                EXPECT_TRUE(fs::is_empty(output));
            }
            for (const auto& entry : fs::directory_iterator(output))
                fs::remove_all(entry.path());
            fs::remove(root / "appdata/Veskor/Zastrel/Log/log.txt");
        }
        std::cout << "[   COUNTS ] " << (asNobody ? "as nobody: " : "as root: ") << built << " built, " << refused
                  << " refused of " << kTrials << "\n";
    }

    // Every packed file of the CID is the CID's own, as `before` had it.
    std::function<bool(const std::map<std::string, std::string>&)>
    AsInTheCid(const std::map<std::string, std::string>& before, const std::string& from = "NORDAVIN/",
               const std::string& part = "NORDAVIN/")
    {
        return [before, from, part](const std::map<std::string, std::string>& packed) {
            for (const auto& [path, content] : packed) {
                const std::string source = path.starts_with(part) ? from + path.substr(part.size()) : path;
                const auto found = before.find(source);
                if (found == before.end() || found->second != content) {
                    ADD_FAILURE() << path << " holds bytes that are not the CID's: " << content;
                    return false;
                }
            }
            return true;
        };
    }

    fs::path elsewhere;
};

TEST_F(CidSwaps, FileExchangedWithALinkToARootOnlyFile)
{
    fs::create_symlink(root / "secret.txt", elsewhere / "payload.txt");
    const auto check = AsInTheCid(Contents(root / "srv"));
    for (const bool asNobody : {false, true})
        Trials(cid / "torqel/payload.txt", elsewhere / "payload.txt", false, asNobody, check);
}

TEST_F(CidSwaps, FolderExchangedWithALinkToARootOnlyFolder)
{
    fs::create_symlink(root / "private", elsewhere / "defs");
    const auto check = AsInTheCid(Contents(root / "srv"));
    for (const bool asNobody : {false, true})
        Trials(cid / "torqel/defs", elsewhere / "defs", false, asNobody, check);
}

TEST_F(CidSwaps, FileExchangedWithAPipe)
{
    ASSERT_EQ(::mkfifo((elsewhere / "payload.txt").c_str(), 0644), 0);
    Trials(cid / "torqel/payload.txt", elsewhere / "payload.txt", true, false, AsInTheCid(Contents(root / "srv")));
}

// A component folder exchanged with another version of it mid-copy: the package holds one
// version whole, never a mix.
TEST_F(CidSwaps, ComponentFolderExchangedMidCopy)
{
    for (const char* file : {"payload.txt", "defs/2024/defs.dat", "extra.txt"})
        WriteBytes(elsewhere / "torqel" / file, std::string("version B of ") + file + "\n");
    WriteBytes(cid / "torqel/more.txt", "version A only\n");
    const auto before = Contents(root / "srv");
    const auto versionA = AsInTheCid(before);
    const auto versionB = AsInTheCid(before, "elsewhere/torqel/", "NORDAVIN/torqel/");
    const auto wholeVersion = [&](const std::map<std::string, std::string>& packed) {
        std::map<std::string, std::string> component, rest;
        for (const auto& [path, content] : packed)
            (path.starts_with("NORDAVIN/torqel/") ? component : rest)[path] = content;
        std::set<std::string> names, namesA, namesB;
        for (const auto& entry : component)
            names.insert(entry.first.substr(std::string("NORDAVIN/torqel/").size()));
        for (const auto& [path, content] : before) {
            if (!content.starts_with("file "))
                continue;
            if (path.starts_with("NORDAVIN/torqel/"))
                namesA.insert(path.substr(std::string("NORDAVIN/torqel/").size()));
            if (path.starts_with("elsewhere/torqel/"))
                namesB.insert(path.substr(std::string("elsewhere/torqel/").size()));
        }
        const bool wholeA = names == namesA, wholeB = names == namesB;
        EXPECT_TRUE(wholeA || wholeB) << "one version whole";
        return versionA(rest) && (wholeA ? versionA(component) : versionB(component));
    };
    Trials(cid / "torqel", elsewhere / "torqel", false, false, wholeVersion);
}

// A run started while another builds, with the same log folder and work folder: the first
// keeps its whole log, the second fails at once (the work folder is busy) and writes its own
// log beside it, which its notice names. Once both have ended, a run takes log.txt again.
TEST_F(HalvexAppPackaging, EachOfTwoRunsAtOnceKeepsAWholeLogOfItsOwn)
{
    WriteNoise(cid / "torqel/noise.bin", 24);
    const fs::path logFolder = root / "appdata/Veskor/Zastrel/Log";
    ChildResult second;
    const ChildResult first = Run(
        {"-cidpath", cid.string(), "-sfxpath", (output / "first.exe").string()}, [&](const std::string& line, pid_t) {
            if (line == kSuccessLines[3])
                second = Run({"-cidpath", cid.string(), "-sfxpath", (root / "elsewhere/second.exe").string()});
        });
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(second.exitCode, 82);
    EXPECT_EQ(second.err,
              "halvex: another run is writing log.txt; this run's log is " + (logFolder / "log-2.txt").string() + "\n");

    for (const char* name : {"log.txt", "log-2.txt"})
        EXPECT_EQ(ReadBytes(logFolder / name).find('\0'), std::string::npos) << name;
    const auto firstLog = LogLines::All((logFolder / "log.txt").string());
    ASSERT_FALSE(firstLog.empty());
    EXPECT_EQ(std::count(firstLog.begin(), firstLog.end(), "*** Starting packaging process *** "), 1);
    EXPECT_EQ(firstLog.back(), "Zastrel completed successfully ");
    const auto secondLog = LogLines::All((logFolder / "log-2.txt").string());
    ASSERT_FALSE(secondLog.empty());
    EXPECT_NE(std::find_if(secondLog.begin(), secondLog.end(),
                           [&](const std::string& line) {
                               return line.starts_with("Another packaging run is using the work folder: " +
                                                       (temp / "Halvex").string() + " (held by process ");
                           }),
              secondLog.end());
    EXPECT_EQ(secondLog.back(), "Zastrel failed ");
    EXPECT_EQ(std::find(firstLog.begin(), firstLog.end(), secondLog.back()), firstLog.end());

    const ChildResult third = Run({"-cidpath", cid.string(), "-sfxpath", (output / "third.exe").string()});
    EXPECT_EQ(third.exitCode, 0) << third.err;
    EXPECT_EQ(third.err, "");
    const std::string thirdLog = ReadBytes(logFolder / "log.txt");
    EXPECT_NE(thirdLog.find("third.exe"), std::string::npos);
    EXPECT_EQ(thirdLog.find("first.exe"), std::string::npos) << "log.txt is emptied for the next run";
}

}  // namespace

TEST_F(HalvexAppPackaging, TwoBuildsOfOneCidAreTheSameBytes)
{
    // A given token, not -pwd, whose token is salted afresh on every run.
    ChildOptions secret;
    secret.input = "secret\n";
    const ChildResult obscured =
        RunChild((fs::path(HALVEX_PROGRAM).parent_path() / "halvex-obscure").string(), {}, secret);
    ASSERT_EQ(obscured.exitCode, 0) << obscured.err;
    const std::string token = obscured.out.substr(0, obscured.out.find('\n'));

    // The second build's work folder lies on another file system: a tmpfs of its own when
    // this user may mount one, else /dev/shm. The files then reach it as copies, not links.
    const fs::path otherTemp = root / "other temp";
    fs::create_directories(otherTemp);
    const bool mounted =
        ::geteuid() == 0 &&
        RunChild("/usr/bin/mount", {"-t", "tmpfs", "-o", "size=64m", "tmpfs", otherTemp.string()}).exitCode == 0;
    const fs::path secondTemp =
        mounted ? otherTemp : fs::path("/dev/shm") / ("halvex-test-" + std::to_string(::getpid()));
    fs::create_directories(secondTemp);
    struct Unmount {
        bool mounted;
        fs::path folder;
        ~Unmount()
        {
            if (mounted)
                RunChild("/usr/bin/umount", {folder.string()});
            else
                fs::remove_all(folder);
        }
    } unmount{mounted, secondTemp};
    ASSERT_NE(RunChild("/usr/bin/stat", {"-c", "%d", temp.string()}).out,
              RunChild("/usr/bin/stat", {"-c", "%d", secondTemp.string()}).out);

    const std::vector<std::string> arguments = {"-cidpath", cid.string(), "-opwd", token,
                                                "-user",    "ann",        "-pexo", "-s"};
    const auto build = [&](const fs::path& workBase, const std::string& name) {
        std::vector<std::string> all = {"-cli", "-sfxpath", (output / name).string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        ChildOptions options;
        options.environment = {{"ProgramData", (root / "appdata").string()},
                               {"TEMP", workBase.string()},
                               {"SOURCE_DATE_EPOCH", "1767225600"}};
        const ChildResult result = RunChild(program.string(), all, options);
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    };
    // The package keeps file times to 100 ns: a time either run took from the clock
    // would differ.
    build(temp, "first.exe");
    build(secondTemp, "second.exe");
    const std::string first = ReadBytes(output / "first.exe");
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(first == ReadBytes(output / "second.exe")) << "the packages differ";
}
