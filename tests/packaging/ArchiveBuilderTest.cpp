#include "packaging/ArchiveBuilder.h"

#include <chrono>
#include <thread>

#include "PackagingTestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/Interrupt.h"
#include "platform/TextConversion.h"

namespace {

using namespace PackagingTest;

const std::string kSfxConfig =
    ";!@Install@!UTF-8!\r\nInstallPath=\"%temp%\\halvex_temp\"\r\nExecuteFile=\"setup.vbs\"\r\nProgress=\"No\"\r\n"
    ";!@InstallEnd@!";

// Interrupts the run from inside the poll loop, as the console handler would.
class InterruptingProgress : public RecordingProgress {
public:
    void Refresh() override
    {
        if (++refreshes == 20)
            Platform::RequestInterrupt();
    }
};

int WaitFor(Platform::CChildProcess& child)
{
    std::optional<int> code;
    while (!(code = child.Poll()))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return *code;
}

// What sha256sum says of the file, computed on its own.
std::string Sha256Sum(const fs::path& file)
{
    Platform::CChildProcess sum({L"/usr/bin/sha256sum", L"--", Platform::WidenHostText(file.string())});
    EXPECT_EQ(WaitFor(sum), 0);
    return sum.Output().substr(0, 64);
}

class ArchiveBuilding : public testing::Test {
protected:
    void SetUp() override
    {
        root = ScratchFolder() / "build root";
        work = root / "work";
        output = root / "out put";
        WriteBytes(work / "NORDAVIN/setup.exe", "fixture\n");
        fs::create_directories(output);
    }
    void TearDown() override { Platform::ClearInterrupt(); }

    // A program folder whose archiver is a shell script standing in for 7-Zip.
    fs::path FakeArchiver(const std::string& body)
    {
        const fs::path program = MakeProgramFolder(root, "");
        WriteBytes(program / "7za/7za", "#!/bin/sh\n" + body + "\n");
        fs::permissions(program / "7za/7za", fs::perms::owner_all);
        return program;
    }

    void Build(ArchiveBuilder& builder, const fs::path& program, const std::wstring& fileName = L"")
    {
        builder.CreateArchive(work.wstring(), output.wstring());
        builder.WriteSfxConfig(work.wstring());
        builder.CreateExecutable(work.wstring(), output.wstring(), fileName, program.wstring());
        builder.RemoveArchive(output.wstring(), true);
    }

    fs::path root, work, output;
    RecordingProgress progress;
};

TEST_F(ArchiveBuilding, OutputIsModuleConfigurationAndArchive)
{
    const fs::path program = MakeProgramFolder(root);
    WriteBytes(output / "halvex_archive.7z", "stale archive from an earlier run");
    LogRecord log;
    ArchiveBuilder builder((program / "7za/7za").wstring(), &progress);
    Build(builder, program);
    ASSERT_TRUE(builder.Succeeded()) << log.Joined();

    EXPECT_EQ(ReadBytes(work / "halvex_setup.txt"), kSfxConfig);
    EXPECT_EQ(Tree(output), (std::set<std::string>{"VeskorEndpoint.exe", "VeskorEndpoint.exe.sha256"}));
    const std::string package = ReadBytes(output / "VeskorEndpoint.exe");
    const std::string module = ReadBytes(program / "7za/7zSD.sfx");
    ASSERT_GT(package.size(), module.size() + kSfxConfig.size());
    EXPECT_EQ(package.substr(0, module.size() + kSfxConfig.size()), module + kSfxConfig);
    EXPECT_EQ(package.substr(module.size() + kSfxConfig.size(), 6), std::string("7z\xBC\xAF\x27\x1C", 6));
    EXPECT_GT(progress.refreshes, 0);

    const std::string archive = (output / "halvex_archive.7z").string();
    const std::vector<std::string> expected = {
        "About to run self-extracting archive tool... ",
        "About to remove halvex_archive.7z file... ",
        "Calling " + (program / "7za/7za").string() + " with source: " + work.string() + " and destination: " +
            output.string() + " ",
        "Successfully invoked archiver tool ",
        "About to create 7Zip configuration file... ",
        "Successfully created 7Zip configuration ",
        "About to create final self-extracting archive... ",
        "Installer module 7zSD.sfx found at: " + (program / "7za/7zSD.sfx").string() + " ",
        "Command line:  copy /b \"" + (program / "7za/7zSD.sfx").string() + "\" + \"" +
            (work / "halvex_setup.txt").string() + "\" + \"" + archive + "\" \"" +
            (output / "VeskorEndpoint.exe").string() + "\" ",
        "Verifying the package: the archiver lists what it holds... ",
        "Package verified: it holds every entry of the work folder, and nothing else: 2 ",
        "Successfully created final self-extracting archive ",
        "SHA-256 of the package written to " + (output / "VeskorEndpoint.exe.sha256").string() + " : " +
            Sha256Sum(output / "VeskorEndpoint.exe") + " ",
        "About to remove halvex_archive.7z file... ",
        "Successfully removed halvex_archive.7z ",
    };
    EXPECT_EQ(log.Get(), expected);
}

// The checksum file is what sha256sum writes and accepts, for any file name, and a new
// package replaces an old checksum with its own.
TEST_F(ArchiveBuilding, ChecksumFileIsAcceptedBySha256sum)
{
    const fs::path program = MakeProgramFolder(root);
    for (const std::string name : {"Client Setup.exe", "back\\slash.exe", "\xC3\xA9t\xC3\xA9 'q'.exe"}) {
        const fs::path package = output / name;
        WriteBytes(fs::path(package.string() + ".sha256"), "0000  stale\n");
        ArchiveBuilder builder((program / "7za/7za").wstring(), &progress);
        Build(builder, program, Platform::WidenHostText(name));
        ASSERT_TRUE(builder.Succeeded());
        const std::string line = ReadBytes(fs::path(package.string() + ".sha256"));
        EXPECT_NE(line.find(Sha256Sum(package)), std::string::npos) << line;
        Platform::CChildProcess check({L"/usr/bin/sha256sum", L"-c", L"--strict", Platform::WidenHostText(name + ".sha256")},
                                      output.wstring());
        EXPECT_EQ(WaitFor(check), 0) << check.Output() << check.ErrorOutput();
    }
}

// A package whose archive does not hold exactly the work folder never takes the output
// name, nor gets a checksum.
TEST_F(ArchiveBuilding, PackageThatDoesNotHoldTheWorkFolderIsRefused)
{
    struct Case { const char* name; const char* body; const char* line; };
    const Case cases[] = {
        {"an entry missing",
         R"sh([ "$1" = a ] || exec /usr/bin/7za "$@"; /usr/bin/7za "$@" && /usr/bin/7za d -- "$2" NORDAVIN/setup.exe)sh",
         "Missing from the package: NORDAVIN/setup.exe "},
        {"an entry too many",
         R"sh([ "$1" = a ] || exec /usr/bin/7za "$@"; /usr/bin/7za "$@" && cd "$(mktemp -d)" && echo x > stray.txt &&
              /usr/bin/7za a -- "$2" stray.txt)sh",
         "Not in the work folder: stray.txt "},
        {"an archive the archiver cannot read",
         R"sh(if [ "$1" = a ]; then printf 'not an archive' > "$2"; else exec /usr/bin/7za "$@"; fi)sh",
         "Package verification failed: the archiver cannot read the package "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root / "program");
        const fs::path program = FakeArchiver(c.body);
        WriteBytes(output / "pkg.exe", "an older package");
        LogRecord log;
        ArchiveBuilder builder((program / "7za/7za").wstring(), &progress);
        Build(builder, program, L"pkg.exe");
        EXPECT_FALSE(builder.Succeeded());
        const auto lines = log.Get();
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << log.Joined();
        EXPECT_EQ(ReadBytes(output / "pkg.exe"), "an older package");
        EXPECT_EQ(Tree(output), (std::set<std::string>{"halvex_archive.7z", "pkg.exe"}));
        builder.DiscardArchive(output.wstring());
        EXPECT_EQ(Tree(output), std::set<std::string>{"pkg.exe"});
    }
}

TEST_F(ArchiveBuilding, ArchiverFailuresAreLoggedWithWhatTheArchiverSaid)
{
    struct Case { const char* body; const char* line; };
    const Case cases[] = {
        {"exit 1", "Failed to invoke archiver tool: One or more files were locked and could not be compressed. Return code: 1 "},
        {"exit 2", "Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code: 2 "},
        {"exit 7", "Failed to invoke archiver tool: Command-line error. Return code: 7 "},
        {"exit 8", "Failed to invoke archiver tool: Insufficient memory for archiving operation. Return code: 8 "},
        {"exit 255", "Failed to invoke archiver tool: User cancelled archiving operation. Return code: 255 "},
        {"exit 3", "Failed to invoke archiver tool: Return code: 3 "},
        {"kill -9 $$", "Failed to invoke archiver tool: Return code: 137 "},
        {"kill -TERM $$", "Failed to invoke archiver tool: Return code: 143 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        fs::remove_all(root / "program");
        const fs::path program =
            FakeArchiver(std::string("echo 'scanning' ; echo 'ERROR: disk on fire' >&2; ") + c.body);
        LogRecord log;
        testing::internal::CaptureStdout();
        ArchiveBuilder builder((program / "7za/7za").wstring(), &progress);
        Build(builder, program, L"pkg.exe");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the archiver's output never reaches the console";
        EXPECT_FALSE(builder.Succeeded());
        const auto lines = log.Get();
        const std::string code = c.line;
        const bool bySignal = code.ends_with("137 ") || code.ends_with("143 ");
        ASSERT_EQ(lines.size(), bySignal ? 7u : 6u) << log.Joined();
        EXPECT_EQ(lines[4], c.line);
        if (bySignal) {
            EXPECT_EQ(lines[5], std::string("The archiver was ended by the signal ") +
                                    (code.ends_with("137 ") ? "SIGKILL " : "SIGTERM "));
        }
        EXPECT_EQ(lines.back(), "Archiver: ERROR: disk on fire ");
        EXPECT_FALSE(fs::exists(output / "pkg.exe"));
    }
}

TEST_F(ArchiveBuilding, MissingArchiverIsTheFatalErrorCode)
{
    const fs::path program = MakeProgramFolder(root, "");
    LogRecord log;
    ArchiveBuilder builder((program / "7za/7za").wstring(), &progress);
    Build(builder, program);
    EXPECT_FALSE(builder.Succeeded());
    EXPECT_EQ(log.Get().back(), "Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code: 2 ");
    EXPECT_TRUE(fs::is_empty(output));
}

TEST_F(ArchiveBuilding, FailedJoinKeepsTheArchiveAndLeavesNoOutput)
{
    const fs::path program = FakeArchiver(R"(printf 'archive' > "$2")");
    fs::remove(program / "7za/7zSD.sfx");
    LogRecord log;
    ArchiveBuilder builder((program / "7za/7za").wstring(), &progress);
    Build(builder, program, L"pkg.exe");
    EXPECT_FALSE(builder.Succeeded());
    const auto lines = log.Get();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Failed to create final self-extracting archive with return code:  2 ");
    EXPECT_EQ(lines.back(), "Reason: No such file or directory ");
    EXPECT_EQ(Tree(output), std::set<std::string>{"halvex_archive.7z"});
}

TEST_F(ArchiveBuilding, InterruptEndsTheArchiverAndRemovesItsArchive)
{
    // An archiver that would run for more than a day: the build returns only because the
    // interrupt ended it.
    const fs::path program = FakeArchiver(R"(printf 'partial' > "$2"; exec sleep 100000)");
    InterruptingProgress interrupting;
    LogRecord log;
    ArchiveBuilder builder((program / "7za/7za").wstring(), &interrupting);
    Build(builder, program, L"pkg.exe");
    EXPECT_FALSE(builder.Succeeded());
    EXPECT_EQ(log.Get().back(), "Archiving interrupted: the run was asked to stop ");
    EXPECT_TRUE(fs::is_empty(output));
}

}  // namespace
