#include "inspect/PackageInspection.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <thread>

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "core/PackageNames.h"
#include "inspect/SetupScriptReading.h"
#include "inspect/SfxConfigReading.h"
#include "packaging/AdminFiles.h"
#include "packaging/AuthenticodeSignature.h"
#include "packaging/Sha256.h"
#include "platform/ChildProcess.h"
#include "platform/ProgramSearch.h"
#include "platform/TextConversion.h"

namespace fs = boost::filesystem;

namespace {

constexpr std::string_view kConfigStart = ";!@Install@!UTF-8!";
constexpr std::string_view kConfigEnd = ";!@InstallEnd@!";
// The configuration this program writes is a few lines; the module ahead of it a few
// hundred KiB. Anything far larger is not ours and is not read into memory.
constexpr std::uint64_t kMaxConfigSize = 64 << 10;
constexpr std::uint64_t kMaxModuleSize = 64 << 20;
// What the archiver may print about a package before its listing is refused as not ours.
constexpr std::size_t kMaxEntries = 1 << 20;

struct Entry {
    std::string path;
    std::uint64_t size = 0;
    bool folder = false;
};

struct Listing {
    std::uint64_t offset = 0;
    std::uint64_t tailSize = 0;
    std::vector<Entry> entries;
};

struct Ran {
    int code = 0;
    std::string output;
    std::string errors;
};

Ran RunToEnd(const std::vector<std::wstring>& arguments, const std::wstring& folder)
{
    Platform::ChildProcess child(arguments, folder);
    Ran ran;
    if ((ran.code = child.StartError()) != 0)
        return ran;
    std::optional<int> code;
    while (!(code = child.Poll()))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ran.code = *code;
    ran.output = child.Output();
    ran.errors = child.ErrorOutput();
    return ran;
}

std::string FirstLine(const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos)
            return line.substr(line.find_first_not_of(" \t"));
    }
    return std::string();
}

std::optional<std::uint64_t> Number(std::string_view text)
{
    std::uint64_t value = 0;
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// The archive's place in the file (the lines before "----------") and its entries.
std::optional<Listing> ReadListing(const std::string& text)
{
    Listing listing;
    std::istringstream lines(text);
    bool inEntries = false;
    Entry entry;
    bool haveEntry = false;
    const auto finish = [&] {
        if (haveEntry)
            listing.entries.push_back(entry);
        entry = Entry();
        haveEntry = false;
    };
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "----------") {
            inEntries = true;
            continue;
        }
        const auto equals = line.find(" = ");
        const std::string key = equals == std::string::npos ? line : line.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 3);
        if (!inEntries) {
            if (key == "Offset")
                listing.offset = Number(value).value_or(0);
            else if (key == "Tail Size")
                listing.tailSize = Number(value).value_or(0);
            continue;
        }
        if (key == "Path") {
            finish();
            if (listing.entries.size() >= kMaxEntries)
                return std::nullopt;
            entry.path = value;
            haveEntry = true;
        } else if (key == "Size") {
            entry.size = Number(value).value_or(0);
        } else if (key == "Folder") {
            entry.folder = entry.folder || value == "+";
        } else if (key == "Attributes") {
            entry.folder = entry.folder || value.starts_with("D");
        }
    }
    finish();
    return listing;
}

std::string ReadRange(std::ifstream& in, std::uint64_t from, std::uint64_t size)
{
    std::string bytes(size, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(from));
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// SHA-256 of the first `size` bytes of the file (all of it when `size` is empty).
std::optional<std::string> HashFile(const std::wstring& path, std::optional<std::uint64_t> size = std::nullopt)
{
    std::ifstream in(Platform::NarrowHostText(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    Sha256 digest;
    std::string buffer(1 << 20, '\0');
    std::uint64_t left = size.value_or(UINT64_MAX);
    while (left > 0 && in) {
        in.read(buffer.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(buffer.size(), left)));
        const auto got = static_cast<std::uint64_t>(in.gcount());
        if (got == 0)
            break;
        digest.Update(std::string_view(buffer.data(), got));
        left -= std::min(left, got);
    }
    if (in.bad())
        return std::nullopt;
    return digest.HexDigest();
}

struct ComponentName {
    std::string_view folder;
    std::string_view name;
    std::string_view architecture;
};

constexpr std::array<ComponentName, 16> kComponents = {{
    {"lorv", "Veskor AutoUpdate", ""},
    {"bexu", "Veskor Competitor Removal Tool", ""},
    {"dimbel", "Standalone BEXU (Competitor Removal Tool)", ""},
    {"torqel", "Veskor Anti-Virus", ""},
    {"ynda", "Endpoint defence add-on", "32-bit"},
    {"ynda64", "Endpoint defence add-on", "64-bit"},
    {"gulv", "Veskor Patch Agent", "32-bit"},
    {"gulv64", "Veskor Patch Agent", "64-bit"},
    {"kett", "Veskor Remote Messaging System", ""},
    {"wofa", "Veskor Client Firewall", ""},
    {"zimr", "Veskor Malicious Traffic Detection", "32-bit"},
    {"zimr64", "Veskor Malicious Traffic Detection", "64-bit"},
    {"pexo", "Exploit Prevention", "32-bit"},
    {"vanto", "Exploit Prevention", "32-bit"},
    {"pexo64", "Exploit Prevention", "64-bit"},
    {"vanto64", "Exploit Prevention", "64-bit"},
}};

std::string Lower(std::string text)
{
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Each folder below the CID's folder and below KELDWIN, with its files; the
// architectures follow from the architecture-specific components found.
void CountComponents(const Listing& listing, PackageReport& report)
{
    std::map<std::string, ComponentContents> found;
    for (const auto& entry : listing.entries) {
        if (!entry.folder) {
            ++report.files;
            report.bytes += entry.size;
        }
        const auto first = entry.path.find('/');
        if (first == std::string::npos)
            continue;
        const auto second = entry.path.find('/', first + 1);
        const std::string folder = entry.path.substr(0, second);
        const std::string name = folder.substr(first + 1);
        const bool exploitPrevention = entry.path.substr(0, first) == kExploitPreventionFolderName.narrow;
        const auto known = std::ranges::find_if(kComponents, [&](const ComponentName& component) {
            return component.folder == Lower(name) && (exploitPrevention == component.name.starts_with("Exploit"));
        });
        if (second == std::string::npos && !entry.folder)
            continue;  // a file of the CID's top folder
        auto& component = found[folder];
        component.folder = folder;
        component.name = known != kComponents.end() ? std::string(known->name) : "not a component of the suite";
        component.architecture = known != kComponents.end() ? std::string(known->architecture) : "";
        if (!entry.folder) {
            ++component.files;
            component.bytes += entry.size;
        }
    }
    for (auto& [folder, component] : found) {
        // Exploit prevention carries both of its variants whatever the architecture choice.
        if (!component.architecture.empty() &&
            !folder.starts_with(std::string(kExploitPreventionFolderName.narrow) + "/") &&
            std::ranges::find(report.architectures, component.architecture) == report.architectures.end())
            report.architectures.push_back(component.architecture);
        report.components.push_back(std::move(component));
    }
    std::ranges::sort(report.architectures);
}

const std::map<std::string, std::string>& SwitchMeanings()
{
    static const std::map<std::string, std::string> meanings = {
        {"-bexu", "competitor removal tool setting"},
        {"-s", "silent: setup shows nothing and asks nothing"},
        {"-ni", "non-interactive: setup shows its progress and asks nothing"},
        {"-wofa", "installs the client firewall"},
        {"-patch", "installs the patch agent; its management server"},
        {"-pexo", "installs exploit prevention"},
        {"-updp", "primary update location: AutoUpdate downloads the components from there"},
        {"-user", "user name for the primary update location"},
        {"-opwd", "password for the primary update location, as an obscured token"},
        {"-mngcfg", "management configuration"},
        {"-g", "group on the management server"},
        {"-group", "group on the management server"},
        {"-login", "passed on to setup"},
        {"-rlogin", "passed on to setup"},
    };
    return meanings;
}

bool TakesValue(const std::string& name)
{
    static const std::array<std::string_view, 9> withValue = {"-bexu", "-mng",    "-patch", "-updp", "-user",
                                                              "-opwd", "-mngcfg", "-g",     "-group"};
    return std::ranges::find(withValue, name) != withValue.end();
}

std::string Joined(const std::vector<std::string>& words)
{
    std::string line;
    for (const auto& word : words) {
        if (!line.empty())
            line += ' ';
        line += word.find_first_of(" \t") != std::string::npos || word.empty() ? "\"" + word + "\"" : word;
    }
    return line;
}

// The switches of the setup run, each with what it asks of setup.
void ReadSetupRun(const ScriptRun& run, PackageReport& report)
{
    std::vector<std::string> shown{run.program};
    UpdateLocation primary{"primary", "", "", false, "setup"};
    const auto& words = run.arguments;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string name = Lower(words[i]);
        std::optional<std::string> value;
        if (TakesValue(name) && i + 1 < words.size())
            value = words[++i];
        else if (!TakesValue(name) && (name.starts_with('-') || name.starts_with('/')) && i + 1 < words.size() &&
                 !words[i + 1].starts_with('-') && !SwitchMeanings().count(name))
            value = words[++i];
        std::string meaning;
        std::string shownValue = value.value_or("");
        if (name == "-mng") {
            report.managed = Lower(shownValue) == "yes";
            meaning = report.managed ? "managed by the remote management system" : "unmanaged";
        } else if (name == "-patch") {
            report.managementServer = shownValue;
            meaning = SwitchMeanings().at(name);
        } else if (name == "-updp") {
            primary.location = shownValue;
            meaning = SwitchMeanings().at(name);
        } else if (name == "-user") {
            primary.userName = shownValue;
            meaning = SwitchMeanings().at(name);
        } else if (name == "-opwd") {
            primary.passwordSet = !shownValue.empty();
            shownValue = "set";
            meaning = SwitchMeanings().at(name);
        } else if (const auto known = SwitchMeanings().find(name); known != SwitchMeanings().end()) {
            meaning = known->second;
        } else {
            meaning = "passed on to setup as given";
        }
        SetupSwitch setupSwitch{words[i - (value ? 1 : 0)], meaning};
        shown.push_back(setupSwitch.text);
        if (value) {
            setupSwitch.text +=
                " " + (shownValue.find(' ') != std::string::npos ? "\"" + shownValue + "\"" : shownValue);
            shown.push_back(shownValue);
        }
        report.setupSwitches.push_back(std::move(setupSwitch));
    }
    report.setupCommandLine = Joined(shown);
    report.passesPackageArguments = run.passesPackageArguments;
    if (run.passesPackageArguments)
        report.setupCommandLine += " [the package's own arguments]";
    if (!primary.location.empty() || !primary.userName.empty() || primary.passwordSet)
        report.updateLocations.push_back(std::move(primary));
}

std::string ReadConfigToolRun(const ScriptRun& run, PackageReport& report)
{
    if (run.arguments.size() != 4 || (run.arguments[3] != "0" && run.arguments[3] != "1"))
        return "the setup script runs ConfigUpdate.exe with arguments this program never writes";
    report.updateLocations.push_back({run.arguments[3] == "0" ? "primary" : "secondary", run.arguments[0],
                                      run.arguments[1], !run.arguments[2].empty(), "ConfigUpdate.exe"});
    return std::string();
}

// What each way out of the script returns to whoever started the package.
void ReadExitCodes(const ScriptFacts& facts, PackageReport& report)
{
    std::map<std::string, std::string> sources;
    for (const auto& run : facts.runs)
        if (!run.resultVariable.empty())
            sources[run.resultVariable] = run.program.ends_with("\\ConfigUpdate.exe") ? "ConfigUpdate.exe" : "setup";
    bool zero = false;
    for (const auto& quit : facts.quits) {
        ExitCodeMeaning meaning;
        if (quit.code) {
            meaning.code = std::to_string(*quit.code);
            if (*quit.code == 0) {
                zero = true;
                meaning.meaning = "another run of a package was already in progress on the client; nothing was run";
            } else if (*quit.code == 1618) {
                meaning.meaning =
                    "another run of a package is in progress on the client (the installer's "
                    "\"another installation is already in progress\"); nothing was run";
            } else {
                meaning.meaning = "the script ended early";
            }
        } else {
            const auto source = sources.find(quit.variable);
            meaning.code = source != sources.end() ? source->second + "'s exit code" : "the value of " + quit.variable;
            meaning.meaning = source == sources.end() ? "set by the script"
                              : source->second == "setup"
                                  ? "passed on from the suite's setup: 0 installed, 3010 installed and a restart is "
                                    "needed, anything else failed"
                                  : "passed on from ConfigUpdate.exe when setup succeeded and the tool failed";
        }
        if (std::ranges::none_of(report.exitCodes,
                                 [&](const ExitCodeMeaning& known) { return known.code == meaning.code; }))
            report.exitCodes.push_back(std::move(meaning));
    }
    // A script that runs to its end returns 0 whatever setup returned.
    if (std::ranges::none_of(facts.quits, [](const ScriptQuit& quit) { return !quit.code; })) {
        if (zero)
            std::erase_if(report.exitCodes, [](const ExitCodeMeaning& known) { return known.code == "0"; });
        report.exitCodes.insert(report.exitCodes.begin(),
                                {"0", zero ? "always: whatever setup returned, and also when another run of a package "
                                             "was in progress on the client and nothing was run"
                                           : "always: whatever setup returned"});
    }
}

void CheckChecksumFile(PackageReport& report, const std::wstring& package)
{
    const std::wstring path = package + L".sha256";
    report.checksumFile = Platform::NarrowHostText(path);
    boost::system::error_code error;
    if (!fs::exists(path, error)) {
        report.checksumState = "absent";
        return;
    }
    std::ifstream in(Platform::NarrowHostText(path), std::ios::binary);
    std::string line(256, '\0');
    in.read(line.data(), static_cast<std::streamsize>(line.size()));
    line.resize(static_cast<std::size_t>(in.gcount()));
    const std::string digest = Lower(line.substr(0, std::min(line.find_first_of(" \t\r\n"), line.size())));
    if (digest.size() != 64 || digest.find_first_not_of("0123456789abcdef") != std::string::npos) {
        report.checksumState = "unreadable";
        report.problems.push_back("the checksum file " + report.checksumFile + " holds no SHA-256");
        return;
    }
    report.checksumState = digest == report.sha256 ? "matches" : "differs";
    if (digest != report.sha256)
        report.problems.push_back("the package's SHA-256 differs from its checksum file " + report.checksumFile);
}

std::string VerifierReason(const Ran& ran)
{
    // osslsigncode names the failed check among its lines; the first error line says why.
    std::istringstream lines(ran.errors + "\n" + ran.output);
    std::string fallback;
    for (std::string line; std::getline(lines, line);) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        line = line.substr(start);
        if (line.find("error") != std::string::npos || line.find("mismatch") != std::string::npos ||
            line.find("MISMATCH") != std::string::npos)
            return line;
        if (fallback.empty() && line.find("failed") != std::string::npos)
            fallback = line;
    }
    return fallback.empty() ? "osslsigncode verify ended with exit code " + std::to_string(ran.code) : fallback;
}

void CheckSignature(PackageReport& report, const InspectionSettings& settings)
{
    const SignerReading signer = ReadSigner(settings.package);
    if (signer.isUnsigned)
        return;
    if (!signer.signer) {
        report.signature.state = "invalid";
        report.signature.reason = signer.problem;
        report.problems.push_back("the signature is not valid: " + signer.problem);
        return;
    }
    report.signature.signer = signer.signer->subject;
    report.signature.issuer = signer.signer->issuer;
    const auto verifier = Platform::FindProgramOnPath(L"osslsigncode");
    if (!verifier) {
        report.signature.state = "unchecked";
        report.signature.reason = "osslsigncode is not installed (Debian package osslsigncode)";
        report.problems.push_back("the signature cannot be checked: " + report.signature.reason);
        return;
    }
    std::vector<std::wstring> arguments{*verifier, L"verify", L"-in", settings.package};
    if (!settings.caFile.empty())
        arguments.insert(arguments.end(), {L"-CAfile", settings.caFile, L"-TSA-CAfile", settings.caFile});
    const Ran ran = RunToEnd(arguments, L"");
    report.signature.timeStamp = VerifiedTimeStamp(ran.output);
    if (ran.code == 0 && ran.output.find("Signature verification: ok") != std::string::npos) {
        report.signature.state = "valid";
        return;
    }
    report.signature.state = "invalid";
    report.signature.reason = VerifierReason(ran);
    report.problems.push_back("the signature is not valid: " + report.signature.reason);
}

void CompareModule(PackageReport& report, std::ifstream& in, const InspectionSettings& settings)
{
    report.moduleInstalled = "unknown";
    for (const auto& place : InstallerModulePlaces(settings.programFolder)) {
        boost::system::error_code error;
        if (!fs::is_regular_file(place, error))
            continue;
        report.installedModulePath = Platform::NarrowHostText(place);
        const auto size = fs::file_size(place, error);
        if (error || size != report.moduleSize || size > kMaxModuleSize) {
            report.moduleInstalled = "no";
            return;
        }
        std::ifstream installed(Platform::NarrowHostText(place), std::ios::binary);
        const std::string theirs = ReadRange(installed, 0, size);
        const std::string ours = ReadRange(in, 0, report.moduleSize);
        // Signing rewrites the checksum and the signature's entry in the module's header.
        const auto fields = ReadPeSignatureFields(ours);
        const bool same =
            fields ? WithoutSignatureFields(ours, *fields) == WithoutSignatureFields(theirs, *fields) : ours == theirs;
        report.moduleInstalled = same ? "yes" : "no";
        return;
    }
}

}  // namespace

Inspection InspectPackage(const InspectionSettings& settings)
{
    Inspection inspection;
    const fs::path path(settings.package);
    boost::system::error_code error;
    if (!fs::is_regular_file(path, error)) {
        inspection.failure = "not a file: " + Platform::NarrowHostText(settings.package);
        return inspection;
    }
    PackageReport report;
    report.path = Platform::NarrowHostText(settings.package);
    report.size = fs::file_size(path, error);
    std::ifstream in(path.string(), std::ios::binary);
    if (error || !in) {
        inspection.failure = "cannot read " + report.path;
        return inspection;
    }

    // The archiver reads the package's headers only, in the package's folder on its bare
    // name, so a file name is never read as a switch or a wildcard.
    const std::wstring archiver = settings.programFolder + L"/7za/7za";
    const std::wstring folder = path.has_parent_path() ? path.parent_path().wstring() : L".";
    const Ran listed = RunToEnd({archiver, L"l", L"-slt", L"-t7z", L"--", path.filename().wstring()}, folder);
    if (listed.code != 0) {
        const std::string said = FirstLine(listed.errors);
        inspection.failure = listed.code == 2 && said.empty() && listed.output.empty()
                                 ? "the archiver " + Platform::NarrowHostText(archiver) + " cannot be run"
                                 : "not a package: the archiver finds no 7-Zip archive in it" +
                                       (said.empty() ? std::string() : " (" + said + ")");
        return inspection;
    }
    const auto listing = ReadListing(listed.output);
    if (!listing) {
        inspection.failure = "not a package: its archive lists more entries than any package holds";
        return inspection;
    }
    if (listing->offset == 0 || listing->offset > report.size) {
        inspection.failure = "not a package: a 7-Zip archive without the installer module in front of it";
        return inspection;
    }

    // The configuration ends where the archive starts; it starts at the last start marker
    // before that.
    const std::uint64_t window = std::min(listing->offset, kMaxConfigSize);
    const std::string before = ReadRange(in, listing->offset - window, window);
    const auto start = before.rfind(kConfigStart);
    if (start == std::string::npos || !before.ends_with(kConfigEnd)) {
        inspection.failure = "not a package: no installer configuration ends where the archive begins";
        return inspection;
    }
    report.sfxConfig = before.substr(start);
    const auto config = ReadSfxConfig(report.sfxConfig);
    if (!config.config) {
        inspection.failure = "not a package of halvex: " + config.problem;
        return inspection;
    }
    report.moduleSize = listing->offset - window + start;
    if (report.moduleSize == 0 ||
        !ReadPeSignatureFields(ReadRange(in, 0, std::min<std::uint64_t>(report.moduleSize, 4096)))) {
        inspection.failure = "not a package: what comes before the installer configuration is not a Windows program";
        return inspection;
    }

    const auto script = std::ranges::find_if(listing->entries,
                                             [](const Entry& entry) { return entry.path == kSetupScriptName.narrow; });
    if (script == listing->entries.end() || script->folder) {
        inspection.failure = "not a package of halvex: it holds no setup.vbs";
        return inspection;
    }
    if (script->size > kMaxScriptSize) {
        inspection.failure = "not a package of halvex: its setup.vbs is larger than any this program writes";
        return inspection;
    }
    const Ran extracted = RunToEnd(
        {archiver, L"x", L"-so", L"-t7z", L"-r-", L"--", path.filename().wstring(), kSetupScriptName.wide}, folder);
    if (extracted.code != 0 || extracted.output.size() != script->size) {
        inspection.failure =
            "not a package: the archiver cannot unpack its setup.vbs" +
            (FirstLine(extracted.errors).empty() ? std::string() : " (" + FirstLine(extracted.errors) + ")");
        return inspection;
    }
    const ScriptReading reading = ReadSetupScript(extracted.output);
    if (!reading.facts) {
        inspection.failure =
            "not a package of halvex: its setup.vbs is not one this program writes: " + reading.problem;
        return inspection;
    }
    const ScriptRun* setupRun = nullptr;
    for (const auto& run : reading.facts->runs) {
        if (run.program.ends_with("\\NORDAVIN\\setup.exe")) {
            if (setupRun) {
                inspection.failure = "not a package of halvex: its setup.vbs runs the suite's setup twice";
                return inspection;
            }
            setupRun = &run;
        } else if (!run.program.ends_with("\\ConfigUpdate.exe")) {
            inspection.failure = "not a package of halvex: its setup.vbs runs " + run.program;
            return inspection;
        }
    }
    ReadSetupRun(*setupRun, report);
    for (const auto& run : reading.facts->runs) {
        if (&run == setupRun)
            continue;
        if (const std::string problem = ReadConfigToolRun(run, report); !problem.empty()) {
            inspection.failure = "not a package of halvex: " + problem;
            return inspection;
        }
    }
    report.configToolIncluded =
        std::ranges::any_of(listing->entries, [](const Entry& entry) { return entry.path == "ConfigUpdate.exe"; });
    ReadExitCodes(*reading.facts, report);
    CountComponents(*listing, report);

    const auto whole = HashFile(settings.package);
    const auto module = HashFile(settings.package, report.moduleSize);
    if (!whole || !module) {
        inspection.failure = "cannot read " + report.path;
        return inspection;
    }
    report.sha256 = *whole;
    report.moduleSha256 = *module;
    CompareModule(report, in, settings);
    CheckChecksumFile(report, settings.package);
    CheckSignature(report, settings);
    if (report.signature.state == "absent" && listing->tailSize > 0)
        report.problems.push_back(std::to_string(listing->tailSize) +
                                  " bytes follow the archive that belong to no part of a package");
    inspection.report = std::move(report);
    return inspection;
}
