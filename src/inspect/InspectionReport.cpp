#include "inspect/InspectionReport.h"

#include <cstdio>
#include <sstream>

#include "platform/TextConversion.h"

namespace {

// A JSON string: quotes, backslashes and control characters escaped, and bytes that are
// not UTF-8 shown as \xHH so the output stays valid JSON.
std::string Json(const std::string& text)
{
    const std::string valid =
        Platform::IsValidHostText(text) ? text : Platform::NarrowHostText(Platform::WidenHostTextEscaped(text));
    std::string out = "\"";
    for (const char c : valid) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// Text for a terminal: control characters of a hostile package never reach it raw.
std::string Shown(const std::string& text)
{
    const std::string valid =
        Platform::IsValidHostText(text) ? text : Platform::NarrowHostText(Platform::WidenHostTextEscaped(text));
    std::string out;
    for (const char c : valid) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Bool(bool value)
{
    return value ? "true" : "false";
}

std::string ModuleText(const PackageReport& report)
{
    if (report.moduleInstalled == "yes")
        return "the module installed with this program (" + report.installedModulePath + ")";
    if (report.moduleInstalled == "no")
        return "not the module installed with this program (" + report.installedModulePath + ")";
    return "no installed module to compare with";
}

}  // namespace

std::string ReportText(const PackageReport& report)
{
    std::ostringstream out;
    out << "Package: " << Shown(report.path) << "\n";
    out << "  size: " << report.size << " bytes\n";
    out << "  SHA-256: " << report.sha256 << "\n";
    out << "  checksum file: " << report.checksumState << " (" << Shown(report.checksumFile) << ")\n";
    out << "Installer module: " << report.moduleSize << " bytes, SHA-256 " << report.moduleSha256 << "\n";
    out << "  " << Shown(ModuleText(report)) << "\n";
    out << "Installer configuration:\n";
    std::istringstream config(report.sfxConfig);
    for (std::string line; std::getline(config, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out << "  " << Shown(line) << "\n";
    }
    out << "Setup command line:\n  " << Shown(report.setupCommandLine) << "\n";
    out << "Setup switches:\n";
    for (const auto& setupSwitch : report.setupSwitches)
        out << "  " << Shown(setupSwitch.text) << ": " << setupSwitch.meaning << "\n";
    if (report.passesPackageArguments)
        out << "  then the package's own arguments, each in double quotes\n";
    out << "Management: " << (report.managed ? "managed" : "unmanaged") << "\n";
    out << "Management server: " << (report.managementServer.empty() ? "none" : Shown(report.managementServer)) << "\n";
    out << "Update locations:" << (report.updateLocations.empty() ? " none" : "") << "\n";
    for (const auto& location : report.updateLocations)
        out << "  " << location.role << ": " << Shown(location.location) << ", user "
            << (location.userName.empty() ? "none" : Shown(location.userName)) << ", password "
            << (location.passwordSet ? "set" : "none") << " (configured by " << location.configuredBy << ")\n";
    out << "Configuration tool ConfigUpdate.exe: "
        << (report.configToolIncluded ? "in the package" : "not in the package") << "\n";
    out << "Components:" << (report.components.empty() ? " none" : "") << "\n";
    for (const auto& component : report.components)
        out << "  " << Shown(component.folder) << ": " << component.name
            << (component.architecture.empty() ? "" : ", " + component.architecture) << ", " << component.files
            << " files, " << component.bytes << " bytes\n";
    out << "Architectures: ";
    for (std::size_t i = 0; i < report.architectures.size(); ++i)
        out << (i ? ", " : "") << report.architectures[i];
    out << (report.architectures.empty() ? "none in the package" : "") << "\n";
    out << "Files: " << report.files << ", " << report.bytes << " bytes unpacked\n";
    out << "Signature: " << report.signature.state << "\n";
    if (!report.signature.signer.empty())
        out << "  signer: " << Shown(report.signature.signer) << "\n  issuer: " << Shown(report.signature.issuer)
            << "\n";
    if (report.signature.state != "absent")
        out << "  time stamp: " << (report.signature.timeStamp.empty() ? "none" : Shown(report.signature.timeStamp))
            << "\n";
    if (!report.signature.reason.empty())
        out << "  reason: " << Shown(report.signature.reason) << "\n";
    out << "Exit codes of the package:\n";
    for (const auto& code : report.exitCodes)
        out << "  " << code.code << ": " << code.meaning << "\n";
    out << "Result: " << (report.problems.empty() ? "in order" : "NOT in order") << "\n";
    for (const auto& problem : report.problems)
        out << "  " << Shown(problem) << "\n";
    return out.str();
}

std::string ReportJson(const PackageReport& report)
{
    std::ostringstream out;
    out << "{\n";
    out << "  \"package\": " << Json(report.path) << ",\n";
    out << "  \"size\": " << report.size << ",\n";
    out << "  \"sha256\": " << Json(report.sha256) << ",\n";
    out << "  \"checksumFile\": {\"path\": " << Json(report.checksumFile)
        << ", \"state\": " << Json(report.checksumState) << "},\n";
    out << "  \"module\": {\"size\": " << report.moduleSize << ", \"sha256\": " << Json(report.moduleSha256)
        << ", \"installed\": " << Json(report.moduleInstalled)
        << ", \"installedPath\": " << Json(report.installedModulePath) << "},\n";
    out << "  \"configuration\": " << Json(report.sfxConfig) << ",\n";
    out << "  \"setupCommandLine\": " << Json(report.setupCommandLine) << ",\n";
    out << "  \"setupSwitches\": [";
    for (std::size_t i = 0; i < report.setupSwitches.size(); ++i)
        out << (i ? ", " : "") << "{\"switch\": " << Json(report.setupSwitches[i].text)
            << ", \"meaning\": " << Json(report.setupSwitches[i].meaning) << "}";
    out << "],\n";
    out << "  \"passesPackageArguments\": " << Bool(report.passesPackageArguments) << ",\n";
    out << "  \"managed\": " << Bool(report.managed) << ",\n";
    out << "  \"managementServer\": " << Json(report.managementServer) << ",\n";
    out << "  \"updateLocations\": [";
    for (std::size_t i = 0; i < report.updateLocations.size(); ++i) {
        const auto& location = report.updateLocations[i];
        out << (i ? ", " : "") << "{\"role\": " << Json(location.role) << ", \"location\": " << Json(location.location)
            << ", \"user\": " << Json(location.userName)
            << ", \"password\": " << Json(location.passwordSet ? "set" : "")
            << ", \"configuredBy\": " << Json(location.configuredBy) << "}";
    }
    out << "],\n";
    out << "  \"configToolIncluded\": " << Bool(report.configToolIncluded) << ",\n";
    out << "  \"components\": [";
    for (std::size_t i = 0; i < report.components.size(); ++i) {
        const auto& component = report.components[i];
        out << (i ? ",\n    " : "\n    ") << "{\"folder\": " << Json(component.folder)
            << ", \"name\": " << Json(component.name) << ", \"architecture\": " << Json(component.architecture)
            << ", \"files\": " << component.files << ", \"bytes\": " << component.bytes << "}";
    }
    out << "],\n";
    out << "  \"architectures\": [";
    for (std::size_t i = 0; i < report.architectures.size(); ++i)
        out << (i ? ", " : "") << Json(report.architectures[i]);
    out << "],\n";
    out << "  \"files\": " << report.files << ",\n";
    out << "  \"bytes\": " << report.bytes << ",\n";
    out << "  \"signature\": {\"state\": " << Json(report.signature.state)
        << ", \"signer\": " << Json(report.signature.signer) << ", \"issuer\": " << Json(report.signature.issuer)
        << ", \"timeStamp\": " << Json(report.signature.timeStamp) << ", \"reason\": " << Json(report.signature.reason)
        << "},\n";
    out << "  \"exitCodes\": [";
    for (std::size_t i = 0; i < report.exitCodes.size(); ++i)
        out << (i ? ", " : "") << "{\"code\": " << Json(report.exitCodes[i].code)
            << ", \"meaning\": " << Json(report.exitCodes[i].meaning) << "}";
    out << "],\n";
    out << "  \"inOrder\": " << Bool(report.problems.empty()) << ",\n";
    out << "  \"problems\": [";
    for (std::size_t i = 0; i < report.problems.size(); ++i)
        out << (i ? ", " : "") << Json(report.problems[i]);
    out << "]\n}\n";
    return out.str();
}
