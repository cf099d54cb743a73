#include "packaging/PackageCopy.h"

#include <algorithm>

#include <boost/filesystem/operations.hpp>

#include "core/AsciiLowerCase.h"
#include "core/StepProgress.h"
#include "platform/FilePlacement.h"
#include "platform/Interrupt.h"
#include "platform/StringTable.h"
#include "platform/TextConversion.h"

namespace fs = boost::filesystem;

namespace {

bool Contains(const std::vector<std::wstring>& list, const std::wstring& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

// Shell completion ends a folder with "/"; the CID's own name and the folder beside it
// come from the path without it.
std::wstring WithoutTrailingSeparators(std::wstring path)
{
    while (path.size() > 1 && path.back() == L'/')
        path.pop_back();
    return path;
}

// What the copy will move, in bytes, so it can tell how far it has got. Only an estimate:
// what cannot be read counts as nothing here, and the copy itself reports it.
std::uint64_t TotalSize(const std::vector<fs::path>& folders, const std::vector<fs::path>& files)
{
    std::uint64_t total = 0;
    boost::system::error_code error;
    const auto add = [&total, &error](const fs::path& path) {
        if (fs::is_regular_file(path, error)) {
            const auto size = fs::file_size(path, error);
            if (!error)
                total += size;
        }
    };
    for (const auto& folder : folders) {
        fs::recursive_directory_iterator entry(folder, fs::directory_options::skip_permission_denied, error);
        for (const fs::recursive_directory_iterator end; !error && entry != end; entry.increment(error))
            add(entry->path());
    }
    for (const auto& file : files)
        add(file);
    return total;
}

}  // namespace

CPackageCopy::CPackageCopy(const FolderList& componentFolders, const FolderList& exploitPreventionFolders,
                           IProgress* progress)
    : componentFolders(componentFolders),
      exploitPreventionFolders(exploitPreventionFolders),
      log(GetLogging()),
      progress(progress)
{
}

bool CPackageCopy::CopyPackage(const std::wstring& source, const std::wstring& destination, const bool& managed)
{
    const bool withExploitPrevention = !exploitPreventionFolders.empty();
    const Path cid(WithoutTrailingSeparators(source));
    const Path cidName = cid.filename();
    const Path exploitPreventionSource = cid.parent_path() / L"KELDWIN";
    const Path target(destination);

    log << "About to copy package from source..." << "\n";
    log << "Target:" << source << "destination:" << destination << "\n";
    progress->Refresh();

    try {
        if (!fs::exists(target))
            fs::create_directories(target);
    } catch (const fs::filesystem_error& error) {
        Fail(error);
    }

    links.AddRoot(cid);
    // "KELDWIN" is judged as any link is: it may lead only to a folder beside the CID.
    if (withExploitPrevention && !links.AddRootWithin(exploitPreventionSource, cid.parent_path(), log))
        ok = false;

    log << "Creating new directory structure" << "\n";
    PathList folders, files, exploitPreventionFolderPaths, exploitPreventionFiles;
    ListSourceFolder(cid, componentFolders, folders, files);
    if (withExploitPrevention)
        ListSourceFolder(exploitPreventionSource, exploitPreventionFolders, exploitPreventionFolderPaths,
                         exploitPreventionFiles);

    CheckCount(source, folders);
    totalBytes = TotalSize(folders, RootFilesToCopy(files, managed)) +
                 TotalSize(exploitPreventionFolderPaths, RootFilesToCopy(exploitPreventionFiles, managed));

    if (ok)
        CopyFolders(folders, target / cidName);
    if (ok && withExploitPrevention)
        CopyFolders(exploitPreventionFolderPaths, target / L"KELDWIN");

    if (!managed && ok)
        log << "Unmanaged package - ignoring cac.pem and mrinit.conf" << "\n";
    if (ok) {
        log << "Copying root files" << "\n";
        CopyRootFiles(files, target / cidName, managed);
    }
    if (ok && withExploitPrevention)
        CopyRootFiles(exploitPreventionFiles, target / L"KELDWIN", managed);

    if (managed && ok && !CopyManagedConfig(cid.wstring(), destination))
        ok = false;
    return ok;
}

bool CPackageCopy::CopySingleFile(const std::wstring& from, const std::wstring& to)
{
    return CopyFile(Path(from), Path(to));
}

void CPackageCopy::ListSourceFolder(const Path& folder, const FolderList& names, PathList& folders, PathList& files)
{
    // The walk itself can fail too (a folder that cannot be read, or is gone): the run then
    // ends through its failure path with the reason in the log, not as a stray exception.
    try {
        if (!fs::exists(folder)) {
            log << "Source is invalid. Aborting transfer" << "\n";
            ok = false;
            return;
        }
        for (fs::directory_iterator entry(folder), end; entry != end; ++entry) {
            if (!HasWindowsName(entry->path()))
                continue;
            try {
                boost::system::error_code unreadable;
                const bool isFolder = fs::is_directory(entry->path(), unreadable);
                const bool wanted = !isFolder || Contains(names, AsciiLowerCase(entry->path().filename().wstring()));
                // Only a link that would be copied is judged; one that cannot be read is a
                // file to copy, and judged as such.
                if (wanted && !Follow(entry->path()))
                    continue;
                if (fs::is_directory(entry->path())) {
                    if (wanted)
                        folders.push_back(entry->path());
                } else {
                    files.push_back(entry->path());
                }
            } catch (const fs::filesystem_error& error) {
                Fail(error);
            }
        }
    } catch (const fs::filesystem_error& error) {
        Fail(error);
    }
}

void CPackageCopy::CheckCount(const std::wstring& source, const PathList& folders)
{
    const std::size_t found = folders.size();
    std::size_t expected = componentFolders.size();
    if (Contains(componentFolders, L"dimbel")) {
        FolderList present;
        for (const auto& folder : folders)
            present.push_back(AsciiLowerCase(folder.filename().wstring()));
        struct Optional { const wchar_t* name; const char* included; const char* missing; };
        const Optional tolerated[] = {
            {L"dimbel", "Standalone BEXU is to be included", "Standalone BEXU not found"},
            {L"ynda", "YNDA is to be included", "YNDA not found"},
            {L"ynda64", "YNDA64 is to be included", "YNDA64 not found"},
        };
        for (const auto& folder : tolerated) {
            if (Contains(present, folder.name)) {
                log << folder.included << "\n";
            } else {
                log << folder.missing << "\n";
                // Only a folder that was asked for can be missed; one never requested
                // must not excuse the absence of another.
                if (Contains(componentFolders, folder.name))
                    --expected;
            }
        }
    }
    if (found < expected) {
        log << Platform::LoadFormattedString(142, source).value_or(L"") << "\n";
        ok = false;
    }
}

void CPackageCopy::CopyFolders(const PathList& folders, const Path& target)
{
    for (const auto& folder : folders) {
        if (const auto real = Follow(folder))
            CopyFolder(*real, target / folder.filename());
        progress->Refresh();
        if (!GoingOn())
            break;
    }
}

CPackageCopy::PathList CPackageCopy::RootFilesToCopy(const PathList& files, bool managed)
{
    PathList wanted;
    for (const auto& file : files) {
        const std::wstring name = file.filename().wstring();
        if (managed || (name != L"cac.pem" && name != L"mrinit.conf"))
            wanted.push_back(file);
    }
    return wanted;
}

void CPackageCopy::CopyRootFiles(const PathList& files, const Path& target, bool managed)
{
    for (const auto& file : RootFilesToCopy(files, managed)) {
        const std::wstring name = file.filename().wstring();
        if (!GoingOn())
            break;
        // The folder exists already when a component was copied into it; without one,
        // the root files still need it.
        try {
            fs::create_directories(target);
        } catch (const fs::filesystem_error& error) {
            Fail(error);
            break;
        }
        const auto real = Follow(file);
        if (!real)
            break;
        if (!CopyFile(*real, target / name)) {
            log << "Failed to copy file:" << file.wstring() << "\n";
            ok = false;
        }
        progress->Refresh();
        if (!ok)
            break;
    }
}

void CPackageCopy::CopyFolder(const Path& from, const Path& to)
{
    log << "Copying directory from: " << from.wstring() << "to:" << to.wstring() << "\n";
    for (const Path& folder : {to.parent_path(), to}) {
        try {
            fs::create_directory(folder);
        } catch (const fs::filesystem_error& error) {
            Fail(error);
        }
    }
    links.Enter(from);
    try {
        for (fs::directory_iterator entry(from), end; entry != end; ++entry) {
            if (!GoingOn() || !HasWindowsName(entry->path()))
                break;
            const Path target = to / entry->path().filename();
            try {
                if (const auto source = Follow(from / entry->path().filename())) {
                    if (fs::is_directory(*source))
                        CopyFolder(*source, target);
                    else if (!CopyFile(*source, target))
                        ok = false;
                }
            } catch (const fs::filesystem_error& error) {
                Fail(error);
            }
            progress->Refresh();
            if (!ok)
                break;
        }
    } catch (const fs::filesystem_error& error) {
        // The folder cannot be listed, or went away while it was being copied.
        Fail(error);
    }
    links.Leave();
}

bool CPackageCopy::CopyFile(const Path& from, const Path& to)
{
    log << "Copying file from: " << from.wstring() << "to:" << to.wstring() << "\n";
    try {
        PlaceFile(from, to);
    } catch (const fs::filesystem_error& error) {
        // A stop asked for mid-file is reported as such, not as a failed copy.
        if (Platform::InterruptRequested())
            GoingOn();
        else
            LogError(error);
        return false;
    }
    if (!fs::exists(to))
        return false;
    progress->Refresh();
    return true;
}

// The file enters the work folder the cheapest way there is (a link where the file
// systems allow it), in pieces with the interface kept alive between them; it fails
// when the target exists, with boost's error.
void CPackageCopy::PlaceFile(const Path& from, const Path& to)
{
    const std::uint64_t before = placedBytes;
    const auto placed = Platform::PlaceFile(from.wstring(), to.wstring(), [this, before](std::uint64_t bytes) {
        placedBytes = before + bytes;
        ReportStepProgress(progress, placedBytes, totalBytes);
        progress->Refresh();
        return !Platform::InterruptRequested();
    });
    if (placed.error != 0)
        throw fs::filesystem_error("boost::filesystem::copy_file", from, to,
                                   boost::system::error_code(placed.error, boost::system::system_category()));
}

bool CPackageCopy::CopyManagedConfig(const std::wstring& source, const std::wstring& destination)
{
    log << "Checking if mrinit.conf exists in the KETT folder..." << "\n";
    const std::wstring from = source + L"/kett/mrinit.conf";
    const std::wstring to = destination + L"/mrinit.conf";
    try {
        if (fs::exists(from) || fs::is_symlink(from)) {
            if (!Follow(Path(source) / L"kett") || !Follow(Path(from)))
                return false;
            if (fs::exists(to))
                fs::remove(to);
            log << "Copying:" << from << "to:" << to << "\n";
            PlaceFile(from, to);
        }
    } catch (const fs::filesystem_error& error) {
        LogError(error);
        return false;
    }
    return true;
}

std::optional<CPackageCopy::Path> CPackageCopy::Follow(const Path& entry)
{
    auto real = links.Resolve(entry, log);
    if (!real)
        ok = false;
    return real;
}

bool CPackageCopy::HasWindowsName(const Path& path)
{
    // A Windows client holds names as UTF-16: bytes that are no UTF-8 have no such form.
    if (Platform::IsValidHostText(path.filename().native()))
        return true;
    log << "File name is not valid UTF-8, which a Windows client cannot hold:" << Platform::WidenHostTextEscaped(path.native())
        << "\n";
    ok = false;
    return false;
}

void CPackageCopy::LogError(const fs::filesystem_error& error)
{
    log << "Boost file system error:" << Platform::WidenHostText(error.what()) << "\n";
}

void CPackageCopy::Fail(const fs::filesystem_error& error)
{
    LogError(error);
    ok = false;
}

bool CPackageCopy::GoingOn()
{
    if (ok && Platform::InterruptRequested()) {
        log << "Copy interrupted: the run was asked to stop" << "\n";
        ok = false;
    }
    return ok;
}
