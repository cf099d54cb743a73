#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/path.hpp>

#include "core/Logging.h"
#include "core/IProgress.h"
#include "packaging/CidLinks.h"
#include "packaging/ClientNames.h"
#include "platform/OpenFile.h"
#include "platform/OpenFolder.h"

// Copies what a package needs from the CID into the work folder: the selected
// component folders, the CID's top-level files, the exploit-prevention folders from
// "KELDWIN" beside the CID and, for a managed package, the management configuration.
// Every failure is logged and clears `ok` for good, so one object serves one package.
//
// The CID is read through folder descriptors only, never through a link: its top folder
// is listed, the selected trees below it are walked once, and the copy then places the
// very files and folders the walk found, opened by name in their own folder and refused
// when they are not the ones listed. What the walk gathers also serves the byte count
// shown while copying and the names the client must hold.
class CPackageCopy {
public:
    using FolderList = std::vector<std::wstring>;

    CPackageCopy(const FolderList& componentFolders, const FolderList& exploitPreventionFolders, IProgress* progress);
    ~CPackageCopy();

    bool CopyPackage(const std::wstring& source, const std::wstring& destination, const bool& managed);
    // Fails if the target exists; leaves `ok` alone.
    bool CopySingleFile(const std::wstring& from, const std::wstring& to);

    // The names the copy put into the work folder, for the check that a client can hold them.
    ClientNames& Names() { return names; }

private:
    using Path = boost::filesystem::path;
    using OpenFolder = Platform::OpenFolder;
    struct Entry;
    using EntryList = std::vector<Entry>;

    // `folder` is the held `path`, or nothing when it could not be opened (with `error`).
    void ListSourceFolder(const Path& path, const OpenFolder* folder, int error, const FolderList& names,
                          EntryList& folders, EntryList& files);
    void CheckCount(const std::wstring& source, const EntryList& folders);
    // Walks the listed folders to their ends, gathering what the copy needs.
    void Survey(EntryList& folders, EntryList& files, const Path& path, const OpenFolder& folder,
                const std::wstring& relative, bool managed);
    void SurveyFolder(Entry& folder, const OpenFolder& parent, const Path& from, const Path& real,
                      const std::wstring& relative);
    void CopyFolders(const EntryList& folders, const Path& path, const OpenFolder& folder, const Path& target);
    void CopyRootFiles(const EntryList& files, const Path& path, const OpenFolder& folder, const Path& target,
                       bool managed);
    // An unmanaged package leaves out the management server's certificate and configuration.
    static bool IsCopied(const Entry& file, bool managed);
    void CopyFolder(const Entry& folder, const OpenFolder& parent, const Path& from, const Path& to,
                    const OpenFolder& targetParent);
    bool CopyEntryFile(const Entry& file, const OpenFolder& parent, const Path& from, const OpenFolder& target,
                       const Path& to);
    // Logs what the walk found wrong with `entry`, at `path`, and fails.
    void Stop(const Entry& entry, const Path& path);
    // Logs that `path` is no longer what was listed, and fails.
    void LogChanged(const Path& path);
    void PlaceOpenFile(const Platform::OpenFile& file, const OpenFolder& target, const Path& from, const Path& to);
    bool CopyFile(const Path& from, const Path& to);
    void PlaceFile(const Path& from, const Path& to);
    bool CopyManagedConfig(const std::wstring& source, const std::wstring& destination);
    // Opens the entry a listing found: by its name in `parent`, or, for a link, by its
    // real path below the root that holds it; nothing is opened through a link either way.
    // 0, the system error code, or kChanged when it is no longer the object listed.
    // `Opened` is an OpenFolder or a Platform::OpenFile.
    template <typename Opened>
    int OpenListed(const Entry& entry, const OpenFolder& parent, Opened& opened) const;
    // The folder below the root that holds `real` (a real path), opened part by part, and
    // the last part's name. 0, or the system error code.
    int OpenParentBelowRoot(const Path& real, OpenFolder& parent, std::string& name) const;
    static constexpr int kChanged = -1;
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
    // The roots links may lead into (the CID, "KELDWIN"), held open, in the order `links`
    // has them.
    std::vector<OpenFolder> roots;
    OpenFolder work;
    unsigned walked = 0;
    ClientNames names;
    // The walk ends at the first entry that will stop the copy: nothing after it is copied.
    bool walkEnded = false;
    // How far the copy has got, for the progress shown within the step.
    std::uint64_t totalBytes = 0;
    std::uint64_t placedBytes = 0;
};
