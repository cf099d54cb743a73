#include "packaging/PackagingJob.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>
#include <iostream>
#include <locale>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "core/AsciiLowerCase.h"
#include "core/PackageNames.h"
#include "packaging/AdminFiles.h"
#include "packaging/ArchiveBuilder.h"
#include "packaging/ClientNames.h"
#include "packaging/PackageCopy.h"
#include "packaging/RunLockFile.h"
#include "packaging/SetupScript.h"
#include "platform/FileRemoval.h"
#include "platform/HostFolders.h"
#include "platform/Interrupt.h"
#include "platform/StringTable.h"
#include "platform/TextConversion.h"

namespace fs = boost::filesystem;

namespace {

// The most characters a Windows command line holds, its terminating null included.
constexpr std::size_t kCommandLineLimit = 32767;

// The CID's folder, as the package's script names it.
constexpr const wchar_t* kCidFolderName = L"NORDAVIN";

// Logs an error that no step turned into a result of its own, so that even a run ended by
// one says in its log why.
void LogUnexpectedError(CLogging& log, const std::exception_ptr& error)
{
    std::wstring text = L"an error of unknown kind";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& known) {
        text = Platform::WidenHostText(known.what());
    } catch (...) {}
    log << "Unexpected error:" << text << "\n";
}

}  // namespace

PackagingJob::PackagingJob(const PackageOptions& options, IProgress& progress)
    : options(options),
      progress(progress),
      success(true),
      log(GetLogging()),
      stopRequested([] { return Platform::InterruptRequested(); })
{}

void PackagingJob::Run()
{
    try {
        RunSteps();
    } catch (...) {
        // Whatever escaped a step: the log says why, and the closing step still cleans up
        // and reports, before the error goes on to the caller.
        LogUnexpectedError(log, std::current_exception());
        Record(StepResult::Logged(log));
        Close();
        throw;
    }
    Close();
}

void PackagingJob::RunSteps()
{
    workFolder = Platform::TempBase() + L"/" + kWorkFolderName.wide;
    archiverPath = options.GetProgramFolder() + L"/7za/7za";
    log << "*** Starting packaging process ***" << "\n";
    log << "Utility Path: " << archiverPath << "\n";

    NameOutput();
    if (Record(ClaimWorkFolder()) && Record(HoldOutputFolder()))
        Record(ResolveSourceFolder());
    progress.Refresh();

    FolderList componentFolders;
    FolderList exploitPreventionFolders;
    SelectComponents(componentFolders, exploitPreventionFolders);
    progress.Refresh();
    if (success)
        Record(CheckSetupCommandLine());

    // The names the package will hold, gathered while they are put into the work folder.
    ClientNames clientNames;
    if (ReportStatus(Platform::TextId::StatusCopying) && success && Record(StillWanted()))
        Record(CopyStep(componentFolders, exploitPreventionFolders, clientNames));
    progress.Refresh();

    if (success && ReportStatus(Platform::TextId::StatusScript) && Record(StillWanted()))
        Record(ScriptStep(clientNames));
    progress.Refresh();

    if (success && ReportStatus(Platform::TextId::StatusArchive) && Record(StillWanted()))
        Record(ArchiveStep(clientNames));
    progress.Refresh();
}

void PackagingJob::Close()
{
    if (!ReportStatus(Platform::TextId::StatusCleaning))
        return;
    if (ownsWorkFolder) {
        if (!RemoveWorkFolder())
            log << "Unable to delete temporary folder" << "\n";
        else if (success)
            progress.SetProgress(100);
    }
    progress.Refresh();
    log << "*** Ending packaging process ***" << "\n";
    if (success) {
        if (!ReportStatus(Platform::TextId::StatusComplete))
            return;
        log << "Zastrel completed successfully" << "\n";
    } else {
        if (!ReportStatus(Platform::TextId::StatusFailed))
            return;
        log << "Zastrel failed" << "\n";
    }
    progress.Refresh();
}

bool PackagingJob::Record(const StepResult& result)
{
    if (result)
        return true;
    // The first failure is the one the run reports.
    if (success)
        failureReason = result.Reason();
    success = false;
    return false;
}

// The output folder and the file name (empty for the default name) the options give.
void PackagingJob::NameOutput()
{
    if (options.GetOutputIsFolder()) {
        outputFolder = options.GetOutputPackage();
        return;
    }
    const fs::path output(options.GetOutputPackage());
    outputFolder = output.parent_path().wstring();
    fileName = output.filename().wstring();
    // A bare file name means the current folder, never the root.
    if (outputFolder.empty())
        outputFolder = L".";
}

// A package whose setup line Windows refuses to run would report success and never
// install: stop before anything is copied.
StepResult PackagingJob::CheckSetupCommandLine()
{
    const std::size_t length = CSetupScript(options).SetupCommandLength();
    if (length + 1 <= kCommandLineLimit)
        return {};
    return LogFailure(log, "The setup command line would be", static_cast<int>(std::min<std::size_t>(length, INT_MAX)),
                      "characters long on the client, with room for its temporary folder; Windows runs at most",
                      static_cast<int>(kCommandLineLimit), "characters, its terminating null included.",
                      "Shorten the setup parameters.");
}

StepResult PackagingJob::CopyStep(const FolderList& componentFolders, const FolderList& exploitPreventionFolders,
                                  ClientNames& clientNames)
{
    CPackageCopy copy(componentFolders, exploitPreventionFolders, &progress, stopRequested);
    StepResult copied = copy.CopyPackage(options.GetSourceFolder(), workFolder, options.GetManaged());
    clientNames = std::move(copy.Names());
    if (copied)
        copied = CopyConfigTool(copy);
    if (!copied)
        return copied;
    if (!options.GetManaged())
        clientNames.AddFolder(L"", {L"ConfigUpdate.exe"});
    progress.SetProgress(40);
    return {};
}

StepResult PackagingJob::ScriptStep(ClientNames& clientNames)
{
    log << "About to create configuration script..." << "\n";
    if (const int error = CSetupScript(options).WriteScript(workFolder))
        return LogFailure(log, "Failed to write the configuration script", workFolder + L"/" + kSetupScriptName.wide,
                          Platform::WidenHostText(Platform::SystemErrorText(error)));
    clientNames.AddFolder(L"", {kSetupScriptName.wide});
    log << "Created configuration script..." << "\n";
    progress.SetProgress(60);
    return {};
}

StepResult PackagingJob::ArchiveStep(ClientNames& clientNames)
{
    log << "About to create self extracting archive..." << "\n";
    ArchiveBuilder builder(archiverPath, options.GetProgramFolder(), &progress, stopRequested);
    if (options.GetSigning())
        builder.SignWith(options);
    StepResult result = clientNames.Check(log);
    if (result)
        result = builder.CreateArchive(workFolder, outputFolder);
    if (result)
        result = builder.WriteSfxConfig(workFolder);
    if (result) {
        // Nothing reads or writes the work folder after this: it goes while the package is
        // checked and published.
        builder.FinishReadingWorkFolder();
        workFolderRemoval.emplace(workFolder);
    }
    if (result)
        result = builder.CreateExecutable(workFolder, outputFolder, fileName, options.GetProgramFolder());
    if (result)
        result = builder.RemoveArchive(outputFolder, true);
    if (!result) {
        // A failed run leaves nothing of its own in the output folder.
        builder.DiscardArchive(outputFolder);
        log << "Failed to create an archive at:" << outputFolder << "\n";
        return result;
    }
    log << "Successfully created an archive at:" << outputFolder << "\n";
    progress.SetProgress(80);
    return {};
}

// The work folder lives under a base that may be the world-writable /tmp: it is used
// only while this run holds the user's run lock, only when nothing foreign sits at its
// name, and it is always created anew, private to the user.
StepResult PackagingJob::ClaimWorkFolder()
{
    const std::wstring lockFile = RunLockFile(workFolder);
    if (lockFile.empty())
        return LogFailure(log, "Unable to lock the work folder: there is no application-data folder for the lock file");
    const fs::path base = fs::path(workFolder).parent_path();
    boost::system::error_code error;
    if (fs::create_directories(base, error); error)
        return FileSystemFailure(log, "boost::filesystem::create_directories", base, error);
    const fs::path lockFolder = fs::path(lockFile).parent_path().parent_path();
    if (fs::create_directories(lockFolder, error); error)
        return FileSystemFailure(log, "boost::filesystem::create_directories", lockFolder, error);
    runLock.emplace(lockFile, 0600, Platform::RunLock::File::OnlyALock);
    switch (runLock->GetState()) {
    case Platform::RunLock::State::Held:
        break;
    case Platform::RunLock::State::Busy:
        return LogFailure(log, "Another packaging run is using the work folder:", workFolder,
                          L"(held by " +
                              (runLock->Holder().empty() ? std::wstring(L"a run that has not named itself yet")
                                                         : Platform::WidenHostText(runLock->Holder())) +
                              L")");
    case Platform::RunLock::State::Unusable:
        return LogFailure(log, "Unable to lock the work folder: the lock file cannot be used:", lockFile,
                          runLock->Error() == EPERM
                              ? std::wstring(L"it, or its folder, is a link, not a plain file or folder, belongs to "
                                             L"another user, or others may write to it")
                              : Platform::WidenHostText(Platform::SystemErrorText(runLock->Error())));
    }
    if (Platform::IsForeignFolder(workFolder))
        return LogFailure(
            log, "The work folder is a link, not a folder, or belongs to another user, and is not used:", workFolder);
    RemoveFolderTree(workFolder);
    if (const int error = Platform::CreatePrivateFolder(workFolder))
        return LogFailure(log, "Unable to create the work folder:", workFolder,
                          Platform::WidenHostText(Platform::SystemErrorText(error)));
    ownsWorkFolder = true;
    return {};
}

// The package's script runs NORDAVIN\setup.exe below the package root, and the copy names
// the CID's folder in the package after the last part of its path: ".", "..", "/." or a link
// of another name would give a package that cannot install, or write through the CID's own
// files. The copy therefore reads the folder by its real path, and only a folder that is
// named NORDAVIN and holds setup.exe is packed.
StepResult PackagingJob::ResolveSourceFolder()
{
    const std::wstring& given = options.GetSourceFolder();
    boost::system::error_code error;
    const fs::path real = fs::canonical(fs::path(given), error);
    if (error)
        return LogFailure(log, "Unable to resolve the source folder:", given, Platform::WidenHostText(error.message()));
    if (real.wstring() != given)
        log << "Source folder:" << given << "is the folder" << real.wstring() << "\n";
    if (AsciiLowerCase(real.filename().wstring()) != AsciiLowerCase(kCidFolderName))
        return LogFailure(
            log, "The source folder", real.wstring(), "is not named", std::wstring(kCidFolderName),
            ": the package's script runs NORDAVIN\\setup.exe, so the CID must be the folder of that name");
    bool hasSetup = false;
    for (fs::directory_iterator entry(real, error), end; !error && entry != end; entry.increment(error)) {
        boost::system::error_code statusError;
        // Compared as bytes: a name that is no UTF-8 is simply not setup.exe.
        if (boost::algorithm::iequals(entry->path().filename().string(), "setup.exe", std::locale::classic()) &&
            fs::is_regular_file(entry->symlink_status(statusError))) {
            hasSetup = true;
            break;
        }
    }
    if (error)
        return LogFailure(log, "Unable to read the source folder:", real.wstring(),
                          Platform::WidenHostText(error.message()));
    if (!hasSetup)
        return LogFailure(log, "The source folder", real.wstring(),
                          "holds no setup.exe, which the package's script runs on the client");
    options.SetSourceFolder(real.wstring());
    return {};
}

// The output folder is made when missing, as the archiver would make it, so that it can
// be held before any work starts.
StepResult PackagingJob::HoldOutputFolder()
{
    boost::system::error_code error;
    if (fs::create_directories(fs::path(outputFolder), error); error)
        return FileSystemFailure(log, "boost::filesystem::create_directories", fs::path(outputFolder), error);
    outputLock.emplace(outputFolder);
    switch (outputLock->GetState()) {
    case Platform::FolderLock::State::Held:
        return {};
    case Platform::FolderLock::State::Busy:
        return LogFailure(log, "Another packaging run is writing into the output folder:", outputFolder);
    case Platform::FolderLock::State::Unusable:
        break;
    }
    return LogFailure(log, "Unable to lock the output folder:", outputFolder,
                      Platform::WidenHostText(Platform::SystemErrorText(outputLock->Error())));
}

// A stop asked for between steps ends the run before the next one.
StepResult PackagingJob::StillWanted()
{
    if (!stopRequested())
        return {};
    return LogFailure(log, "Packaging interrupted: the run was asked to stop");
}

StepResult PackagingJob::CopyConfigTool(CPackageCopy& copy)
{
    if (options.GetManaged())
        return {};
    log << "About to copy ConfigUpdate and prerequisite libraries to the temporary package folder..." << "\n";
    const std::wstring tool =
        FindAdminFile(ConfigToolPlaces(options.GetProgramFolder()), "Configuration tool ConfigUpdate.exe", log);
    return copy.CopySingleFile(tool, workFolder + L"/ConfigUpdate.exe");
}

bool PackagingJob::ReportStatus(unsigned id)
{
    const auto text = Platform::LoadString(id);
    if (text)
        progress.SetStatus(*text);
    return text.has_value();
}

bool PackagingJob::RemoveFolderTree(const std::wstring& folder)
{
    // A folder whose state cannot be read is left to the removal, which reports why.
    boost::system::error_code unknown;
    if (fs::status(folder, unknown).type() == fs::file_not_found)
        return false;
    // Copies of large files are given back in pieces first, with the interface kept alive
    // between them; the links to the CID's own files are only unlinked.
    return RemovalSucceeded(folder, Platform::RemoveTree(folder, [this] { progress.Refresh(); }));
}

bool PackagingJob::RemoveWorkFolder()
{
    if (!workFolderRemoval)
        return RemoveFolderTree(workFolder);
    const int error = workFolderRemoval->Wait([this] { progress.Refresh(); });
    workFolderRemoval.reset();
    return RemovalSucceeded(workFolder, error);
}

// True when `error` is 0; else the failure is printed as it always was.
bool PackagingJob::RemovalSucceeded(const std::wstring& folder, int error)
{
    if (error == 0)
        return true;
    const fs::filesystem_error failure("boost::filesystem::remove_all", fs::path(folder),
                                       boost::system::error_code(error, boost::system::system_category()));
    std::cout << "Error: " << failure.what() << std::endl;
    return false;
}
