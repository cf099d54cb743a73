#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/OpenFolder.h"

namespace Platform {

enum class TreeEntryKind { Folder, File, Other };

// Every entry below `folder`, a folder before what it holds, without following links
// (a link is an Other entry), each passed to `found` with its path relative to the top
// ('/' between the parts, in the host's text form, valid during the call only). Of the
// tree, only the names of the folders still to be listed are held. With `stampFolders`,
// every folder below `folder` gets the build time (BuildTime.h) once its entries are
// listed, so that a folder's time says nothing about when or where the run made it. 0,
// or the system error code of the first failure.
int ListFolderTree(const std::wstring& folder, bool stampFolders,
                   const std::function<void(std::string_view path, TreeEntryKind kind)>& found);

// Reads the regular file `path` below `folder` (never through a link) piece by piece,
// passing each piece to `piece` while it answers true. A short read that reaches the size
// the file had when it was opened ends it: what is appended meanwhile is not read. 0, or the system error code
// (ECANCELED when `piece` said stop, EINVAL for anything but a regular file).
int ReadTreeFile(const std::wstring& folder, const std::string& path,
                 const std::function<bool(std::string_view)>& piece);
// The same for the file `name` in a folder held open: nothing but the name is looked up.
int ReadTreeFile(const OpenFolder& folder, const std::string& name, const std::function<bool(std::string_view)>& piece);

}  // namespace Platform
