#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "obfuscation/obscurity/membuff.h"

namespace Obscurity {

constexpr std::uint32_t kKeyMaterialSize = 48;

// The key material as it is stored: four scrambled pieces, none of which
// holds key bytes in the clear.
struct KeyPieces {
    std::array<unsigned char, 12> piece1;
    std::array<unsigned char, 24> piece2;
    std::array<unsigned char, 24> piece3;
    std::array<unsigned char, 12> piece4;

    bool operator==(const KeyPieces&) const = default;
};

// Unscrambles the pieces into the 48 bytes of key material, in a new buffer.
// Every intermediate buffer is overwritten before it is freed.
std::unique_ptr<TolvarSecurity::membuff> assembleKey(const KeyPieces& pieces);

// The inverse of assembleKey: scrambles 48 bytes of key material into pieces
// (used to prepare the stored pieces, never by the running program).
// Throws UnproperInputData for any other size.
KeyPieces hideKey(const TolvarSecurity::membuff& key);

// The program's own key material, as stored.
const KeyPieces& storedKeyPieces();

}  // namespace Obscurity
