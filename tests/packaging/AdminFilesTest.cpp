#include "packaging/AdminFiles.h"

#include "core/Logging.h"
#include "packaging/PackagingTestSupport.h"
#include "platform/TextConversion.h"

namespace {

using namespace PackagingTest;

TEST(AdminConfigFolder, FollowsTheInstalledProgramsPrefix)
{
    struct Case {
        std::wstring programFolder;
        std::optional<std::wstring> config;
    };
    const Case cases[] = {
        {L"/usr/lib/halvex", L"/etc/halvex"},
        {L"/tmp/stage/usr/lib/halvex", L"/tmp/stage/etc/halvex"},
        {L"/usr/local/lib/halvex", L"/usr/local/etc/halvex"},
        {L"/opt/halvex/lib/halvex", L"/opt/halvex/etc/halvex"},
        {L"/srv/my tools/usr/lib/halvex", L"/srv/my tools/etc/halvex"},
        {L"/work/halvex/build", std::nullopt},
        {L"/usr/lib/other", std::nullopt},
        {L"/usr/halvex", std::nullopt},
        {L"halvex", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AdminConfigFolder(c.programFolder), c.config) << Platform::NarrowHostText(c.programFolder);
}

class AdminFileLookup : public testing::Test {
protected:
    void SetUp() override
    {
        root = ScratchFolder() / "stage";
        program = root / "usr/lib/halvex";
        config = root / "etc/halvex";
        fs::create_directories(program / "7za");
        fs::create_directories(config);
    }
    void TearDown() override { fs::remove_all(root); }

    std::string Find(const std::vector<std::wstring>& places)
    {
        return Platform::NarrowHostText(FindAdminFile(places, "Installer module 7zSD.sfx", GetLogging()));
    }

    fs::path root;
    fs::path program;
    fs::path config;
};

TEST_F(AdminFileLookup, TheConfigurationFolderFirstThenBesideTheProgram)
{
    const auto places = InstallerModulePlaces(program.wstring());
    ASSERT_EQ(places,
              (std::vector<std::wstring>{(config / "7zSD.sfx").wstring(), (program / "7za/7zSD.sfx").wstring()}));
    const std::string beside = (program / "7za/7zSD.sfx").string();
    const std::string configured = (config / "7zSD.sfx").string();

    struct Case {
        const char* name;
        bool besideFile;
        bool configFile;
        std::string found;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"beside only", true, false, beside, {"Installer module 7zSD.sfx found at: " + beside + " "}},
        {"both: the administrator's wins",
         true,
         true,
         configured,
         {"Installer module 7zSD.sfx found at: " + configured + " "}},
        {"configuration folder only",
         false,
         true,
         configured,
         {"Installer module 7zSD.sfx found at: " + configured + " "}},
        {"neither",
         false,
         false,
         beside,
         {"Installer module 7zSD.sfx not found at: " + configured + " ",
          "Installer module 7zSD.sfx not found at: " + beside + " "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(beside);
        fs::remove(configured);
        if (c.besideFile)
            WriteBytes(beside, "module beside");
        if (c.configFile)
            WriteBytes(configured, "module configured");
        LogRecord log;
        EXPECT_EQ(Find(places), c.found);
        EXPECT_EQ(log.Get(), c.lines);
    }
}

TEST_F(AdminFileLookup, OnlyAFileCountsAndABuildFolderLooksBesideItselfAlone)
{
    fs::create_directories(config / "ConfigUpdate.exe");
    WriteBytes(program / "ConfigUpdate.exe", "tool");
    LogRecord log;
    EXPECT_EQ(Find(ConfigToolPlaces(program.wstring())), (program / "ConfigUpdate.exe").string())
        << "a folder of that name is passed over";

    const fs::path build = ScratchFolder() / "build";
    EXPECT_EQ(ConfigToolPlaces(build.wstring()), std::vector<std::wstring>{(build / "ConfigUpdate.exe").wstring()});
    EXPECT_EQ(InstallerModulePlaces(build.wstring()), std::vector<std::wstring>{(build / "7za/7zSD.sfx").wstring()});
}

}  // namespace
