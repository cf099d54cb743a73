#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "core/IProgress.h"
#include "core/Logging.h"
#include "packaging/CidLinks.h"
#include "packaging/ClientNames.h"
#include "packaging/StepResult.h"
#include "packaging/StopRequest.h"
#include "platform/OpenFile.h"
#include "platform/OpenFolder.h"

// Copies what a package needs from the CID into the work folder: the selected
// component folders, the CID's top-level files, the exploit-prevention folders from
// "KELDWIN" beside the CID and, for a managed package, the management configuration.
// Every failure is logged where it is found and ends the copy with that line as its
// reason; one object serves one package.
//
// The CID is read through folder descriptors only, never through a link: its top folder
// is listed, the selected trees below it are walked once, and the copy then places the
// very files and folders the walk found, opened by name in their own folder and refused
// when they are not the ones listed. What the walk gathers also serves the byte count
// shown while copying and the names the client must hold.
class CPackageCopy {
public:
    using FolderList = std::vector<std::wstring>;

    CPackageCopy(const FolderList& componentFolders, const FolderList& exploitPreventionFolders, IProgress* progress,
                 StopRequest stopRequested);
    ~CPackageCopy();

    StepResult CopyPackage(const std::wstring& source, const std::wstring& destination, const bool& managed);
    // Fails if the target exists.
    StepResult CopySingleFile(const std::wstring& from, const std::wstring& to);

    // The names the copy put into the work folder, for the check that a client can hold them.
    ClientNames& Names() { return names; }

private:
    using Path = boost::filesystem::path;
    using OpenFolder = Platform::OpenFolder;
    struct Entry;
    using EntryList = std::vector<Entry>;
    struct Source;

    // Creates the work folder when missing and holds it.
    StepResult OpenWorkFolder(const Path& target);
    // `source.folder` is the held `source.path`, or nothing when it could not be opened
    // (with `error`). Fills the source's lists.
    StepResult ListSourceFolder(Source& source, int error, const FolderList& names);
    StepResult CheckCount(const std::wstring& source, const EntryList& folders);
    // Walks the listed sources, then copies them: folders, root files, the managed configuration.
    StepResult CopySources(std::vector<Source>& sources, bool managed, const std::wstring& cid,
                           const std::wstring& destination);
    // Walks the listed folders to their ends, gathering what the copy needs.
    void Survey(Source& source, bool managed);
    void SurveyFolder(Entry& folder, const OpenFolder& parent, const Path& from, const Path& real,
                      const std::wstring& relative);
    StepResult CopyFolders(const Source& source);
    StepResult CopyRootFiles(const Source& source, bool managed);
    // An unmanaged package leaves out the management server's certificate and configuration.
    static bool IsCopied(const Entry& file, bool managed);
    StepResult CopyFolder(const Entry& folder, const OpenFolder& parent, const Path& from, const Path& to,
                          const OpenFolder& targetParent);
    StepResult CopyEntryFile(const Entry& file, const OpenFolder& parent, const Path& from, const OpenFolder& target,
                             const Path& to);
    // Logs what the walk found wrong with `entry`, at `path`, and fails.
    StepResult Stop(const Entry& entry, const Path& path);
    // Logs that `path` is no longer what was listed, and fails.
    StepResult LogChanged(const Path& path);
    StepResult PlaceOpenFile(const Platform::OpenFile& file, const OpenFolder& target, const Path& from,
                             const Path& to);
    StepResult CopyFile(const Path& from, const Path& to);
    StepResult PlaceFile(const Path& from, const Path& to);
    // A file that could not be placed: the stop asked for, or the system's error.
    StepResult Unplaced(const Path& from, int error);
    StepResult Unplaced(const Path& from, const Path& to, int error);
    StepResult CopyManagedConfig(const std::wstring& source, const std::wstring& destination);
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
    // Logs and fails for a name that is not valid UTF-8.
    StepResult WindowsName(const Path& path);
    // A failure once the user asked the run to stop.
    StepResult StillGoing();

    FolderList componentFolders;
    FolderList exploitPreventionFolders;
    CLogging& log;
    IProgress* progress;
    StopRequest stopRequested;
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
    // False once a link by name has met another file system.
    bool linkByName = true;
};
