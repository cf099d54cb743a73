#include "packaging/ArchiveBuilder.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

int WaitFor(Platform::ChildProcess& child)
{
    std::optional<int> code;
    while (!(code = child.Poll()))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return *code;
}

// What sha256sum says of the file, computed on its own.
std::string Sha256Sum(const fs::path& file)
{
    Platform::ChildProcess sum({L"/usr/bin/sha256sum", L"--", Platform::WidenHostText(file.string())});
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
        // Never written through a link left by an earlier program folder: that would
        // replace the system's archiver.
        fs::remove(program / "7za/7za");
        WriteBytes(program / "7za/7za", "#!/bin/sh\n" + body + "\n");
        fs::permissions(program / "7za/7za", fs::perms::owner_all);
        return program;
    }

    // The builder's steps in the job's order, each only after the one before succeeded.
    static bool Build(ArchiveBuilder& builder, const fs::path& program, const fs::path& work, const fs::path& output,
                      const std::wstring& fileName = L"")
    {
        StepResult result = builder.CreateArchive(work.wstring(), output.wstring());
        if (result)
            result = builder.WriteSfxConfig(work.wstring());
        if (result)
            result = builder.CreateExecutable(work.wstring(), output.wstring(), fileName, program.wstring());
        if (result)
            result = builder.RemoveArchive(output.wstring(), true);
        return result.Succeeded();
    }

    bool Build(ArchiveBuilder& builder, const fs::path& program, const std::wstring& fileName = L"")
    {
        return Build(builder, program, work, output, fileName);
    }

    fs::path root, work, output;
    RecordingProgress progress;
};

TEST_F(ArchiveBuilding, OutputIsModuleConfigurationAndArchive)
{
    const fs::path program = MakeProgramFolder(root);
    WriteBytes(output / "halvex_archive.7z", "stale archive from an earlier run");
    LogRecord log;
    ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress, Platform::InterruptRequested);
    ASSERT_TRUE(Build(builder, program)) << log.Joined();

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
        "Calling " + (program / "7za/7za").string() + " with source: " + work.string() +
            " and destination: " + output.string() + " ",
        "Installer module 7zSD.sfx found at: " + (program / "7za/7zSD.sfx").string() + " ",
        "Successfully invoked archiver tool ",
        "About to create 7Zip configuration file... ",
        "Successfully created 7Zip configuration ",
        "About to create final self-extracting archive... ",
        "Command line:  copy /b \"" + (program / "7za/7zSD.sfx").string() + "\" + \"" +
            (work / "halvex_setup.txt").string() + "\" + \"" + archive + "\" \"" +
            (output / "VeskorEndpoint.exe").string() + "\" ",
        "Verifying the package: the archiver lists what it holds... ",
        "Package verified: it holds every entry of the work folder with its size and CRC, and nothing else: 2 ",
        "Successfully created final self-extracting archive ",
        "SHA-256 of the package written to " + (output / "VeskorEndpoint.exe.sha256").string() + " : " +
            Sha256Sum(output / "VeskorEndpoint.exe") + " ",
        "About to remove halvex_archive.7z file... ",
        "Successfully removed halvex_archive.7z ",
    };
    EXPECT_EQ(log.Get(), expected);
}

// The archiver writes the package in one pass; it is byte for byte the join of the
// module, the configuration and an archive of the same work folder.
TEST_F(ArchiveBuilding, OnePassPackageIsTheJoinOfModuleConfigurationAndArchive)
{
    WriteBytes(work / "NORDAVIN/torqel/deep/er.txt", std::string(100000, 'x'));
    WriteBytes(work / "NORDAVIN/empty.txt", "");
    fs::create_directories(work / "NORDAVIN/empty folder");
    WriteBytes(work / "setup.vbs", "script\r\n");
    const fs::path program = MakeProgramFolder(root);
    ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress, Platform::InterruptRequested);
    ASSERT_TRUE(Build(builder, program, L"pkg.exe"));

    // The configuration file the run left in the work folder is not part of the archive.
    fs::remove(work / "halvex_setup.txt");
    const fs::path archive = root / "by hand.7z";
    Platform::ChildProcess sevenZip(
        {L"/usr/bin/7za", L"a", archive.wstring(), (work / "*").wstring(), L"-r", L"-mx5", L"-mmt", L"-ms=e256m"});
    ASSERT_EQ(WaitFor(sevenZip), 0) << sevenZip.ErrorOutput();
    EXPECT_TRUE(ReadBytes(output / "pkg.exe") == ReadBytes(program / "7za/7zSD.sfx") + kSfxConfig + ReadBytes(archive));
}

// The new package and its checksum take their names together or not at all: when either
// name cannot be taken, the older package and checksum stay as they were.
TEST_F(ArchiveBuilding, OlderPackageStaysUnlessBothNewFilesTakeTheirNames)
{
    const fs::path program = MakeProgramFolder(root);
    for (const std::string blocked : {"pkg.exe", "pkg.exe.sha256"}) {
        SCOPED_TRACE(blocked);
        fs::remove_all(output);
        WriteBytes(output / "pkg.exe", "an older package");
        WriteBytes(output / "pkg.exe.sha256", "an older checksum");
        fs::remove(output / blocked);
        fs::create_directories(output / blocked / "a folder's file");
        LogRecord log;
        ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        EXPECT_FALSE(Build(builder, program, L"pkg.exe"));
        EXPECT_EQ(log.Get().back(), "Reason: Is a directory ") << log.Joined();
        builder.DiscardArchive(output.wstring());
        const std::string other = blocked == "pkg.exe" ? "pkg.exe.sha256" : "pkg.exe";
        EXPECT_EQ(Tree(output), (std::set<std::string>{other, blocked + "/", blocked + "/a folder's file/"}));
        EXPECT_EQ(ReadBytes(output / other), other == "pkg.exe" ? "an older package" : "an older checksum");
    }
}

// Others who may write to the output folder can replace the package once it is there:
// the log says so unless the folder is sticky.
TEST_F(ArchiveBuilding, OutputFolderOthersMayWriteToIsWarnedAbout)
{
    const fs::path program = MakeProgramFolder(root);
    const std::string warning =
        "Warning: other users may write to the output folder and it is not sticky: they can "
        "rename or replace the package once it is there: " +
        output.string() + " ";
    struct Case {
        fs::perms mode;
        bool warned;
    };
    const Case cases[] = {
        {fs::perms(0755), false},  {fs::perms(0775), true},   {fs::perms(0777), true},
        {fs::perms(01777), false}, {fs::perms(03775), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        fs::permissions(output, c.mode);
        LogRecord log;
        ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        EXPECT_TRUE(Build(builder, program, L"pkg.exe"));
        const auto lines = log.Get();
        EXPECT_EQ(std::find(lines.begin(), lines.end(), warning) != lines.end(), c.warned) << log.Joined();
    }
}

// The checksum file is what sha256sum writes and accepts, for any file name, and a new
// package replaces an old checksum with its own.
TEST_F(ArchiveBuilding, ChecksumFileIsAcceptedBySha256sum)
{
    const fs::path program = MakeProgramFolder(root);
    for (const std::string name : {"Client Setup.exe", "back\\slash.exe", "\xC3\xA9t\xC3\xA9 'q'.exe"}) {
        const fs::path package = output / name;
        WriteBytes(fs::path(package.string() + ".sha256"), "0000  stale\n");
        ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        ASSERT_TRUE(Build(builder, program, Platform::WidenHostText(name)));
        const std::string line = ReadBytes(fs::path(package.string() + ".sha256"));
        EXPECT_NE(line.find(Sha256Sum(package)), std::string::npos) << line;
        Platform::ChildProcess check(
            {L"/usr/bin/sha256sum", L"-c", L"--strict", Platform::WidenHostText(name + ".sha256")}, output.wstring());
        EXPECT_EQ(WaitFor(check), 0) << check.Output() << check.ErrorOutput();
    }
}

// A package that does not hold exactly the work folder, each file with its size and
// CRC, never takes the output name, nor gets a checksum.
TEST_F(ArchiveBuilding, PackageThatDoesNotHoldTheWorkFolderIsRefused)
{
    struct Case {
        const char* name;
        const char* body;
        const char* line;
    };
    const Case cases[] = {
        {"an entry missing", R"sh([ "$1" = a ] || exec /usr/bin/7za "$@"; exec /usr/bin/7za "$@" '-xr!setup.exe')sh",
         "Missing from the package: NORDAVIN/setup.exe "},
        {"an entry too many",
         R"sh([ "$1" = a ] || exec /usr/bin/7za "$@"; d=$(mktemp -d); echo x > "$d/stray.txt";
              /usr/bin/7za "$@" "$d/stray.txt"; rc=$?; rm -rf "$d"; exit $rc)sh",
         "Not in the work folder: stray.txt "},
        {"a file of the same name and size but other bytes",
         R"sh([ "$1" = a ] || exec /usr/bin/7za "$@"; d=$(mktemp -d); mkdir "$d/NORDAVIN";
              printf 'fixturX\n' > "$d/NORDAVIN/setup.exe"; out=$2; shift 3;
              /usr/bin/7za a "$out" "$d/*" "$@"; rc=$?; rm -rf "$d"; exit $rc)sh",
         "Not as in the work folder: NORDAVIN/setup.exe "},
        {"an archive the archiver cannot read",
         R"sh(if [ "$1" = a ]; then printf 'not an archive' > "$2"; else exec /usr/bin/7za "$@"; fi)sh",
         "Package verification failed: the archiver cannot read the package "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root / "program");
        const fs::path program = FakeArchiver(c.body);
        WriteBytes(output / "pkg.exe", "an older package");
        WriteBytes(output / "pkg.exe.sha256", "an older checksum");
        LogRecord log;
        ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        EXPECT_FALSE(Build(builder, program, L"pkg.exe"));
        const auto lines = log.Get();
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << log.Joined();
        EXPECT_EQ(ReadBytes(output / "pkg.exe"), "an older package");
        EXPECT_EQ(ReadBytes(output / "pkg.exe.sha256"), "an older checksum");
        builder.DiscardArchive(output.wstring());
        EXPECT_EQ(Tree(output), (std::set<std::string>{"pkg.exe", "pkg.exe.sha256"}));
    }
}

// Renames what another user of the output folder may rename there, in a loop, until it is
// killed: every private folder of a run it has not seen yet goes to "stolen-N", and the
// folder "decoy", with a foreign package under the run's own file names, takes its name;
// each swap is reported on `report` and marked by the file "swapped". A foreign archive
// is renamed over the old intermediate archive's name all the while. Runs as nobody when
// it can, which can do just that in a folder open to all and not sticky.
[[noreturn]] void SwapLoop(int folder, int report)
{
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(1);
    char seen[64][64] = {};
    int swaps = 0;
    while (true) {
        if (::linkat(folder, "foreign.7z", folder, "foreign-link.7z", 0) == 0)
            ::renameat(folder, "foreign-link.7z", folder, "halvex_archive.7z");
        DIR* listing = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY));
        if (listing == nullptr)
            continue;
        while (const dirent* entry = ::readdir(listing)) {
            if (std::strncmp(entry->d_name, ".halvex-run-", 12) != 0 || std::strlen(entry->d_name) >= 64)
                continue;
            bool known = false;
            for (int i = 0; i < swaps && i < 64 && !known; ++i)
                known = std::strcmp(seen[i], entry->d_name) == 0;
            if (known)
                continue;
            char stolen[32];
            std::snprintf(stolen, sizeof stolen, "stolen-%d", swaps);
            if (::renameat(folder, entry->d_name, folder, stolen) != 0)
                continue;
            (void)::renameat(folder, "decoy", folder, entry->d_name);
            std::strcpy(seen[swaps++ % 64], entry->d_name);
            ::close(::openat(folder, "swapped", O_WRONLY | O_CREAT, 0666));
            if (::write(report, "s", 1) != 1)
                ::_exit(1);
        }
        ::closedir(listing);
    }
}

// Whoever may write to the output folder renames their own package, with the same entry
// names and another setup.exe, into the run's place right after the archiver closed the
// package, and keeps trying all through the run: the package shipped is always the one
// the archiver wrote from the work folder.
TEST_F(ArchiveBuilding, PackageSwappedInTheOutputFolderIsNeverShipped)
{
    constexpr int kTrials = 40;
    // The attacker's package: the same names, setup.exe of the same size.
    const fs::path program = MakeProgramFolder(root);
    const fs::path foreign = root / "foreign";
    WriteBytes(foreign / "work/NORDAVIN/setup.exe", "FOREIGN\n");
    fs::create_directories(foreign / "out");
    {
        ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        ASSERT_TRUE(Build(builder, program, foreign / "work", foreign / "out"));
    }
    const std::string foreignPackage = ReadBytes(foreign / "out/VeskorEndpoint.exe");
    // The archiver closes the package, then waits until the attacker has swapped.
    const fs::path archiver = FakeArchiver(
        "/usr/bin/7za \"$@\" || exit $?; [ \"$1\" = a ] || exit 0\n"
        "i=0; while [ ! -e '" +
        (output / "swapped").string() + "' ] && [ $i -lt 2000 ]; do sleep 0.005; i=$((i + 1)); done");
    fs::permissions(output, fs::perms(0777));
    WriteBytes(output / "foreign.7z", foreignPackage);

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int folder = ::open(output.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    const pid_t attacker = ::fork();
    ASSERT_GE(attacker, 0);
    if (attacker == 0)
        SwapLoop(folder, pipeFds[1]);
    ::close(pipeFds[1]);
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);

    int shipped = 0, foreignShipped = 0, refused = 0, swaps = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        // The previous trial's package goes, so that a refused run is seen to ship nothing.
        for (const char* left : {"swapped", "pkg.exe", "pkg.exe.sha256"})
            fs::remove(output / left);
        for (const auto& entry : fs::directory_iterator(output))
            if (entry.path().filename().string().starts_with("stolen-") ||
                entry.path().filename().string().starts_with(".halvex-run-"))
                fs::remove_all(entry.path());
        WriteBytes(output / "decoy/package.exe", foreignPackage);
        WriteBytes(output / "decoy/installer-head", ReadBytes(program / "7za/7zSD.sfx") + kSfxConfig);
        fs::permissions(output / "decoy", fs::perms(0777));
        LogRecord log;
        ArchiveBuilder builder((archiver / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        const bool built = Build(builder, program, L"pkg.exe");
        if (!built) {
            // Refusing is a sound end too, as long as it says why.
            ++refused;
            std::cout << "refused run:\n" << log.Joined();
            EXPECT_FALSE(fs::exists(output / "pkg.exe"));
            continue;
        }
        const std::string package = ReadBytes(output / "pkg.exe");
        Platform::ChildProcess setup(
            {L"/usr/bin/7za", L"e", L"-so", (output / "pkg.exe").wstring(), L"NORDAVIN/setup.exe"});
        EXPECT_EQ(WaitFor(setup), 0);
        if (package == foreignPackage || setup.Output() != "fixture\n")
            ++foreignShipped;
        else
            ++shipped;
        char bytes[64];
        for (ssize_t got; (got = ::read(pipeFds[0], bytes, sizeof bytes)) > 0;)
            swaps += static_cast<int>(got);
    }
    ::kill(attacker, SIGKILL);
    ::waitpid(attacker, nullptr, 0);
    ::close(pipeFds[0]);
    ::close(folder);
    std::cout << "swap race: " << kTrials << " runs, " << swaps << " swaps, " << shipped << " own packages shipped, "
              << refused << " refused, " << foreignShipped << " foreign packages shipped\n";
    EXPECT_EQ(foreignShipped, 0);
    EXPECT_EQ(shipped + refused, kTrials);
    EXPECT_GE(swaps, kTrials);
}

TEST_F(ArchiveBuilding, ArchiverFailuresAreLoggedWithWhatTheArchiverSaid)
{
    struct Case {
        const char* body;
        const char* line;
    };
    const Case cases[] = {
        {"exit 1",
         "Failed to invoke archiver tool: One or more files were locked and could not be compressed. Return code: 1 "},
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
        ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        const bool built = Build(builder, program, L"pkg.exe");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the archiver's output never reaches the console";
        EXPECT_FALSE(built);
        const auto lines = log.Get();
        const std::string code = c.line;
        const bool bySignal = code.ends_with("137 ") || code.ends_with("143 ");
        // Lines 0 to 4: the step's start, the old archive's removal, the archiver's call and
        // the installer module it will put in front.
        ASSERT_EQ(lines.size(), bySignal ? 8u : 7u) << log.Joined();
        EXPECT_EQ(lines[5], c.line);
        if (bySignal) {
            EXPECT_EQ(lines[6], std::string("The archiver was ended by the signal ") +
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
    {
        ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        EXPECT_FALSE(Build(builder, program));
        EXPECT_EQ(log.Get().back(),
                  "Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code: 2 ");
    }
    // The run's private folder goes with the builder.
    EXPECT_TRUE(fs::is_empty(output));
}

// Without the installer module there is nothing to put in front of the archive: the
// archiver is not run, and nothing is left in the output folder.
TEST_F(ArchiveBuilding, MissingModuleFailsBeforeTheArchiverRuns)
{
    const fs::path program = FakeArchiver("touch \"" + (root / "archiver ran").string() + "\"");
    fs::remove(program / "7za/7zSD.sfx");
    {
        LogRecord log;
        ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &progress,
                               Platform::InterruptRequested);
        EXPECT_FALSE(Build(builder, program, L"pkg.exe"));
        const auto lines = log.Get();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "Failed to create final self-extracting archive with return code:  2 ");
        EXPECT_EQ(lines.back(), "Reason: No such file or directory ");
    }
    EXPECT_FALSE(fs::exists(root / "archiver ran"));
    EXPECT_TRUE(fs::is_empty(output));
}

TEST_F(ArchiveBuilding, InterruptEndsTheArchiverAndRemovesItsArchive)
{
    // An archiver that would run for more than a day: the build returns only because the
    // interrupt ended it.
    const fs::path program = FakeArchiver(R"(printf 'partial' > "$2"; exec sleep 100000)");
    InterruptingProgress interrupting;
    LogRecord log;
    ArchiveBuilder builder((program / "7za/7za").wstring(), program.wstring(), &interrupting,
                           Platform::InterruptRequested);
    EXPECT_FALSE(Build(builder, program, L"pkg.exe"));
    EXPECT_EQ(log.Get().back(), "Archiving interrupted: the run was asked to stop ");
    EXPECT_TRUE(fs::is_empty(output));
}

}  // namespace
