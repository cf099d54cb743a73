#include "packaging/PackagingJob.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <stdexcept>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "PackagingTestSupport.h"
#include "core/StepProgress.h"
#include "packaging/RunLockFile.h"
#include "platform/ChildProcess.h"
#include "platform/Interrupt.h"
#include "platform/TextConversion.h"
#include "platform/WorkFolder.h"
#include "support/ChildRun.h"

namespace {

using namespace PackagingTest;
using TestSupport::RunChild;

const std::vector<std::wstring> kSuccessStatuses = {
    L"Establishing package components to transfer...",
    L"Copying package data and ConfigUpdate tool to local machine...",
    L"Creating setup configuration script...",
    L"Creating the final self-extracting archive...",
    L"Cleaning up package components from local machine...",
    L"Package generation complete.",
};
const std::vector<std::wstring> kCopyFailureStatuses = {
    L"Establishing package components to transfer...",
    L"Copying package data and ConfigUpdate tool to local machine...",
    L"Cleaning up package components from local machine...",
    L"Package generation failed. See log for details.",
};
const std::string kSfxConfig =
    ";!@Install@!UTF-8!\r\nInstallPath=\"%temp%\\halvex_temp\"\r\nExecuteFile=\"setup.vbs\"\r\nProgress=\"No\"\r\n"
    ";!@InstallEnd@!";

// Requests an interrupt, as the console handler would, at the given refresh after the
// given status was shown.
// Asks for a stop at the `at`-th refresh after `status` is shown, or, given `act`, does
// that once when `status` is shown.
class InterruptingProgress : public RecordingProgress {
public:
    InterruptingProgress(std::wstring status, int at, std::function<void()> act = {})
        : status(std::move(status)),
          at(at),
          act(std::move(act))
    {}
    void SetStatus(const std::wstring& text) override
    {
        RecordingProgress::SetStatus(text);
        if (text != status)
            return;
        if (act)
            std::exchange(act, nullptr)();
        else
            counting = true;
    }
    void Refresh() override
    {
        if (counting && --at == 0)
            Platform::RequestInterrupt();
    }

private:
    std::wstring status;
    int at;
    std::function<void()> act;
    bool counting = false;
};

// Runs 7-Zip on the archive part of a package and lists what it extracted.
std::set<std::string> ExtractedTree(const fs::path& package, const fs::path& program, const fs::path& into)
{
    const std::string bytes = ReadBytes(package);
    const std::string head = ReadBytes(program / "7za/7zSD.sfx") + kSfxConfig;
    EXPECT_EQ(bytes.substr(0, head.size()), head) << "the package starts with the module and its configuration";
    const fs::path archive = into.parent_path() / "extracted.7z";
    WriteBytes(archive, bytes.substr(head.size()));
    Platform::ChildProcess sevenZip({L"/usr/bin/7za", L"x", L"-y", L"-o" + into.wstring(), L"--", archive.wstring()});
    std::optional<int> code;
    while (!(code = sevenZip.Poll()))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(*code, 0) << sevenZip.ErrorOutput();
    return Tree(into);
}

std::set<std::string> ComponentEntries(const std::vector<std::string>& folders)
{
    std::set<std::string> entries;
    for (const auto& folder : folders) {
        entries.insert("NORDAVIN/" + folder + "/");
        entries.insert("NORDAVIN/" + folder + "/payload.txt");
    }
    if (std::find(folders.begin(), folders.end(), "torqel") != folders.end())
        entries.insert({"NORDAVIN/torqel/defs/", "NORDAVIN/torqel/defs/2024/", "NORDAVIN/torqel/defs/2024/defs.dat",
                        "NORDAVIN/torqel/empty/"});
    if (std::find(folders.begin(), folders.end(), "kett") != folders.end())
        entries.insert("NORDAVIN/kett/mrinit.conf");
    return entries;
}

// The job's own lines, the step lines left out, in the order written.
std::vector<std::string> JobLines(const std::vector<std::string>& lines)
{
    const std::vector<std::string> own = {"*** Starting packaging process *** ",
                                          "About to copy ConfigUpdate and prerequisite libraries",
                                          "About to create configuration script... ",
                                          "Created configuration script... ",
                                          "About to create self extracting archive... ",
                                          "Successfully created an archive at: ",
                                          "Failed to create an archive at: ",
                                          "Unable to delete temporary folder ",
                                          "*** Ending packaging process *** ",
                                          "Zastrel completed successfully ",
                                          "Zastrel failed ",
                                          "Another packaging run",
                                          "The work folder is"};
    std::vector<std::string> result;
    for (const auto& line : lines)
        for (const auto& text : own)
            if (line.rfind(text, 0) == 0)
                result.push_back(text);
    return result;
}

class Packaging : public testing::Test {
protected:
    void SetUp() override
    {
        root = ScratchFolder() / "job";
        cid = CidBuilder::Full(root / "srv");
        program = MakeProgramFolder(root);
        output = root / "out";
        fs::create_directories(output);
        temp = fs::path(std::getenv("TEMP"));
        // Fresh for every row of a table, whatever the row before changed.
        options = PackageOptions();
        options.SetSourceFolder(cid.wstring());
        options.SetOutputPackage((output / "Setup Package.exe").wstring());
        options.SetProgramFolder(program.wstring());
    }
    void TearDown() override { Platform::ClearInterrupt(); }

    // Whether the job succeeded; an error that leaves the job is kept in `escaped`.
    bool Run(IProgress& reporter)
    {
        PackagingJob job(options, reporter);
        bool succeeded = false;
        try {
            job.Run();
            succeeded = job.Succeeded();
        } catch (const std::exception& error) {
            escaped = error.what();
        }
        reason = Platform::NarrowHostText(job.FailureReason());
        return succeeded;
    }

    // The run's reason is the line of the step that failed, as the log gives it.
    void ExpectReason(std::string line) const
    {
        line.erase(line.find_last_not_of(' ') + 1);
        EXPECT_TRUE(reason.starts_with(line)) << "reason: " << reason << "\nexpected: " << line;
    }

    std::string escaped;
    // Why the last run failed, as the job gives it.
    std::string reason;

    fs::path root, cid, program, output, temp;
    PackageOptions options;
    RecordingProgress progress;
};

TEST_F(Packaging, DefaultPackageEndToEnd)
{
    LogRecord log;
    ASSERT_TRUE(Run(progress)) << log.Joined();
    EXPECT_EQ(progress.statuses, kSuccessStatuses);
    EXPECT_EQ(progress.percents, (std::vector<int>{20, 40, 60, 80, 100}));
    EXPECT_EQ(Tree(output), (std::set<std::string>{"Setup Package.exe", "Setup Package.exe.sha256"}));
    EXPECT_FALSE(fs::exists(temp / "Halvex")) << "the work folder is removed";

    std::set<std::string> expected = ComponentEntries({"lorv", "bexu", "dimbel", "torqel", "ynda", "ynda64"});
    expected.insert({"NORDAVIN/", "NORDAVIN/cidsync.upd", "NORDAVIN/setup.exe", "ConfigUpdate.exe", "setup.vbs"});
    EXPECT_EQ(ExtractedTree(output / "Setup Package.exe", program, root / "x"), expected);

    const auto lines = log.Get();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Utility Path:  " + (program / "7za/7za").string() + " ");
    EXPECT_EQ(JobLines(lines), (std::vector<std::string>{
                                   "*** Starting packaging process *** ",
                                   "About to copy ConfigUpdate and prerequisite libraries",
                                   "About to create configuration script... ",
                                   "Created configuration script... ",
                                   "About to create self extracting archive... ",
                                   "Successfully created an archive at: ",
                                   "*** Ending packaging process *** ",
                                   "Zastrel completed successfully ",
                               }));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Successfully created an archive at: " + output.string() + " "),
              lines.end());
}

// Records, beside the job's own calls, every movement reported within a step.
class StepRecordingProgress : public RecordingProgress, public StepProgress {
public:
    struct Report {
        std::size_t step;  // the index of the status shown
        std::uint64_t done;
        std::uint64_t total;
    };
    void SetStepProgress(std::uint64_t done, std::uint64_t total) override
    {
        reports.push_back({statuses.size() - 1, done, total});
    }
    std::vector<Report> During(std::size_t step) const
    {
        std::vector<Report> found;
        for (const auto& report : reports)
            if (report.step == step)
                found.push_back(report);
        return found;
    }

    std::vector<Report> reports;
};

std::string RandomBytes(std::size_t size)
{
    std::mt19937_64 generator(11);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

TEST_F(Packaging, ProgressMovesWithinTheCopyAndArchiveStepsAndTheJobsOwnPercentagesStay)
{
    WriteBytes(cid / "lorv" / "large.bin", RandomBytes(6 << 20));
    StepRecordingProgress reporter;
    LogRecord log;
    ASSERT_TRUE(Run(reporter)) << log.Joined();
    EXPECT_EQ(reporter.percents, (std::vector<int>{20, 40, 60, 80, 100}));
    ASSERT_EQ(reporter.statuses, kSuccessStatuses);

    const auto rising = [](const std::vector<StepRecordingProgress::Report>& reports) {
        for (std::size_t i = 1; i < reports.size(); ++i)
            if (reports[i].done < reports[i - 1].done || reports[i].total != reports[0].total)
                return false;
        return !reports.empty();
    };
    const auto copy = reporter.During(1);
    ASSERT_TRUE(rising(copy)) << "the copy reports its bytes as they are placed";
    EXPECT_GE(copy.front().total, 6u << 20);
    EXPECT_GE(copy.back().done, copy.back().total);

    const auto archive = reporter.During(3);
    ASSERT_TRUE(rising(archive)) << "the archiver's own percentages, then the join's bytes";
    EXPECT_EQ(archive.front().total, 1000u);
    EXPECT_LE(archive.front().done, 900u) << "the archiver reports first";
    EXPECT_EQ(archive.back().done, 1000u) << "the join ends the step";
    EXPECT_GT(std::count_if(archive.begin(), archive.end(), [](const auto& r) { return r.done > 900; }), 1)
        << "the join moves the bar in pieces";
    for (const std::size_t step : {0u, 2u, 4u, 5u})
        EXPECT_TRUE(reporter.During(step).empty()) << step;
}

TEST_F(Packaging, StopDuringALargeCopyTakesEffectWithinTheFile)
{
    const fs::path shm = "/dev/shm";
    if (!fs::is_directory(shm))
        GTEST_SKIP() << "no /dev/shm for a work folder that cannot link";
    char name[] = "/dev/shm/halvex-stop-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    WriteBytes(cid / "lorv" / "large.bin", std::string(40 << 20, 'c'));
    // A stop once the first piece of the large file is in, as Ctrl+C or the Cancel button
    // asks for it.
    class StoppingProgress : public StepRecordingProgress {
    public:
        void SetStepProgress(std::uint64_t done, std::uint64_t total) override
        {
            StepRecordingProgress::SetStepProgress(done, total);
            if (statuses.size() == 2 && done >= (4u << 20))
                Platform::RequestInterrupt();
        }
    } reporter;
    const std::string previous = std::getenv("TEMP");
    ::setenv("TEMP", name, 1);
    LogRecord log;
    const bool built = Run(reporter);
    ::setenv("TEMP", previous.c_str(), 1);
    EXPECT_FALSE(built);
    const auto copy = reporter.During(1);
    ASSERT_FALSE(copy.empty());
    EXPECT_LT(copy.back().done, 8u << 20) << "nothing more is copied after the stop";
    EXPECT_EQ(std::count_if(copy.begin(), copy.end(), [](const auto& r) { return r.done >= (4u << 20); }), 1);
    const std::string lines = log.Joined();
    EXPECT_NE(lines.find("Copy interrupted: the run was asked to stop"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("Boost file system error"), std::string::npos) << lines;
    EXPECT_NE(lines.find("Zastrel failed"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::path(name) / "Halvex"));
    fs::remove_all(name);
}

// The technical listing of a package's file entries: everything the archiver stores of
// each but the folders' times, which are those of the work folder's making.
std::map<std::string, std::string> PackageListing(const fs::path& package)
{
    Platform::ChildProcess sevenZip({L"/usr/bin/7za", L"l", L"-slt", L"-t7z", L"--", package.wstring()});
    std::optional<int> code;
    while (!(code = sevenZip.Poll()))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(*code, 0) << sevenZip.ErrorOutput();
    std::map<std::string, std::string> entries;
    std::string path, fields, modified;
    bool folder = false;
    const auto finish = [&] {
        if (!path.empty())
            entries[path] = fields + (folder ? "" : modified);
        path.clear(), fields.clear(), modified.clear(), folder = false;
    };
    bool inEntries = false;
    for (const auto& line : Lines(sevenZip.Output())) {
        if (line == "----------")
            inEntries = true;
        else if (!inEntries)
            continue;
        else if (line.empty())
            finish();
        else if (line.rfind("Path = ", 0) == 0)
            path = line.substr(7);
        else if (line.rfind("Modified = ", 0) == 0)
            modified = line + "\n";
        else
            fields += line + "\n", folder = folder || line.rfind("Attributes = D", 0) == 0;
    }
    finish();
    return entries;
}

// Each file under `folder`: its bytes, modification time and permissions.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat status{};
        ::lstat(entry.path().c_str(), &status);
        std::string state = std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec) + " " +
                            std::to_string(status.st_mode);
        if (entry.is_regular_file())
            state += " " + ReadBytes(entry.path());
        files[fs::relative(entry.path(), folder).string()] = state;
    }
    return files;
}

TEST_F(Packaging, LinkedOrCopiedTheWorkFolderGivesTheSamePackageAndTheCidStaysAsItWas)
{
    const fs::path shm = "/dev/shm";
    struct stat shmStatus{}, scratchStatus{};
    if (::stat(shm.c_str(), &shmStatus) != 0 || ::stat(root.c_str(), &scratchStatus) != 0 ||
        shmStatus.st_dev == scratchStatus.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    char name[] = "/dev/shm/halvex-job-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const fs::path otherTemp = name;
    // A time no copy made today could give, on every file of the CID.
    const struct timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    for (const auto& entry : fs::recursive_directory_iterator(cid)) {
        if (entry.is_regular_file()) {
            ASSERT_EQ(::utimensat(AT_FDCWD, entry.path().c_str(), old, 0), 0);
        }
    }
    const auto before = Snapshot(cid);
    const fs::path probe = cid / "lorv" / "payload.txt";

    // While the archiver runs, the most names the probe file has: 2 when the work folder
    // holds a link to it (the work folder may go before the step ends).
    class LinkCounting : public RecordingProgress {
    public:
        explicit LinkCounting(fs::path probe) : probe(std::move(probe)) {}
        void Refresh() override
        {
            struct stat status{};
            if (statuses.size() == 4 && ::stat(probe.c_str(), &status) == 0)
                links = std::max(links, status.st_nlink);
        }
        fs::path probe;
        nlink_t links = 0;
    };
    struct Case {
        const char* name;
        fs::path temp;
        nlink_t links;
    };
    const Case cases[] = {{"work folder beside the CID", temp, 2},
                          {"work folder on another file system", otherTemp, 1}};
    std::vector<std::map<std::string, std::string>> listings;
    const std::string previous = std::getenv("TEMP");
    for (const auto& c : cases) {
        ::setenv("TEMP", c.temp.c_str(), 1);
        LinkCounting reporter(probe);
        LogRecord log;
        const bool built = Run(reporter);
        ::setenv("TEMP", previous.c_str(), 1);
        ASSERT_TRUE(built) << c.name << "\n" << log.Joined();
        EXPECT_EQ(reporter.links, c.links) << c.name;
        EXPECT_FALSE(fs::exists(c.temp / "Halvex")) << c.name;
        auto listing = PackageListing(output / "Setup Package.exe");
        // The one file each run writes anew.
        auto& script = listing["setup.vbs"];
        script.erase(script.find("Modified = "));
        listings.push_back(listing);
        EXPECT_EQ(Snapshot(cid), before) << c.name << ": nothing in the CID changes";
        fs::remove(output / "Setup Package.exe");
        fs::remove(output / "Setup Package.exe.sha256");
    }
    fs::remove_all(otherTemp);
    ASSERT_EQ(listings.size(), 2u);
    EXPECT_GT(listings[0].size(), 10u);
    EXPECT_EQ(listings[0], listings[1]) << "same names, contents, sizes, attributes and file times";
    const std::string copied = listings[1]["NORDAVIN/lorv/payload.txt"];
    EXPECT_NE(copied.find("Modified = 2001-09-"), std::string::npos) << "a copied file keeps its source's time:\n"
                                                                     << copied;
}

TEST_F(Packaging, PackageContentsFollowTheOptions)
{
    const std::set<std::string> rootFiles = {"NORDAVIN/", "NORDAVIN/cidsync.upd", "NORDAVIN/setup.exe", "setup.vbs"};
    const std::set<std::string> managedFiles = {"NORDAVIN/cac.pem", "NORDAVIN/mrinit.conf", "mrinit.conf"};
    const std::set<std::string> keldwin = {
        "KELDWIN/",         "KELDWIN/keldwin.ini",   "KELDWIN/pexo/",   "KELDWIN/pexo/ep.txt",
        "KELDWIN/vanto/",   "KELDWIN/vanto/ep.txt",  "KELDWIN/pexo64/", "KELDWIN/pexo64/ep.txt",
        "KELDWIN/vanto64/", "KELDWIN/vanto64/ep.txt"};
    struct Case {
        const char* name;
        std::function<void(PackageOptions&)> set;
        std::vector<std::string> folders;
        std::vector<std::set<std::string>> extra;
    };
    const Case cases[] = {
        {"32-bit with every feature",
         [](PackageOptions& o) {
             o.SetInclude64Bit(false);
             o.SetPatch(true);
             o.SetManagementServerUrl(L"http://mgmt");
             o.SetManaged(true);
             o.SetFirewall(true);
             o.SetTrafficDetection(true);
             o.SetExploitPrevention(true);
         },
         {"lorv", "bexu", "dimbel", "torqel", "ynda", "gulv", "kett", "wofa", "zimr"},
         {managedFiles, keldwin}},
        {"components not included",
         [](PackageOptions& o) {
             o.SetIncludeComponents(false);
             o.SetExploitPrevention(true);
             o.SetFirewall(true);
         },
         {"lorv", "bexu", "dimbel"},
         {{"ConfigUpdate.exe"}}},
        {"managed",
         [](PackageOptions& o) { o.SetManaged(true); },
         {"lorv", "bexu", "dimbel", "torqel", "ynda", "ynda64", "kett"},
         {managedFiles}},
        {"exploit prevention from a CID path with a trailing separator",
         [this](PackageOptions& o) {
             o.SetExploitPrevention(true);
             o.SetSourceFolder(cid.wstring() + L"/");
         },
         {"lorv", "bexu", "dimbel", "torqel", "ynda", "ynda64"},
         {keldwin, {"ConfigUpdate.exe"}}},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PackageOptions saved = options;
        c.set(options);
        options.SetOutputPackage((output / (std::to_string(++index) + ".exe")).wstring());
        RecordingProgress reporter;
        LogRecord log;
        ASSERT_TRUE(Run(reporter)) << log.Joined();
        std::set<std::string> expected = ComponentEntries(c.folders);
        expected.insert(rootFiles.begin(), rootFiles.end());
        for (const auto& set : c.extra)
            expected.insert(set.begin(), set.end());
        EXPECT_EQ(
            ExtractedTree(output / (std::to_string(index) + ".exe"), program, root / ("x" + std::to_string(index))),
            expected);
        options = saved;
    }
}

// However the CID's folder is spelt, the package holds it under its real name and nothing is
// written into it.
TEST_F(Packaging, DotsAndLinksInTheSourceNameTheRealFolder)
{
    fs::create_directories(root / "alias");
    fs::create_directory_symlink(cid, root / "alias/NORDAVIN");
    fs::create_directory_symlink(cid, root / "srv/current");
    const std::string spellings[] = {cid.string() + "/.", cid.string() + "/torqel/..", cid.string() + "/../NORDAVIN/",
                                     (root / "alias/NORDAVIN").string(), (root / "srv/current").string()};
    const auto before = Tree(cid);
    for (const auto& spelling : spellings) {
        SCOPED_TRACE(spelling);
        options.SetSourceFolder(fs::path(spelling).wstring());
        LogRecord log;
        ASSERT_TRUE(Run(progress)) << log.Joined();
        const auto entries = ExtractedTree(output / "Setup Package.exe", program, root / "x");
        EXPECT_TRUE(entries.count("NORDAVIN/setup.exe")) << "the script's setup.exe is in the package";
        EXPECT_FALSE(entries.count("cidsync.upd")) << "nothing of the CID lies at the package root";
        EXPECT_NE(log.Joined().find("Source folder: " + spelling + " is the folder " + cid.string() + " "),
                  std::string::npos);
        fs::remove_all(root / "x");
    }
    EXPECT_EQ(Tree(cid), before);
    EXPECT_FALSE(fs::exists(cid / "setup.vbs"));
}

TEST_F(Packaging, OutputFolderGetsTheDefaultName)
{
    options.SetOutputPackage(output.wstring());
    options.SetOutputIsFolder(true);
    WriteBytes(output / "halvex_archive.7z", "left over from a crashed run");
    ASSERT_TRUE(Run(progress));
    EXPECT_EQ(Tree(output), (std::set<std::string>{"VeskorEndpoint.exe", "VeskorEndpoint.exe.sha256"}));
}

TEST_F(Packaging, CopyFailuresLeaveNoOutput)
{
    struct Case {
        const char* name;
        std::function<void()> spoil;
        std::string line;
    };
    const Case cases[] = {
        {"CID lacking a component", [this] { fs::remove_all(cid / "torqel"); },
         "One or more selected features or components are not available in source folder \"" + cid.string() +
             "\". Choose a different source folder and try again. "},
        {"no KELDWIN beside the CID",
         [this] {
             fs::remove_all(root / "srv/KELDWIN");
             options.SetExploitPrevention(true);
         },
         "Source is invalid. Aborting transfer "},
        {"no ConfigUpdate.exe beside the program", [this] { fs::remove(program / "ConfigUpdate.exe"); },
         "Boost file system error: "},
        {"a name that is not UTF-8 in the CID's top folder", [this] { fs::create_directories(cid / "old\xFF"); },
         "File name is not valid UTF-8, which a Windows client cannot hold: " + cid.string() + "/old\\xFF "},
        {"a setup line Windows cannot run",
         [this] { options.GetSetupParameters().emplace(L"-g", std::wstring(32500, L'g')); },
         "The setup command line would be "},
        {"a CID folder of another name",
         [this] {
             fs::rename(cid, root / "srv/cid");
             options.SetSourceFolder((root / "srv/cid/").wstring());
         },
         "The source folder " + (root / "srv/cid").string() + " is not named NORDAVIN "},
        {"a CID without setup.exe", [this] { fs::remove(cid / "setup.exe"); },
         "The source folder " + cid.string() + " holds no setup.exe, which the package's script runs on the client "},
        {"KELDWIN a link that leaves the CID's folder",
         [this] {
             fs::rename(root / "srv/KELDWIN", root / "private");
             fs::create_directory_symlink(root / "private", root / "srv/KELDWIN");
             options.SetExploitPrevention(true);
         },
         "Link leaves the source folder: " + (root / "srv/KELDWIN").string() + " -> " + (root / "private").string() +
             " "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.spoil();
        WriteBytes(output / "Setup Package.exe", "an older package");
        RecordingProgress reporter;
        LogRecord log;
        EXPECT_FALSE(Run(reporter));
        EXPECT_EQ(reporter.statuses, kCopyFailureStatuses);
        EXPECT_EQ(reporter.percents, std::vector<int>{20});
        const std::string text = log.Joined();
        EXPECT_NE(text.find(c.line), std::string::npos) << text;
        ExpectReason(c.line);
        EXPECT_EQ(JobLines(log.Get()).back(), "Zastrel failed ");
        EXPECT_EQ(ReadBytes(output / "Setup Package.exe"), "an older package");
        EXPECT_EQ(Tree(output).size(), 1u);
        EXPECT_FALSE(fs::exists(temp / "Halvex"));
        fs::remove_all(root);
        SetUp();
    }
}

TEST_F(Packaging, SetupLineAtWindowsLimitIsBuiltOneMoreIsRefusedBeforeCopying)
{
    // 260 (temporary folder) + "\"\halvex_temp\NORDAVIN\setup.exe\" -bexu R -mng no -g " (53)
    // + the value + the space before the script's arguments: 32766 characters and the null.
    for (const std::size_t size : {std::size_t{32452}, std::size_t{32453}}) {
        SCOPED_TRACE(size);
        options.GetSetupParameters()[L"-g"] = std::wstring(size, L'g');
        LogRecord log;
        const bool built = Run(progress);
        EXPECT_EQ(built, size == 32452) << log.Joined().substr(0, 2000);
        EXPECT_EQ(log.Joined().find("About to copy package from source...") != std::string::npos, built);
        EXPECT_FALSE(fs::exists(temp / "Halvex"));
    }
}

TEST_F(Packaging, ArchiveFailuresLeaveNoOutput)
{
    struct Case {
        const char* name;
        std::function<void()> spoil;
        std::string line;
    };
    const Case cases[] = {
        {"missing archiver", [this] { fs::remove(program / "7za/7za"); },
         "Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code: 2 "},
        {"archiver that fails",
         [this] {
             fs::remove(program / "7za/7za");
             WriteBytes(program / "7za/7za", "#!/bin/sh\necho 'broken archiver' >&2\nexit 7\n");
             fs::permissions(program / "7za/7za", fs::perms::owner_all);
         },
         "Failed to invoke archiver tool: Command-line error. Return code: 7 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.spoil();
        RecordingProgress reporter;
        LogRecord log;
        EXPECT_FALSE(Run(reporter));
        EXPECT_EQ(reporter.percents, (std::vector<int>{20, 40, 60}));
        EXPECT_EQ(reporter.statuses.back(), L"Package generation failed. See log for details.");
        const std::string text = log.Joined();
        EXPECT_NE(text.find(c.line), std::string::npos) << text;
        ExpectReason(c.line);
        EXPECT_EQ(JobLines(log.Get()).back(), "Zastrel failed ");
        EXPECT_TRUE(fs::is_empty(output));
        EXPECT_FALSE(fs::exists(temp / "Halvex"));
        fs::remove_all(root);
        SetUp();
    }
}

TEST_F(Packaging, LeftoverWorkFolderIsReplaced)
{
    WriteBytes(temp / "Halvex/NORDAVIN/stale.txt", "from a crashed run");
    ASSERT_TRUE(Run(progress));
    const auto tree = ExtractedTree(output / "Setup Package.exe", program, root / "x");
    EXPECT_FALSE(tree.count("NORDAVIN/stale.txt"));
    EXPECT_TRUE(tree.count("NORDAVIN/setup.exe"));
}

TEST_F(Packaging, TempWithBlanksAndNonAsciiCharacters)
{
    const fs::path base = root / "t mp \u00E9\u4E2D";
    const std::string previous = std::getenv("TEMP");
    ::setenv("TEMP", base.c_str(), 1);
    LogRecord log;
    const bool built = Run(progress);
    ::setenv("TEMP", previous.c_str(), 1);
    ASSERT_TRUE(built) << log.Joined();
    EXPECT_NE(log.Joined().find("Copying file from:  " + (program / "ConfigUpdate.exe").string() +
                                " to: " + (base / "Halvex/ConfigUpdate.exe").string()),
              std::string::npos);
    EXPECT_FALSE(fs::exists(base / "Halvex"));
    EXPECT_TRUE(ExtractedTree(output / "Setup Package.exe", program, root / "x").count("setup.vbs"));
}

// A double quote, blanks, a wildcard and switch-like text in the work, output and program
// folders reach the archiver unchanged: the package lands where it was asked for, whole.
// The archiver gets its designed arguments, each path one of them; a path whose folder
// names hold 7-Zip wildcards would be matched by the archiver, and the package check
// refuses what that packs.
TEST_F(Packaging, QuotesAndSwitchesInEveryFolderReachTheArchiverUnchanged)
{
    const fs::path odd = root / "a \"b\" -r";
    const fs::path oddProgram = odd / "prog\"ram";
    fs::create_directories(odd);
    fs::rename(program, oddProgram);
    options.SetProgramFolder(oddProgram.wstring());
    const fs::path oddOutput = odd / "out\" \"put";
    fs::create_directories(oddOutput);
    options.SetOutputPackage((oddOutput / "Setup \"x\".exe").wstring());
    const std::string previous = std::getenv("TEMP");
    ::setenv("TEMP", (odd / "t\"mp").c_str(), 1);
    LogRecord log;
    const bool built = Run(progress);
    ::setenv("TEMP", previous.c_str(), 1);
    ASSERT_TRUE(built) << log.Joined();
    EXPECT_EQ(Tree(oddOutput), (std::set<std::string>{"Setup \"x\".exe", "Setup \"x\".exe.sha256"}));
    EXPECT_TRUE(fs::is_empty(output));
    std::set<std::string> expected = ComponentEntries({"lorv", "bexu", "dimbel", "torqel", "ynda", "ynda64"});
    expected.insert({"NORDAVIN/", "NORDAVIN/cidsync.upd", "NORDAVIN/setup.exe", "ConfigUpdate.exe", "setup.vbs"});
    EXPECT_EQ(ExtractedTree(oddOutput / "Setup \"x\".exe", oddProgram, root / "x"), expected);
}

TEST_F(Packaging, WorkFolderThatIsNotOursIsNeitherUsedNorFollowed)
{
    const fs::path elsewhere = root / "elsewhere";
    WriteBytes(elsewhere / "precious.txt", "keep me");
    fs::create_directories(temp);
    fs::create_directory_symlink(elsewhere, temp / "Halvex");
    LogRecord log;
    EXPECT_FALSE(Run(progress));
    EXPECT_EQ(progress.statuses, kCopyFailureStatuses);
    EXPECT_EQ(JobLines(log.Get()),
              (std::vector<std::string>{"*** Starting packaging process *** ", "The work folder is",
                                        "*** Ending packaging process *** ", "Zastrel failed "}));
    EXPECT_EQ(Tree(elsewhere), std::set<std::string>{"precious.txt"});
    EXPECT_TRUE(fs::is_symlink(temp / "Halvex"));
    EXPECT_TRUE(fs::is_empty(output));
}

TEST_F(Packaging, SecondRunAtOnceFailsWithoutTouchingTheFirstAndNamesIt)
{
    fs::create_directories(temp);
    WriteBytes(temp / "Halvex/NORDAVIN/in-progress.txt", "the first run's copy");
    const fs::path lockFile = RunLockFile((temp / "Halvex").wstring());
    fs::create_directories(lockFile.parent_path().parent_path());
    // Another process holds it, as another run would.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t firstRun = ::fork();
    if (firstRun == 0) {
        const Platform::RunLock lock(lockFile.wstring(), 0600, Platform::RunLock::File::OnlyALock);
        const char held = lock.GetState() == Platform::RunLock::State::Held ? 'y' : 'n';
        [[maybe_unused]] const auto told = ::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');
    LogRecord log;
    EXPECT_FALSE(Run(progress));
    ::kill(firstRun, SIGKILL);
    ::waitpid(firstRun, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    const auto lines = log.Get();
    EXPECT_EQ(JobLines(lines)[1], "Another packaging run");
    const std::regex refusal("Another packaging run is using the work folder: " + (temp / "Halvex").string() +
                             " \\(held by process " + std::to_string(firstRun) +
                             " since [0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\) ");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return std::regex_match(line, refusal);
    })) << log.Joined();
    EXPECT_EQ(ReadBytes(temp / "Halvex/NORDAVIN/in-progress.txt"), "the first run's copy");
    EXPECT_TRUE(fs::is_empty(output));
    EXPECT_FALSE(fs::exists(temp / "Halvex.lock")) << "nothing of the lock is in the shared temporary folder";
}

// Each fault ends the run with its reason in the log, and leaves nothing behind: the
// older package under the output name untouched, nothing new in the output folder (no
// intermediate archive, no checksum), no work folder, no process.
TEST_F(Packaging, FaultsFailTheRunAndLeaveNothingBehind)
{
    struct Fault {
        std::string name;
        std::function<void()> spoil;
        std::string line;
        // Where an interrupt is asked for: after this status, at this refresh.
        std::wstring interruptAfter = L"";
        int interruptAt = 0;
        bool needsRoot = false;
        std::function<void()> cleanUp = [] {};
        // Done once when the status `interruptAfter` names is shown, instead of the stop.
        std::function<void()> atStatus = {};
    };
    const fs::path secret = root / "secret.txt";
    const auto fakeArchiver = [this](const std::string& body) {
        fs::remove(program / "7za/7za");
        WriteBytes(program / "7za/7za", "#!/bin/sh\n" + body + "\n");
        fs::permissions(program / "7za/7za", fs::perms::owner_all);
    };
    const auto mountOutput = [this](const std::string& how) {
        return RunChild("/usr/bin/mount", {"-t", "tmpfs", "-o", how, "tmpfs", output.string()}).exitCode == 0;
    };
    const auto unmountOutput = [this] { RunChild("/usr/bin/umount", {output.string()}); };
    std::optional<Platform::FolderLock> otherRun;
    const fs::path lockFile = RunLockFile((temp / "Halvex").wstring());
    const fs::path lockFolder = lockFile.parent_path();
    const std::string unusableLock =
        "Unable to lock the work folder: the lock file cannot be used: " + lockFile.string() +
        " it, or its folder, is a link, not a plain file or folder, belongs to another user, or others may write to "
        "it ";
    const auto removeLockFolder = [lockFolder] { fs::remove_all(lockFolder); };

    std::vector<Fault> faults = {
        {"output folder held by another run", [&] { otherRun.emplace(output.wstring()); },
         "Another packaging run is writing into the output folder: " + output.string() + " ", L"", 0, false,
         [&] { otherRun.reset(); }},
        {"a lock folder others may write to",
         [&] {
             fs::create_directories(lockFolder);
             fs::permissions(lockFolder, fs::perms::all);
         },
         unusableLock, L"", 0, false, removeLockFolder},
        {"a lock folder that is a link",
         [&] {
             fs::create_directories(lockFolder.parent_path());
             fs::create_directories(root / "elsewhere");
             fs::create_directory_symlink(root / "elsewhere", lockFolder);
         },
         unusableLock, L"", 0, false, removeLockFolder},
        {"a lock file others may write to",
         [&] {
             fs::create_directories(lockFolder);
             WriteBytes(lockFile, "");
             fs::permissions(lockFile, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_write);
         },
         unusableLock, L"", 0, false, removeLockFolder},
        {"a lock file of another user",
         [&] {
             fs::create_directories(lockFolder);
             WriteBytes(lockFile, "");
             ASSERT_EQ(::chown(lockFile.c_str(), 65534, 65534), 0);
         },
         unusableLock, L"", 0, true, removeLockFolder},
        {"a lock folder of another user",
         [&] {
             fs::create_directories(lockFolder);
             ASSERT_EQ(::chown(lockFolder.c_str(), 65534, 65534), 0);
         },
         unusableLock, L"", 0, true, removeLockFolder},
        {"link to a file outside the CID", [&] { fs::create_symlink(secret, cid / "torqel/secret.txt"); },
         "Link leaves the source folder: " + (cid / "torqel/secret.txt").string() + " -> " + secret.string() + " "},
        {"link to a folder outside the CID",
         [&] { fs::create_directory_symlink(root / "elsewhere", cid / "bexu/more"); },
         "Link leaves the source folder: " + (cid / "bexu/more").string() + " -> " + (root / "elsewhere").string() +
             " "},
        {"component folder that is a link outside the CID",
         [&] {
             fs::remove_all(cid / "ynda");
             fs::create_directory_symlink(root / "elsewhere", cid / "ynda");
         },
         "Link leaves the source folder: " + (cid / "ynda").string() + " -> " + (root / "elsewhere").string() + " "},
        {"top-level file that is a link outside the CID", [&] { fs::create_symlink(secret, cid / "extra.ini"); },
         "Link leaves the source folder: " + (cid / "extra.ini").string() + " -> " + secret.string() + " "},
        {"dangling link", [&] { fs::create_symlink(root / "nothing", cid / "torqel/gone"); },
         "Link points to nothing: " + (cid / "torqel/gone").string() + " -> " + (root / "nothing").string() + " "},
        {"link to a folder that holds it", [&] { fs::create_directory_symlink("../..", cid / "torqel/defs/up"); },
         "Link loops: " + (cid / "torqel/defs/up").string() + " -> ../.. "},
        {"links that lead to each other",
         [&] {
             fs::create_symlink("b", cid / "lorv/a");
             fs::create_symlink("a", cid / "lorv/b");
         },
         "Link loops: " + (cid / "lorv").string() + "/"},
        {"two folders whose names differ only in case", [&] { WriteBytes(cid / "TORQEL/x.txt", "x"); },
         "Name a Windows client cannot hold: NORDAVIN/"},
        {"two files whose names differ only in case",
         [&] {
             WriteBytes(cid / "torqel/Setup.ini", "a");
             WriteBytes(cid / "torqel/setup.ini", "b");
         },
         "Name a Windows client cannot hold: NORDAVIN/torqel/setup.ini (differs only in letter case from Setup.ini) "},
        {"an archiver that fails to put every file into the archive",
         [&] {
             fakeArchiver(
                 R"sh([ "$1" = a ] || exec /usr/bin/7za "$@"; /usr/bin/7za "$@" && /usr/bin/7za d -- "$2" NORDAVIN/setup.exe)sh");
         },
         "Missing from the package: NORDAVIN/setup.exe "},
        {"an archiver killed", [&] { fakeArchiver("kill -KILL $$"); }, "The archiver was ended by the signal SIGKILL "},
        {"a full disk",
         [&] {
             fs::remove_all(output);
             fs::create_directories(output);
             ASSERT_TRUE(mountOutput("size=256k"));
             WriteBytes(output / "Setup Package.exe", "an older package");
             std::string noise(1 << 20, '\0');
             std::mt19937_64 random(9);
             for (auto& byte : noise)
                 byte = static_cast<char>(random());
             WriteBytes(cid / "torqel/noise.bin", noise);
         },
         "Failed to invoke archiver tool: ", L"", 0, true, unmountOutput},
        {"a read-only output folder",
         [&] {
             ASSERT_TRUE(mountOutput("size=1m"));
             WriteBytes(output / "Setup Package.exe", "an older package");
             ASSERT_EQ(RunChild("/usr/bin/mount", {"-o", "remount,ro", output.string()}).exitCode, 0);
         },
         "Unable to make a private folder for the run's files in the output folder: ", L"", 0, true, unmountOutput},
        {"a script that cannot be written", [] {},
         "Failed to write the configuration script " + (temp / "Halvex/setup.vbs").string() + " ", kSuccessStatuses[2],
         0, false, [] {}, [&] { fs::create_directory(temp / "Halvex/setup.vbs"); }},
        {"an error no step turns into a result", [] {}, "Unexpected error: a fault of the test ", kSuccessStatuses[2],
         0, false, [] {}, [] { throw std::runtime_error("a fault of the test"); }},
        {"interrupted after component selection", [] {}, "Packaging interrupted: the run was asked to stop ",
         kSuccessStatuses[0], 1},
        {"interrupted while copying", [&] { WriteBytes(cid / "torqel/big.bin", std::string(8 << 20, 'z')); },
         "Copy interrupted: the run was asked to stop ", kSuccessStatuses[1], 3},
        {"interrupted while writing the script", [] {}, "Packaging interrupted: the run was asked to stop ",
         kSuccessStatuses[2], 1},
        {"interrupted while archiving", [&] { WriteBytes(cid / "torqel/big.bin", std::string(64 << 20, 'z')); },
         "Archiving interrupted: the run was asked to stop ", kSuccessStatuses[3], 5},
    };
    // Every kind of name a Windows client cannot hold, one run each.
    for (const std::string name : {"quote\"d", "back\\slash", "co:lon", "st*r",     "what?", "less<",   "more>",
                                   "pi|pe",    "bell\x07",    "dot.",   "blank ",   "CON",   "con.txt", "Prn.log",
                                   "AUX",      "nul.dat",     "COM1",   "com9.cfg", "LPT1",  "lpt9.x"}) {
        // The log writes a control character escaped.
        const std::string logged = name == "bell\x07" ? "bell\\x07" : name;
        faults.push_back({"the name " + name, [this, name] { WriteBytes(cid / "torqel" / name, "x"); },
                          "Name a Windows client cannot hold: NORDAVIN/torqel/" + logged + " ("});
    }

    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        if (fault.needsRoot && ::geteuid() != 0) {
            std::cout << "[  SKIPPED ] " << fault.name << ": needs root (a mount, or another user's file)\n";
            continue;
        }
        WriteBytes(secret, "root only");
        WriteBytes(root / "elsewhere/outside.txt", "outside");
        WriteBytes(output / "Setup Package.exe", "an older package");
        fault.spoil();
        const std::set<std::string> before = Tree(output);
        InterruptingProgress reporter(fault.interruptAfter, fault.interruptAt, fault.atStatus);
        LogRecord log;
        escaped.clear();
        EXPECT_FALSE(Run(reporter));
        // Only an error no step handled goes on to the caller, after the job's closing step.
        EXPECT_EQ(escaped, fault.line.starts_with("Unexpected error: ") ? "a fault of the test" : "");
        const auto lines = log.Get();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.starts_with(fault.line);
        })) << log.Joined();
        // Names and differences are listed first; the line that ends the step sums them up.
        ExpectReason(fault.line.starts_with("Name a Windows client")
                         ? "Package not built: names a Windows client cannot hold: "
                     : fault.line.starts_with("Missing from the package")
                         ? "Package verification failed: the package does not hold exactly what the work folder held"
                         : fault.line);
        EXPECT_EQ(JobLines(lines).back(), "Zastrel failed ");
        EXPECT_EQ(reporter.statuses.back(), L"Package generation failed. See log for details.");
        EXPECT_EQ(Tree(output), before);
        EXPECT_EQ(ReadBytes(output / "Setup Package.exe"), "an older package");
        EXPECT_FALSE(fs::exists(temp / "Halvex"));
        int status;
        EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "no process is left";
        fault.cleanUp();
        Platform::ClearInterrupt();
        fs::remove_all(root);
        SetUp();
    }
}

}  // namespace
