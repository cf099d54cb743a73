#include "packaging/PackedEntries.h"

#include <algorithm>
#include <charconv>

#include <zlib.h>

#include "platform/FolderTree.h"
#include "platform/TextConversion.h"

namespace {

// What opening and closing a file costs, in bytes read: many small files take their time
// even when they hold little.
constexpr std::uint64_t kFileCost = 4096;

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text, int base)
{
    Number value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

int WorkFolderEntries::List(const std::wstring& workFolder, bool stampFolders)
{
    folder = workFolder;
    paths.clear();
    entries.clear();
    next = 0;
    error = 0;
    failedPath.clear();
    heldFolder = {};
    const int listError =
        Platform::ListFolderTree(folder, stampFolders, [this](std::string_view path, Platform::TreeEntryKind kind) {
            Entry& entry = entries.emplace_back();
            entry.offset = paths.size();
            entry.length = path.size();
            entry.facts.folder = kind == Platform::TreeEntryKind::Folder;
            paths.append(path);
        });
    if (listError != 0) {
        paths.clear();
        entries.clear();
        return error = listError;
    }
    std::sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) {
        return std::string_view(paths).substr(a.offset, a.length) < std::string_view(paths).substr(b.offset, b.length);
    });
    return 0;
}

std::string_view WorkFolderEntries::Path(std::size_t index) const
{
    return std::string_view(paths).substr(entries[index].offset, entries[index].length);
}

std::optional<std::size_t> WorkFolderEntries::Find(std::string_view path) const
{
    const auto found =
        std::lower_bound(entries.begin(), entries.end(), path, [this](const Entry& entry, std::string_view p) {
            return std::string_view(paths).substr(entry.offset, entry.length) < p;
        });
    if (found == entries.end() || Path(static_cast<std::size_t>(found - entries.begin())) != path)
        return std::nullopt;
    return static_cast<std::size_t>(found - entries.begin());
}

bool WorkFolderEntries::HashShare(std::uint64_t share, const std::function<void()>& between)
{
    std::uint64_t read = 0;
    for (; error == 0 && next < entries.size() && read < share; ++next) {
        EntryFacts& facts = entries[next].facts;
        if (facts.folder)
            continue;
        uLong crc = crc32(0L, Z_NULL, 0);
        std::uint64_t size = 0;
        const std::string_view path = Path(next);
        const std::size_t slash = path.rfind('/');
        // Files of one folder come mostly one after another: their folder is opened once.
        const std::string_view parent = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
        if (!heldFolder.IsOpen() || parent != heldPath) {
            heldPath = parent;
            error = heldFolder.Open(Platform::NarrowHostText(folder) + (parent.empty() ? "" : "/") + heldPath);
        }
        if (error == 0)
            error =
                Platform::ReadTreeFile(heldFolder, std::string(path.substr(slash + 1)), [&](std::string_view bytes) {
                    crc = crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
                    size += bytes.size();
                    if (between)
                        between();
                    return true;
                });
        if (error != 0) {
            failedPath = path;
            heldFolder = {};
            break;
        }
        facts.size = size;
        if (size > 0)
            facts.crc = static_cast<std::uint32_t>(crc);
        read += size + kFileCost;
    }
    if (next == entries.size())
        heldFolder = {};
    return error != 0 || next == entries.size();
}

ListingComparison::ListingComparison(const WorkFolderEntries& packed, std::size_t cap)
    : packed(packed),
      cap(cap),
      states(packed.Count(), State::Unlisted)
{}

void ListingComparison::Feed(std::string_view piece)
{
    while (!piece.empty()) {
        const std::size_t end = piece.find('\n');
        if (end == std::string_view::npos) {
            partialLine.append(piece);
            return;
        }
        if (partialLine.empty()) {
            Line(piece.substr(0, end));
        } else {
            partialLine.append(piece.substr(0, end));
            Line(partialLine);
            partialLine.clear();
        }
        piece.remove_prefix(end + 1);
    }
}

void ListingComparison::End()
{
    // A last line without its line end still counts.
    if (!partialLine.empty()) {
        Line(partialLine);
        partialLine.clear();
    }
    EndEntry();
}

void ListingComparison::Line(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line == "----------") {
        inEntries = true;
        return;
    }
    if (!inEntries)
        return;
    if (line.starts_with("Path = ")) {
        EndEntry();
        path = std::string(line.substr(7));
    } else if (line.starts_with("Size = ")) {
        // A size that does not parse never matches a file's.
        facts.size = ParseNumber<std::uint64_t>(line.substr(7), 10).value_or(UINT64_MAX);
    } else if (line.starts_with("Attributes = ")) {
        facts.folder = line.size() > 13 && line[13] == 'D';
    } else if (line.starts_with("CRC = ")) {
        const std::string_view crc = line.substr(6);
        if (!crc.empty())
            facts.crc = ParseNumber<std::uint32_t>(crc, 16).value_or(0);
    }
}

void ListingComparison::EndEntry()
{
    if (path) {
        if (const auto index = packed.Find(*path)) {
            states[*index] = facts == packed.Facts(*index) ? State::Same : State::Changed;
        } else {
            anyExtra = true;
            extras.insert(*path);
            if (extras.size() > cap)
                extras.erase(std::prev(extras.end()));
        }
    }
    path.reset();
    facts = {};
}

bool ListingComparison::Same() const
{
    return !anyExtra && std::all_of(states.begin(), states.end(), [](State state) { return state == State::Same; });
}

std::vector<ListingComparison::Difference> ListingComparison::Differences() const
{
    std::vector<Difference> differences;
    for (std::size_t index = 0; index < states.size() && differences.size() < cap; ++index)
        if (states[index] != State::Same)
            differences.push_back(
                {states[index] == State::Unlisted ? Difference::Kind::Missing : Difference::Kind::Changed,
                 std::string(packed.Path(index))});
    for (auto extra = extras.begin(); extra != extras.end() && differences.size() < cap; ++extra)
        differences.push_back({Difference::Kind::Extra, *extra});
    return differences;
}
