#include "packaging/PackageCopy.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <boost/filesystem/operations.hpp>

#include "core/AsciiLowerCase.h"
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

// Copies one file, failing when the target exists, with boost's error on failure. The
// copy itself is the standard library's: boost's forces every copied file to disk, which
// made copying a CID several times slower than `cp` for no gain (the work folder is
// temporary and the package is written afterwards anyway).
void CopyFileContents(const fs::path& from, const fs::path& to)
{
    std::error_code error;
    std::filesystem::copy_file(std::filesystem::path(from.native()), std::filesystem::path(to.native()), error);
    if (error)
        throw fs::filesystem_error("boost::filesystem::copy_file", from, to,
                                   boost::system::error_code(error.value(), boost::system::system_category()));
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

    if (!fs::exists(target)) {
        try {
            fs::create_directories(target);
        } catch (const fs::filesystem_error& error) {
            Fail(error);
        }
    }

    links.AddRoot(cid);
    if (withExploitPrevention)
        links.AddRoot(exploitPreventionSource);

    log << "Creating new directory structure" << "\n";
    PathList folders, files, exploitPreventionFolderPaths, exploitPreventionFiles;
    ListSourceFolder(cid, componentFolders, folders, files);
    if (withExploitPrevention)
        ListSourceFolder(exploitPreventionSource, exploitPreventionFolders, exploitPreventionFolderPaths,
                         exploitPreventionFiles);

    CheckCount(source, folders);

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
    if (!fs::exists(folder)) {
        log << "Source is invalid. Aborting transfer" << "\n";
        ok = false;
        return;
    }
    for (fs::directory_iterator entry(folder), end; entry != end; ++entry) {
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

void CPackageCopy::CopyRootFiles(const PathList& files, const Path& target, bool managed)
{
    for (const auto& file : files) {
        const std::wstring name = file.filename().wstring();
        if (!managed && (name == L"cac.pem" || name == L"mrinit.conf"))
            continue;
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
    for (fs::directory_iterator entry(from), end; entry != end; ++entry) {
        if (!GoingOn())
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
    links.Leave();
}

bool CPackageCopy::CopyFile(const Path& from, const Path& to)
{
    log << "Copying file from: " << from.wstring() << "to:" << to.wstring() << "\n";
    try {
        CopyFileContents(from, to);
    } catch (const fs::filesystem_error& error) {
        LogError(error);
        return false;
    }
    if (!fs::exists(to))
        return false;
    progress->Refresh();
    return true;
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
            CopyFileContents(from, to);
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
