#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/path.hpp>

#include "core/Logging.h"
#include "packaging/CidLinks.h"
#include "core/IProgress.h"

// Copies what a package needs from the CID into the work folder: the selected
// component folders, the CID's top-level files, the exploit-prevention folders from
// "KELDWIN" beside the CID and, for a managed package, the management configuration.
// Every failure is logged and clears `ok` for good, so one object serves one package.
class CPackageCopy {
public:
    using FolderList = std::vector<std::wstring>;

    CPackageCopy(const FolderList& componentFolders, const FolderList& exploitPreventionFolders, IProgress* progress);

    bool CopyPackage(const std::wstring& source, const std::wstring& destination, const bool& managed);
    // Fails if the target exists; leaves `ok` alone.
    bool CopySingleFile(const std::wstring& from, const std::wstring& to);

private:
    using Path = boost::filesystem::path;
    using PathList = std::vector<Path>;

    void ListSourceFolder(const Path& folder, const FolderList& names, PathList& folders, PathList& files);
    void CheckCount(const std::wstring& source, const PathList& folders);
    void CopyFolder(const Path& from, const Path& to);
    void CopyFolders(const PathList& folders, const Path& target);
    void CopyRootFiles(const PathList& files, const Path& target, bool managed);
    // An unmanaged package leaves out the management server's certificate and configuration.
    static PathList RootFilesToCopy(const PathList& files, bool managed);
    bool CopyFile(const Path& from, const Path& to);
    void PlaceFile(const Path& from, const Path& to);
    bool CopyManagedConfig(const std::wstring& source, const std::wstring& destination);
    // The path to copy for a CID entry (a link's target inside the CID); nothing, with
    // `ok` cleared, for a link that must not be followed.
    std::optional<Path> Follow(const Path& entry);
    // Logs and fails for a name that is not valid UTF-8.
    bool HasWindowsName(const Path& path);
    void LogError(const boost::filesystem::filesystem_error& error);
    void Fail(const boost::filesystem::filesystem_error& error);
    // False once the copy has failed or the user asked the run to stop.
    bool GoingOn();

    FolderList componentFolders;
    FolderList exploitPreventionFolders;
    CLogging& log;
    IProgress* progress;
    bool ok = true;
    CidLinks links;
    // How far the copy has got, for the progress shown within the step.
    std::uint64_t totalBytes = 0;
    std::uint64_t placedBytes = 0;
};
