#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

struct TreeEntry {
    enum class Kind { Folder, File, Other };
    // Relative to the tree's top, '/' between the parts, in the host's text form.
    std::string path;
    Kind kind = Kind::Other;
};

// Every entry below `folder`, a folder before what it holds, without following links
// (a link is an Other entry). With `stampFolders`, every folder below `folder` gets the
// build time (BuildTime.h) once its entries are listed, so that a folder's time says
// nothing about when or where the run made it. 0, or the system error code of the first
// failure.
int ListFolderTree(const std::wstring& folder, bool stampFolders, std::vector<TreeEntry>& entries);

// Reads the regular file `path` below `folder` (never through a link) piece by piece,
// passing each piece to `piece` while it answers true. 0, or the system error code
// (ECANCELED when `piece` said stop, EINVAL for anything but a regular file).
int ReadTreeFile(const std::wstring& folder, const std::string& path,
                 const std::function<bool(std::string_view)>& piece);

}  // namespace Platform
