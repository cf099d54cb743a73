#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/IProgress.h"
#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "packaging/FileDigest.h"
#include "packaging/PackedEntries.h"
#include "packaging/StepResult.h"
#include "packaging/StopRequest.h"
#include "platform/PrivateFolder.h"

// Builds the package executable from the filled work folder. The 7-Zip archiver writes
// the finished package itself, in one pass: the installer module and its configuration
// go in front of the archive it creates. Everything the run writes on the way lives in a
// private folder of the run inside the output folder, held by descriptor, so what the
// archiver wrote is what is checked and published. The package is listed by the
// archiver and must hold exactly the work folder's entries, with their sizes and CRCs,
// before it takes the output name, together with its SHA-256 beside it as
// "<output>.sha256". Each step answers a result; the job calls the next only after a success.
class ArchiveBuilder {
public:
    ArchiveBuilder(const std::wstring& archiverPath, const std::wstring& programFolder, IProgress* progress,
                   StopRequest stopRequested);

    StepResult CreateArchive(const std::wstring& workFolder, const std::wstring& outputFolder);
    StepResult WriteSfxConfig(const std::wstring& workFolder);
    // Reads what is left to read of the work folder (the CRCs its files are checked
    // against); after it, the builder needs nothing more from that folder.
    void FinishReadingWorkFolder();
    StepResult CreateExecutable(const std::wstring& workFolder, const std::wstring& outputFolder,
                                const std::wstring& fileName, const std::wstring& programFolder);
    StepResult RemoveArchive(const std::wstring& folder, bool mustExist);
    // Signs the joined package with the key these options name before it is checked;
    // the options must outlive the builder.
    void SignWith(const PackageOptions& options) { signing = &options; }
    // After a failure: removes the run's intermediate files.
    void DiscardArchive(const std::wstring& folder);

private:
    // Runs the archiver to its end; its exit code, logged unless it is 0. With `output`, what
    // the archiver prints is passed on piece by piece as it comes, and let go of; with
    // `percentDone`, the percentages it prints are passed on while it runs; `whileWaiting`
    // is called between polls.
    int RunArchiver(const std::vector<std::wstring>& arguments, const std::wstring& folder,
                    const std::function<void(std::string_view)>& output,
                    const std::function<void(int)>& percentDone = {}, const std::function<void()>& whileWaiting = {});
    StepResult HoldPrivateFolder(const std::wstring& outputFolder);
    StepResult WriteInstallerHead();
    // The failure of a run asked to stop, which takes its intermediate files with it.
    StepResult Interrupted(const std::wstring& outputFolder);
    StepResult VerifyPackage();
    FileDigest::Result WaitForDigest(FileDigest& hashing);
    StepResult WriteChecksum(const std::wstring& target, const std::string& digest);
    int Publish(const std::wstring& target);
    StepResult FailJoin(int result, const std::wstring& outputFolder);

    std::wstring archiverPath;
    std::wstring programFolder;
    // The installer module found for this run.
    std::wstring modulePath;
    // What the work folder held when the archiver packed it.
    WorkFolderEntries packedEntries;
    std::optional<Platform::PrivateFolder> privateFolder;
    CLogging& log;
    IProgress* progress;
    StopRequest stopRequested;
    const PackageOptions* signing = nullptr;
};
