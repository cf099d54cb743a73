#include "packaging/PackageCopy.h"

#include <algorithm>
#include <cerrno>

#include <boost/filesystem/operations.hpp>

#include "core/AsciiLowerCase.h"
#include "core/PackageNames.h"
#include "core/PathWithin.h"
#include "core/StepProgress.h"
#include "core/TrailingSeparators.h"
#include "platform/FilePlacement.h"
#include "platform/StringTable.h"
#include "platform/TextConversion.h"

namespace fs = boost::filesystem;

// One entry of a source folder as the walk found it. A link is listed under its own name
// and stands for what its real target is.
struct CPackageCopy::Entry {
    // What stops the copy at this entry, found by the walk and reported when the copy
    // gets there, so the log reads as if the copy had found it.
    enum class Problem { None, Name, Link, Error, Changed };
    struct Detail {
        std::optional<Path> real;  // a link's real target
        Problem problem = Problem::None;
        CidLinks::Verdict verdict;
        const char* operation = "";
        Path errorPath;
        boost::system::error_code error;
    };

    std::string name;  // in the host's text form
    Platform::EntryKind kind = Platform::EntryKind::Other;
    std::uint64_t size = 0;
    // What was listed; all zero when it is not known.
    Platform::FileIdentity identity;
    EntryList children;
    std::unique_ptr<Detail> detail;

    Detail& Details()
    {
        if (!detail)
            detail = std::make_unique<Detail>();
        return *detail;
    }
    const Path* Real() const { return detail && detail->real ? &*detail->real : nullptr; }
    Problem GetProblem() const { return detail ? detail->problem : Problem::None; }
};

// One folder the copy reads from (the CID, or "KELDWIN" beside it) with what its listing
// found, and the folder it goes to in the work folder.
struct CPackageCopy::Source {
    Path path;
    const OpenFolder* folder = nullptr;
    EntryList folders;
    EntryList files;
    Path target;
};

namespace {

bool Contains(const std::vector<std::wstring>& list, const std::wstring& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

constexpr const char* kListing = "boost::filesystem::directory_iterator::construct";
constexpr const char* kCreating = "boost::filesystem::create_directory";
constexpr const char* kCopying = "boost::filesystem::copy_file";

// Entries walked between two calls of Refresh, so a large tree keeps the interface alive.
constexpr unsigned kWalkRefresh = 1000;

}  // namespace

CPackageCopy::CPackageCopy(const FolderList& componentFolders, const FolderList& exploitPreventionFolders,
                           IProgress* progress, StopRequest stopRequested)
    : componentFolders(componentFolders),
      exploitPreventionFolders(exploitPreventionFolders),
      log(GetLogging()),
      progress(progress),
      stopRequested(std::move(stopRequested))
{}

CPackageCopy::~CPackageCopy() = default;

StepResult CPackageCopy::CopyPackage(const std::wstring& source, const std::wstring& destination, const bool& managed)
{
    const bool withExploitPrevention = !exploitPreventionFolders.empty();
    const Path cid(WithoutTrailingSeparators(source));
    const Path cidName = cid.filename();
    const Path exploitPreventionSource = cid.parent_path() / kExploitPreventionFolderName.wide;
    const Path target(destination);

    log << "About to copy package from source..." << "\n";
    log << "Target:" << source << "destination:" << destination << "\n";
    progress->Refresh();

    // Up to the count of what was found, every check runs and logs; the first failure is
    // the copy's.
    StepResult result = OpenWorkFolder(target);

    // The folders links may lead into; the CID and "KELDWIN" are read through their
    // descriptors only, held from here on.
    links.AddRoot(cid);
    const bool cidResolved = !links.Roots().empty();
    // "KELDWIN" is judged as any link is: it may lead only to a folder beside the CID.
    bool exploitPreventionTaken = false;
    if (withExploitPrevention) {
        const std::size_t before = links.Roots().size();
        if (!links.AddRootWithin(exploitPreventionSource, cid.parent_path(), log))
            result.Add(StepResult::Logged(log));
        exploitPreventionTaken = links.Roots().size() > before;
    }
    roots.resize(links.Roots().size());
    std::vector<int> rootErrors;
    for (std::size_t index = 0; index < roots.size(); ++index)
        rootErrors.push_back(roots[index].Open(links.Roots()[index].native()));
    const auto held = [&](bool taken, std::size_t index) -> const OpenFolder* {
        return taken && rootErrors[index] == 0 ? &roots[index] : nullptr;
    };
    const auto openError = [&](bool taken, std::size_t index) { return taken ? rootErrors[index] : ENOENT; };
    const std::size_t exploitPreventionIndex = cidResolved ? 1 : 0;

    log << "Creating new directory structure" << "\n";
    std::vector<Source> sources;
    sources.push_back({cid, held(cidResolved, 0), {}, {}, target / cidName});
    result.Add(ListSourceFolder(sources[0], openError(cidResolved, 0), componentFolders));
    // A "KELDWIN" that was refused is not even listed.
    if (withExploitPrevention && (exploitPreventionTaken || result)) {
        sources.push_back({exploitPreventionSource,
                           held(exploitPreventionTaken, exploitPreventionIndex),
                           {},
                           {},
                           target / kExploitPreventionFolderName.wide});
        result.Add(ListSourceFolder(sources[1], openError(exploitPreventionTaken, exploitPreventionIndex),
                                    exploitPreventionFolders));
    }
    result.Add(CheckCount(source, sources[0].folders));
    if (result)
        result = CopySources(sources, managed, cid.wstring(), destination);

    // The top of the work folder, as far as the copy filled it.
    std::vector<std::wstring> top;
    for (const std::wstring& name :
         {cidName.wstring(), std::wstring(kExploitPreventionFolderName.wide), std::wstring(L"mrinit.conf")}) {
        Platform::FolderEntry present;
        if (work.IsOpen() && work.Describe(Path(name).native(), present) == 0)
            top.push_back(name);
    }
    names.AddFolder(L"", top);
    return result;
}

StepResult CPackageCopy::OpenWorkFolder(const Path& target)
{
    boost::system::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (status.type() == fs::status_error)
        return FileSystemFailure(log, "boost::filesystem::status", target, error);
    if (status.type() == fs::file_not_found) {
        if (fs::create_directories(target, error); error)
            return FileSystemFailure(log, "boost::filesystem::create_directories", target, error);
    }
    if (const int opened = work.Open(target.native()))
        return FileSystemFailure(log, kListing, target, opened);
    return {};
}

StepResult CPackageCopy::CopySources(std::vector<Source>& sources, bool managed, const std::wstring& cid,
                                     const std::wstring& destination)
{
    for (auto& source : sources)
        Survey(source, managed);
    // A line per file copied: they reach the log file in batches.
    const CLogging::Batch batch(log);
    for (const auto& source : sources)
        if (StepResult copied = CopyFolders(source); !copied)
            return copied;
    if (!managed)
        log << "Unmanaged package - ignoring cac.pem and mrinit.conf" << "\n";
    log << "Copying root files" << "\n";
    for (const auto& source : sources)
        if (StepResult copied = CopyRootFiles(source, managed); !copied)
            return copied;
    return managed ? CopyManagedConfig(cid, destination) : StepResult();
}
StepResult CPackageCopy::CopySingleFile(const std::wstring& from, const std::wstring& to)
{
    return CopyFile(Path(from), Path(to));
}

StepResult CPackageCopy::ListSourceFolder(Source& source, int error, const FolderList& names)
{
    const Path& path = source.path;
    boost::system::error_code unknown;
    if (source.folder == nullptr && !fs::exists(path, unknown))
        return LogFailure(log, "Source is invalid. Aborting transfer");
    // A folder that cannot be read, or is gone: the run then ends through its failure
    // path with the reason in the log.
    std::vector<Platform::FolderEntry> listed;
    if (source.folder == nullptr || (error = source.folder->List(listed)) != 0)
        return FileSystemFailure(log, kListing, path, error);
    // Every entry the copy must refuse is logged; the first is the listing's failure.
    StepResult result;
    for (auto& found : listed) {
        const Path entryPath = path / found.name;
        if (StepResult named = WindowsName(entryPath); !named) {
            result.Add(std::move(named));
            continue;
        }
        bool isFolder = found.kind == Platform::EntryKind::Folder;
        if (found.kind == Platform::EntryKind::Link) {
            boost::system::error_code unreadable;
            isFolder = fs::is_directory(entryPath, unreadable);
        }
        const bool wanted = !isFolder || Contains(names, AsciiLowerCase(entryPath.filename().wstring()));
        Entry entry;
        entry.name = std::move(found.name);
        entry.kind = isFolder ? Platform::EntryKind::Folder : found.kind;
        entry.size = found.size;
        // Only a link that would be copied is judged; one that cannot be read is a file to
        // copy, and judged as such.
        if (found.kind == Platform::EntryKind::Link) {
            if (!wanted)
                continue;
            const auto real = links.Resolve(entryPath, log);
            if (!real) {
                result.Add(StepResult::Logged(log));
                continue;
            }
            entry.Details().real = *real;
            if (!isFolder)
                entry.kind = Platform::EntryKind::File;
        } else {
            entry.identity = found.identity;
        }
        if (isFolder) {
            if (wanted)
                source.folders.push_back(std::move(entry));
        } else {
            source.files.push_back(std::move(entry));
        }
    }
    return result;
}
StepResult CPackageCopy::CheckCount(const std::wstring& source, const EntryList& folders)
{
    const std::size_t found = folders.size();
    std::size_t expected = componentFolders.size();
    if (Contains(componentFolders, L"dimbel")) {
        FolderList present;
        for (const auto& folder : folders)
            present.push_back(AsciiLowerCase(Platform::WidenHostText(folder.name)));
        struct Optional {
            const wchar_t* name;
            const char* included;
            const char* missing;
        };
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
    if (found < expected)
        return LogFailure(log,
                          Platform::LoadFormattedString(Platform::TextId::MissingComponents, source).value_or(L""));
    return {};
}

bool CPackageCopy::IsCopied(const Entry& file, bool managed)
{
    return managed || (file.name != "cac.pem" && file.name != "mrinit.conf");
}

void CPackageCopy::Survey(Source& source, bool managed)
{
    EntryList& folders = source.folders;
    EntryList& files = source.files;
    const Path& path = source.path;
    const OpenFolder& folder = *source.folder;
    const std::wstring relative = source.target.filename().wstring();
    const Path& realPath = links.Roots()[static_cast<std::size_t>(&folder - roots.data())];
    std::vector<std::wstring> placed;
    for (auto& entry : folders) {
        if (walkEnded)
            return;
        const Path entryPath = path / entry.name;
        const Path* real = entry.Real();
        const std::wstring name = entryPath.filename().wstring();
        SurveyFolder(entry, folder, real ? *real : entryPath, real ? *real : realPath / entry.name,
                     relative + L"/" + name);
        placed.push_back(name);
    }
    for (auto& entry : files) {
        if (!IsCopied(entry, managed))
            continue;
        // A link's target is only described here; what cannot be read counts as nothing
        // and is reported by the copy.
        if (const Path* real = entry.Real()) {
            OpenFolder parent;
            std::string name;
            Platform::FolderEntry described;
            if (OpenParentBelowRoot(*real, parent, name) == 0 && parent.Describe(name, described) == 0 &&
                described.kind == Platform::EntryKind::File) {
                entry.size = described.size;
                entry.identity = described.identity;
            }
        }
        totalBytes += entry.size;
        placed.push_back((path / entry.name).filename().wstring());
    }
    names.AddFolder(relative, placed);
}

void CPackageCopy::SurveyFolder(Entry& folder, const OpenFolder& parent, const Path& from, const Path& real,
                                const std::wstring& relative)
{
    const auto stop = [this](Entry& entry, Entry::Problem problem) {
        entry.Details().problem = problem;
        walkEnded = true;
    };
    const auto failed = [&stop](Entry& entry, int error, const char* operation, const Path& path) {
        if (error == kChanged) {
            stop(entry, Entry::Problem::Changed);
            return;
        }
        stop(entry, Entry::Problem::Error);
        entry.detail->operation = operation;
        entry.detail->errorPath = path;
        entry.detail->error = boost::system::error_code(error, boost::system::system_category());
    };
    OpenFolder opened;
    std::vector<Platform::FolderEntry> listed;
    if (int error = OpenListed(folder, parent, opened); error != 0 || (error = opened.List(listed)) != 0) {
        failed(folder, error, kListing, from);
        return;
    }
    if (folder.Real())
        folder.identity = opened.Identity();
    if (++walked % kWalkRefresh == 0)
        progress->Refresh();

    links.Enter(real);
    std::vector<std::wstring> placed;
    placed.reserve(listed.size());
    folder.children.reserve(listed.size());
    for (auto& found : listed) {
        Entry& entry = folder.children.emplace_back();
        entry.name = std::move(found.name);
        entry.kind = found.kind;
        entry.size = found.size;
        entry.identity = found.identity;
        const Path entryPath = from / entry.name;
        if (!Platform::IsValidHostText(entry.name)) {
            stop(entry, Entry::Problem::Name);
            break;
        }
        const std::wstring name = entryPath.filename().wstring();
        if (found.kind == Platform::EntryKind::Link) {
            auto verdict = links.Judge(entryPath);
            if (!verdict.real) {
                stop(entry, Entry::Problem::Link);
                entry.detail->verdict = std::move(verdict);
                break;
            }
            entry.Details().real = *verdict.real;
            entry.identity = {};
            // What the target is, seen from the folder that holds it.
            OpenFolder targetParent;
            std::string targetName;
            Platform::FolderEntry described;
            int error = OpenParentBelowRoot(*verdict.real, targetParent, targetName);
            if (error == 0)
                error = targetParent.Describe(targetName, described);
            if (error != 0) {
                failed(entry, error, kCopying, entryPath);
                break;
            }
            entry.kind = described.kind == Platform::EntryKind::Link ? Platform::EntryKind::File : described.kind;
            entry.size = described.size;
            if (entry.kind == Platform::EntryKind::File)
                entry.identity = described.identity;
        }
        if (entry.kind == Platform::EntryKind::Folder) {
            const Path* target = entry.Real();
            SurveyFolder(entry, opened, target ? *target : entryPath, target ? *target : real / entry.name,
                         relative + L"/" + name);
        } else {
            totalBytes += entry.size;
        }
        placed.push_back(name);
        if (walkEnded)
            break;
    }
    links.Leave();
    names.AddFolder(relative, placed);
}

StepResult CPackageCopy::CopyFolders(const Source& source)
{
    if (source.folders.empty())
        return {};
    OpenFolder targetFolder;
    if (const int error = targetFolder.CreateIn(work, source.target.filename().native()))
        return FileSystemFailure(log, kCreating, source.target, error);
    for (const auto& entry : source.folders) {
        const Path* real = entry.Real();
        const StepResult copied = CopyFolder(entry, *source.folder, real ? *real : source.path / entry.name,
                                             source.target / entry.name, targetFolder);
        progress->Refresh();
        if (!copied)
            return copied;
        if (StepResult going = StillGoing(); !going)
            return going;
    }
    return {};
}
StepResult CPackageCopy::CopyRootFiles(const Source& source, bool managed)
{
    OpenFolder targetFolder;
    for (const auto& file : source.files) {
        if (!IsCopied(file, managed))
            continue;
        if (StepResult going = StillGoing(); !going)
            return going;
        // The folder exists already when a component was copied into it; without one,
        // the root files still need it.
        if (!targetFolder.IsOpen()) {
            if (const int error = targetFolder.CreateIn(work, source.target.filename().native()))
                return FileSystemFailure(log, kCreating, source.target, error);
        }
        const Path* real = file.Real();
        StepResult copied = CopyEntryFile(file, *source.folder, real ? *real : source.path / file.name, targetFolder,
                                          source.target / file.name);
        if (!copied)
            copied = LogFailure(log, "Failed to copy file:", (source.path / file.name).wstring());
        progress->Refresh();
        if (!copied)
            return copied;
    }
    return {};
}
StepResult CPackageCopy::CopyFolder(const Entry& folder, const OpenFolder& parent, const Path& from, const Path& to,
                                    const OpenFolder& targetParent)
{
    log << "Copying directory from: " << from.wstring() << "to:" << to.wstring() << "\n";
    OpenFolder target;
    if (const int error = target.CreateIn(targetParent, folder.name))
        return FileSystemFailure(log, kCreating, to, error);
    if (folder.GetProblem() != Entry::Problem::None)
        return Stop(folder, from);
    OpenFolder source;
    if (const int error = OpenListed(folder, parent, source))
        return error == kChanged ? LogChanged(from) : FileSystemFailure(log, kListing, from, error);
    for (const auto& entry : folder.children) {
        if (StepResult going = StillGoing(); !going)
            return going;
        const Path entryPath = from / entry.name;
        // A folder that could not be read is entered first, as the copy would have.
        const auto problem = entry.GetProblem();
        if (problem == Entry::Problem::Name || problem == Entry::Problem::Link ||
            (problem != Entry::Problem::None && entry.kind != Platform::EntryKind::Folder))
            return Stop(entry, entryPath);
        const Path* real = entry.Real();
        const Path& entryFrom = real ? *real : entryPath;
        const StepResult copied = entry.kind == Platform::EntryKind::Folder
                                      ? CopyFolder(entry, source, entryFrom, to / entry.name, target)
                                      : CopyEntryFile(entry, source, entryFrom, target, to / entry.name);
        progress->Refresh();
        if (!copied)
            return copied;
    }
    return {};
}
StepResult CPackageCopy::CopyEntryFile(const Entry& file, const OpenFolder& parent, const Path& from,
                                       const OpenFolder& target, const Path& to)
{
    log << "Copying file from: " << from.wstring() << "to:" << to.wstring() << "\n";
    // A file listed in its own folder is linked by name and checked after, two calls in
    // all; anything that does not go that way takes the way through the opened file,
    // which tells what is wrong.
    if (linkByName && !file.Real() && file.identity != Platform::FileIdentity{}) {
        const int linked = Platform::LinkListedFile(parent, file.name, file.identity, target, to.filename().native());
        if (linked == 0) {
            placedBytes += file.size;
            ReportStepProgress(progress, placedBytes, totalBytes);
            progress->Refresh();
            return {};
        }
        // Across file systems no file of the copy links.
        if (linked == EXDEV)
            linkByName = false;
    }
    Platform::OpenFile opened;
    if (const int error = OpenListed(file, parent, opened))
        return error == kChanged ? LogChanged(from) : Unplaced(from, error);
    if (StepResult placed = PlaceOpenFile(opened, target, from, to); !placed)
        return placed;
    progress->Refresh();
    return {};
}
StepResult CPackageCopy::Stop(const Entry& entry, const Path& path)
{
    switch (entry.GetProblem()) {
    case Entry::Problem::None:
        break;
    case Entry::Problem::Name:
        return WindowsName(path);
    case Entry::Problem::Link:
        CidLinks::Report(path, entry.detail->verdict, log);
        return StepResult::Logged(log);
    case Entry::Problem::Error:
        return FileSystemFailure(log, entry.detail->operation, entry.detail->errorPath, entry.detail->error);
    case Entry::Problem::Changed:
        return LogChanged(path);
    }
    return {};
}
StepResult CPackageCopy::LogChanged(const Path& path)
{
    return LogFailure(log, "The source changed while it was being copied, and is not packed:", path.wstring());
}
template <typename Opened>
int CPackageCopy::OpenListed(const Entry& entry, const OpenFolder& parent, Opened& opened) const
{
    int error = 0;
    if (const Path* real = entry.Real()) {
        OpenFolder realParent;
        std::string name;
        error = OpenParentBelowRoot(*real, realParent, name);
        if (error == 0)
            error = opened.OpenIn(realParent, name);
    } else {
        error = opened.OpenIn(parent, entry.name);
    }
    if (error == 0 && entry.identity != Platform::FileIdentity{} && opened.Identity() != entry.identity)
        return kChanged;
    return error;
}

int CPackageCopy::OpenParentBelowRoot(const Path& real, OpenFolder& parent, std::string& name) const
{
    const auto& rootPaths = links.Roots();
    const auto root =
        std::find_if(rootPaths.begin(), rootPaths.end(), [&](const Path& top) { return IsWithin(real, top); });
    if (root == rootPaths.end())
        return EPERM;
    std::vector<std::string> parts;
    auto part = real.begin();
    std::advance(part, std::distance(root->begin(), root->end()));
    for (; part != real.end(); ++part)
        parts.push_back(part->native());
    // A root is "." in itself.
    name = parts.empty() ? "." : parts.back();
    if (const int error = parent.OpenIn(roots[static_cast<std::size_t>(root - rootPaths.begin())], "."))
        return error;
    for (std::size_t index = 0; index + 1 < parts.size(); ++index) {
        OpenFolder next;
        if (const int error = next.OpenIn(parent, parts[index]))
            return error;
        parent = std::move(next);
    }
    return 0;
}

StepResult CPackageCopy::PlaceOpenFile(const Platform::OpenFile& file, const OpenFolder& target, const Path& from,
                                       const Path& to)
{
    const std::uint64_t before = placedBytes;
    const auto placed = Platform::PlaceFile(file, target, to.filename().native(), [this, before](std::uint64_t bytes) {
        placedBytes = before + bytes;
        ReportStepProgress(progress, placedBytes, totalBytes);
        progress->Refresh();
        return !stopRequested();
    });
    return placed.error != 0 ? Unplaced(from, to, placed.error) : StepResult();
}
StepResult CPackageCopy::CopyFile(const Path& from, const Path& to)
{
    log << "Copying file from: " << from.wstring() << "to:" << to.wstring() << "\n";
    if (StepResult placed = PlaceFile(from, to); !placed)
        return placed;
    progress->Refresh();
    return {};
}
// The file enters the work folder the cheapest way there is (a link where the file
// systems allow it), in pieces with the interface kept alive between them; it fails
// when the target exists, with boost's error.
StepResult CPackageCopy::PlaceFile(const Path& from, const Path& to)
{
    const std::uint64_t before = placedBytes;
    const auto placed = Platform::PlaceFile(from.wstring(), to.wstring(), [this, before](std::uint64_t bytes) {
        placedBytes = before + bytes;
        ReportStepProgress(progress, placedBytes, totalBytes);
        progress->Refresh();
        return !stopRequested();
    });
    return placed.error != 0 ? Unplaced(from, to, placed.error) : StepResult();
}

StepResult CPackageCopy::Unplaced(const Path& from, int error)
{
    // A stop asked for mid-file is reported as such, not as a failed copy.
    if (StepResult going = StillGoing(); !going)
        return going;
    return FileSystemFailure(log, kCopying, from, error);
}

StepResult CPackageCopy::Unplaced(const Path& from, const Path& to, int error)
{
    if (StepResult going = StillGoing(); !going)
        return going;
    return FileSystemFailure(log, kCopying, from, to, error);
}
StepResult CPackageCopy::CopyManagedConfig(const std::wstring& source, const std::wstring& destination)
{
    log << "Checking if mrinit.conf exists in the KETT folder..." << "\n";
    const std::wstring from = source + L"/kett/mrinit.conf";
    const std::wstring to = destination + L"/mrinit.conf";
    boost::system::error_code error;
    // The file itself, or a link of that name, whatever it leads to.
    const fs::file_type found = fs::symlink_status(from, error).type();
    if (found == fs::status_error)
        return FileSystemFailure(log, "boost::filesystem::symlink_status", Path(from), error);
    if (found == fs::file_not_found)
        return {};
    const Path kettPath = Path(source) / L"kett";
    const auto kett = links.Resolve(kettPath, log);
    const auto file = kett ? links.Resolve(Path(from), log) : std::nullopt;
    if (!file)
        return StepResult::Logged(log);
    if (fs::symlink_status(to, error).type() != fs::file_not_found && !fs::remove(to, error) && error)
        return FileSystemFailure(log, "boost::filesystem::remove", Path(to), error);
    log << "Copying:" << from << "to:" << to << "\n";
    // Opened part by part below the CID's own descriptor, never through a link.
    const Path kettReal = *kett == kettPath ? links.Roots().front() / L"kett" : *kett;
    const Path fileReal = *file == Path(from) ? kettReal / L"mrinit.conf" : *file;
    OpenFolder folder;
    Platform::OpenFile opened;
    std::string name;
    int opening = OpenParentBelowRoot(fileReal, folder, name);
    if (opening == 0)
        opening = opened.OpenIn(folder, name);
    if (opening != 0)
        return FileSystemFailure(log, kCopying, Path(from), opening);
    return PlaceOpenFile(opened, work, Path(from), Path(to));
}

StepResult CPackageCopy::WindowsName(const Path& path)
{
    // A Windows client holds names as UTF-16: bytes that are no UTF-8 have no such form.
    if (Platform::IsValidHostText(path.filename().native()))
        return {};
    return LogFailure(log, "File name is not valid UTF-8, which a Windows client cannot hold:",
                      Platform::WidenHostTextEscaped(path.native()));
}

StepResult CPackageCopy::StillGoing()
{
    if (!stopRequested())
        return {};
    return LogFailure(log, "Copy interrupted: the run was asked to stop");
}