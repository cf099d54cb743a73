#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/OpenFile.h"
#include "platform/OpenFolder.h"

namespace Platform {

// How a file reached its new name.
enum class FileWay { Linked, Cloned, Copied };

// Called after each piece of a copy with the bytes placed so far, and once for a link or
// a clone with the whole size; false stops a copy.
using PieceDone = std::function<bool(std::uint64_t placed)>;

struct PlacedFile {
    int error = 0;  // 0, or the system error code (ECANCELED when a piece said stop)
    FileWay way = FileWay::Copied;
};

// Puts the open file `file` at the new name `name` in `target`, never over an existing
// entry, the cheapest way the file systems allow: a hard link to that very file, else a
// clone sharing its blocks, else a copy in pieces of a few megabytes read from its
// descriptor, so the caller gets control back often however large the file. A clone or
// copy takes the source's permissions and modification time, so all three give the same
// file to anyone who reads it. The source is only read. On failure nothing is left at
// `name`.
PlacedFile PlaceFile(const OpenFile& file, const OpenFolder& target, const std::string& name,
                     const PieceDone& pieceDone = {});

// A hard link at the new name `name` in `target` to the entry `sourceName` of `source`,
// made without opening it, and kept only when it is the regular file `identity` (one a
// listing found there): 0 once it is. Else nothing is left at `name` and the answer is
// the system error code of the link (EXDEV across file systems, EEXIST, ...), or ESTALE
// when the entry is no longer that file; the caller then takes the way through the
// opened file, which tells what is wrong.
int LinkListedFile(const OpenFolder& source, const std::string& sourceName, const FileIdentity& identity,
                   const OpenFolder& target, const std::string& name);

// The same for the regular file at the path `from` (its links followed) and the new path
// `to`; anything but a regular file is refused unopened (EOPNOTSUPP).
PlacedFile PlaceFile(const std::wstring& from, const std::wstring& to, const PieceDone& pieceDone = {});

}  // namespace Platform
