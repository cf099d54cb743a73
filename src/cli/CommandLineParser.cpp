#include "cli/CommandLineParser.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "cli/InputChecks.h"
#include "cli/ProgramOptions.h"
#include "cli/SigningChecks.h"
#include "core/AsciiLowerCase.h"
#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "obfuscation/obscurity/Obfuscation.h"
#include "obfuscation/obscurity/SecurityException.h"
#include "platform/StandardStreams.h"
#include "platform/StringTable.h"
#include "platform/TextConversion.h"

namespace {

constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
// The option is written with an en dash in these texts.
const std::wstring kInvalidPassword = L"Option \u2013opwd is not a valid password.";
const std::wstring kPasswordAlphabet = L"\u2013opwd may only contain a-z, A-Z, 0-9, +, /, or =";
const std::wstring kMalformedToken = L"Option \u2013opwd is a malformed token: its layout does not hold together.";
constexpr const char* kInvalidPasswordError = "Option \xE2\x80\x93opwd is not a valid password.";

bool StartsWithSwitch(std::wstring_view token)
{
    return !token.empty() && (token.front() == L'-' || token.front() == L'/');
}

// The plain password behind an obscured -opwd token; an empty token stands for an empty
// password.
std::wstring RevealPassword(const std::wstring& token, CLogging& log)
{
    std::wstring password;
    if (token.empty())
        return password;
    try {
        const std::string narrow = Platform::NarrowHostText(token);
        if (narrow.find_first_not_of(kBase64Alphabet) != std::string::npos) {
            log << kInvalidPassword << kPasswordAlphabet << "\n";
            throw std::runtime_error(kInvalidPasswordError);
        }
        Obscurity::Obfuscation obfuscation;
        obfuscation.reveal(narrow, password);
    } catch (const std::runtime_error&) {
        log << kInvalidPassword << "\n";
        throw;
    } catch (const TolvarSecurity::SecurityException&) {
        // The password library's own failures are not runtime errors; the run still ends
        // at the caller's handler, but the log says why.
        log << kMalformedToken << "\n";
        throw;
    }
    return password;
}

// Recognised setup parameters that take a value.
void ApplyValueParameter(const std::wstring& name, const std::wstring& value, PackageOptions& options, CLogging& log)
{
    if (name == L"-user") {
        options.SetPrimaryUserName(value);
        log << "User option set" << "\n";
    } else if (name == L"-pwd") {
        options.SetPrimaryPassword(value);
        log << "Password option set" << "\n";
    } else if (name == L"-ouser") {
        log << "Found -ouser, ignoring parameter" << "\n";
    } else if (name == L"-opwd") {
        std::wstring password = RevealPassword(value, log);
        options.SetPrimaryPassword(password);
        std::fill(password.begin(), password.end(), L'\0');
        log << "Password option set" << "\n";
    } else if (name == L"-updp") {
        options.SetPrimaryUpdateLocation(value);
        log << "Update path option set" << "\n";
    } else if (name == L"-patch") {
        options.SetPatch(true);
        options.SetManagementServerUrl(value);
        log << "Patch option set" << "\n";
    } else if (name == L"-mng") {
        const std::wstring answer = AsciiLowerCase(value);
        options.SetManaged(answer == L"yes" || answer == L"ye" || answer == L"y");
        log << "KETT option found, package is" << (options.GetManaged() ? "managed" : "unmanaged") << "\n";
    } else {
        // -mngcfg, -g, -group, -bexu go to the suite's setup as they are.
        options.GetSetupParameters().emplace(name, value);
        log << "Found parameter: " << value << "\n";
    }
}

// Recognised setup parameters without a value.
void ApplyFlagParameter(const std::wstring& name, PackageOptions& options, CLogging& log)
{
    if (name == L"-wofa") {
        options.SetFirewall(true);
        log << "WOFA option set" << "\n";
    } else if (name == L"-pexo") {
        options.SetExploitPrevention(true);
        log << "Exploit Prevention option set" << "\n";
    } else if (name == L"-ni") {
        if (options.GetSilent()) {
            options.SetNonInteractive(false);
            log << "Non-interactive option overridden by silent option, ignoring -ni" << "\n";
        } else {
            options.SetNonInteractive(true);
            log << "Non-interactive option set" << "\n";
        }
    } else if (name == L"-s") {
        if (options.GetNonInteractive()) {
            options.SetNonInteractive(false);
            log << "Non-interactive option overridden by silent option" << "\n";
        }
        options.SetSilent(true);
        log << "Silent option set" << "\n";
    } else {
        // -login, -rlogin
        options.GetSetupParameters().emplace(name, std::wstring());
    }
}

// The program's own options; `value` holds nothing when a value-taking option ends the list.
void ApplyProgramOption(ProgramOptionId id, const std::optional<std::wstring>& value, PackageOptions& options,
                        CLogging& log)
{
    switch (id) {
    case ProgramOptionId::Cli:
        options.SetCommandLineMode(true);
        log << "Command line interface mode set" << "\n";
        break;
    case ProgramOptionId::CidPath:
        options.SetSourceFolder(value.value_or(std::wstring()));
        log << "Package source path set to: " << options.GetSourceFolder() << "\n";
        break;
    case ProgramOptionId::SfxPath:
        options.SetOutputPackage(value.value_or(std::wstring()));
        log << "Destination folder path set to: " << options.GetOutputPackage() << "\n";
        break;
    case ProgramOptionId::LorvOnly:
        options.SetIncludeComponents(false);
        log << "LORV only option set" << "\n";
        break;
    case ProgramOptionId::NoCheck:
        options.SetSkipChecks(true);
        log << "No check option set" << "\n";
        break;
    case ProgramOptionId::NoDetect:
        options.GetSetupParameters().emplace(L"/ncd", std::wstring());
        log << "Encryption competitor detection option set" << "\n";
        break;
    case ProgramOptionId::Arch:
        if (value) {
            const std::wstring architecture = AsciiLowerCase(*value);
            if (architecture == L"32bit")
                options.SetInclude64Bit(false);
            else if (architecture == L"64bit")
                options.SetInclude32Bit(false);
        }
        log << "Architecture set" << "\n";
        break;
    case ProgramOptionId::SignPkcs12:
        options.SetSignPkcs12(value.value_or(std::wstring()));
        log << "Signing PKCS#12 file set to:" << options.GetSignPkcs12() << "\n";
        break;
    case ProgramOptionId::SignCert:
        options.SetSignCertificate(value.value_or(std::wstring()));
        log << "Signing certificate set to:" << options.GetSignCertificate() << "\n";
        break;
    case ProgramOptionId::SignKey:
        options.SetSignKey(value.value_or(std::wstring()));
        log << "Signing key set to:" << options.GetSignKey() << "\n";
        break;
    case ProgramOptionId::SignModule:
        options.SetSignModule(value.value_or(std::wstring()));
        log << "Signing token module set to:" << options.GetSignModule() << "\n";
        break;
    case ProgramOptionId::SignPass:
        // Where the password comes from; the password itself is read later and never logged.
        options.SetSignPasswordSource(value.value_or(std::wstring()));
        log << "Signing password source set to:"
            << (options.GetSignPasswordSource() == L"-" ? std::wstring(L"standard input")
                                                        : options.GetSignPasswordSource())
            << "\n";
        break;
    case ProgramOptionId::Timestamp:
        options.SetTimestampUrl(value.value_or(std::wstring()));
        log << "Time-stamp server set to:" << options.GetTimestampUrl() << "\n";
        break;
    case ProgramOptionId::SignDesc:
        options.SetSignDescription(value.value_or(std::wstring()));
        log << "Signature description set to:" << options.GetSignDescription() << "\n";
        break;
    case ProgramOptionId::SignUrl:
        options.SetSignUrl(value.value_or(std::wstring()));
        log << "Signature URL set to:" << options.GetSignUrl() << "\n";
        break;
    }
}

}  // namespace

std::vector<std::string> SplitArguments(const std::string& text)
{
    std::vector<std::string> tokens;
    std::size_t position = 0;
    while ((position = text.find_first_not_of(" \t", position)) != std::string::npos) {
        if (text[position] == '"') {
            const std::size_t close = text.find('"', position + 1);
            if (close == std::string::npos) {
                tokens.push_back(text.substr(position + 1));
                break;
            }
            tokens.push_back(text.substr(position + 1, close - position - 1));
            position = close + 1;
        } else {
            const std::size_t blank = text.find_first_of(" \t", position);
            tokens.push_back(text.substr(position, blank - position));
            if (blank == std::string::npos)
                break;
            position = blank + 1;
        }
    }
    return tokens;
}

void ParseArguments(const std::string& text, PackageOptions& options, CLogging& log)
{
    ParseArguments(SplitArguments(text), options, log);
}

void ParseArguments(const std::vector<std::string>& tokens, PackageOptions& options, CLogging& log)
{
    log << "About to process argument list..." << "\n";
    const auto& known = options.GetKnownSetupParameters();
    const auto tokenAt = [&tokens](std::size_t i) { return Platform::WidenHostText(tokens[i]); };

    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::wstring name = AsciiLowerCase(tokenAt(i));
        const bool hasNext = i + 1 < tokens.size();

        if (const auto entry = known.find(name); entry != known.end()) {
            log << "Found argument: " << name << "\n";
            if (!entry->second)
                ApplyFlagParameter(name, options, log);
            else if (hasNext)
                ApplyValueParameter(name, tokenAt(++i), options, log);
            else
                ++i;
        } else if (const ProgramOption* option = FindProgramOption(name)) {
            const std::optional<std::wstring> value =
                option->takesValue && hasNext ? std::optional(tokenAt(++i)) : std::nullopt;
            ApplyProgramOption(option->id, value, options, log);
        } else if (StartsWithSwitch(name)) {
            log << "Unknown argument " << name << " found. Using it anyway" << "\n";
            std::wstring value;
            if (hasNext && !tokens[i + 1].starts_with('-')) {
                value = tokenAt(++i);
                log << "Found parameter: " << value << "\n";
            }
            options.GetSetupParameters().emplace(name, value);
        }
    }
}

CommandLineParser::CommandLineParser(const std::vector<std::string>& arguments, PackageOptions& options)
    : log(GetLogging()),
      valid(true)
{
    ParseArguments(arguments, options, log);
    if (!options.GetInclude32Bit() && !options.GetInclude64Bit()) {
        options.SetInclude32Bit(true);
        options.SetInclude64Bit(true);
    }
    RunConstructionChecks(options);
}

void CommandLineParser::RunConstructionChecks(PackageOptions& options)
{
    if (options.GetSkipChecks())
        return;
    if (!CheckSourceFolder(options.GetSourceFolder(), log))
        valid = false;
    if (IsExistingFolder(options.GetOutputPackage()) || NamesFolder(options.GetOutputPackage()))
        options.SetOutputIsFolder(true);
    if (!CheckOutputPackage(options.GetOutputPackage(), options.GetOutputIsFolder(), log))
        valid = false;
}

void CommandLineParser::Validate(PackageOptions& options)
{
    if (!options.GetSkipChecks())
        ValidatePackageInput(options);
    // A signing request is checked even with -nocheck: it names what runs with the key.
    // The password is read only when everything else holds.
    if (!options.GetSigning())
        return;
    auto problem = CheckSigningOptions(options);
    if (!problem && valid)
        problem = ReadSigningPassword(options);
    if (problem) {
        log << "Signing option error:" << *problem << "\n";
        Platform::WriteStandardErrorLine(L"halvex: " + *problem);
        valid = false;
    }
}

void CommandLineParser::ValidatePackageInput(PackageOptions& options)
{
    // Every group runs, so one run puts every problem in the log.
    const auto refuse = [this](const std::optional<InputProblem>& problem) {
        if (!problem)
            return;
        if (const auto message = Platform::LoadFormattedString(problem->text, problem->value))
            log << *message << "\n";
        valid = false;
    };
    refuse(CheckSourceInput(options.GetSourceFolder(), log));
    refuse(CheckOutputInput(options, log));
    if (options.GetPatch())
        refuse(CheckServerInput(options.GetManagementServerUrl(), log));
    refuse(CheckPrimaryInput(options.GetPrimaryUpdateLocation(), true, log));
}

bool CommandLineParser::IsValid() const
{
    return valid;
}
