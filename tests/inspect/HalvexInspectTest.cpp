// Whole runs of halvex-inspect over packages that halvex builds, and over files that are
// not such packages.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>

#include <gtest/gtest.h>

#include "support/ChildRun.h"
#include "support/CidBuilder.h"
#include "support/Files.h"
#include "support/SigningFixture.h"
#include "support/TestFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace TestSupport;

// The value of a top-level key of the JSON report: the rest of its line.
std::string Field(const std::string& json, const std::string& key)
{
    const std::string start = "\n  \"" + key + "\": ";
    const auto at = json.find(start);
    if (at == std::string::npos)
        return "(no " + key + ")";
    const auto from = at + start.size();
    std::string value = json.substr(from, json.find('\n', from) - from);
    if (value.ends_with(','))
        value.pop_back();
    return value;
}

std::vector<std::string> ComponentFolders(const std::string& json)
{
    std::vector<std::string> folders;
    const std::regex folder("\\{\"folder\": \"([^\"]*)\"");
    for (std::sregex_iterator it(json.begin(), json.end(), folder), end; it != end; ++it)
        folders.push_back((*it)[1]);
    return folders;
}

class HalvexInspect : public testing::Test {
protected:
    void SetUp() override
    {
        root = ScratchFolder() / "inspect runs";
        cid = CidBuilder::Full(root / "srv");
        output = root / "out";
        fs::create_directories(output);
        // The programs in a folder of their own with the real archiver and the installer
        // module the build made, as an installation has them.
        const fs::path folder = MakeProgramFolder(root);
        fs::copy_file(HALVEX_MODULE, folder / "7za/7zSD.sfx", fs::copy_options::overwrite_existing);
        halvex = folder / "halvex";
        inspect = folder / "halvex-inspect";
        fs::copy_file(HALVEX_PROGRAM, halvex);
        fs::copy_file(HALVEX_INSPECT, inspect);
    }

    ChildResult Run(const std::string& name, std::vector<std::string> arguments, ChildOptions options = {})
    {
        arguments.insert(arguments.begin(), {"-cli", "-cidpath", cid.string(), "-sfxpath", (output / name).string()});
        options.environment.insert({{"ProgramData", (root / "appdata").string()}, {"TEMP", (root / "temp").string()}});
        if (!options.input)
            options.input = "";
        return RunChild(halvex.string(), arguments, options);
    }

    fs::path Build(const std::string& name, std::vector<std::string> arguments)
    {
        const ChildResult built = Run(name, std::move(arguments));
        EXPECT_EQ(built.exitCode, 0) << LogText();
        return output / name;
    }

    std::string LogText() { return ReadBytes(root / "appdata/Veskor/Zastrel/Log/log.txt"); }

    ChildResult Inspect(const std::vector<std::string>& arguments)
    {
        ChildOptions options;
        options.input = "";
        return RunChild(inspect.string(), arguments, options);
    }

    fs::path root, cid, output, halvex, inspect;
};

TEST_F(HalvexInspect, ReportsEachPackageAsItWasBuilt)
{
    const std::string setup = "\"%TEMP%\\\\halvex_temp\\\\NORDAVIN\\\\setup.exe -bexu R";
    const std::string own = " [the package's own arguments]\"";
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::string commandLine;
        std::string managed;
        std::string server;
        std::string locations;
        std::string configTool;
        std::vector<std::string> components;
        std::string architectures;
    } cases[] = {
        {"defaults",
         {},
         setup + " -mng no" + own,
         "false",
         "\"\"",
         "[]",
         "true",
         {"NORDAVIN/bexu", "NORDAVIN/dimbel", "NORDAVIN/lorv", "NORDAVIN/torqel", "NORDAVIN/ynda", "NORDAVIN/ynda64"},
         "[\"32-bit\", \"64-bit\"]"},
        {"managed, silent, firewall and patch agent, 32-bit",
         {"-mng", "yes", "-s", "-wofa", "-patch", "http://mgmt.example:8080", "-arch", "32bit"},
         setup + " -s -mng yes -wofa -patch http://mgmt.example:8080" + own,
         "true",
         "\"http://mgmt.example:8080\"",
         "[]",
         "false",
         {"NORDAVIN/bexu", "NORDAVIN/dimbel", "NORDAVIN/gulv", "NORDAVIN/kett", "NORDAVIN/lorv", "NORDAVIN/torqel",
          "NORDAVIN/wofa", "NORDAVIN/ynda"},
         "[\"32-bit\"]"},
        {"downloaded components with an update location and a group",
         {"-lorvonly", "-updp", "\\\\srv\\share\\", "-user", "svc", "-pwd", "s3cret", "-ni", "-g", "Group A",
          "-nodetect"},
         setup + " -ni -mng no -updp \\\\\\\\srv\\\\share -user svc -opwd set -g \\\"Group A\\\"" + own,
         "false",
         "\"\"",
         "[{\"role\": \"primary\", \"location\": \"\\\\\\\\srv\\\\share\", \"user\": \"svc\", \"password\": \"set\", "
         "\"configuredBy\": \"setup\"}]",
         "true",
         {"NORDAVIN/bexu", "NORDAVIN/dimbel", "NORDAVIN/lorv"},
         "[]"},
        {"exploit prevention, 64-bit, an update location set by the configuration tool",
         {"-pexo", "-arch", "64bit", "-updp", "http://upd.example/cid", "-user", "svc", "-pwd", "pw"},
         setup + " -mng no -pexo" + own,
         "false",
         "\"\"",
         "[{\"role\": \"primary\", \"location\": \"http://upd.example/cid\", \"user\": \"svc\", \"password\": \"set\", "
         "\"configuredBy\": \"ConfigUpdate.exe\"}]",
         "true",
         {"KELDWIN/pexo", "KELDWIN/pexo64", "KELDWIN/vanto", "KELDWIN/vanto64", "NORDAVIN/bexu", "NORDAVIN/dimbel",
          "NORDAVIN/lorv", "NORDAVIN/torqel", "NORDAVIN/ynda64"},
         "[\"64-bit\"]"},
    };
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path package = Build("package " + std::to_string(++number) + ".exe", c.options);
        // Options before and after the package.
        const ChildResult result = Inspect(number % 2 ? std::vector<std::string>{"-json", package.string()}
                                                      : std::vector<std::string>{package.string(), "-json"});
        ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
        EXPECT_EQ(result.err, "");
        const std::string& json = result.out;
        EXPECT_EQ(Field(json, "setupCommandLine"), c.commandLine);
        EXPECT_EQ(Field(json, "managed"), c.managed);
        EXPECT_EQ(Field(json, "managementServer"), c.server);
        EXPECT_EQ(Field(json, "updateLocations"), c.locations);
        EXPECT_EQ(Field(json, "configToolIncluded"), c.configTool);
        EXPECT_EQ(ComponentFolders(json), c.components);
        EXPECT_EQ(Field(json, "architectures"), c.architectures);
        EXPECT_EQ(Field(json, "inOrder"), "true");
        EXPECT_NE(Field(json, "checksumFile").find("\"state\": \"matches\""), std::string::npos);
        EXPECT_NE(Field(json, "module").find("\"installed\": \"yes\""), std::string::npos);
        EXPECT_EQ(Field(json, "signature").rfind("{\"state\": \"absent\"", 0), 0u);
        EXPECT_EQ(json.find("s3cret"), std::string::npos);
        EXPECT_EQ(json.find("\"pw\""), std::string::npos);
        EXPECT_EQ(Field(json, "sha256"), "\"" + ReadBytes(package.string() + ".sha256").substr(0, 64) + "\"");

        const ChildResult text = Inspect({package.string()});
        EXPECT_EQ(text.exitCode, 0);
        EXPECT_NE(text.out.find("Result: in order\n"), std::string::npos) << text.out;
    }
}

TEST_F(HalvexInspect, RefusesWhatIsNotAnIntactPackage)
{
    const fs::path good = Build("good.exe", {"-mng", "yes"});
    const std::string bytes = ReadBytes(good);
    const std::string config =
        ";!@Install@!UTF-8!\r\nInstallPath=\"%temp%\\halvex_temp\"\r\nExecuteFile=\"setup.vbs\"\r\n"
        "Progress=\"No\"\r\n;!@InstallEnd@!";
    const std::string module = ReadBytes(HALVEX_MODULE);
    // A package assembled by hand from the real module, a configuration and an archive of
    // a folder holding `script` as setup.vbs.
    const auto assembled = [&](const std::string& name, const std::string& sfxConfig, const std::string& script) {
        const fs::path folder = root / ("content of " + name);
        WriteBytes(folder / "setup.vbs", script);
        const fs::path archive = root / (name + ".7z");
        EXPECT_EQ(RunChild("/usr/bin/7za", {"a", archive.string(), (folder / "setup.vbs").string()}).exitCode, 0);
        const fs::path package = output / name;
        WriteBytes(package, module + sfxConfig + ReadBytes(archive));
        return package;
    };
    const auto written = [&](const std::string& name, const std::string& content) {
        WriteBytes(output / name, content);
        return output / name;
    };
    const std::string ourScript =
        "wshShell.run sDstFolder + \"\\NORDAVIN\\setup.exe -bexu R -mng yes\" + Chr(32) + "
        "scriptArgs,, true\r\n";
    const struct {
        const char* name;
        fs::path package;
        const char* reason;
    } cases[] = {
        {"no such file", output / "missing.exe", "not a file"},
        {"random bytes", written("noise.exe", std::string(5000, '\x5A')), "no 7-Zip archive"},
        {"cut short", written("truncated.exe", bytes.substr(0, bytes.size() / 2 + 100)), "not a package"},
        {"a bare 7-Zip archive", written("bare.7z", bytes.substr(module.size() + config.size())),
         "without the installer module"},
        {"the module alone in front, no configuration",
         written("noconfig.exe", module + bytes.substr(module.size() + config.size())), "no installer configuration"},
        {"a configuration that runs another program",
         assembled("runprogram.exe", config.substr(0, config.size() - 15) + "RunProgram=\"cmd.exe\"\r\n;!@InstallEnd@!",
                   ourScript),
         "sets RunProgram"},
        {"a script of someone else's",
         assembled("foreign.exe", config, "CreateObject(\"WScript.Shell\").Run \"cmd\"\r\n"),
         "not one this program writes"},
        {"a script that runs another program too",
         assembled("extra.exe", config, ourScript + "wshShell.run \"C:\\evil.exe\",, true\r\n"), "runs C:\\evil.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildResult result = Inspect({c.package.string()});
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    }
}

TEST_F(HalvexInspect, ReportsButFailsAPackageThatDiffersFromWhatWasBuilt)
{
    const fs::path package = Build("changed.exe", {"-mng", "yes"});
    const std::string sum = ReadBytes(package.string() + ".sha256");
    const struct {
        const char* name;
        std::function<void()> change;
        const char* problem;
    } cases[] = {
        {"a checksum file that differs",
         [&] { WriteBytes(package.string() + ".sha256", std::string(64, '0') + sum.substr(64)); },
         "differs from its checksum file"},
        {"bytes added after the archive",
         [&] {
             WriteBytes(package.string() + ".sha256", sum);
             WriteBytes(package, ReadBytes(package) + "appended");
         },
         "8 bytes follow the archive"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.change();
        const ChildResult result = Inspect({package.string()});
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_NE(result.out.find("Result: NOT in order"), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(c.problem), std::string::npos) << result.err;
    }
    fs::remove(package.string() + ".sha256");
    const ChildResult absent = Inspect({package.string(), "-json"});
    EXPECT_NE(Field(absent.out, "checksumFile").find("\"state\": \"absent\""), std::string::npos);
}

// Signed by halvex: verified by osslsigncode, reported valid with its signer and time
// stamp, and refused once a byte of it changes.
TEST_F(HalvexInspect, SignedPackagesAndTheirSignatures)
{
    const SigningFixture keys(root / "keys");
    const TimeStampAuthority authority(keys);
    ChildOptions passwordOnInput;
    passwordOnInput.input = std::string(SigningFixture::kPassword) + "\n";
    const ChildResult built = Run("signed.exe",
                                  {"-mng", "yes", "-signpkcs12", keys.pkcs12.string(), "-signpass", "-", "-timestamp",
                                   authority.Url(), "-signdesc", "Client setup", "-signurl", "https://it.example/"},
                                  passwordOnInput);
    ASSERT_EQ(built.exitCode, 0) << LogText();
    const fs::path package = output / "signed.exe";
    EXPECT_EQ(LogText().find(SigningFixture::kPassword), std::string::npos);
    const ChildResult verify = RunChild("/usr/bin/osslsigncode", {"verify", "-in", package.string(), "-CAfile",
                                                                  keys.ca.string(), "-TSA-CAfile", keys.ca.string()});
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
    EXPECT_NE(verify.out.find("Text description: Client setup"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("URL description: https://it.example/"), std::string::npos) << verify.out;

    const ChildResult report = Inspect({"-cafile", keys.ca.string(), package.string(), "-json"});
    EXPECT_EQ(report.exitCode, 0) << report.err;
    const std::string signature = Field(report.out, "signature");
    EXPECT_EQ(signature.rfind("{\"state\": \"valid\", \"signer\": \"CN = Halvex Test Signer, O = Halvex Tests\", "
                              "\"issuer\": \"CN = Halvex Test CA\", \"timeStamp\": \"",
                              0),
              0u)
        << signature;
    EXPECT_NE(Field(report.out, "checksumFile").find("\"state\": \"matches\""), std::string::npos);
    EXPECT_NE(Field(report.out, "module").find("\"installed\": \"yes\""), std::string::npos)
        << "the module is compared without the fields signing rewrites";

    // Without the private authority the signature cannot be trusted.
    EXPECT_EQ(Inspect({package.string()}).exitCode, 82);

    std::string bytes = ReadBytes(package);
    bytes[bytes.size() / 2] ^= 0x01;
    WriteBytes(package, bytes);
    const ChildResult changed = Inspect({package.string(), "-cafile", keys.ca.string()});
    EXPECT_EQ(changed.exitCode, 82);
    EXPECT_NE(changed.err.find("the signature is not valid"), std::string::npos) << changed.err;
    EXPECT_NE(changed.err.find("differs from its checksum file"), std::string::npos) << changed.err;
}

TEST_F(HalvexInspect, ARunThatCannotSignLeavesNothing)
{
    const SigningFixture keys(root / "keys");
    const fs::path wrongPassword = root / "wrong.txt";
    WriteBytes(wrongPassword, "not the password\n");
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::map<std::string, std::optional<std::string>> environment;
        const char* logLine;
        const char* error;
    } cases[] = {
        {"a wrong password",
         {"-signpkcs12", keys.pkcs12.string(), "-signpass", wrongPassword.string()},
         {},
         "osslsigncode: Failed to parse PKCS#12 file",
         ""},
        {"no osslsigncode",
         {"-signpkcs12", keys.pkcs12.string()},
         {{"PATH", (root / "no programs").string()}},
         "Signing option error: signing needs osslsigncode, which is not installed (Debian package osslsigncode)",
         "halvex: signing needs osslsigncode, which is not installed (Debian package osslsigncode)\n"},
        {"a PIN in the key's URI",
         {"-signcert", keys.certificate.string(), "-signkey", "pkcs11:token=t;object=k;pin-value=1234", "-signmodule",
          SigningFixture::kTokenModule},
         {},
         "Signing option error: the token's PIN never goes on the command line",
         ""},
        {"a certificate without its key",
         {"-signcert", keys.certificate.string()},
         {},
         "Signing option error: signing needs -signpkcs12 FILE",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChildOptions options;
        options.environment = c.environment;
        const ChildResult run = Run("unsigned.exe", c.options, options);
        EXPECT_EQ(run.exitCode, 82);
        EXPECT_TRUE(fs::is_empty(output)) << "nothing under the output name, no archive, no checksum";
        EXPECT_NE(LogText().find(c.logLine), std::string::npos) << LogText();
        if (*c.error) {
            EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        }
    }
}

TEST_F(HalvexInspect, CommandLineMistakes)
{
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {"-cafile"}, {"a.exe", "b.exe"}, {"-xml", "a.exe"}}) {
        const ChildResult result = Inspect(arguments);
        EXPECT_EQ(result.exitCode, 82);
        EXPECT_NE(result.err.find("usage: halvex-inspect"), std::string::npos);
    }
    const ChildResult help = Inspect({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: halvex-inspect", 0), 0u);
}

}  // namespace
