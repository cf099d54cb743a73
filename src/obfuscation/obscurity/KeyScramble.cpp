#include "obfuscation/obscurity/KeyScramble.h"

#include <algorithm>
#include <cstring>

#include "obfuscation/obscurity/SecurityException.h"

namespace Obscurity {

using TolvarSecurity::membuff;
using TolvarSecurity::ScopedWipe;

namespace {

// Every buffer masked is one 12-byte part of the key; byte i is XORed with kMask[i].
constexpr std::array<unsigned char, 12> kMask = {')', '>', 'e', 't', 'G', 'f', 'A', '{', 'Q', ')', 'e', 'U'};
// Of every eight stored bytes, these four carry key material; the rest is chaff.
constexpr std::array<std::uint32_t, 4> kKeptPositions = {0, 3, 4, 6};

membuff sized(std::uint32_t size)
{
    membuff buffer;
    buffer.allocate(size, 1);
    return buffer;
}

membuff chaffFilter(const membuff& in)
{
    membuff out = sized(in.size() / 2);
    for (std::uint32_t group = 0; group < in.size() / 8; ++group)
        for (std::uint32_t k = 0; k < kKeptPositions.size(); ++k)
            out.data()[group * 4 + k] = in.data()[group * 8 + kKeptPositions[k]];
    return out;
}

// Chaff is derived from the significant byte before it (or the group's first),
// its position in the group and the group's output offset, so it looks like key bytes.
membuff chaffExpand(const membuff& in)
{
    membuff out = sized(in.size() * 2);
    for (std::uint32_t group = 0; group < in.size() / 4; ++group) {
        const unsigned char* significant = in.data() + group * 4;
        unsigned char* target = out.data() + group * 8;
        std::uint32_t next = 0;
        unsigned char neighbour = significant[0];
        for (std::uint32_t position = 0; position < 8; ++position) {
            if (next < kKeptPositions.size() && kKeptPositions[next] == position) {
                neighbour = significant[next++];
                target[position] = neighbour;
            } else {
                target[position] = static_cast<unsigned char>(neighbour * 29 + position * 13 + group * 8);
            }
        }
    }
    return out;
}

// XOR with the mask; its own inverse.
membuff mask(const membuff& in)
{
    if (in.size() != kMask.size())
        throw TolvarSecurity::InternalInconsistency(__FILE__, __LINE__);
    membuff out = sized(in.size());
    for (std::uint32_t i = 0; i < in.size(); ++i)
        out.data()[i] = in.data()[i] ^ kMask[i];
    return out;
}

// Byte j comes alternately from the front and from the back: 0, n-1, 1, n-2, ...
std::uint32_t reorderSource(std::uint32_t j, std::uint32_t n)
{
    return j % 2 == 0 ? j / 2 : n - 1 - j / 2;
}

membuff reorder(const membuff& in)
{
    membuff out = sized(in.size());
    for (std::uint32_t j = 0; j < in.size(); ++j)
        out.data()[j] = in.data()[reorderSource(j, in.size())];
    return out;
}

membuff unreorder(const membuff& in)
{
    membuff out = sized(in.size());
    for (std::uint32_t j = 0; j < in.size(); ++j)
        out.data()[reorderSource(j, in.size())] = in.data()[j];
    return out;
}

template <std::size_t N>
membuff fromPiece(const std::array<unsigned char, N>& piece)
{
    return membuff(piece.data(), static_cast<std::uint32_t>(N));
}

template <std::size_t N>
std::array<unsigned char, N> toPiece(const membuff& buffer)
{
    std::array<unsigned char, N> piece{};
    std::copy_n(buffer.data(), N, piece.begin());
    return piece;
}

// Key material that is wiped whenever it goes away, also when a later piece fails.
struct KeyPart {
    membuff bytes;
    ~KeyPart() { bytes.wipe(); }
};

using Transform = membuff (*)(const membuff&);

// Applies two transforms; the buffer between them is wiped before it is freed.
KeyPart unscramble(const membuff& stored, Transform first, Transform second)
{
    const KeyPart between{first(stored)};
    return KeyPart{second(between.bytes)};
}

}  // namespace

std::unique_ptr<membuff> assembleKey(const KeyPieces& pieces)
{
    membuff joined = sized(kKeyMaterialSize);
    const ScopedWipe wipeJoined(joined, 'x');
    const KeyPart parts[] = {
        unscramble(fromPiece(pieces.piece1), reorder, mask),
        unscramble(fromPiece(pieces.piece2), chaffFilter, mask),
        unscramble(fromPiece(pieces.piece3), chaffFilter, reorder),
        unscramble(fromPiece(pieces.piece4), mask, reorder),
    };
    unsigned char* target = joined.data();
    for (const KeyPart& part : parts) {
        std::memcpy(target, part.bytes.data(), part.bytes.size());
        target += part.bytes.size();
    }
    return std::make_unique<membuff>(joined);
}

KeyPieces hideKey(const membuff& key)
{
    if (key.size() != kKeyMaterialSize)
        throw TolvarSecurity::UnproperInputData(__FILE__, __LINE__);
    const membuff part1(key.data(), 12);
    const membuff part2(key.data() + 12, 12);
    const membuff part3(key.data() + 24, 12);
    const membuff part4(key.data() + 36, 12);
    return KeyPieces{
        toPiece<12>(unreorder(mask(part1))),
        toPiece<24>(chaffExpand(mask(part2))),
        toPiece<24>(chaffExpand(unreorder(part3))),
        toPiece<12>(mask(unreorder(part4))),
    };
}

}  // namespace Obscurity
