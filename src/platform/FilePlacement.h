#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

// Puts the content of the regular file `from` at the new name `to`, never over an
// existing file, the cheapest way the file systems allow: a hard link to the same file,
// else a clone sharing its blocks, else a copy in pieces of a few megabytes, so the
// caller gets control back often however large the file. A clone or copy takes the
// source's permissions and modification time, so all three give the same file to anyone
// who reads it. The source is only read. On failure nothing is left at `to`.
PlacedFile PlaceFile(const std::wstring& from, const std::wstring& to, const PieceDone& pieceDone = {});

}  // namespace Platform
