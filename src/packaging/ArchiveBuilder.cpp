#include "packaging/ArchiveBuilder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <boost/filesystem/operations.hpp>

#include "core/PackageNames.h"
#include "core/StepProgress.h"
#include "packaging/AdminFiles.h"
#include "packaging/ArchiverProgress.h"
#include "packaging/FileDigest.h"
#include "packaging/PackageSigner.h"
#include "packaging/Sha256.h"
#include "platform/BuildTime.h"
#include "platform/ChildProcess.h"
#include "platform/FileRemoval.h"
#include "platform/FolderTree.h"
#include "platform/TextConversion.h"
#include "platform/WorkFolder.h"

namespace fs = boost::filesystem;

namespace {

constexpr const wchar_t* kSfxConfigName = L"/halvex_setup.txt";

// The run's own files in its private folder: the installer module with its
// configuration, which the archiver writes in front of the archive, the package it
// writes, and the package's checksum line.
constexpr const wchar_t* kInstallerHead = L"installer-head";
constexpr const wchar_t* kPackage = L"package.exe";
constexpr const wchar_t* kChecksum = L"package.exe.sha256";

// Paths are put between quotes with nothing escaped, as the command lines have always
// carried them.
std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

// The archive step's progress in thousandths: packing takes most of it, reading the
// package back for its checksum the rest.
constexpr std::uint64_t kStepUnits = 1000;
constexpr std::uint64_t kPackingUnits = 900;

// How much of the work folder is read for its CRCs between two polls of the archiver:
// a few milliseconds' work, so the interface stays as lively as the poll makes it.
constexpr std::uint64_t kHashShare = 8 << 20;

// Enough lines to show what differs; the failure line says the rest.
constexpr std::size_t kDifferenceCap = 20;

// How much of what the archiver prints is read at a time.
constexpr std::size_t kOutputPiece = 64 << 10;

// The installer module's configuration: where to unpack, what to run, no progress window.
std::wstring SfxConfigText()
{
    return std::wstring(L";!@Install@!UTF-8!\r\n") + L"InstallPath=\"%temp%\\" + kClientFolderName.wide + L"\"\r\n" +
           L"ExecuteFile=\"" + kSetupScriptName.wide + L"\"\r\n" + L"Progress=\"No\"\r\n" + L";!@InstallEnd@!";
}

const char* ArchiverFailureText(int code)
{
    switch (code) {
    case 1:
        return "Failed to invoke archiver tool: One or more files were locked and could not be compressed. Return "
               "code:";
    case 2:
        return "Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code:";
    case 7:
        return "Failed to invoke archiver tool: Command-line error. Return code:";
    case 8:
        return "Failed to invoke archiver tool: Insufficient memory for archiving operation. Return code:";
    case 255:
        return "Failed to invoke archiver tool: User cancelled archiving operation. Return code:";
    default:
        return "Failed to invoke archiver tool: Return code:";
    }
}

}  // namespace

ArchiveBuilder::ArchiveBuilder(const std::wstring& archiverPath, const std::wstring& programFolder, IProgress* progress,
                               StopRequest stopRequested)
    : archiverPath(archiverPath),
      programFolder(programFolder),
      log(GetLogging()),
      progress(progress),
      stopRequested(std::move(stopRequested))
{}

StepResult ArchiveBuilder::CreateArchive(const std::wstring& workFolder, const std::wstring& outputFolder)
{
    log << "About to run self-extracting archive tool..." << "\n";
    // A stale archive that cannot be removed is only logged: this run writes its own in a
    // private folder.
    static_cast<void>(RemoveArchive(outputFolder, false));

    log << "Calling" << archiverPath << "with source:" << workFolder << "and destination:" << outputFolder << "\n";
    if (const auto malformed = Platform::MalformedSourceDateEpoch())
        log << "SOURCE_DATE_EPOCH is not a whole number of seconds and is ignored:"
            << Platform::WidenHostText(*malformed) << "\n";
    if (StepResult held = HoldPrivateFolder(outputFolder); !held)
        return held;
    if (StepResult head = WriteInstallerHead(); !head)
        return head;
    // The folders the run made get one time, so the package depends only on what it holds.
    if (const int error = packedEntries.List(workFolder, true))
        return LogFailure(log, "Unable to list the work folder:", workFolder,
                          Platform::WidenHostText(Platform::SystemErrorText(error)));
    // The archiver's own command line, each path an argument of its own: whatever a path
    // holds reaches the archiver unchanged and is never re-split. It runs in the private
    // folder and writes the package there, the installer module and its configuration in
    // front of the archive. Creation and access times stay out of the package, and the
    // last switch only makes the archiver print how far it has got.
    const int code = RunArchiver(
        {archiverPath, L"a", kPackage, workFolder + L"/*", L"-r", L"-mx5", L"-mmt", L"-ms=e256m", L"-mtc=off",
         L"-mta=off", std::wstring(L"-sfx./") + kInstallerHead, L"-bsp1"},
        privateFolder->HeldPath(), {},
        [this](int percent) {
            ReportStepProgress(progress, static_cast<std::uint64_t>(percent) * kPackingUnits / 100, kStepUnits);
        },
        // The work folder's CRCs are computed while the archiver works.
        [this] { packedEntries.HashShare(kHashShare, [this] { progress->Refresh(); }); });
    const StepResult result = code == 0 ? StepResult() : StepResult::Logged(log);
    if (result)
        log << "Successfully invoked archiver tool" << "\n";
    if (stopRequested())
        return Interrupted(outputFolder);
    return result;
}

// The run's intermediate files go in a folder of its own inside the output folder: on
// the output's file system, so the package reaches its name by a rename, and out of
// reach of anyone else who may write to the output folder.
StepResult ArchiveBuilder::HoldPrivateFolder(const std::wstring& outputFolder)
{
    if (Platform::OpenToOtherWriters(outputFolder))
        log << "Warning: other users may write to the output folder and it is not sticky: they can rename or replace"
            << "the package once it is there:" << outputFolder << "\n";
    privateFolder.emplace(outputFolder);
    if (const int error = privateFolder->Error())
        return LogFailure(log,
                          "Unable to make a private folder for the run's files in the output folder:", outputFolder,
                          Platform::WidenHostText(Platform::SystemErrorText(error)));
    return {};
}

// The installer module and its configuration, in one file the archiver writes in front
// of the archive: the package is module, configuration and archive, byte for byte.
StepResult ArchiveBuilder::WriteInstallerHead()
{
    modulePath = FindAdminFile(InstallerModulePlaces(programFolder), "Installer module 7zSD.sfx", log);
    std::ifstream module(Platform::NarrowHostText(modulePath), std::ios::binary);
    std::string head(std::istreambuf_iterator<char>(module), {});
    int error = module.bad() || !module.is_open() ? errno : 0;
    if (error == 0) {
        head += Platform::NarrowHostText(SfxConfigText());
        std::ofstream file(Platform::NarrowHostText(privateFolder->HeldPath(kInstallerHead)),
                           std::ios::binary | std::ios::trunc);
        file << head;
        file.close();
        error = file.fail() ? errno : 0;
    }
    if (error == 0)
        return {};
    log << "Failed to create final self-extracting archive with return code: " << error << "\n";
    return LogFailure(log, "Reason:", Platform::WidenHostText(Platform::SystemErrorText(error)));
}

int ArchiveBuilder::RunArchiver(const std::vector<std::wstring>& arguments, const std::wstring& folder,
                                const std::function<void(std::string_view)>& output,
                                const std::function<void(int)>& percentDone, const std::function<void()>& whileWaiting)
{
    Platform::ChildProcess archiver(arguments, folder);
    int code = archiver.StartError();
    ArchiverProgress percentages;
    if (code == 0) {
        // One Refresh per poll, the last one included, so the interface is kept alive
        // however short the run.
        while (true) {
            const auto exitCode = archiver.Poll();
            // Once the archiver has ended, this takes the rest of what it printed.
            if (output)
                for (std::string piece; !(piece = archiver.TakeOutput(kOutputPiece)).empty();)
                    output(piece);
            if (percentDone)
                if (const auto percent = percentages.Feed(archiver.NewOutput()))
                    percentDone(*percent);
            progress->Refresh();
            if (exitCode) {
                code = *exitCode;
                break;
            }
            if (stopRequested()) {
                archiver.Terminate();
                code = archiver.Poll().value_or(-1);
                break;
            }
            if (whileWaiting)
                whileWaiting();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (code == 0)
        return code;
    log << ArchiverFailureText(code) << code << "\n";
    if (const auto signal = archiver.EndingSignal())
        log << "The archiver was ended by the signal" << Platform::WidenHostText(Platform::SignalName(*signal)) << "\n";
    // What the archiver said about its failure, line by line, after the line for its code.
    std::istringstream said(archiver.ErrorOutput());
    for (std::string line; std::getline(said, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            log << "Archiver:" << Platform::WidenHostText(line) << "\n";
    }
    return code;
}

StepResult ArchiveBuilder::Interrupted(const std::wstring& outputFolder)
{
    StepResult interrupted = LogFailure(log, "Archiving interrupted: the run was asked to stop");
    DiscardArchive(outputFolder);
    return interrupted;
}
// The package can be as large as the whole CID: its blocks go back in pieces, with the
// interface kept alive between them, before it is removed.
void ArchiveBuilder::DiscardArchive(const std::wstring&)
{
    if (privateFolder)
        privateFolder->Remove([this] { progress->Refresh(); });
    privateFolder.reset();
}

// The configuration also went in front of the archive; the file in the work folder is
// what the join's command line names.
StepResult ArchiveBuilder::WriteSfxConfig(const std::wstring& workFolder)
{
    log << "About to create 7Zip configuration file..." << "\n";
    const std::wstring path = workFolder + kSfxConfigName;
    std::ofstream file(Platform::NarrowHostText(path), std::ios::binary | std::ios::trunc);
    if (!file.is_open())
        return LogFailure(log, "Failed to open file ", path, " for writing");
    // A write that fails must not be reported as a written file.
    file << Platform::NarrowHostText(SfxConfigText());
    file.close();
    if (file.fail())
        return LogFailure(log, "Failed to open file ", path, " for writing with error",
                          Platform::WidenHostText(Platform::SystemErrorText(errno != 0 ? errno : EIO)));
    log << "Successfully created 7Zip configuration" << "\n";
    return {};
}
void ArchiveBuilder::FinishReadingWorkFolder()
{
    packedEntries.HashShare(UINT64_MAX, [this] { progress->Refresh(); });
}

StepResult ArchiveBuilder::CreateExecutable(const std::wstring& workFolder, const std::wstring& outputFolder,
                                            const std::wstring& fileName, const std::wstring&)
{
    log << "About to create final self-extracting archive..." << "\n";
    const std::wstring config = workFolder + kSfxConfigName;
    const std::wstring archive = outputFolder + L"/" + kArchiveName.wide;
    const std::wstring name = fileName.empty() ? kDefaultPackageName.wide : fileName;
    const std::wstring target = outputFolder + L"/" + name;
    // The archiver has already written module, configuration and archive as one file;
    // the line says what that file is made of.
    const std::wstring command =
        L"copy /b " + Quoted(modulePath) + L" + " + Quoted(config) + L" + " + Quoted(archive) + L" " + Quoted(target);
    log << "Command line: " << command << "\n";

    // A signed package is checked and published as signed: the checksum is of the signed bytes.
    std::optional<std::string> digest;
    if (signing) {
        std::string signedDigest;
        const StepResult signedPackage =
            PackageSigner(*signing, log, progress, stopRequested).Sign(privateFolder->HeldPath(kPackage), signedDigest);
        if (!signedPackage)
            return stopRequested() ? Interrupted(outputFolder) : signedPackage;
        digest = std::move(signedDigest);
    }
    // An unsigned package is hashed while the archiver lists it.
    std::optional<FileDigest> hashing;
    if (!digest)
        hashing.emplace(privateFolder->HeldPath(), Platform::NarrowHostText(kPackage));
    if (StepResult verified = VerifyPackage(); !verified) {
        hashing.reset();
        return stopRequested() ? Interrupted(outputFolder) : verified;
    }
    if (hashing) {
        const FileDigest::Result hashed = WaitForDigest(*hashing);
        if (hashed.error != 0)
            return FailJoin(hashed.error, outputFolder);
        digest = hashed.hexDigest;
    }
    if (StepResult written = WriteChecksum(target, *digest); !written)
        return written;
    // Past this point the package is complete: a stop asked for now still ends the run
    // without it.
    if (stopRequested())
        return FailJoin(ECANCELED, outputFolder);
    if (const int result = Publish(name))
        return FailJoin(result, outputFolder);
    log << "Successfully created final self-extracting archive" << "\n";
    log << "SHA-256 of the package written to" << target + L".sha256" << ":" << Platform::WidenHostText(*digest)
        << "\n";
    return {};
}
StepResult ArchiveBuilder::FailJoin(int result, const std::wstring& outputFolder)
{
    log << "Failed to create final self-extracting archive with return code: " << result << "\n";
    StepResult failed = LogFailure(log, "Reason:", Platform::WidenHostText(Platform::SystemErrorText(result)));
    return stopRequested() ? Interrupted(outputFolder) : failed;
}
// The package is listed, not extracted: the archiver reads its headers only, and each
// entry's size and CRC are set against the work folder's file as the listing comes.
StepResult ArchiveBuilder::VerifyPackage()
{
    log << "Verifying the package: the archiver lists what it holds..." << "\n";
    // The work folder's last CRCs first, so that every entry listed can be judged at once;
    // a file that cannot be read is told once the package is known to be readable.
    FinishReadingWorkFolder();
    ListingComparison listed(packedEntries, kDifferenceCap);
    // Run in the private folder on the package's bare name: a file name is never read as
    // a wildcard or a switch.
    const int code = RunArchiver({archiverPath, L"l", L"-slt", L"-t7z", L"--", kPackage}, privateFolder->HeldPath(),
                                 [&listed](std::string_view piece) { listed.Feed(piece); });
    if (code != 0)
        return LogFailure(log, "Package verification failed: the archiver cannot read the package");
    listed.End();
    if (const int error = packedEntries.Error())
        return LogFailure(log, "Package verification failed: a file of the work folder cannot be read:",
                          Platform::WidenHostText(packedEntries.FailedPath()),
                          Platform::WidenHostText(Platform::SystemErrorText(error)));
    if (listed.Same()) {
        log << "Package verified: it holds every entry of the work folder with its size and CRC, and nothing else:"
            << static_cast<int>(packedEntries.Count()) << "\n";
        return {};
    }
    StepResult failed =
        LogFailure(log, "Package verification failed: the package does not hold exactly what the work folder held");
    using Kind = ListingComparison::Difference::Kind;
    for (const auto& [kind, path] : listed.Differences()) {
        const char* line = kind == Kind::Missing   ? "Missing from the package:"
                           : kind == Kind::Changed ? "Not as in the work folder:"
                                                   : "Not in the work folder:";
        log << line << Platform::WidenHostText(path) << "\n";
    }
    return failed;
}

// The rest of the package's one read, with the interface kept alive and the bar moving.
FileDigest::Result ArchiveBuilder::WaitForDigest(FileDigest& hashing)
{
    boost::system::error_code unknown;
    const std::uint64_t total = fs::file_size(privateFolder->HeldPath(kPackage), unknown);
    const auto report = [&] {
        if (!unknown && total > 0)
            ReportStepProgress(
                progress, kPackingUnits + std::min(hashing.BytesRead(), total) * (kStepUnits - kPackingUnits) / total,
                kStepUnits);
        progress->Refresh();
    };
    // Where the read has got while the package was listed, then as it goes on.
    report();
    FileDigest::Result hashed = hashing.Wait([&] {
        report();
        return !stopRequested();
    });
    if (hashed.error == 0)
        report();
    return hashed;
}

StepResult ArchiveBuilder::WriteChecksum(const std::wstring& target, const std::string& digest)
{
    const std::string line = Sha256SumLine(digest, Platform::NarrowHostText(fs::path(target).filename().wstring()));
    std::ofstream file(Platform::NarrowHostText(privateFolder->HeldPath(kChecksum)),
                       std::ios::binary | std::ios::trunc);
    file << line;
    file.close();
    if (!file.fail())
        return {};
    const int error = errno != 0 ? errno : EIO;
    return LogFailure(log, "Failed to write the checksum file", target + L".sha256", "with return code:", error);
}

// Both new files take their names only together: an older package and its checksum stay
// as they were unless both new ones are in place. An existing file is exchanged with the
// new one, so that it can be put back; what is left in the private folder goes with it.
int ArchiveBuilder::Publish(const std::wstring& name)
{
    const std::wstring checksumName = name + L".sha256";
    bool packageSwapped = false;
    int error = privateFolder->Exchange(kPackage, name);
    if (error == 0)
        packageSwapped = true;
    else if (error == ENOENT)
        error = privateFolder->MoveOut(kPackage, name);
    if (error != 0)
        return error;
    error = privateFolder->Exchange(kChecksum, checksumName);
    if (error == ENOENT)
        error = privateFolder->MoveOut(kChecksum, checksumName);
    if (error == 0)
        return 0;
    // The checksum cannot take its name: the package goes back.
    if (packageSwapped)
        privateFolder->Exchange(kPackage, name);
    else
        privateFolder->MoveIn(name, kPackage);
    return error;
}

StepResult ArchiveBuilder::RemoveArchive(const std::wstring& folder, bool mustExist)
{
    log << "About to remove halvex_archive.7z file..." << "\n";
    // This run's intermediate files are all in its private folder.
    if (mustExist && privateFolder) {
        DiscardArchive(folder);
        log << "Successfully removed halvex_archive.7z" << "\n";
        return {};
    }
    // An intermediate archive an earlier run left in the output folder.
    const std::wstring path = folder + L"/" + kArchiveName.wide;
    boost::system::error_code error;
    const fs::file_type found = fs::status(path, error).type();
    if (found == fs::status_error)
        return LogFailure(
            log, "Failed to remove file with error: ", FileSystemErrorText("boost::filesystem::status", path, error));
    if (found == fs::file_not_found) {
        log << "File: " << path << " does not exist" << "\n";
        if (mustExist)
            return StepResult::Logged(log);
        return {};
    }
    Platform::ShrinkBeforeRemoval(path, [this] { progress->Refresh(); });
    if (fs::remove(path, error); error)
        return LogFailure(
            log, "Failed to remove file with error: ", FileSystemErrorText("boost::filesystem::remove", path, error));
    if (mustExist)
        log << "Successfully removed halvex_archive.7z" << "\n";
    return {};
}