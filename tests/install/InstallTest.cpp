// The program as `cmake --install` lays it out, run from a staging root (DESTDIR) with the
// administrator's files in that root's etc/halvex.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "support/CommandRun.h"
#include "support/LogLines.h"

namespace {

namespace fs = std::filesystem;

const std::string kModule = "TEST STAND-IN FOR THE 7-ZIP INSTALLER MODULE\r\n";
const std::string kTool = "TEST STAND-IN FOR ConfigUpdate.exe\r\n";

std::string ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class Installed : public testing::Test {
protected:
    // One installation for each test process.
    static void SetUpTestSuite()
    {
        stage = fs::path(std::getenv("HALVEX_TEST_TMP")) / "stage";
        const CommandResult install = RunCommand({CMAKE_COMMAND, "--install", HALVEX_BUILD_DIR, "--prefix", "/usr"},
                                                 {{"DESTDIR", stage.string()}});
        ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
        // The program knows its folder by its resolved path.
        stage = fs::canonical(stage);
    }

    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(stage / "usr/bin/halvex", error)) << "installation failed";
        fs::remove_all(stage / "etc");
        out = stage.parent_path() / "out";
        fs::create_directories(out);
    }

    CommandResult Build(const std::vector<std::string>& options)
    {
        std::vector<std::string> command = {(stage / "usr/bin/halvex").string(), "-cli", "-cidpath",
                                            HALVEX_SOURCE_DIR "/examples/NORDAVIN", "-sfxpath",
                                            (out / "Endpoint.exe").string()};
        command.insert(command.end(), options.begin(), options.end());
        return RunCommand(command, {{"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}});
    }

    static inline fs::path stage;
    fs::path out;
    std::error_code error;
};

TEST_F(Installed, LaysOutTheProgramItsFolderAndTheManualPages)
{
    EXPECT_EQ(fs::read_symlink(stage / "usr/bin/halvex", error), "../lib/halvex/halvex")
        << "a relative link, so it holds in any root";
    EXPECT_EQ(fs::read_symlink(stage / "usr/lib/halvex/7za/7za", error), HALVEX_7ZA) << "the system's 7-Zip";
    for (const char* program : {"usr/lib/halvex/halvex", "usr/bin/halvex-obscure"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(stage / program))) << program;
        EXPECT_EQ(::access((stage / program).c_str(), X_OK), 0) << program;
    }
    for (const char* file : {"usr/share/man/man1/halvex.1.gz", "usr/share/man/man1/halvex-obscure.1.gz",
                             "usr/share/doc/halvex/copyright", "usr/share/doc/halvex/changelog.gz"})
        EXPECT_TRUE(fs::is_regular_file(stage / file)) << file;
    EXPECT_FALSE(fs::exists(stage / "etc")) << "the administrator's folder is the administrator's";

    const CommandResult version = RunCommand({(stage / "usr/bin/halvex").string(), "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("halvex ") + HALVEX_VERSION + "\n");
    const CommandResult obscureHelp = RunCommand({(stage / "usr/bin/halvex-obscure").string(), "--help"});
    EXPECT_EQ(obscureHelp.exitCode, 0);
    EXPECT_EQ(obscureHelp.out.rfind("usage: halvex-obscure", 0), 0u);
}

TEST_F(Installed, BuildsTheSampleWithTheModulesFromItsEtcFolder)
{
    WriteBytes(stage / "etc/halvex/7zSD.sfx", kModule);
    WriteBytes(stage / "etc/halvex/ConfigUpdate.exe", kTool);

    const CommandResult run = Build({"-s"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const fs::path package = out / "Endpoint.exe";
    EXPECT_EQ(ReadBytes(package).substr(0, kModule.size()), kModule) << "the module from etc/halvex leads the package";
    const CommandResult tool = RunCommand({"7za", "e", "-so", package.string(), "ConfigUpdate.exe"});
    EXPECT_EQ(tool.exitCode, 0) << tool.err;
    EXPECT_EQ(tool.out, kTool);

    const auto log = LogLines::All(LogLines::Path());
    const fs::path program = stage / "usr/lib/halvex";
    EXPECT_TRUE(Contains(log, "Utility Path:  " + (program / "7za/7za").string() + " "));
    EXPECT_TRUE(Contains(log, "Installer module 7zSD.sfx found at: " + (stage / "etc/halvex/7zSD.sfx").string() + " "));
    EXPECT_TRUE(Contains(log, "Configuration tool ConfigUpdate.exe found at: " +
                                  (stage / "etc/halvex/ConfigUpdate.exe").string() + " "));
    EXPECT_EQ(log.back(), "Zastrel completed successfully ");
}

TEST_F(Installed, AMissingModuleOrToolIsLookedForInEveryPlaceAndNamed)
{
    const fs::path program = stage / "usr/lib/halvex";
    struct Case { const char* name; std::vector<std::string> options; std::string what; std::string file; };
    const Case cases[] = {
        {"unmanaged, no ConfigUpdate.exe", {}, "Configuration tool ConfigUpdate.exe", "ConfigUpdate.exe"},
        {"managed, no installer module", {"-mng", "yes"}, "Installer module 7zSD.sfx", "7zSD.sfx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandResult run = Build(c.options);
        EXPECT_EQ(run.exitCode, 82);
        EXPECT_FALSE(fs::exists(out / "Endpoint.exe"));
        const auto log = LogLines::All(LogLines::Path());
        const fs::path beside = c.file == "7zSD.sfx" ? program / "7za" / c.file : program / c.file;
        EXPECT_TRUE(Contains(log, c.what + " not found at: " + beside.string() + " "));
        EXPECT_TRUE(Contains(log, c.what + " not found at: " + (stage / "etc/halvex" / c.file).string() + " "));
        EXPECT_EQ(log.back(), "Zastrel failed ");
    }
}

}  // namespace
