#include "packaging/SetupScript.h"

#include <cctype>
#include <cerrno>
#include <functional>
#include <iostream>
#include <regex>
#include <set>

#include "PackagingTestSupport.h"
#include "obfuscation/obscurity/Obfuscation.h"
#include "support/ChildRun.h"

#include <unistd.h>

namespace {

using namespace PackagingTest;

const std::string kHead = R"(Dim oArgs, oFSO, scriptArgs
Set oArgs = WScript.Arguments
Set oFSO = CreateObject("Scripting.FileSystemObject")

sSrcFolder = oFSO.GetParentFolderName(WScript.ScriptFullName)
sDstFolder = oFSO.GetSpecialFolder(2) + "\halvex_temp"

If oFSO.FileExists (sDstFolder + "\halvex.tmp") Then
  bStale = False
  On Error Resume Next
  sBoot = GetObject("winmgmts:\\.\root\cimv2").ExecQuery("Select LastBootUpTime From Win32_OperatingSystem").ItemIndex(0).LastBootUpTime
  bStale = oFSO.GetFile(sDstFolder + "\halvex.tmp").DateLastModified < DateSerial(Left(sBoot, 4), Mid(sBoot, 5, 2), Mid(sBoot, 7, 2)) + TimeSerial(Mid(sBoot, 9, 2), Mid(sBoot, 11, 2), Mid(sBoot, 13, 2))
  On Error GoTo 0
  If bStale Then oFSO.DeleteFile sDstFolder + "\halvex.tmp"
End If

If Not oFSO.FolderExists(sDstFolder) Then
  Set oTempFolder = oFSO.CreateFolder(sDstFolder)
  Set oTempFolder = Nothing
Else
  If Not oFSO.FileExists (sDstFolder + "\halvex.tmp") Then
    oFSO.DeleteFolder(sDstFolder)
    Set oTempFolder = oFSO.CreateFolder(sDstFolder)
)"
                          "\t"
                          R"(   Set oTempFolder = Nothing
  End If
End If

If oFSO.FileExists (sDstFolder + "\halvex.tmp") Then
  WSCript.Quit(1618)
Else
  Set oTempFile = oFSO.CreateTextFile(sDstFolder + "\halvex.tmp")
  oTempFile.WriteLine("halvex_temp")
  oTempFile.Close
End If

oFSO.CopyFolder sSrcFolder , sDstFolder

For Each listArg In oArgs
  scriptArgs = scriptArgs + Chr(32) + Chr(34) + listArg + Chr(34)
Next
scriptArgs = LTrim (scriptArgs)
If ( (Len(scriptArgs) Mod 2) = 0) Then
  ArgMiddle = Len(scriptArgs) \ 2
  ArgLeft = Left(scriptArgs, ArgMiddle) + Chr(34)
  ArgRight = Chr(34) + Right(scriptArgs, ArgMiddle)
  If (ArgLeft = ArgRight) Then
    scriptArgs = ArgLeft
  End If
End If

Set wshShell = WScript.CreateObject ("WSCript.shell")
)";

const std::string kTail = R"(
sDstFolder = oFSO.GetSpecialFolder(2) + "\halvex_temp"
oFSO.DeleteFile sDstFolder + "\halvex.tmp"
If (setupCode = 0 Or setupCode = 3010) And toolCode <> 0 Then setupCode = toolCode
WScript.Quit(setupCode)

)";

// The line that runs the suite's setup.
std::string SetupLineOf(const std::vector<std::string>& lines)
{
    for (const auto& line : lines)
        if (line.rfind("setupCode = ", 0) == 0)
            return line;
    ADD_FAILURE() << "no setup line";
    return {};
}

class SetupScript : public testing::Test {
protected:
    void SetUp() override
    {
        work = ScratchFolder() / "work folder";
        fs::create_directories(work);
    }

    // The script as written, with CR LF checked and turned into LF.
    std::string Write(const PackageOptions& options)
    {
        fs::remove(work / "setup.vbs");
        EXPECT_EQ(CSetupScript(options).WriteScript(work.wstring()), 0);
        std::string bytes = ReadBytes(work / "setup.vbs");
        std::string text;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
                ADD_FAILURE() << "bare line feed at " << i;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                continue;
            text += bytes[i];
        }
        return text;
    }

    // The setup line.
    std::string SetupLine(const PackageOptions& options) { return SetupLineOf(Lines(Write(options))); }

    fs::path work;
};

std::string Masked(const std::string& script)
{
    return std::regex_replace(script, std::regex(R"re((-opwd |" \+ Chr\(34\) \+ ")[A-Za-z0-9+/]{8,}={0,2})re"),
                              "$1<TOKEN>");
}

std::wstring Revealed(const std::string& token)
{
    std::wstring password;
    Obscurity::Obfuscation().reveal(token, password);
    return password;
}

// Evaluates the string expression of a `<code> = wshShell.run(<expression>,, true)` line as
// the script host would, with sDstFolder and scriptArgs standing for themselves.
std::string ClientCommand(const std::string& line)
{
    const std::string start = " = wshShell.run(";
    const std::size_t at = line.find(start);
    EXPECT_NE(at, std::string::npos) << line;
    if (at == std::string::npos)
        return {};
    std::size_t i = at + start.size();
    std::string result;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '+') {
            ++i;
        } else if (c == '"') {
            for (++i; i < line.size(); ++i) {
                if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"')
                    result += line[++i];
                else if (line[i] == '"')
                    break;
                else
                    result += line[i];
            }
            EXPECT_LT(i, line.size()) << "unterminated literal: " << line;
            ++i;
        } else if (line.compare(i, 4, "Chr(") == 0) {
            const std::size_t close = line.find(')', i);
            result += static_cast<char>(std::stoi(line.substr(i + 4, close - i - 4)));
            i = close + 1;
        } else if (line.compare(i, 8, ",, true)") == 0 && i + 8 == line.size()) {
            return result;
        } else {
            std::size_t end = i;
            while (end < line.size() && std::isalpha(static_cast<unsigned char>(line[end])))
                ++end;
            const std::string name = line.substr(i, end - i);
            EXPECT_TRUE(name == "sDstFolder" || name == "scriptArgs") << "code outside a literal: " << line.substr(i);
            if (end == i)
                return result;
            result += "<" + name + ">";
            i = end;
        }
    }
    ADD_FAILURE() << "no closing ,, true): " << line;
    return result;
}

TEST_F(SetupScript, UnmanagedScriptWithBothLocations)
{
    PackageOptions options;
    options.SetSilent(true);
    options.SetNonInteractive(true);
    options.SetPrimaryUpdateLocation(L"\\\\srv\\upd\\\\");
    options.SetPrimaryUserName(L"admin");
    options.SetPrimaryPassword(L"s3cret pw");
    options.SetUseSecondaryLocation(true);
    options.SetSecondaryUpdateLocation(L"http://mirror/upd");
    options.GetSetupParameters().emplace(L"/ncd", L"");
    options.GetSetupParameters().emplace(L"-login", L"");
    options.GetSetupParameters().emplace(L"-g", L"Sales Team");
    options.GetSetupParameters().emplace(L"-bexu", L"x");

    const std::string script = Write(options);
    EXPECT_EQ(
        Masked(script),
        kHead +
            R"(setupCode = wshShell.run(Chr(34) + sDstFolder + "\NORDAVIN\setup.exe" + Chr(34) + " -bexu R -s -ni -mng no -bexu x -g " + Chr(34) + "Sales Team" + Chr(34) + " -login" + Chr(32) + scriptArgs,, true)

WScript.Sleep 45000

runCode = wshShell.run(Chr(34) + sDstFolder + "\ConfigUpdate.exe" + Chr(34) + " " + Chr(34) + "\\srv\upd" + Chr(34) + " " + Chr(34) + "admin" + Chr(34) + " " + Chr(34) + "<TOKEN>" + Chr(34) + " " + Chr(34) + "0" + Chr(34),, true)
If runCode <> 0 And toolCode = 0 Then toolCode = runCode


WScript.Sleep 500

runCode = wshShell.run(Chr(34) + sDstFolder + "\ConfigUpdate.exe" + Chr(34) + " " + Chr(34) + "http://mirror/upd" + Chr(34) + " " + Chr(34) + "" + Chr(34) + " " + Chr(34) + "" + Chr(34) + " " + Chr(34) + "1" + Chr(34),, true)
If runCode <> 0 And toolCode = 0 Then toolCode = runCode


oFSO.DeleteFile sDstFolder + "\ConfigUpdate.exe"
)" + kTail);

    EXPECT_EQ(script.find("s3cret"), std::string::npos);
    std::smatch token;
    ASSERT_TRUE(std::regex_search(script, token, std::regex(R"re(Chr\(34\) \+ "([A-Za-z0-9+/]{8,}={0,2})")re")));
    EXPECT_EQ(Revealed(token[1]), L"s3cret pw");
}

TEST_F(SetupScript, ManagedScriptHasNoToolBlock)
{
    PackageOptions options;
    options.SetManaged(true);
    options.SetPrimaryUpdateLocation(L"\\\\srv\\upd");
    EXPECT_EQ(
        Write(options),
        kHead +
            R"(setupCode = wshShell.run(Chr(34) + sDstFolder + "\NORDAVIN\setup.exe" + Chr(34) + " -bexu R -mng yes" + Chr(32) + scriptArgs,, true))" +
            kTail);
}

TEST_F(SetupScript, SetupLineFollowsTheOptions)
{
    struct Case {
        const char* name;
        std::function<void(PackageOptions&)> set;
        std::string options;
        std::string afterSetupLine;
    };
    const std::string toolDeletion = "\n\noFSO.DeleteFile sDstFolder + \"\\ConfigUpdate.exe\"\n";
    const Case cases[] = {
        {"features",
         [](PackageOptions& o) {
             o.SetFirewall(true);
             o.SetPatch(true);
             o.SetManagementServerUrl(L"http://mgmt:8080/x");
             o.SetExploitPrevention(true);
         },
         " -bexu R -mng no -wofa -patch http://mgmt:8080/x -pexo", toolDeletion},
        {"components downloaded: credentials on the setup line, secondary tool line only",
         [](PackageOptions& o) {
             o.SetIncludeComponents(false);
             o.SetPrimaryUpdateLocation(L"\\\\srv\\u\\\\\\");
             o.SetPrimaryUserName(L"dom\\ad min");
             o.SetPrimaryPassword(L"pw");
             o.SetUseSecondaryLocation(true);
             o.SetSecondaryUpdateLocation(L"\\\\b\\u");
         },
         R"( -bexu R -mng no -updp " + Chr(34) + "\\srv\u\" + Chr(34) + " -user " + Chr(34) + "dom\ad min" + Chr(34) + " -opwd <TOKEN>)",
         "\n\nWScript.Sleep 45000\n\nrunCode = wshShell.run(Chr(34) + sDstFolder + \"\\ConfigUpdate.exe\" + Chr(34) + "
         "\" \" + "
         "Chr(34) + \"\\\\b\\u\" + Chr(34) + \" \" + Chr(34) + \"\" + Chr(34) + \" \" + Chr(34) + \"\" + Chr(34) + \" "
         "\" + "
         "Chr(34) + \"1\" + Chr(34),, true)\nIf runCode <> 0 And toolCode = 0 Then toolCode = runCode\n" +
             toolDeletion},
        {"components downloaded without a password or secondary location",
         [](PackageOptions& o) {
             o.SetIncludeComponents(false);
             o.SetPrimaryUpdateLocation(L"http://u");
         },
         R"( -bexu R -mng no -updp " + Chr(34) + "http://u" + Chr(34) + ")", toolDeletion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PackageOptions options;
        c.set(options);
        const std::string script = Masked(Write(options));
        const std::string prefix =
            "setupCode = wshShell.run(Chr(34) + sDstFolder + \"\\NORDAVIN\\setup.exe\" + Chr(34) + \"";
        const std::string suffix = "\" + Chr(32) + scriptArgs,, true)";
        const std::size_t start = script.find(prefix);
        const std::size_t end = script.find(suffix);
        ASSERT_NE(start, std::string::npos);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(script.substr(start + prefix.size(), end - start - prefix.size()), c.options);
        EXPECT_EQ(script.substr(end + suffix.size()), c.afterSetupLine + kTail);
    }
}

TEST_F(SetupScript, ValuesCannotEndTheLiteralAndReachTheClientAsTyped)
{
    const std::wstring hostile = L"x\" : CreateObject(\"WScript.Shell\").Run(\"calc\") : \"";
    PackageOptions options;
    options.SetPatch(true);
    options.SetManagementServerUrl(L"http://m/\"q\"");
    options.SetIncludeComponents(false);
    options.SetPrimaryUpdateLocation(L"\\\\srv\\\"u");
    options.SetPrimaryUserName(hostile);
    options.GetSetupParameters().emplace(L"-g", L"line\r\nbreak");
    options.GetSetupParameters().emplace(L"-x\"y", L"tab\there");

    const std::string script = Write(options);
    const auto lines = Lines(script);
    ASSERT_EQ(lines.size(), Lines(Write(PackageOptions())).size()) << "no value adds a line";
    EXPECT_EQ(
        ClientCommand(SetupLineOf(lines)),
        "\"<sDstFolder>\\NORDAVIN\\setup.exe\" -bexu R -mng no -patch http://m/\"q\" -updp \"\\\\srv\\\"u\" -user "
        "\"x\" : CreateObject(\"WScript.Shell\").Run(\"calc\") : \"\" -g line\r\nbreak -x\"y tab\there <scriptArgs>");
}

TEST_F(SetupScript, SetupCommandLengthIsTheClientsLineWithRoomForItsTemporaryFolder)
{
    const std::vector<std::function<void(PackageOptions&)>> cases = {
        [](PackageOptions&) {},
        [](PackageOptions& o) {
            o.SetSilent(true);
            o.SetPatch(true);
            o.SetManagementServerUrl(L"http://m/\"q\"");
            o.SetIncludeComponents(false);
            o.SetPrimaryUpdateLocation(L"\\\\srv\\\"u\\\\");
            o.SetPrimaryUserName(L"ann lee");
            o.SetPrimaryPassword(L"p\u00E4ss");
            o.GetSetupParameters().emplace(L"-g", L"line\r\nbreak \"quoted\"");
            o.GetSetupParameters().emplace(L"-x\"y", L"tab\there");
            o.GetSetupParameters().emplace(L"/ncd", L"");
        },
        [](PackageOptions& o) {
            o.SetManaged(true);
            o.GetSetupParameters().emplace(L"-group", std::wstring(40000, L'g'));
        },
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        PackageOptions options;
        cases[i](options);
        const std::string line = ClientCommand(SetupLineOf(Lines(Write(options))));
        // sDstFolder is the client's temporary folder (up to 260 characters) and "\halvex_temp".
        const std::size_t expected = line.size() - std::string("<sDstFolder>").size() + 260 +
                                     std::string("\\halvex_temp").size() - std::string("<scriptArgs>").size();
        EXPECT_EQ(CSetupScript(options).SetupCommandLength(), expected) << line.substr(0, 200);
    }
}

TEST_F(SetupScript, TextIsWindows1252)
{
    PackageOptions options;
    options.SetIncludeComponents(false);
    options.SetPrimaryUpdateLocation(L"\\\\srv\\upd");
    options.SetPrimaryUserName(L"J\u00FCrgen\u20AC\u4E2D");
    const std::string line = SetupLine(options);
    EXPECT_NE(line.find("-user J\xFCrgen\x80?\""), std::string::npos) << line;
}

TEST_F(SetupScript, AScriptThatCannotBeWrittenIsReportedAndNothingIsLeft)
{
    const fs::path elsewhere = ScratchFolder() / "elsewhere.txt";
    WriteBytes(elsewhere, "not the script");
    const fs::path full = ScratchFolder() / "full";
    struct Case {
        std::string what;
        fs::path folder;
        std::function<bool()> arrange;  // false: the case cannot be set up here
        int error;
    };
    const std::vector<Case> cases = {
        {"a link at the script's name", work,
         [&] {
             fs::create_symlink(elsewhere, work / "setup.vbs");
             return true;
         },
         EEXIST},
        {"a folder at the script's name", work,
         [&] {
             fs::create_directory(work / "setup.vbs");
             return true;
         },
         EEXIST},
        {"no work folder", ScratchFolder() / "gone", [] { return true; }, ENOENT},
        {"a full file system", full,
         [&] {
             fs::create_directories(full);
             if (::geteuid() != 0 ||
                 TestSupport::RunChild("/usr/bin/mount", {"-t", "tmpfs", "-o", "size=4k", "tmpfs", full.string()})
                         .exitCode != 0)
                 return false;
             WriteBytes(full / "filler", std::string(4096, 'f'));
             return true;
         },
         ENOSPC},
    };
    PackageOptions options;
    options.SetPrimaryUpdateLocation(L"\\\\srv\\upd");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.arrange()) {
            std::cout << "skipped, needs root to mount a file system: " << c.what << std::endl;
            continue;
        }
        const auto before = fs::exists(c.folder) ? Tree(c.folder) : std::set<std::string>{};
        EXPECT_EQ(CSetupScript(options).WriteScript(c.folder.wstring()), c.error);
        EXPECT_EQ(fs::exists(c.folder) ? Tree(c.folder) : std::set<std::string>{}, before);
        fs::remove_all(work / "setup.vbs");
    }
    TestSupport::RunChild("/usr/bin/umount", {full.string()});
    EXPECT_EQ(ReadBytes(elsewhere), "not the script");
}

}  // namespace
