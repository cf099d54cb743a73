#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace Platform {

// Moves a file's bytes from one open file to another a piece at a time, at both files'
// current offsets, so the caller gets control back between pieces however large the
// file. The kernel copies a piece where it can; a caller that must see the bytes asks
// for them to pass through a buffer instead.
class FilePieces {
public:
    FilePieces(std::size_t pieceSize, bool throughBuffer) : pieceSize(pieceSize), kernelCopy(!throughBuffer) {}

    // The bytes of the next piece moved: 0 at the end, or minus the system error code.
    std::ptrdiff_t Move(int from, int to);

    // The last piece's bytes, when it passed through the buffer.
    std::string_view LastPiece() const { return {buffer.get(), lastSize}; }

private:
    std::size_t pieceSize;
    bool kernelCopy;
    std::unique_ptr<char[]> buffer;
    std::size_t lastSize = 0;
};

}  // namespace Platform
