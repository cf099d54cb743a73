// Whole runs of the program, as an administrator or a script starts it.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "support/ChildRun.h"
#include "support/CidBuilder.h"
#include "support/LogLines.h"
#include "support/TestFolder.h"

namespace fs = boost::filesystem;

namespace {

using namespace TestSupport;
using Lines = std::vector<std::string>;

class HalvexApp : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(ScratchFolder().string()) / "runs";
        programData = root / "programdata";
        fs::create_directories(programData);
        cid = CidBuilder((root / "cid" / "NORDAVIN").string()).File("setup.exe", "setup stand-in\n").Path().string();
        out = root / "out";
        fs::create_directories(out);
    }

    // Runs the program without any display; `environment` adds or (with nothing) removes
    // variables. asNobody drops root's rights first, so permissions bite.
    ChildResult Run(const std::vector<std::string>& arguments,
                    const std::map<std::string, std::optional<std::string>>& environment = {},
                    ChildOutput output = ChildOutput::Captured, bool asNobody = false)
    {
        ChildOptions options;
        options.environment = {
            {"ProgramData", programData.string()}, {"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}, {"QT_QPA_PLATFORM", {}}};
        for (const auto& [name, value] : environment)
            options.environment[name] = value;
        options.output = output;
        options.asNobody = asNobody;
        return RunChild(asNobody ? NobodysProgram() : std::string(HALVEX_PROGRAM), arguments, options);
    }

    // An unprivileged run may not enter the checkout (a home folder of mode 700): it runs a
    // copy of the program from the test's own folder, beside a program folder of its own.
    std::string NobodysProgram() const
    {
        const fs::path program = root / "program" / "halvex";
        if (!fs::exists(program)) {
            MakeProgramFolder(std::filesystem::path(root.string()));
            fs::copy_file(HALVEX_PROGRAM, program);
        }
        return program.string();
    }

    std::string LogFile() const { return (programData / "Veskor/Zastrel/Log/log.txt").string(); }

    std::string Notice(const std::string& logFile) const
    {
        return "Veskor Zastrel: Package generation failed. See \"" + logFile + "\" for details.\n";
    }

    // Lets an unprivileged run reach the test's folders.
    void OpenToEveryone()
    {
        for (fs::path folder = root; folder != fs::path(ScratchFolder().string()).parent_path();
             folder = folder.parent_path())
            fs::permissions(folder, fs::add_perms | fs::others_read | fs::others_exe);
        fs::permissions(programData, fs::all_all);
    }

    fs::path root;
    fs::path programData;
    fs::path cid;
    fs::path out;
};

TEST_F(HalvexApp, MissingParametersGiveTheNoticeTheLogAndCode82)
{
    const Lines expected = {
        "About to process argument list... ",
        "Command line interface mode set ",
        "Source path:    does not exist ",
        "Destination path:    is zero length ",
        "Source folder cannot be blank. Enter a software distribution location and try again. ",
        "Output package cannot be blank. Enter a folder path and try again. ",
    };
    for (int run = 0; run < 2; ++run) {
        const ChildResult result = Run({"-cli"});
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, Notice(LogFile()));
        EXPECT_EQ(LogLines::All(LogFile()), expected) << "run " << run + 1 << " starts an empty log";
    }
}

TEST_F(HalvexApp, RunsThatEndInTheNotice)
{
    std::ofstream((root / "afile").string()) << "x";
    struct Case {
        std::vector<std::string> arguments;
        std::string lastLine;
    };
    const std::vector<Case> cases = {
        // The construction checks run in both modes: a source that is a file ends the run even without -cli.
        {{"-cidpath", (root / "afile").string()}, "Error: "},
        {{"-cli", "-cidpath", (root / "afile").string()}, "Error: "},
        {{"-opwd", "not$base64", "-cli"}, "Option \xE2\x80\x93opwd is not a valid password. "},
        {{"-cli", "-opwd", "Bw"}, "Option \xE2\x80\x93opwd is not a valid password. "},
        {{"-cli", "-cidpath", cid.string(), "-sfxpath", out.string(), "-patch", "ftp://kett"},
         "Management server URL \"ftp://kett\" is not in the correct format. Enter an HTTP location and try again. "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
        const ChildResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, Notice(LogFile()));
        const Lines lines = LogLines::All(LogFile());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().substr(0, c.lastLine.size()), c.lastLine);
    }
}

TEST_F(HalvexApp, ArgumentsKeepBlanksQuotesAndNonAscii)
{
    const fs::path spaced = CidBuilder((root / "my cid \xC3\xA4\xE4\xB8\xAD").string()).Path().string();
    const ChildResult result =
        Run({"-cli", "-cidpath", spaced.string(), "-sfxpath", out.string(), "/note", "say\"hi\"", "-g", ""});
    EXPECT_EQ(result.err.find("Package generation failed. See"), std::string::npos) << result.err;
    const Lines lines = LogLines::All(LogFile());
    const Lines expected = {
        "Package source path set to:  " + spaced.string() + " ",
        "Unknown argument  /note  found. Using it anyway ",
        "Found parameter:  say\"hi\" ",
        "Found parameter:   ",
        "Source path:  " + spaced.string() + "  is OK ",
    };
    for (const std::string& line : expected)
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
}

TEST_F(HalvexApp, ClosedOrBrokenStandardOutputNeverHurtsTheRunOrTheLog)
{
    for (const ChildOutput output : {ChildOutput::Closed, ChildOutput::BrokenPipe}) {
        const ChildResult result = Run({"-cli", "-cidpath", cid.string(), "-sfxpath", out.string()}, {}, output);
        EXPECT_EQ(result.signal, 0);
        EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 82) << result.exitCode;
        const Lines lines = LogLines::All(LogFile());
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.front(), "About to process argument list... ");
    }
}

TEST_F(HalvexApp, WithoutALogTheRunGoesOnAndTheNoticeNamesThePathTried)
{
    std::ofstream((root / "notafolder").string()) << "x";
    const std::string tried = (root / "notafolder" / "Veskor/Zastrel/Log/log.txt").string();
    const ChildResult result = Run({"-cli"}, {{"ProgramData", (root / "notafolder").string()}});
    EXPECT_EQ(result.exitCode, 82);
    EXPECT_EQ(result.err, Notice(tried));
}

TEST_F(HalvexApp, UnprivilegedRunsMeetUnreadableAndUnwritableFolders)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "drops root's rights to make permissions bite";
    OpenToEveryone();
    fs::permissions(cid, fs::no_perms);
    const ChildResult unreadable =
        Run({"-cli", "-cidpath", cid.string(), "-sfxpath", out.string()}, {}, ChildOutput::Captured, true);
    EXPECT_EQ(unreadable.exitCode, 82);
    EXPECT_EQ(unreadable.err, Notice(LogFile()));
    const Lines lines = LogLines::All(LogFile());
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("Permission denied"), std::string::npos) << lines.back();

    const fs::path readOnly = root / "readonly";
    fs::create_directories(readOnly);
    fs::permissions(readOnly, fs::owner_read | fs::owner_exe | fs::others_read | fs::others_exe);
    const ChildResult unwritable = Run({"-cli"}, {{"ProgramData", readOnly.string()}}, ChildOutput::Captured, true);
    EXPECT_EQ(unwritable.exitCode, 82);
    EXPECT_EQ(unwritable.err, Notice((readOnly / "Veskor/Zastrel/Log/log.txt").string()));
    fs::permissions(cid, fs::owner_all);
}

TEST_F(HalvexApp, UnprivilegedCopyAndOutputFailuresNameTheirReason)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "drops root's rights to make permissions bite";
    // A CID with every component, so the copy reaches the folder it cannot read.
    for (const char* folder : {"lorv", "bexu", "dimbel", "torqel", "ynda", "ynda64", "kett"}) {
        fs::create_directories(cid / folder);
        std::ofstream((cid / folder / "payload.txt").string()) << folder;
    }
    const fs::path temp = root / "temp";
    fs::create_directories(temp);
    OpenToEveryone();
    fs::permissions(temp, fs::all_all);
    fs::permissions(out, fs::all_all);
    const std::map<std::string, std::optional<std::string>> environment = {{"TEMP", temp.string()}};
    const std::vector<std::string> arguments = {
        "-cli", "-mng", "yes", "-cidpath", cid.string(), "-sfxpath", (out / "pkg.exe").string()};
    const auto has = [](const Lines& lines, const std::string& start) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    };
    {
        SCOPED_TRACE("a component folder that cannot be read");
        fs::permissions(cid / "torqel", fs::no_perms);
        const ChildResult result = Run(arguments, environment, ChildOutput::Captured, true);
        fs::permissions(cid / "torqel", fs::owner_all | fs::others_read | fs::others_exe);
        EXPECT_EQ(result.exitCode, 82);
        const Lines lines = LogLines::All(LogFile());
        EXPECT_TRUE(has(lines,
                        "Boost file system error: boost::filesystem::directory_iterator::construct: "
                        "Permission denied: \"" +
                            (cid / "torqel").string() + "\""));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "Zastrel failed ");
        EXPECT_FALSE(fs::exists(temp / "Halvex")) << "the work folder is removed";
        EXPECT_TRUE(fs::is_empty(out));
    }
    {
        SCOPED_TRACE("an output folder that cannot take files");
        fs::permissions(out, fs::owner_read | fs::owner_exe | fs::others_read | fs::others_exe);
        const ChildResult result = Run(arguments, environment, ChildOutput::Captured, true);
        fs::permissions(out, fs::all_all);
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_EQ(result.err, Notice(LogFile()));
        const Lines lines = LogLines::All(LogFile());
        EXPECT_TRUE(has(lines, "Destination path:  " + (out / "pkg.exe").string() + "  is invalid "));
        EXPECT_TRUE(has(lines, "Output package path \"" + (out / "pkg.exe").string() + "\" is invalid."));
        EXPECT_FALSE(has(lines, "About to copy package from source...")) << "refused before any copying";
    }
}

TEST_F(HalvexApp, GraphicalModeWithoutADisplayEndsCleanly)
{
    const std::map<std::string, std::optional<std::string>> environments[] = {
        {},
        {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":97"}},
    };
    for (const auto& environment : environments) {
        const ChildResult result = Run({"-cidpath", cid.string()}, environment);
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_NE(result.err.find("no display"), std::string::npos) << result.err;
    }
}

}  // namespace
