// The program as `cmake --install` lays it out, run from a staging root (DESTDIR) with the
// administrator's files in that root's etc/halvex.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "support/ChildRun.h"
#include "support/Files.h"
#include "support/LogLines.h"
#include "support/TestFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace TestSupport;

const std::string kModule = "TEST STAND-IN FOR THE 7-ZIP INSTALLER MODULE\r\n";
const std::string kTool = "TEST STAND-IN FOR ConfigUpdate.exe\r\n";

// Options that set or remove (given no value) environment variables.
ChildOptions WithEnvironment(std::map<std::string, std::optional<std::string>> variables)
{
    ChildOptions options;
    options.environment = std::move(variables);
    return options;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class Installed : public testing::Test {
protected:
    // A fresh installation for every test, into a staging root in its scratch folder.
    void SetUp() override
    {
        stage = ScratchFolder() / "stage";
        const ChildResult install = RunChild(CMAKE_COMMAND, {"--install", HALVEX_BUILD_DIR, "--prefix", "/usr"},
                                             WithEnvironment({{"DESTDIR", stage.string()}}));
        ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
        // The program knows its folder by its resolved path.
        stage = fs::canonical(stage);
        out = ScratchFolder() / "out";
        fs::create_directories(out);
    }

    // The installed program through its link in bin, on the sample CID.
    ChildResult Build(const std::vector<std::string>& options)
    {
        std::vector<std::string> arguments = {"-cli", "-cidpath", HALVEX_SOURCE_DIR "/examples/NORDAVIN", "-sfxpath",
                                              (out / "Endpoint.exe").string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return RunChild((stage / "usr/bin/halvex").string(), arguments,
                        WithEnvironment({{"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}}));
    }

    fs::path stage;
    fs::path out;
    std::error_code error;
};

TEST_F(Installed, LaysOutTheProgramItsFolderAndTheManualPages)
{
    EXPECT_EQ(fs::read_symlink(stage / "usr/bin/halvex", error), "../lib/halvex/halvex")
        << "a relative link, so it holds in any root";
    EXPECT_EQ(fs::read_symlink(stage / "usr/lib/halvex/7za/7za", error), HALVEX_7ZA) << "the system's 7-Zip";
    EXPECT_EQ(fs::read_symlink(stage / "usr/bin/halvex-inspect", error), "../lib/halvex/halvex-inspect");
    for (const char* program : {"usr/lib/halvex/halvex", "usr/bin/halvex-obscure", "usr/lib/halvex/halvex-inspect"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(stage / program))) << program;
        EXPECT_EQ(::access((stage / program).c_str(), X_OK), 0) << program;
    }
    EXPECT_EQ(ReadBytes(stage / "usr/lib/halvex/7za/7zSD.sfx"), ReadBytes(HALVEX_BUILD_DIR "/7za/7zSD.sfx"))
        << "the installer module built from 7-Zip's source, beside the archiver";
    for (const char* file : {"usr/share/man/man1/halvex.1.gz", "usr/share/man/man1/halvex-obscure.1.gz",
                             "usr/share/man/man1/halvex-inspect.1.gz", "usr/share/doc/halvex/copyright",
                             "usr/share/doc/halvex/changelog.gz"})
        EXPECT_TRUE(fs::is_regular_file(stage / file)) << file;
    EXPECT_FALSE(fs::exists(stage / "etc")) << "the administrator's folder is the administrator's";

    const ChildResult version = RunChild((stage / "usr/bin/halvex").string(), {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind(std::string("halvex ") + HALVEX_VERSION + "\n", 0), 0u) << version.out;
    const std::string copyright = ReadBytes(stage / "usr/share/doc/halvex/copyright");
    EXPECT_NE(copyright.find("Debian 7zip source package\n " HALVEX_7ZIP_DEBIAN_VERSION ","), std::string::npos)
        << "names the source the installed module was built from";
    EXPECT_NE(copyright.find("7-Zip " HALVEX_7ZIP_VERSION " "), std::string::npos);
    const ChildResult obscureHelp = RunChild((stage / "usr/bin/halvex-obscure").string(), {"--help"});
    EXPECT_EQ(obscureHelp.exitCode, 0);
    EXPECT_EQ(obscureHelp.out.rfind("usage: halvex-obscure", 0), 0u);
}

TEST_F(Installed, BuildsTheSampleWithTheModuleAndTheToolFromItsEtcFolderOverTheShippedOnes)
{
    WriteBytes(stage / "usr/lib/halvex/ConfigUpdate.exe", "shipped tool");
    WriteBytes(stage / "etc/halvex/7zSD.sfx", kModule);
    WriteBytes(stage / "etc/halvex/ConfigUpdate.exe", kTool);

    const ChildResult run = Build({"-s"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const fs::path package = out / "Endpoint.exe";
    EXPECT_EQ(ReadBytes(package).substr(0, kModule.size()), kModule)
        << "the administrator's module in etc/halvex wins over the one shipped beside the program";
    const ChildResult tool = RunChild(HALVEX_7ZA, {"e", "-so", package.string(), "ConfigUpdate.exe"});
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

TEST_F(Installed, TheShippedModuleServesWhenTheEtcFolderHasNone)
{
    WriteBytes(stage / "etc/halvex/ConfigUpdate.exe", kTool);

    const ChildResult run = Build({"-s"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::string shipped = ReadBytes(stage / "usr/lib/halvex/7za/7zSD.sfx");
    EXPECT_EQ(ReadBytes(out / "Endpoint.exe").substr(0, shipped.size()), shipped);
    const auto log = LogLines::All(LogLines::Path());
    EXPECT_TRUE(
        Contains(log, "Installer module 7zSD.sfx found at: " + (stage / "usr/lib/halvex/7za/7zSD.sfx").string() + " "));
}

TEST_F(Installed, AMissingModuleOrToolIsLookedForInEveryPlaceAndNamed)
{
    const fs::path program = stage / "usr/lib/halvex";
    fs::remove(program / "7za/7zSD.sfx");
    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::string what;
        std::string file;
    };
    const Case cases[] = {
        {"unmanaged, no ConfigUpdate.exe", {}, "Configuration tool ConfigUpdate.exe", "ConfigUpdate.exe"},
        {"managed, no installer module", {"-mng", "yes"}, "Installer module 7zSD.sfx", "7zSD.sfx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildResult run = Build(c.options);
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
