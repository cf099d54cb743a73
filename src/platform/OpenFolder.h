#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileDescriptor.h"

namespace Platform {

// What an entry of a folder is, seen without following it.
enum class EntryKind { Folder, File, Link, Other };

// The same pair means the same file or folder.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

struct FolderEntry {
    std::string name;  // in the host's text form
    EntryKind kind = EntryKind::Other;
    std::uint64_t size = 0;  // a file's
    FileIdentity identity;
};

// How much a listing tells of each entry: all of FolderEntry, one status call each, or
// only its name and kind, as the listing itself gives them where the file system does.
enum class ListingDetail { Described, KindOnly };

// A folder held by its descriptor. What lies below it is listed, opened and created
// through that descriptor one name at a time and never through a link, so a name swapped
// for a link after it was listed leads nowhere else, and the folder read is the one that
// was opened, whatever is renamed meanwhile.
class OpenFolder {
public:
    OpenFolder() = default;

    // Opens the folder at `path`; a last part that is a link is refused (ELOOP), anything
    // but a folder too (ENOTDIR). 0, or the system error code.
    int Open(const std::string& path);
    // Opens the folder `name` in `parent` the same way.
    int OpenIn(const OpenFolder& parent, const std::string& name);
    // Creates the folder `name` in `parent` when it is missing (with the mode mkdir gives)
    // and opens it; a link or a file at that name is not used.
    int CreateIn(const OpenFolder& parent, const std::string& name);

    // Every entry but "." and "..", in the order the listing gives them. 0, or the system
    // error code.
    int List(std::vector<FolderEntry>& entries, ListingDetail detail = ListingDetail::Described) const;
    // What the entry `name` is, not following it. 0, or the system error code.
    int Describe(const std::string& name, FolderEntry& entry) const;

    bool IsOpen() const { return fd.Get() >= 0; }
    int Descriptor() const { return fd.Get(); }
    FileIdentity Identity() const { return identity; }

private:
    int Hold(int opened);

    FileDescriptor fd;
    FileIdentity identity;
};

}  // namespace Platform
