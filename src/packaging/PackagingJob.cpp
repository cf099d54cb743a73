#include "packaging/PackagingJob.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <iostream>
#include <iterator>
#include <locale>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "core/AsciiLowerCase.h"
#include "packaging/AdminFiles.h"
#include "packaging/ArchiveBuilder.h"
#include "packaging/ClientNames.h"
#include "packaging/PackageCopy.h"
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
    } catch (...) {
    }
    log << "Unexpected error:" << text << "\n";
}

}  // namespace

PackagingJob::PackagingJob(const PackageOptions& options, IProgress& progress)
    : options(options), progress(progress), success(true), log(GetLogging())
{
}

void PackagingJob::Run()
{
    try {
        RunSteps();
    } catch (...) {
        // Whatever escaped a step: the log says why, and the closing step still cleans up
        // and reports, before the error goes on to the caller.
        LogUnexpectedError(log, std::current_exception());
        success = false;
        NoteFailure();
        Close();
        throw;
    }
    Close();
}

void PackagingJob::RunSteps()
{
    workFolder = Platform::TempBase() + L"/Halvex";
    archiverPath = options.GetProgramFolder() + L"/7za/7za";
    log << "*** Starting packaging process ***" << "\n";
    log << "Utility Path: " << archiverPath << "\n";

    if (options.GetOutputIsFolder()) {
        outputFolder = options.GetOutputPackage();
    } else {
        const fs::path output(options.GetOutputPackage());
        outputFolder = output.parent_path().wstring();
        fileName = output.filename().wstring();
        // A bare file name means the current folder, never the root.
        if (outputFolder.empty())
            outputFolder = L".";
    }
    success = ClaimWorkFolder() && HoldOutputFolder() && ResolveSourceFolder();
    NoteFailure();
    progress.Refresh();

    FolderList componentFolders;
    FolderList exploitPreventionFolders;
    SelectComponents(componentFolders, exploitPreventionFolders);
    progress.Refresh();

    // A package whose setup line Windows refuses to run would report success and never
    // install: stop before anything is copied.
    if (success) {
        const std::size_t length = CSetupScript(options).SetupCommandLength();
        if (length + 1 > kCommandLineLimit) {
            log << "The setup command line would be" << static_cast<int>(std::min<std::size_t>(length, INT_MAX))
                << "characters long on the client, with room for its temporary folder; Windows runs at most"
                << static_cast<int>(kCommandLineLimit) << "characters, its terminating null included."
                << "Shorten the setup parameters." << "\n";
            success = false;
            NoteFailure();
        }
    }

    // The names the package will hold, gathered while they are put into the work folder.
    ClientNames clientNames;
    if (ReportStatus(104) && success && StillWanted()) {
        CPackageCopy copy(componentFolders, exploitPreventionFolders, &progress);
        success = copy.CopyPackage(options.GetSourceFolder(), workFolder, options.GetManaged());
        clientNames = std::move(copy.Names());
        if (success)
            success = CopyConfigTool(copy);
        NoteFailure();
        if (success && !options.GetManaged())
            clientNames.AddFolder(L"", {L"ConfigUpdate.exe"});
        if (success)
            progress.SetProgress(40);
    }
    progress.Refresh();

    if (success && ReportStatus(105) && StillWanted()) {
        log << "About to create configuration script..." << "\n";
        if (const int error = CSetupScript(options).WriteScript(workFolder)) {
            log << "Failed to write the configuration script" << workFolder + L"/setup.vbs"
                << Platform::WidenHostText(Platform::SystemErrorText(error)) << "\n";
            success = false;
            NoteFailure();
        } else {
            clientNames.AddFolder(L"", {L"setup.vbs"});
            log << "Created configuration script..." << "\n";
            progress.SetProgress(60);
        }
    }
    progress.Refresh();

    if (success && ReportStatus(106) && StillWanted()) {
        log << "About to create self extracting archive..." << "\n";
        ArchiveBuilder builder(archiverPath, options.GetProgramFolder(), &progress);
        if (options.GetSigning())
            builder.SignWith(options);
        success = clientNames.Check(log);
        NoteFailure();
        if (success) {
            // Each step does nothing once one has failed: the reason is taken where it failed.
            builder.CreateArchive(workFolder, outputFolder);
            success = builder.Succeeded();
            NoteFailure();
            builder.WriteSfxConfig(workFolder);
            success = builder.Succeeded();
            NoteFailure();
            builder.CreateExecutable(workFolder, outputFolder, fileName, options.GetProgramFolder());
            success = builder.Succeeded();
            NoteFailure();
            builder.RemoveArchive(outputFolder, true);
            success = builder.Succeeded();
            NoteFailure();
            // A failed run leaves nothing of its own in the output folder.
            if (!success)
                builder.DiscardArchive(outputFolder);
        }
        if (success) {
            log << "Successfully created an archive at:" << outputFolder << "\n";
            progress.SetProgress(80);
        } else {
            log << "Failed to create an archive at:" << outputFolder << "\n";
        }
    }
    progress.Refresh();
}

void PackagingJob::Close()
{
    if (!ReportStatus(107))
        return;
    if (ownsWorkFolder) {
        if (!RemoveFolderTree(workFolder))
            log << "Unable to delete temporary folder" << "\n";
        else if (success)
            progress.SetProgress(100);
    }
    progress.Refresh();
    log << "*** Ending packaging process ***" << "\n";
    if (success) {
        if (!ReportStatus(108))
            return;
        log << "Zastrel completed successfully" << "\n";
    } else {
        if (!ReportStatus(109))
            return;
        log << "Zastrel failed" << "\n";
    }
    progress.Refresh();
}

// The work folder lives under a base that may be the world-writable /tmp: it is used
// only while this run holds the user's run lock, only when nothing foreign sits at its
// name, and it is always created anew, private to the user.
bool PackagingJob::ClaimWorkFolder()
{
    const std::wstring lockFile = workFolder + L".lock";
    try {
        fs::create_directories(fs::path(workFolder).parent_path());
    } catch (const fs::filesystem_error& error) {
        log << "Boost file system error:" << Platform::WidenHostText(error.what()) << "\n";
        return false;
    }
    runLock.emplace(lockFile, 0600, Platform::CRunLock::File::RemoveWhenReleased);
    switch (runLock->GetState()) {
    case Platform::CRunLock::State::Held:
        break;
    case Platform::CRunLock::State::Busy:
        log << "Another packaging run is using the work folder:" << workFolder << "\n";
        return false;
    case Platform::CRunLock::State::Unusable:
        log << "Unable to lock the work folder: the lock file cannot be used:" << lockFile << "\n";
        return false;
    }
    if (Platform::IsForeignFolder(workFolder)) {
        log << "The work folder is a link, not a folder, or belongs to another user, and is not used:" << workFolder
            << "\n";
        return false;
    }
    RemoveFolderTree(workFolder);
    if (const int error = Platform::CreatePrivateFolder(workFolder)) {
        log << "Unable to create the work folder:" << workFolder
            << Platform::WidenHostText(Platform::SystemErrorText(error)) << "\n";
        return false;
    }
    ownsWorkFolder = true;
    return true;
}

// The package's script runs NORDAVIN\setup.exe below the package root, and the copy names
// the CID's folder in the package after the last part of its path: ".", "..", "/." or a link
// of another name would give a package that cannot install, or write through the CID's own
// files. The copy therefore reads the folder by its real path, and only a folder that is
// named NORDAVIN and holds setup.exe is packed.
bool PackagingJob::ResolveSourceFolder()
{
    const std::wstring& given = options.GetSourceFolder();
    boost::system::error_code error;
    const fs::path real = fs::canonical(fs::path(given), error);
    if (error) {
        log << "Unable to resolve the source folder:" << given << Platform::WidenHostText(error.message()) << "\n";
        return false;
    }
    if (real.wstring() != given)
        log << "Source folder:" << given << "is the folder" << real.wstring() << "\n";
    if (AsciiLowerCase(real.filename().wstring()) != AsciiLowerCase(kCidFolderName)) {
        log << "The source folder" << real.wstring() << "is not named" << std::wstring(kCidFolderName)
            << ": the package's script runs NORDAVIN\\setup.exe, so the CID must be the folder of that name" << "\n";
        return false;
    }
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
    if (error) {
        log << "Unable to read the source folder:" << real.wstring() << Platform::WidenHostText(error.message()) << "\n";
        return false;
    }
    if (!hasSetup) {
        log << "The source folder" << real.wstring()
            << "holds no setup.exe, which the package's script runs on the client" << "\n";
        return false;
    }
    options.SetSourceFolder(real.wstring());
    return true;
}

// The output folder is made when missing, as the archiver would make it, so that it can
// be held before any work starts.
bool PackagingJob::HoldOutputFolder()
{
    try {
        fs::create_directories(fs::path(outputFolder));
    } catch (const fs::filesystem_error& error) {
        log << "Boost file system error:" << Platform::WidenHostText(error.what()) << "\n";
        return false;
    }
    outputLock.emplace(outputFolder);
    switch (outputLock->GetState()) {
    case Platform::CFolderLock::State::Held:
        return true;
    case Platform::CFolderLock::State::Busy:
        log << "Another packaging run is writing into the output folder:" << outputFolder << "\n";
        return false;
    case Platform::CFolderLock::State::Unusable:
        break;
    }
    log << "Unable to lock the output folder:" << outputFolder
        << Platform::WidenHostText(Platform::SystemErrorText(outputLock->Error())) << "\n";
    return false;
}

// Called after each step: the first failure's reason is what the log said last, the
// archiver's or the signing tool's lines (which follow the line about its exit code)
// together with that line.
void PackagingJob::NoteFailure()
{
    if (success || !failureReason.empty())
        return;
    const std::vector<std::wstring> lines = log.RecentLines();
    const auto toolLine = [](const std::wstring& line) {
        return line.starts_with(L"Archiver: ") || line.starts_with(L"osslsigncode: ");
    };
    auto first = lines.end();
    while (first != lines.begin() && toolLine(*std::prev(first)))
        --first;
    if (first != lines.begin())
        --first;
    for (auto line = first; line != lines.end(); ++line) {
        // Each item was written with one space behind it.
        const std::wstring text = line->substr(0, line->find_last_not_of(L' ') + 1);
        failureReason += (failureReason.empty() ? L"" : L"\n") + text;
    }
}

// A stop asked for between steps ends the run before the next one.
bool PackagingJob::StillWanted()
{
    if (!Platform::InterruptRequested())
        return true;
    log << "Packaging interrupted: the run was asked to stop" << "\n";
    success = false;
    return false;
}

bool PackagingJob::CopyConfigTool(CPackageCopy& copy)
{
    if (options.GetManaged())
        return true;
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
    if (!fs::exists(folder))
        return false;
    // Copies of large files are given back in pieces first, with the interface kept alive
    // between them; the links to the CID's own files are only unlinked.
    if (const int error = Platform::RemoveTree(folder, [this] { progress.Refresh(); })) {
        const fs::filesystem_error failure("boost::filesystem::remove_all", fs::path(folder),
                                           boost::system::error_code(error, boost::system::system_category()));
        std::cout << "Error: " << failure.what() << std::endl;
        return false;
    }
    return true;
}
