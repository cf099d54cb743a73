#include "cli/InputChecks.h"

#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "platform/TextConversion.h"
#include "support/CidBuilder.h"
#include "support/LogLines.h"
#include "support/TestFolder.h"

namespace fs = boost::filesystem;

namespace {

class InputChecks : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(TestSupport::ScratchFolder().string()) / "checks";
        fs::create_directories(root);
    }

    std::string Touch(const fs::path& file)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file.string()) << "x";
        return file.string();
    }

    static std::wstring Wide(const std::string& text) { return Platform::WidenHostText(text); }

    fs::path root;
    LogLines log;
};

TEST_F(InputChecks, SourceFolderNeedsTheMarkerDirectlyInsideExactlyNamed)
{
    TestSupport::CidBuilder((root / "cid").string());
    Touch(root / "nested" / "sub" / "cidsync.upd");
    Touch(root / "capitals" / "CIDSYNC.UPD");
    fs::create_directories(root / "markerfolder" / "cidsync.upd");
    fs::create_directories(root / "empty");
    struct Case {
        std::string path;
        bool valid;
        std::string tail;
    };
    const std::vector<Case> cases = {
        {(root / "cid").string(), true, "is OK "},
        {(root / "nested").string(), false, "does not point to a valid package "},
        {(root / "capitals").string(), false, "does not point to a valid package "},
        {(root / "markerfolder").string(), false, "does not point to a valid package "},
        {(root / "empty").string(), false, "does not point to a valid package "},
        {(root / "missing").string(), false, "does not exist "},
        {"", false, "does not exist "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckSourceFolder(Wide(c.path), GetLogging()), c.valid) << c.path;
        EXPECT_EQ(log.Take(), std::vector<std::string>{"Source path:  " + c.path + "  " + c.tail});
    }
}

TEST_F(InputChecks, SourceThatCannotBeListedReachesTheCallerAfterItsLogLine)
{
    const std::string file = Touch(root / "cidsync.upd");
    EXPECT_THROW(CheckSourceFolder(Wide(file), GetLogging()), fs::filesystem_error);
    const auto lines = log.Take();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Error: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(file), std::string::npos) << lines[0];
}

TEST_F(InputChecks, OutputPackageFolderMustExistOrBeCreatable)
{
    Touch(root / "afile");
    fs::create_directories(root / "out");
    struct Case {
        std::string path;
        bool isFolder;
        bool valid;
    };
    const std::vector<Case> cases = {
        {(root / "out").string(), true, true},
        {(root / "out" / "setup.exe").string(), false, true},
        {(root / "new" / "deeper" / "setup.exe").string(), false, true},
        {"setup.exe", false, false},
        {(root / "afile" / "sub" / "setup.exe").string(), false, false},
        // "made" can be made, the name below it cannot.
        {(root / "made" / std::string(300, 'n') / "setup.exe").string(), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckOutputPackage(Wide(c.path), c.isFolder, GetLogging()), c.valid) << c.path;
        const auto lines = log.Take();
        if (c.valid) {
            EXPECT_EQ(lines, std::vector<std::string>{"Destination path:  " + c.path + "  is OK "});
        } else {
            ASSERT_EQ(lines.size(), 2u) << c.path;
            EXPECT_EQ(lines[0].rfind("Error:  ", 0), 0u) << lines[0];
            EXPECT_EQ(lines[1], "Destination path:  " + c.path + "  is invalid ");
        }
    }
    // The probe takes back every folder it made, whether it failed or not.
    EXPECT_FALSE(fs::exists(root / "new"));
    EXPECT_FALSE(fs::exists(root / "made"));
    EXPECT_TRUE(fs::is_directory(root / "out"));

    EXPECT_FALSE(CheckOutputPackage(L"", false, GetLogging()));
    EXPECT_EQ(log.Take(), std::vector<std::string>{"Destination path:    is zero length "});
}

TEST_F(InputChecks, OutputEndingInASeparatorNamesAFolderWhetherOrNotItExists)
{
    fs::create_directories(root / "out");
    struct Case {
        std::string path;
        bool isFolder;
    };
    const Case cases[] = {
        {(root / "out").string() + "/", true},
        {(root / "new").string() + "/", true},
        {(root / "new" / "setup.exe").string(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        PackageOptions options;
        options.SetOutputPackage(Wide(c.path));
        EXPECT_FALSE(CheckOutputInput(options, GetLogging()).has_value());
        EXPECT_EQ(options.GetOutputIsFolder(), c.isFolder);
        log.Take();
    }
    EXPECT_FALSE(fs::exists(root / "new")) << "the probe leaves no folder behind";
}

// The package and its checksum "<package>.sha256" must both be able to take their names,
// counted in bytes: a name longer than the file system takes, or a folder at either name,
// is refused before any work. A link at a name is replaced, never followed, so it passes.
TEST_F(InputChecks, PackageAndChecksumNamesFitAndAreFree)
{
    const long limit = ::pathconf(root.string().c_str(), _PC_NAME_MAX);
    ASSERT_GT(limit, 20);
    const auto name = [](std::size_t bytes) { return std::string(bytes - 4, 'n') + ".exe"; };
    const std::string fits = name(static_cast<std::size_t>(limit) - 7);
    const std::string checksumTooLong = name(static_cast<std::size_t>(limit) - 6);
    const std::string packageTooLong = name(static_cast<std::size_t>(limit) + 1);
    // Two bytes a character: the limit is in bytes.
    std::string umlauts;
    while (umlauts.size() + 4 + 7 <= static_cast<std::size_t>(limit))
        umlauts += "\xC3\xA4";
    umlauts += ".exe";
    fs::create_directories(root / "out" / "pkg.exe.sha256");
    fs::create_directories(root / "default" / "VeskorEndpoint.exe.sha256");
    fs::create_directories(root / "taken" / "VeskorEndpoint.exe");
    fs::create_directories(root / "linked");
    fs::create_directory_symlink(root / "out", root / "linked" / "pkg.exe.sha256");
    const std::string tooLong =
        " bytes long, and the output folder's file system takes names of at most " + std::to_string(limit) + " bytes ";
    struct Case {
        std::string path;
        bool isFolder;
        std::string line;
    };
    const Case cases[] = {
        {(root / "out" / "ok.exe").string(), false, ""},
        {(root / "new" / "deeper" / fits).string(), false, ""},
        {(root / "linked" / "pkg.exe").string(), false, ""},
        {(root / "out" / checksumTooLong).string(), false,
         "cannot be written: the checksum file's name " + checksumTooLong + ".sha256 is " + std::to_string(limit + 1) +
             tooLong},
        {(root / "out" / packageTooLong).string(), false,
         "cannot be written: the package's name " + packageTooLong + " is " + std::to_string(limit + 1) + tooLong},
        {(root / "out" / umlauts).string(), false,
         "cannot be written: the checksum file's name " + umlauts + ".sha256 is " + std::to_string(umlauts.size() + 7) +
             tooLong},
        {(root / "out" / "pkg.exe").string(), false,
         "cannot be written: the checksum file's name is taken by a folder: " +
             (root / "out" / "pkg.exe.sha256").string() + " "},
        {(root / "default").string(), true,
         "cannot be written: the checksum file's name is taken by a folder: " +
             (root / "default" / "VeskorEndpoint.exe.sha256").string() + " "},
        {(root / "taken").string(), true,
         "cannot be written: the package's name is taken by a folder: " +
             (root / "taken" / "VeskorEndpoint.exe").string() + " "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        PackageOptions options;
        options.SetOutputPackage(Wide(c.path));
        options.SetOutputIsFolder(c.isFolder);
        EXPECT_EQ(CheckOutputNames(options, GetLogging()), c.line.empty());
        if (c.line.empty())
            EXPECT_EQ(log.Take(), std::vector<std::string>{});
        else
            EXPECT_EQ(log.Take(), std::vector<std::string>{"Destination path:  " + c.path + "  " + c.line});
    }
    EXPECT_FALSE(fs::exists(root / "new"));
}

TEST_F(InputChecks, ExistingFolderOnlyForFolders)
{
    const std::string file = Touch(root / "file");
    EXPECT_TRUE(IsExistingFolder(Wide(root.string())));
    EXPECT_FALSE(IsExistingFolder(Wide(file)));
    EXPECT_FALSE(IsExistingFolder(Wide((root / "missing").string())));
    EXPECT_FALSE(IsExistingFolder(L""));
    fs::create_symlink(root / "loop", root / "loop");
    EXPECT_THROW(IsExistingFolder(Wide((root / "loop" / "x").string())), fs::filesystem_error);
    EXPECT_TRUE(log.Take().empty());
}

TEST_F(InputChecks, ServerUrlIsAnHttpServerAndNothingMore)
{
    struct Case {
        std::wstring url;
        bool valid;
        bool cracked;
    };
    const Case cases[] = {
        {L"http://kett.example", true, true},
        {L"https://kett.example:8443", true, true},
        {L"HTTP://kett.example/", true, true},
        {L"http://kett.example/console", false, true},
        {L"http://kett.example/?x=1", false, true},
        {L"http://kett.example#top", false, true},
        {L"http://admin@kett.example", false, true},
        {L"http://admin:pw@kett.example", false, true},
        {L"ftp://kett.example", false, true},
        {L"http://", false, true},
        {L"kett.example", false, false},
        {L"http://kett.example/%zz", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckServerUrl(c.url, GetLogging()), c.valid);
        std::vector<std::string> expected;
        if (!c.cracked)
            expected.push_back("URL failed on crack URL test ");
        expected.push_back("URL:  " + Platform::NarrowHostText(c.url) + (c.valid ? "  is OK " : "  is invalid "));
        EXPECT_EQ(log.Take(), expected);
    }
}

TEST_F(InputChecks, UpdateLocationIsUncOrAnHttpFolder)
{
    struct Case {
        std::wstring location;
        bool valid;
        bool cracked;
    };
    const Case cases[] = {
        {L"\\\\fileserver\\updates", true, true},
        {L"\\\\ anything: at all?", true, true},
        {L"http://updates.example/veskor", true, true},
        {L"http://updates.example:8080/a/b", true, true},
        {L"https://updates.example/veskor", false, true},
        {L"http://updates.example/", false, true},
        {L"http://updates.example", false, true},
        {L"http://user@updates.example/veskor", false, true},
        {L"http://updates.example/veskor?x", false, true},
        {L"\\fileserver\\updates", false, false},
        {L"updates", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckUpdateLocation(c.location, GetLogging()), c.valid);
        std::vector<std::string> expected;
        if (!c.cracked)
            expected.push_back("URL failed on crack URL test ");
        expected.push_back("Updating source:  " + Platform::NarrowHostText(c.location) +
                           (c.valid ? "  is OK " : "  is invalid "));
        EXPECT_EQ(log.Take(), expected);
    }
}

// The URL groups name the text each mode reports: the blank test before the format check,
// a blank primary location allowed only where the caller says so, and the suite's own
// update service judged by its credentials alone.
TEST_F(InputChecks, LocationGroupsNameTheTextToReport)
{
    struct Case {
        std::optional<InputProblem> problem;
        std::optional<unsigned> text;
        std::wstring value;
    };
    const std::vector<Case> cases = {
        {CheckServerInput(L"", GetLogging()), 135, L""},
        {CheckServerInput(L"http://server/path", GetLogging()), 113, L"http://server/path"},
        {CheckServerInput(L"https://server:8443/", GetLogging()), std::nullopt, L""},
        {CheckPrimaryInput(L"", true, GetLogging()), std::nullopt, L""},
        {CheckPrimaryInput(L"", false, GetLogging()), 136, L""},
        {CheckPrimaryInput(L"http://server/", true, GetLogging()), 114, L"http://server/"},
        {CheckPrimaryInput(L"\\\\share\\updates", false, GetLogging()), std::nullopt, L""},
        {CheckSecondaryInput(L"", L"user", L"pass", GetLogging()), 137, L""},
        {CheckSecondaryInput(L"VESKOR", L"user", L"", GetLogging()), 131, L""},
        {CheckSecondaryInput(L"VESKOR", L"user", L"pass", GetLogging()), std::nullopt, L""},
        {CheckSecondaryInput(L"veskor", L"user", L"pass", GetLogging()), 130, L"veskor"},
        {CheckSecondaryInput(L"http://mirror/updates", L"", L"", GetLogging()), std::nullopt, L""},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        ASSERT_EQ(c.problem.has_value(), c.text.has_value()) << "case " << i;
        if (c.problem) {
            EXPECT_EQ(c.problem->text, *c.text) << "case " << i;
            EXPECT_EQ(c.problem->value, c.value) << "case " << i;
        }
    }
}

}  // namespace
