#include "packaging/PackagingJob.h"

#include "platform/StringTable.h"

void PackagingJob::SelectComponents(FolderList& componentFolders, FolderList& exploitPreventionFolders)
{
    ReportStatus(Platform::TextId::StatusSelecting);
    log << "About to establish which sub-packages to transfer..." << "\n";

    log << "Adding Veskor AutoUpdate to the list" << "\n";
    componentFolders.push_back(L"lorv");
    log << "Adding Veskor Competitor Removal Tool to the list" << "\n";
    componentFolders.push_back(L"bexu");
    componentFolders.push_back(L"dimbel");

    const bool withComponents = options.GetIncludeComponents();
    const bool with32Bit = options.GetInclude32Bit();
    const bool with64Bit = options.GetInclude64Bit();
    if (withComponents) {
        log << "Adding Veskor Anti-Virus to the list" << "\n";
        componentFolders.push_back(L"torqel");
        if (with32Bit)
            componentFolders.push_back(L"ynda");
        if (with64Bit)
            componentFolders.push_back(L"ynda64");
        if (options.GetPatch()) {
            log << "Adding Veskor Patch Agent to the list" << "\n";
            if (with32Bit)
                componentFolders.push_back(L"gulv");
            if (with64Bit)
                componentFolders.push_back(L"gulv64");
        }
        if (options.GetManaged()) {
            log << "Adding Veskor Remote Messaging System to the list" << "\n";
            componentFolders.push_back(L"kett");
        }
        if (options.GetFirewall()) {
            log << "Adding Veskor Client Firewall to the list" << "\n";
            componentFolders.push_back(L"wofa");
        }
        if (options.GetTrafficDetection()) {
            // One line per architecture: with both, the line appears twice.
            if (with32Bit) {
                log << "Adding Veskor Malicious Traffic Detection to the list" << "\n";
                componentFolders.push_back(L"zimr");
            }
            if (with64Bit) {
                log << "Adding Veskor Malicious Traffic Detection to the list" << "\n";
                componentFolders.push_back(L"zimr64");
            }
        }

        exploitPreventionFolders.clear();
        if (options.GetExploitPrevention()) {
            log << "Adding Exploit Prevention to the list" << "\n";
            exploitPreventionFolders.insert(exploitPreventionFolders.end(), {L"pexo", L"vanto", L"pexo64", L"vanto64"});
        }
    }

    progress.SetProgress(20);
}
