#include "packaging/PackedEntries.h"

#include <charconv>
#include <sstream>
#include <vector>

#include <zlib.h>

#include "platform/FolderTree.h"

namespace {

// What opening and closing a file costs, in bytes read: many small files take their time
// even when they hold little.
constexpr std::uint64_t kFileCost = 4096;

template <typename Number>
std::optional<Number> ParseNumber(const std::string& text, int base)
{
    Number value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

EntryTable ListedEntries(const std::string& listing)
{
    EntryTable entries;
    std::istringstream lines(listing);
    bool inEntries = false;
    std::optional<std::string> path;
    EntryFacts facts;
    const auto flush = [&] {
        if (path)
            entries[*path] = facts;
        path.reset();
        facts = {};
    };
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "----------") {
            inEntries = true;
            continue;
        }
        if (!inEntries)
            continue;
        if (line.starts_with("Path = ")) {
            flush();
            path = line.substr(7);
        } else if (line.starts_with("Size = ")) {
            // A size that does not parse never matches a file's.
            facts.size = ParseNumber<std::uint64_t>(line.substr(7), 10).value_or(UINT64_MAX);
        } else if (line.starts_with("Attributes = ")) {
            facts.folder = line.size() > 13 && line[13] == 'D';
        } else if (line.starts_with("CRC = ")) {
            const std::string crc = line.substr(6);
            if (!crc.empty())
                facts.crc = ParseNumber<std::uint32_t>(crc, 16).value_or(0);
        }
    }
    flush();
    return entries;
}

int WorkFolderEntries::List(const std::wstring& workFolder, bool stampFolders)
{
    folder = workFolder;
    entries.clear();
    error = 0;
    failedPath.clear();
    std::vector<Platform::TreeEntry> tree;
    if (const int listError = Platform::ListFolderTree(folder, stampFolders, tree))
        return error = listError;
    for (auto& entry : tree) {
        EntryFacts facts;
        facts.folder = entry.kind == Platform::TreeEntry::Kind::Folder;
        entries.emplace(std::move(entry.path), facts);
    }
    next = entries.begin();
    return 0;
}

bool WorkFolderEntries::HashShare(std::uint64_t share, const std::function<void()>& between)
{
    std::uint64_t read = 0;
    for (; error == 0 && next != entries.end() && read < share; ++next) {
        EntryFacts& facts = next->second;
        if (facts.folder)
            continue;
        uLong crc = crc32(0L, Z_NULL, 0);
        std::uint64_t size = 0;
        error = Platform::ReadTreeFile(folder, next->first, [&](std::string_view bytes) {
            crc = crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
            size += bytes.size();
            if (between)
                between();
            return true;
        });
        if (error != 0) {
            failedPath = next->first;
            break;
        }
        facts.size = size;
        if (size > 0)
            facts.crc = static_cast<std::uint32_t>(crc);
        read += size + kFileCost;
    }
    return error != 0 || next == entries.end();
}
