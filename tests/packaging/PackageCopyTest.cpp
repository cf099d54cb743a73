#include "packaging/PackageCopy.h"

#include <algorithm>

#include "PackagingTestSupport.h"
#include "platform/Interrupt.h"

namespace {

using namespace PackagingTest;
using Folders = std::vector<std::wstring>;

const Folders kDefault = {L"lorv", L"bexu", L"dimbel", L"torqel", L"ynda", L"ynda64"};
const Folders kExploit = {L"pexo", L"vanto", L"pexo64", L"vanto64"};

bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class PackageCopy : public testing::Test {
protected:
    void SetUp() override
    {
        root = ScratchFolder() / "copy";
        cid = CidBuilder::Full(root / "srv");
        work = root / "work";
    }

    bool Copy(const Folders& components, const Folders& exploit, bool managed, const std::wstring& source)
    {
        CPackageCopy copy(components, exploit, &progress, Platform::InterruptRequested);
        return copy.CopyPackage(source, work.wstring(), managed).Succeeded();
    }

    fs::path root, cid, work;
    RecordingProgress progress;
};

TEST_F(PackageCopy, CopiesSelectedTreesRootFilesAndKeldwin)
{
    LogRecord log;
    // A trailing separator, as shell completion leaves it, must not change the layout.
    ASSERT_TRUE(Copy(kDefault, kExploit, false, cid.wstring() + L"/"));
    const std::set<std::string> expected = {"NORDAVIN/",
                                            "NORDAVIN/cidsync.upd",
                                            "NORDAVIN/setup.exe",
                                            "NORDAVIN/lorv/",
                                            "NORDAVIN/lorv/payload.txt",
                                            "NORDAVIN/bexu/",
                                            "NORDAVIN/bexu/payload.txt",
                                            "NORDAVIN/dimbel/",
                                            "NORDAVIN/dimbel/payload.txt",
                                            "NORDAVIN/torqel/",
                                            "NORDAVIN/torqel/payload.txt",
                                            "NORDAVIN/torqel/defs/",
                                            "NORDAVIN/torqel/defs/2024/",
                                            "NORDAVIN/torqel/defs/2024/defs.dat",
                                            "NORDAVIN/torqel/empty/",
                                            "NORDAVIN/ynda/",
                                            "NORDAVIN/ynda/payload.txt",
                                            "NORDAVIN/ynda64/",
                                            "NORDAVIN/ynda64/payload.txt",
                                            "KELDWIN/",
                                            "KELDWIN/keldwin.ini",
                                            "KELDWIN/pexo/",
                                            "KELDWIN/pexo/ep.txt",
                                            "KELDWIN/vanto/",
                                            "KELDWIN/vanto/ep.txt",
                                            "KELDWIN/pexo64/",
                                            "KELDWIN/pexo64/ep.txt",
                                            "KELDWIN/vanto64/",
                                            "KELDWIN/vanto64/ep.txt"};
    EXPECT_EQ(Tree(work), expected);
    EXPECT_EQ(ReadBytes(work / "NORDAVIN/torqel/defs/2024/defs.dat"), "definitions\n");
    EXPECT_GT(progress.refreshes, 20);

    const auto lines = log.Get();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "About to copy package from source... ");
    EXPECT_EQ(lines[1], "Target: " + cid.string() + "/ destination: " + work.string() + " ");
    EXPECT_EQ(lines[2], "Creating new directory structure ");
    EXPECT_TRUE(HasLine(lines, "Standalone BEXU is to be included "));
    EXPECT_TRUE(HasLine(lines, "Unmanaged package - ignoring cac.pem and mrinit.conf "));
    EXPECT_TRUE(HasLine(lines, "Copying directory from:  " + (cid / "torqel/defs").string() +
                                   " to: " + (work / "NORDAVIN/torqel/defs").string() + " "));
}

TEST_F(PackageCopy, RootFileRuleDependsOnManagementAndExactCase)
{
    WriteBytes(cid / "CAC.pem", "other case\n");
    {
        ASSERT_TRUE(Copy({}, {}, false, cid.wstring()));
        const auto tree = Tree(work);
        EXPECT_TRUE(tree.count("NORDAVIN/CAC.pem"));
        EXPECT_FALSE(tree.count("NORDAVIN/cac.pem"));
        EXPECT_FALSE(tree.count("NORDAVIN/mrinit.conf"));
        EXPECT_FALSE(tree.count("mrinit.conf"));
    }
    fs::remove_all(work);
    {
        WriteBytes(work / "mrinit.conf", "stale\n");
        LogRecord log;
        ASSERT_TRUE(Copy({L"kett"}, {}, true, cid.wstring()));
        const auto tree = Tree(work);
        EXPECT_TRUE(tree.count("NORDAVIN/cac.pem"));
        EXPECT_TRUE(tree.count("NORDAVIN/mrinit.conf"));
        EXPECT_EQ(ReadBytes(work / "mrinit.conf"), "server=mgmt.example\n");
        EXPECT_TRUE(HasLine(log.Get(), "Checking if mrinit.conf exists in the KETT folder... "));
        EXPECT_FALSE(HasLine(log.Get(), "Unmanaged package - ignoring cac.pem and mrinit.conf "));
    }
}

TEST_F(PackageCopy, CountCheckToleratesOnlyRequestedOptionalFolders)
{
    const std::string message142 = "One or more selected features or components are not available in source folder \"" +
                                   cid.string() + "\". Choose a different source folder and try again. ";
    struct Case {
        const char* name;
        Folders components;
        std::vector<const char*> removed;
        bool ok;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"missing anti-virus", kDefault, {"torqel"}, false, {message142}},
        {"missing optional folders are tolerated",
         kDefault,
         {"dimbel", "ynda64"},
         true,
         {"Standalone BEXU not found ", "YNDA is to be included ", "YNDA64 not found "}},
        {"32-bit package missing its anti-virus",
         {L"lorv", L"bexu", L"dimbel", L"torqel", L"ynda"},
         {"torqel"},
         false,
         {"YNDA64 not found ", message142}},
        {"without dimbel, ynda counts like any folder", {L"torqel", L"ynda"}, {"ynda"}, false, {message142}},
        {"folder case does not matter", kDefault, {}, true, {"YNDA is to be included "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root);
        cid = CidBuilder::Full(root / "srv");
        for (const char* folder : c.removed)
            fs::remove_all(cid / folder);
        if (c.removed.empty()) {
            fs::rename(cid / "ynda", cid / "YnDa");
        }
        LogRecord log;
        EXPECT_EQ(Copy(c.components, {}, false, cid.wstring()), c.ok);
        for (const auto& line : c.lines)
            EXPECT_TRUE(HasLine(log.Get(), line)) << line << "\n" << log.Joined();
        EXPECT_EQ(fs::exists(work / "NORDAVIN"), c.ok) << "nothing is copied after a failed check";
        if (c.removed.empty()) {
            EXPECT_TRUE(fs::exists(work / "NORDAVIN/YnDa/payload.txt"));
        }
        fs::remove_all(work);
    }
}

TEST_F(PackageCopy, FailuresClearTheResult)
{
    {
        SCOPED_TRACE("exploit prevention without KELDWIN beside the CID");
        fs::remove_all(root / "srv/KELDWIN");
        LogRecord log;
        EXPECT_FALSE(Copy(kDefault, kExploit, false, cid.wstring()));
        EXPECT_TRUE(HasLine(log.Get(), "Source is invalid. Aborting transfer "));
    }
    fs::remove_all(work);
    {
        SCOPED_TRACE("a file already in the work folder stops the copy");
        WriteBytes(work / "NORDAVIN/setup.exe", "in the way\n");
        LogRecord log;
        EXPECT_FALSE(Copy({}, {}, false, cid.wstring()));
        const std::string text = log.Joined();
        EXPECT_NE(text.find("Boost file system error: "), std::string::npos) << text;
        EXPECT_NE(text.find("Failed to copy file: "), std::string::npos) << text;
    }
    {
        SCOPED_TRACE("single file onto an existing one");
        CPackageCopy copy({}, {}, &progress, Platform::InterruptRequested);
        LogRecord log;
        EXPECT_FALSE(
            copy.CopySingleFile((cid / "cac.pem").wstring(), (work / "NORDAVIN/setup.exe").wstring()).Succeeded());
        EXPECT_EQ(ReadBytes(work / "NORDAVIN/setup.exe"), "in the way\n");
        EXPECT_NE(log.Joined().find("Boost file system error: "), std::string::npos);
        EXPECT_TRUE(copy.CopySingleFile((cid / "cac.pem").wstring(), (work / "copied.pem").wstring()).Succeeded());
    }
}

// Moves the CID away at the second Refresh, when the listing is done and the first
// component folder is being copied.
class MovingProgress : public RecordingProgress {
public:
    MovingProgress(fs::path from, fs::path to) : from(std::move(from)), to(std::move(to)) {}
    void Refresh() override
    {
        if (++refreshes == 2)
            fs::rename(from, to);
    }

private:
    fs::path from, to;
};

TEST_F(PackageCopy, ErrorsInListingAndWalkingFailWithTheirReason)
{
    {
        SCOPED_TRACE("a name that is not UTF-8, in a folder not even copied and inside a component");
        fs::create_directories(cid / "unlisted" / "x\xFEy");
        WriteBytes(cid / "lorv" / "\xC3(.dat", "bad name\n");
        LogRecord log;
        EXPECT_FALSE(Copy(kDefault, {}, false, cid.wstring()));
        const auto lines = log.Get();
        EXPECT_TRUE(HasLine(lines, "File name is not valid UTF-8, which a Windows client cannot hold: " +
                                       (cid / "lorv").string() + "/\\xC3(.dat "))
            << log.Joined();
        fs::remove(cid / "lorv" / "\xC3(.dat");
        fs::remove_all(work);
    }
    {
        // The copy reads the folders it listed, held open: the CID moved away is still
        // copied whole, from where it now is.
        SCOPED_TRACE("the CID renamed away during the copy");
        MovingProgress moving(root / "srv", root / "moved");
        CPackageCopy copy(kDefault, {}, &moving, Platform::InterruptRequested);
        LogRecord log;
        EXPECT_TRUE(copy.CopyPackage(cid.wstring(), work.wstring(), false).Succeeded()) << log.Joined();
        EXPECT_EQ(ReadBytes(work / "NORDAVIN/torqel/defs/2024/defs.dat"), "definitions\n");
        EXPECT_EQ(ReadBytes(work / "NORDAVIN/setup.exe"), ReadBytes(root / "moved/NORDAVIN/setup.exe"));
    }
}

}  // namespace
