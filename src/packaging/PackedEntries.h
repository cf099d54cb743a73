#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

// What one entry of a package holds, as the archiver lists it: a folder, or a file with
// its size and its CRC-32 (none for an empty file, which the archiver stores without).
struct EntryFacts {
    bool folder = false;
    std::uint64_t size = 0;
    std::optional<std::uint32_t> crc;

    bool operator==(const EntryFacts&) const = default;
};

// Entries by their path relative to the top, '/' between the parts, in the host's text.
using EntryTable = std::map<std::string, EntryFacts>;

// The entries of the archiver's technical listing (`l -slt`): the blocks after its
// "----------" line; those before it describe the archive itself.
EntryTable ListedEntries(const std::string& listing);

// The entries of a filled work folder, as a package of it must list them. Listing is
// quick; the CRCs need every byte read, so they are computed a share at a time, and the
// caller can spread the work over time it spends waiting anyway.
class WorkFolderEntries {
public:
    WorkFolderEntries() : next(entries.end()) {}
    WorkFolderEntries(const WorkFolderEntries&) = delete;
    WorkFolderEntries& operator=(const WorkFolderEntries&) = delete;

    // Lists the folder. With `stampFolders`, every folder in it gets the build time, so
    // that a package does not depend on when the run made them. 0, or the system error code.
    int List(const std::wstring& folder, bool stampFolders);

    // Reads files until `share` is used up or none is left, calling `between` after every
    // piece; a file costs its size plus a few kilobytes for opening it. True once every
    // file is read, or on a failure.
    bool HashShare(std::uint64_t share, const std::function<void()>& between);

    // 0, or the system error code of the first file that could not be read, and its path.
    int Error() const { return error; }
    const std::string& FailedPath() const { return failedPath; }

    const EntryTable& Entries() const { return entries; }

private:
    std::wstring folder;
    EntryTable entries;
    EntryTable::iterator next;
    int error = 0;
    std::string failedPath;
};
