#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/OpenFolder.h"

// What one entry of a package holds, as the archiver lists it: a folder, or a file with
// its size and its CRC-32 (none for an empty file, which the archiver stores without).
struct EntryFacts {
    bool folder = false;
    std::uint64_t size = 0;
    std::optional<std::uint32_t> crc;

    bool operator==(const EntryFacts&) const = default;
};

// The entries of a filled work folder, as a package of it must list them, by their paths
// relative to the top ('/' between the parts, in the host's text), in sorted order. Held
// compactly: one text of all paths and a record of fixed size per entry. Listing is
// quick; the CRCs need every byte read, so they are computed a share at a time, and the
// caller can spread the work over time it spends waiting anyway.
class WorkFolderEntries {
public:
    WorkFolderEntries() = default;
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

    std::size_t Count() const { return entries.size(); }
    std::string_view Path(std::size_t index) const;
    const EntryFacts& Facts(std::size_t index) const { return entries[index].facts; }
    // The index of the entry at `path`, or nothing.
    std::optional<std::size_t> Find(std::string_view path) const;

private:
    struct Entry {
        std::size_t offset = 0;  // of its path in `paths`
        std::size_t length = 0;
        EntryFacts facts;
    };

    std::wstring folder;
    std::string paths;
    std::vector<Entry> entries;
    std::size_t next = 0;
    // The folder of the file last read, and its path.
    Platform::OpenFolder heldFolder;
    std::string heldPath;
    int error = 0;
    std::string failedPath;
};

// The archiver's technical listing of a package (`l -slt`) set against the work folder's
// entries as the listing arrives, in pieces of any size: only the entry being read and
// what differs are held, never the listing. Its entries are the blocks after the
// "----------" line; those before it describe the archive itself. A path listed twice
// counts as it is listed last.
class ListingComparison {
public:
    // Differences are told up to `cap`.
    ListingComparison(const WorkFolderEntries& packed, std::size_t cap);

    void Feed(std::string_view piece);
    // The listing has ended.
    void End();

    // True when the listing holds exactly the work folder's entries with their facts.
    bool Same() const;

    struct Difference {
        enum class Kind { Missing, Changed, Extra };
        Kind kind;
        std::string path;
    };
    // Up to `cap` differences: the work folder's entries missing from the package or not
    // as listed, in sorted order, then the entries only the package holds, in sorted order.
    std::vector<Difference> Differences() const;

private:
    enum class State : std::uint8_t { Unlisted, Same, Changed };

    void Line(std::string_view line);
    void EndEntry();

    const WorkFolderEntries& packed;
    std::size_t cap;
    std::vector<State> states;
    // The first entries only the package holds, in sorted order, up to `cap`.
    std::set<std::string> extras;
    bool anyExtra = false;
    std::string partialLine;
    bool inEntries = false;
    std::optional<std::string> path;
    EntryFacts facts;
};
