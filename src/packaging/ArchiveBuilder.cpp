#include "packaging/ArchiveBuilder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <fstream>
#include <sstream>
#include <thread>

#include <boost/filesystem/operations.hpp>

#include "core/StepProgress.h"
#include "packaging/AdminFiles.h"
#include "packaging/ArchiverProgress.h"
#include "packaging/PackageSigner.h"
#include "packaging/Sha256.h"
#include "platform/ChildProcess.h"
#include "platform/FileJoin.h"
#include "platform/FileRemoval.h"
#include "platform/Interrupt.h"
#include "platform/TextConversion.h"
#include "platform/WorkFolder.h"

namespace fs = boost::filesystem;

namespace {

constexpr const wchar_t* kArchiveName = L"/halvex_archive.7z";
constexpr const wchar_t* kSfxConfigName = L"/halvex_setup.txt";
constexpr const wchar_t* kDefaultFileName = L"/VeskorEndpoint.exe";

// Paths are put between quotes with nothing escaped, as the command lines have always
// carried them.
std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

// The archive step's progress in thousandths: packing takes most of it, the join the rest.
constexpr std::uint64_t kStepUnits = 1000;
constexpr std::uint64_t kPackingUnits = 900;

// Enough lines to show what differs; the failure line says the rest.
constexpr int kDifferenceCap = 20;

// Every file and folder below `folder`, relative, '/' between the parts, as the
// archiver lists them.
std::set<std::wstring> ListEntries(const std::wstring& folder)
{
    std::set<std::wstring> entries;
    const fs::path root(folder);
    for (fs::recursive_directory_iterator entry(root), end; entry != end; ++entry)
        entries.insert(fs::relative(entry->path(), root).generic_wstring());
    return entries;
}

// The "Path = " of each entry after the "----------" line of a technical listing (-slt);
// those before it describe the archive itself.
std::set<std::wstring> ListedEntries(const std::string& listing)
{
    std::set<std::wstring> entries;
    std::istringstream lines(listing);
    bool inEntries = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "----------")
            inEntries = true;
        else if (inEntries && line.starts_with("Path = "))
            entries.insert(Platform::WidenHostText(line.substr(7)));
    }
    return entries;
}

const char* ArchiverFailureText(int code)
{
    switch (code) {
    case 1:
        return "Failed to invoke archiver tool: One or more files were locked and could not be compressed. Return code:";
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

ArchiveBuilder::ArchiveBuilder(const std::wstring& archiverPath, IProgress* progress)
    : archiverPath(archiverPath), ok(true), log(GetLogging()), progress(progress)
{
}

void ArchiveBuilder::CreateArchive(const std::wstring& workFolder, const std::wstring& outputFolder)
{
    if (!ok)
        return;
    log << "About to run self-extracting archive tool..." << "\n";
    RemoveArchive(outputFolder, false);

    log << "Calling" << archiverPath << "with source:" << workFolder << "and destination:" << outputFolder << "\n";
    try {
        packedEntries = ListEntries(workFolder);
    } catch (const fs::filesystem_error& error) {
        log << "Boost file system error:" << Platform::WidenHostText(error.what()) << "\n";
        ok = false;
        return;
    }
    // The archiver's own command line, each path an argument of its own: whatever a path
    // holds reaches the archiver unchanged and is never re-split. The last switch only
    // makes it print how far it has got.
    const int code = RunArchiver({archiverPath, L"a", outputFolder + kArchiveName, workFolder + L"/*", L"-r", L"-mx5",
                                  L"-mmt", L"-ms=e256m", L"-bsp1"},
                                 L"", nullptr, [this](int percent) {
                                     ReportStepProgress(progress, static_cast<std::uint64_t>(percent) * kPackingUnits / 100,
                                                        kStepUnits);
                                 });
    ok = code == 0;
    if (ok)
        log << "Successfully invoked archiver tool" << "\n";
    if (Platform::InterruptRequested())
        DiscardInterruptedArchive(outputFolder);
}

int ArchiveBuilder::RunArchiver(const std::vector<std::wstring>& arguments, const std::wstring& folder,
                                std::string* output, const std::function<void(int)>& percentDone)
{
    Platform::CChildProcess archiver(arguments, folder);
    int code = archiver.StartError();
    ArchiverProgress percentages;
    if (code == 0) {
        // One Refresh per poll, the last one included, so the interface is kept alive
        // however short the run.
        while (true) {
            const auto exitCode = archiver.Poll();
            if (percentDone)
                if (const auto percent = percentages.Feed(archiver.NewOutput()))
                    percentDone(*percent);
            progress->Refresh();
            if (exitCode) {
                code = *exitCode;
                break;
            }
            if (Platform::InterruptRequested()) {
                archiver.Terminate();
                code = archiver.Poll().value_or(-1);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (code == 0) {
        if (output)
            *output = archiver.Output();
        return code;
    }
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

void ArchiveBuilder::DiscardInterruptedArchive(const std::wstring& outputFolder)
{
    ok = false;
    log << "Archiving interrupted: the run was asked to stop" << "\n";
    DiscardArchive(outputFolder);
}

void ArchiveBuilder::DiscardArchive(const std::wstring& folder)
{
    ShrinkArchive(folder + kArchiveName);
    boost::system::error_code ignored;
    fs::remove(folder + kArchiveName, ignored);
}

// The archive can be as large as the whole CID: its blocks go back in pieces, with the
// interface kept alive between them, before it is removed.
void ArchiveBuilder::ShrinkArchive(const std::wstring& path)
{
    Platform::ShrinkBeforeRemoval(path, [this] { progress->Refresh(); });
}

void ArchiveBuilder::WriteSfxConfig(const std::wstring& workFolder)
{
    if (!ok)
        return;
    log << "About to create 7Zip configuration file..." << "\n";
    const std::wstring text =
        L";!@Install@!UTF-8!\r\n"
        L"InstallPath=\"%temp%\\halvex_temp\"\r\n"
        L"ExecuteFile=\"setup.vbs\"\r\n"
        L"Progress=\"No\"\r\n"
        L";!@InstallEnd@!";
    const std::wstring path = workFolder + kSfxConfigName;
    try {
        std::ofstream file(Platform::NarrowHostText(path), std::ios::binary | std::ios::trunc);
        if (!file.is_open()) {
            log << "Failed to open file " << path << " for writing" << "\n";
            ok = false;
            return;
        }
        // A write that fails must not be reported as a written file.
        file.exceptions(std::ios::badbit | std::ios::failbit);
        file << Platform::NarrowHostText(text);
        file.close();
        log << "Successfully created 7Zip configuration" << "\n";
    } catch (const std::exception& error) {
        log << "Failed to open file " << path << " for writing with error" << Platform::WidenHostText(error.what())
            << "\n";
        ok = false;
    }
}

void ArchiveBuilder::CreateExecutable(const std::wstring& workFolder, const std::wstring& outputFolder,
                                      const std::wstring& fileName, const std::wstring& programFolder)
{
    if (!ok)
        return;
    log << "About to create final self-extracting archive..." << "\n";
    const std::wstring module = FindAdminFile(InstallerModulePlaces(programFolder), "Installer module 7zSD.sfx", log);
    const std::wstring config = workFolder + kSfxConfigName;
    const std::wstring archive = outputFolder + kArchiveName;
    const std::wstring target = fileName.empty() ? outputFolder + kDefaultFileName : outputFolder + L"/" + fileName;
    const std::wstring command = L"copy /b " + Quoted(module) + L" + " + Quoted(config) + L" + " + Quoted(archive) +
                                 L" " + Quoted(target);
    log << "Command line: " << command << "\n";

    Sha256 digest;
    Platform::CJoinedFile joined(target);
    std::uint64_t total = 0;
    for (const auto& part : {module, config, archive}) {
        boost::system::error_code unknown;
        const auto size = fs::file_size(part, unknown);
        total += unknown ? 0 : size;
    }
    std::uint64_t written = 0;
    // The join goes in pieces; between them the interface runs and the bar moves.
    int result = joined.Join({module, config, archive}, [&](std::string_view bytes) {
        digest.Update(bytes);
        written += bytes.size();
        if (total > 0)
            ReportStepProgress(progress, kPackingUnits + std::min(written, total) * (kStepUnits - kPackingUnits) / total,
                               kStepUnits);
        progress->Refresh();
    });
    // A signed package is listed and published as signed: the checksum is of the signed bytes.
    std::optional<std::string> signedDigest;
    if (result == 0 && signing) {
        signedDigest = PackageSigner(*signing, log, progress).Sign(joined.TemporaryPath(), workFolder);
        if (!signedDigest) {
            ok = false;
            ShrinkArchive(joined.TemporaryPath());
            if (Platform::InterruptRequested())
                DiscardInterruptedArchive(outputFolder);
            return;
        }
    }
    if (result == 0 && !VerifyPackage(joined.TemporaryPath())) {
        ShrinkArchive(joined.TemporaryPath());
        if (Platform::InterruptRequested())
            DiscardInterruptedArchive(outputFolder);
        return;
    }
    // Past this point the package is complete: a stop asked for now still ends the run
    // without it.
    if (result == 0 && Platform::InterruptRequested())
        result = ECANCELED;
    if (result == 0)
        result = joined.Commit();
    if (result != 0) {
        log << "Failed to create final self-extracting archive with return code: " << result << "\n";
        log << "Reason:" << Platform::WidenHostText(Platform::SystemErrorText(result)) << "\n";
        ok = false;
        // The unfinished package goes before the archive, both in pieces.
        ShrinkArchive(joined.TemporaryPath());
        if (Platform::InterruptRequested())
            DiscardInterruptedArchive(outputFolder);
        return;
    }
    log << "Successfully created final self-extracting archive" << "\n";
    if (!WriteChecksum(target, signedDigest ? *signedDigest : digest.HexDigest())) {
        // A package without its checksum is not published: it does not stay.
        boost::system::error_code ignored;
        fs::remove(target, ignored);
        ok = false;
    }
}

// The package is listed, not extracted: the archiver reads its headers only.
bool ArchiveBuilder::VerifyPackage(const std::wstring& joined)
{
    log << "Verifying the package: the archiver lists what it holds..." << "\n";
    const fs::path path(joined);
    std::string listing;
    // Run in the package's folder on its bare name: a file name is never read as a
    // wildcard or a switch.
    const int code = RunArchiver({archiverPath, L"l", L"-slt", L"-t7z", L"--", path.filename().wstring()},
                                 path.parent_path().wstring(), &listing);
    if (code != 0) {
        log << "Package verification failed: the archiver cannot read the package" << "\n";
        ok = false;
        return false;
    }
    const EntrySet listed = ListedEntries(listing);
    if (listed == packedEntries) {
        log << "Package verified: it holds every entry of the work folder, and nothing else:"
            << static_cast<int>(listed.size()) << "\n";
        return true;
    }
    log << "Package verification failed: the package does not hold exactly what the work folder held" << "\n";
    int shown = 0;
    for (const auto& entry : packedEntries)
        if (!listed.count(entry) && ++shown <= kDifferenceCap)
            log << "Missing from the package:" << entry << "\n";
    for (const auto& entry : listed)
        if (!packedEntries.count(entry) && ++shown <= kDifferenceCap)
            log << "Not in the work folder:" << entry << "\n";
    ok = false;
    return false;
}

bool ArchiveBuilder::WriteChecksum(const std::wstring& target, const std::string& digest)
{
    const std::wstring checksumFile = target + L".sha256";
    const std::string line = Sha256SumLine(digest, Platform::NarrowHostText(fs::path(target).filename().wstring()));
    if (const int error = Platform::WriteFileAtomically(checksumFile, line)) {
        log << "Failed to write the checksum file" << checksumFile << "with return code:" << error << "\n";
        return false;
    }
    log << "SHA-256 of the package written to" << checksumFile << ":" << Platform::WidenHostText(digest) << "\n";
    return true;
}

void ArchiveBuilder::RemoveArchive(const std::wstring& folder, bool mustExist)
{
    if (!ok)
        return;
    log << "About to remove halvex_archive.7z file..." << "\n";
    const std::wstring path = folder + kArchiveName;
    if (fs::exists(path)) {
        ShrinkArchive(path);
        try {
            fs::remove(path);
        } catch (const fs::filesystem_error& error) {
            log << "Failed to remove file with error: " << Platform::WidenHostText(error.what()) << "\n";
            ok = false;
        }
    } else {
        log << "File: " << path << " does not exist" << "\n";
        if (mustExist)
            ok = false;
    }
    if (ok && mustExist)
        log << "Successfully removed halvex_archive.7z" << "\n";
}
