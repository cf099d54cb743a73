#include "obfuscation/obscurity/KeyScramble.h"

#include <algorithm>

#include <gtest/gtest.h>
#include <openssl/rand.h>

#include "ObscuredBytes.h"
#include "obfuscation/obscurity/SecurityException.h"

namespace {

using namespace Obscurity;
using ObscurityTest::Bytes;

Bytes Assembled(const KeyPieces& pieces)
{
    const auto key = assembleKey(pieces);
    return Bytes(key->data(), key->data() + key->size());
}

TEST(KeyScramble, AssemblingHiddenKeyMaterialGivesItBack)
{
    Bytes patterned(kKeyMaterialSize);
    for (std::size_t i = 0; i < patterned.size(); ++i)
        patterned[i] = static_cast<unsigned char>(i);
    Bytes random(kKeyMaterialSize);
    ASSERT_EQ(RAND_bytes(random.data(), static_cast<int>(random.size())), 1);
    for (const Bytes& key : {Bytes(kKeyMaterialSize, 0), Bytes(kKeyMaterialSize, 0xFF), patterned, random}) {
        const KeyPieces pieces = hideKey(TolvarSecurity::membuff(key.data(), kKeyMaterialSize));
        EXPECT_EQ(Assembled(pieces), key);
    }
}

TEST(KeyScramble, StoredPiecesAreWhatTheToolPrintsAndHideTheKey)
{
    const Bytes key = Assembled(storedKeyPieces());
    ASSERT_EQ(key.size(), kKeyMaterialSize);
    EXPECT_EQ(hideKey(TolvarSecurity::membuff(key.data(), kKeyMaterialSize)), storedKeyPieces());

    // No run of four key bytes stands in the constant data as it is.
    const KeyPieces& stored = storedKeyPieces();
    Bytes constant(stored.piece1.begin(), stored.piece1.end());
    constant.insert(constant.end(), stored.piece2.begin(), stored.piece2.end());
    constant.insert(constant.end(), stored.piece3.begin(), stored.piece3.end());
    constant.insert(constant.end(), stored.piece4.begin(), stored.piece4.end());
    for (std::size_t at = 0; at + 4 <= key.size(); ++at)
        EXPECT_EQ(std::search(constant.begin(), constant.end(), key.begin() + at, key.begin() + at + 4), constant.end())
            << "key bytes " << at << " to " << at + 3;
}

TEST(KeyScramble, HideKeyTakesExactlyFortyEightBytes)
{
    const Bytes bytes(49, 1);
    EXPECT_THROW(hideKey(TolvarSecurity::membuff(bytes.data(), 47)), TolvarSecurity::UnproperInputData);
    EXPECT_THROW(hideKey(TolvarSecurity::membuff(bytes.data(), 49)), TolvarSecurity::UnproperInputData);
}

}  // namespace
