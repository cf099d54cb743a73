#include "packaging/SetupScript.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string_view>

#include "core/PackageNames.h"
#include "obfuscation/obscurity/Obfuscation.h"
#include "platform/BuildTime.h"
#include "platform/NewFile.h"
#include "platform/TextConversion.h"

namespace {

// Closes the script's string literal, inserts a double quote through Chr(34) and
// reopens the literal: the client's command line receives one double quote.
constexpr const wchar_t* kQuote = L"\" + Chr(34) + \"";

// The line that names the folder the package unpacks into on the client.
std::wstring DestinationLine()
{
    return std::wstring(L"sDstFolder = oFSO.GetSpecialFolder(2) + \"\\") + kClientFolderName.wide + L"\"\n";
}

std::wstring ScriptPath(const std::wstring& workFolder)
{
    return workFolder + L"/" + kSetupScriptName.wide;
}

// Up to the destination line.
constexpr const wchar_t* kHead =
    L"Dim oArgs, oFSO, scriptArgs\n"
    L"Set oArgs = WScript.Arguments\n"
    L"Set oFSO = CreateObject(\"Scripting.FileSystemObject\")\n"
    L"\n"
    L"sSrcFolder = oFSO.GetParentFolderName(WScript.ScriptFullName)\n";

// Between the destination line and the client folder's name, which the marker file holds.
constexpr const wchar_t* kHeadMarker =
    L"\n"
    // A marker written before the client last started belongs to a run that a restart
    // ended: it blocks nothing. Without the start time the marker is kept.
    L"If oFSO.FileExists (sDstFolder + \"\\halvex.tmp\") Then\n"
    L"  bStale = False\n"
    L"  On Error Resume Next\n"
    L"  sBoot = GetObject(\"winmgmts:\\\\.\\root\\cimv2\").ExecQuery(\"Select LastBootUpTime From "
    L"Win32_OperatingSystem\").ItemIndex(0).LastBootUpTime\n"
    L"  bStale = oFSO.GetFile(sDstFolder + \"\\halvex.tmp\").DateLastModified < DateSerial(Left(sBoot, 4), "
    L"Mid(sBoot, 5, 2), Mid(sBoot, 7, 2)) + TimeSerial(Mid(sBoot, 9, 2), Mid(sBoot, 11, 2), Mid(sBoot, 13, 2))\n"
    L"  On Error GoTo 0\n"
    L"  If bStale Then oFSO.DeleteFile sDstFolder + \"\\halvex.tmp\"\n"
    L"End If\n"
    L"\n"
    L"If Not oFSO.FolderExists(sDstFolder) Then\n"
    L"  Set oTempFolder = oFSO.CreateFolder(sDstFolder)\n"
    L"  Set oTempFolder = Nothing\n"
    L"Else\n"
    L"  If Not oFSO.FileExists (sDstFolder + \"\\halvex.tmp\") Then\n"
    L"    oFSO.DeleteFolder(sDstFolder)\n"
    L"    Set oTempFolder = oFSO.CreateFolder(sDstFolder)\n"
    L"\t   Set oTempFolder = Nothing\n"
    L"  End If\n"
    L"End If\n"
    L"\n"
    L"If oFSO.FileExists (sDstFolder + \"\\halvex.tmp\") Then\n"
    // 1618: another installation is already in progress.
    L"  WSCript.Quit(1618)\n"
    L"Else\n"
    L"  Set oTempFile = oFSO.CreateTextFile(sDstFolder + \"\\halvex.tmp\")\n"
    L"  oTempFile.WriteLine(\"";

// After the marker's text: the setup line up to its options.
constexpr const wchar_t* kHeadSetup =
    L"\")\n"
    L"  oTempFile.Close\n"
    L"End If\n"
    L"\n"
    L"oFSO.CopyFolder sSrcFolder , sDstFolder\n"
    L"\n"
    L"For Each listArg In oArgs\n"
    L"  scriptArgs = scriptArgs + Chr(32) + Chr(34) + listArg + Chr(34)\n"
    L"Next\n"
    L"scriptArgs = LTrim (scriptArgs)\n"
    L"If ( (Len(scriptArgs) Mod 2) = 0) Then\n"
    L"  ArgMiddle = Len(scriptArgs) \\ 2\n"
    L"  ArgLeft = Left(scriptArgs, ArgMiddle) + Chr(34)\n"
    L"  ArgRight = Chr(34) + Right(scriptArgs, ArgMiddle)\n"
    L"  If (ArgLeft = ArgRight) Then\n"
    L"    scriptArgs = ArgLeft\n"
    L"  End If\n"
    L"End If\n"
    L"\n"
    L"Set wshShell = WScript.CreateObject (\"WSCript.shell\")\n"
    // The path in quotes: the client's temporary folder may hold a blank. Setup's exit code
    // becomes the script's.
    L"setupCode = wshShell.run(Chr(34) + sDstFolder + \"\\NORDAVIN\\setup.exe\" + Chr(34) + \"";

// Closes the setup line after its options: the script's own arguments follow.
constexpr const wchar_t* kSetupLineEnd = L"\" + Chr(32) + scriptArgs,, true)";

// After a blank line and the destination line again.
constexpr const wchar_t* kTail =
    L"oFSO.DeleteFile sDstFolder + \"\\halvex.tmp\"\n"
    // A failed configuration after a successful setup (3010: a restart is needed) is the
    // package's result.
    L"If (setupCode = 0 Or setupCode = 3010) And toolCode <> 0 Then setupCode = toolCode\n"
    L"WScript.Quit(setupCode)\n\n";

// A user value as the inside of a VBScript string literal: a double quote is doubled
// and a control character is spliced in with Chr(n), so no value can end the literal
// or the line, and the client's command line receives it exactly as typed.
std::wstring Literal(const std::wstring& value)
{
    std::wstring text;
    for (const wchar_t c : value) {
        if (c == L'"')
            text += L"\"\"";
        else if (c < 0x20 || c == 0x7F)
            text += L"\" + Chr(" + std::to_wstring(static_cast<int>(c)) + L") + \"";
        else
            text += c;
    }
    return text;
}

std::wstring ObscuredToken(const std::wstring& password)
{
    std::string token;
    {
        Obscurity::Obfuscation obfuscation;
        obfuscation.obscure(password, token);
    }
    std::erase_if(token, [](char c) { return c == '\n' || c == '\r' || c == '\t' || c == ' '; });
    return Platform::WidenHostText(token);
}

// One value of the setup line, after its space: in quotes when it holds a blank, so it
// reaches setup as one argument.
std::wstring SetupValue(const std::wstring& value)
{
    if (value.find(L' ') != std::wstring::npos)
        return std::wstring(L" ") + kQuote + Literal(value) + kQuote;
    return L" " + Literal(value);
}

void DropTrailingBackslash(std::wstring& text)
{
    if (!text.empty() && text.back() == L'\\')
        text.pop_back();
}

}  // namespace

CSetupScript::CSetupScript(const PackageOptions& options) : options(options)
{}

int CSetupScript::WriteScript(const std::wstring& workFolder)
{
    std::wstring location = options.GetPrimaryUpdateLocation();
    DropTrailingBackslash(location);
    options.SetPrimaryUpdateLocation(location);

    std::wstring script = kHead + DestinationLine() + kHeadMarker + kClientFolderName.wide + kHeadSetup;
    AppendSetupOptions(script);
    script += L"\n" + DestinationLine() + kTail;

    // The client's script host reads Windows-1252 with CR LF line ends.
    std::wstring windowsText;
    for (const wchar_t c : script) {
        if (c == L'\n')
            windowsText += L'\r';
        windowsText += c;
    }
    int error = 0;
    try {
        error = Platform::WriteNewFile(ScriptPath(workFolder), Platform::ToWindows1252(windowsText));
    } catch (const std::exception& thrown) {
        std::cout << "Error" << thrown.what() << std::endl;
        return EIO;
    }
    // The script carries the build's time, not the moment it was written: two builds of
    // one CID with one SOURCE_DATE_EPOCH give the same package.
    if (error == 0 && (error = Platform::StampWithBuildTime(ScriptPath(workFolder))) != 0)
        std::remove(Platform::NarrowHostText(ScriptPath(workFolder)).c_str());
    return error;
}

std::size_t CSetupScript::SetupCommandLength() const
{
    CSetupScript composer(*this);
    std::wstring location = composer.options.GetPrimaryUpdateLocation();
    DropTrailingBackslash(location);
    composer.options.SetPrimaryUpdateLocation(location);
    std::wstring line;
    composer.AppendSetupOptions(line);
    // The setup line is the first line; its closing text follows the options.
    line.resize(std::min(line.find(L'\n'), line.size()) - std::wstring_view(kSetupLineEnd).size());

    // The options sit inside a VBScript string literal: "" stands for one quote, and
    // a closed literal is continued by " + Chr(n) + ", which stands for one character.
    std::size_t length = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == L'"') {
            if (i + 1 < line.size() && line[i + 1] == L'"') {
                ++i;
            } else {
                i = line.find(L'"', i + 1);
                if (i == std::wstring::npos)
                    break;
            }
        }
        ++length;
    }
    // A client's temporary folder path holds up to MAX_PATH (260) characters; the space
    // before the script's own arguments closes the line.
    constexpr std::size_t kTemporaryFolderRoom = 260;
    const std::wstring setup = std::wstring(L"\"\\") + kClientFolderName.wide + L"\\NORDAVIN\\setup.exe\"";
    return kTemporaryFolderRoom + setup.size() + length + 1;
}

void CSetupScript::AppendSetupOptions(std::wstring& script)
{
    std::wstring primaryLocation = options.GetPrimaryUpdateLocation();
    DropTrailingBackslash(primaryLocation);
    options.SetPrimaryUpdateLocation(primaryLocation);

    script += L" -bexu R";
    if (options.GetSilent())
        script += L" -s";
    if (options.GetNonInteractive())
        script += L" -ni";
    script += options.GetManaged() ? L" -mng yes" : L" -mng no";
    if (options.GetFirewall())
        script += L" -wofa";
    if (options.GetPatch())
        script += L" -patch" + SetupValue(options.GetManagementServerUrl());
    if (options.GetExploitPrevention())
        script += L" -pexo";
    if (!options.GetIncludeComponents()) {
        if (!primaryLocation.empty())
            script += std::wstring(L" -updp ") + kQuote + Literal(primaryLocation) + kQuote;
        if (!options.GetPrimaryUserName().empty())
            script += L" -user" + SetupValue(options.GetPrimaryUserName());
        if (!options.GetPrimaryPassword().empty())
            script += L" -opwd " + ObscuredToken(options.GetPrimaryPassword());
    }
    for (const auto& [name, value] : options.GetSetupParameters()) {
        if (name.empty() || name.front() != L'-')
            continue;
        script += L" " + Literal(name);
        if (!value.empty())
            script += SetupValue(value);
    }
    script += kSetupLineEnd;

    if (options.GetManaged())
        return;
    if (options.GetIncludeComponents() && !primaryLocation.empty()) {
        script += L"\n\nWScript.Sleep 45000";
        script +=
            ConfigUpdateCommand(primaryLocation, options.GetPrimaryUserName(), options.GetPrimaryPassword(), L"0");
        if (options.GetUseSecondaryLocation()) {
            script += L"\n\nWScript.Sleep 500";
            script += ConfigUpdateCommand(options.GetSecondaryUpdateLocation(), options.GetSecondaryUserName(),
                                          options.GetSecondaryPassword(), L"1");
        }
    } else if (!options.GetIncludeComponents() && !primaryLocation.empty() && options.GetUseSecondaryLocation()) {
        script += L"\n\nWScript.Sleep 45000";
        script += ConfigUpdateCommand(options.GetSecondaryUpdateLocation(), options.GetSecondaryUserName(),
                                      options.GetSecondaryPassword(), L"1");
    }
    script += L"\n\noFSO.DeleteFile sDstFolder + \"\\ConfigUpdate.exe\"\n";
}

std::wstring CSetupScript::ConfigUpdateCommand(const std::wstring& location, const std::wstring& userName,
                                               const std::wstring& password, const std::wstring& index)
{
    const std::wstring token = password.empty() ? std::wstring() : ObscuredToken(password);
    // The path in quotes, as on the setup line; the first failure is kept for the script's end.
    return std::wstring(L"\n\nrunCode = wshShell.run(Chr(34) + sDstFolder + \"\\ConfigUpdate.exe\" + Chr(34) + \" ") +
           kQuote + Literal(location) + kQuote + L" " + kQuote + Literal(userName) + kQuote + L" " + kQuote + token +
           kQuote + L" " + kQuote + index + L"\" + Chr(34),, true)\n" +
           L"If runCode <> 0 And toolCode = 0 Then toolCode = runCode\n";
}
