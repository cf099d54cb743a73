// halvex-inspect: shows what a package will do on a client, read from the package
// without running anything in it, and whether it is the package that was built.
#include <cstdio>
#include <string>
#include <string_view>

#include "core/ExitCode.h"
#include "inspect/InspectionReport.h"
#include "inspect/PackageInspection.h"
#include "platform/HostFolders.h"
#include "platform/TextConversion.h"

namespace {

constexpr const char* kUsage =
    "usage: halvex-inspect PACKAGE [-json] [-cafile FILE]\n"
    "       halvex-inspect --help | --version\n"
    "Shows what a package made by halvex will do on a client: the installer module, its\n"
    "configuration, the setup command line and what each switch means, the update locations,\n"
    "the components and architectures, the checksum file beside it and its Authenticode\n"
    "signature. Nothing in the package is run. -json prints the same as one JSON object;\n"
    "-cafile trusts the certificates in FILE for the signature and its time stamp.\n"
    "Exit status: 0 everything present checks out; 82 not a package, a checksum that differs,\n"
    "a signature that is not valid, or a wrong command line (the reason is on standard error).\n";

constexpr const char* kVersion = "halvex-inspect " HALVEX_VERSION "\n";

int Print(const std::string& text)
{
    return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : kFailureExitCode;
}

int Refuse(const std::string& reason)
{
    std::fprintf(stderr, "halvex-inspect: %s\n", reason.c_str());
    return kFailureExitCode;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string_view(argv[1]) == "--help")
        return Print(kUsage);
    if (argc == 2 && std::string_view(argv[1]) == "--version")
        return Print(kVersion);
    InspectionSettings settings;
    bool json = false;
    bool havePackage = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-json") {
            json = true;
        } else if (argument == "-cafile") {
            if (++i == argc || std::string_view(argv[i]).empty()) {
                std::fputs(kUsage, stderr);
                return Refuse("-cafile needs a file");
            }
            settings.caFile = Platform::WidenHostText(argv[i]);
        } else if (argument.starts_with('-') || havePackage || argument.empty()) {
            std::fputs(kUsage, stderr);
            return Refuse(havePackage && !argument.starts_with('-') ? "one package at a time"
                                                                    : "unknown option " + std::string(argument));
        } else {
            settings.package = Platform::WidenHostText(argument);
            havePackage = true;
        }
    }
    if (!havePackage) {
        std::fputs(kUsage, stderr);
        return Refuse("no package given");
    }
    settings.programFolder = Platform::ProgramFolder();

    const Inspection inspection = InspectPackage(settings);
    if (!inspection.report)
        return Refuse(inspection.failure);
    const PackageReport& report = *inspection.report;
    if (Print(json ? ReportJson(report) : ReportText(report)) != 0)
        return Refuse("cannot write the report to standard output");
    for (const auto& problem : report.problems)
        std::fprintf(stderr, "halvex-inspect: %s\n", problem.c_str());
    return report.problems.empty() ? 0 : kFailureExitCode;
}
