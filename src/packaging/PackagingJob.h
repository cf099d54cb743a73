#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/IProgress.h"
#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "packaging/StepResult.h"
#include "packaging/StopRequest.h"
#include "platform/FileRemoval.h"
#include "platform/WorkFolder.h"

class CPackageCopy;
class ClientNames;

// Turns one set of package options into one self-extracting package: selects the
// component folders, copies them into a private work folder, writes the client's setup
// script, builds the executable and removes the work folder again, reporting every
// stage. Each step answers a StepResult: the first failure clears the success flag, gives
// the run its reason and skips what follows; the closing step always runs.
class PackagingJob {
public:
    using FolderList = std::vector<std::wstring>;

    PackagingJob(const PackageOptions& options, IProgress& progress);

    void Run();
    bool Succeeded() const { return success; }
    // Why a failed run failed, as its log gives it: the line the failing step logged last,
    // with the archiver's own lines behind it; empty when the run succeeded.
    const std::wstring& FailureReason() const { return failureReason; }

    // Fills both lists, in the order the copy handles them, from the options alone.
    void SelectComponents(FolderList& componentFolders, FolderList& exploitPreventionFolders);

private:
    // Every step up to the archive; a failed step skips the rest.
    void RunSteps();
    // The closing step: removes the work folder and reports the outcome. Runs after every
    // run, however it ended.
    void Close();
    // Takes a step's result into the run's: the first failure is the run's reason.
    bool Record(const StepResult& result);
    void NameOutput();
    StepResult ClaimWorkFolder();
    StepResult HoldOutputFolder();
    StepResult ResolveSourceFolder();
    StepResult CheckSetupCommandLine();
    StepResult CopyStep(const FolderList& componentFolders, const FolderList& exploitPreventionFolders,
                        ClientNames& clientNames);
    StepResult ScriptStep(ClientNames& clientNames);
    StepResult ArchiveStep(ClientNames& clientNames);
    StepResult StillWanted();
    StepResult CopyConfigTool(CPackageCopy& copy);
    bool ReportStatus(unsigned id);
    bool RemoveFolderTree(const std::wstring& folder);
    bool RemoveWorkFolder();
    bool RemovalSucceeded(const std::wstring& folder, int error);

    PackageOptions options;
    IProgress& progress;
    std::wstring workFolder;
    std::wstring archiverPath;
    bool success;
    std::wstring failureReason;
    CLogging& log;
    // The one place the steps learn that the run was asked to stop.
    StopRequest stopRequested;
    // Held for the whole run, so a second run of the same user cannot take the folder.
    std::optional<Platform::RunLock> runLock;
    // Only a folder this run created is ever removed at the end.
    bool ownsWorkFolder = false;
    // The work folder's removal, started as soon as nothing needs the folder any more; the
    // closing step waits for it and reports it where it reports a removal.
    std::optional<Platform::TreeRemoval> workFolderRemoval;
    // Where the package goes: the folder and the file name (empty for the default name).
    std::wstring outputFolder;
    std::wstring fileName;
    // Held for the whole run: the intermediate archive has a fixed name in the output
    // folder, so two runs into one folder would take each other's.
    std::optional<Platform::FolderLock> outputLock;
};
