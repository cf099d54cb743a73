#include "obfuscation/obscurity/cipher.h"

#include <string>

#include <gtest/gtest.h>
#include <openssl/err.h>

#include "ObscuredBytes.h"
#include "obfuscation/obscurity/OpenSslErrors.h"
#include "obfuscation/obscurity/SecurityException.h"

namespace {

using namespace TolvarSecurity;
using ObscurityTest::Bytes;

membuff Buffer(const Bytes& bytes)
{
    return membuff(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

membuff Buffer(const std::string& text)
{
    return Buffer(Bytes(text.begin(), text.end()));
}

Bytes Contents(const membuff& buffer, std::int32_t length)
{
    return Bytes(buffer.data(), buffer.data() + length);
}

// A context over the library's own key material.
struct StoredKeyContext {
    membuff key = Buffer(ObscurityTest::StoredKey());
    CipherContext context{key, key.size()};
};

TEST(CipherContext, ConstructionChecksTheKeyAndEmptiesIt)
{
    membuff none;
    EXPECT_THROW(CipherContext(none, 1), NoInputData);
    membuff four = Buffer("abcd");
    EXPECT_THROW(CipherContext(four, 0), NoInputData);
    EXPECT_THROW(CipherContext(four, 5), UnproperInputData);
    EXPECT_EQ(four.size(), 4u) << "a refused key is left to its owner";

    membuff key = Buffer("0123456789");
    const CipherContext context(key, 6);
    EXPECT_EQ(key.size(), 0u);
    EXPECT_EQ(key.data(), nullptr);
}

TEST(CipherContext, EncryptsSaltedTripleDesThatOpenSslDecrypts)
{
    for (const std::size_t size : {1u, 15u, 16u, 17u}) {
        Bytes plain(size);
        for (std::size_t i = 0; i < size; ++i)
            plain[i] = static_cast<unsigned char>(0xA0 + i);
        StoredKeyContext c;
        membuff output;
        std::int32_t length = -1;
        ASSERT_EQ(c.context.encrypt(Buffer(plain), static_cast<std::uint32_t>(size), output, length),
                  CipherStatus::Success);

        const auto expectedLength = static_cast<std::int32_t>(9 + 8 * (size / 8 + 1));
        ASSERT_EQ(length, expectedLength) << size << " plain bytes";
        EXPECT_EQ(output.size(), size + 73) << "the output keeps its allocated size";
        EXPECT_EQ(output.data()[0], 8);
        const Bytes cipher(output.data() + 9, output.data() + length);
        const Bytes expected = ObscurityTest::Encrypt(plain, output.data() + 1);
        EXPECT_EQ(cipher, expected) << "key and IV from EVP_BytesToKey over the salt, MD5, one round";

        StoredKeyContext d;
        membuff revealed;
        std::int32_t revealedLength = -1;
        ASSERT_EQ(d.context.decrypt(output, static_cast<std::uint32_t>(length), revealed, revealedLength),
                  CipherStatus::Success);
        EXPECT_EQ(Contents(revealed, revealedLength), plain);
        EXPECT_EQ(revealed.size(), size);
    }
}

TEST(CipherContext, EveryEncryptionHasItsOwnSalt)
{
    const Bytes plain = {'p', 'w'};
    StoredKeyContext c;
    membuff first;
    membuff second;
    std::int32_t length = 0;
    ASSERT_EQ(c.context.encrypt(Buffer(plain), 2, first, length), CipherStatus::Success);
    ASSERT_EQ(c.context.encrypt(Buffer(plain), 2, second, length), CipherStatus::Success);
    EXPECT_NE(Contents(first, 9), Contents(second, 9));
}

TEST(CipherContext, EncryptRefusesNothingAndLengthsPastTheInput)
{
    StoredKeyContext c;
    membuff output;
    std::int32_t length = 99;
    EXPECT_EQ(c.context.encrypt(membuff(), 0, output, length), CipherStatus::NoData);
    EXPECT_EQ(length, 0);
    length = 99;
    EXPECT_THROW(c.context.encrypt(Buffer("abc"), 4, output, length), InternalInconsistency);
    EXPECT_EQ(length, 0);
}

TEST(CipherContext, DecryptStatuses)
{
    const Bytes salt = {8, 1, 2, 3, 4, 5, 6, 7, 8};
    Bytes notWholeBlocks = salt;
    notWholeBlocks.resize(salt.size() + 13, 0x55);
    Bytes wrongKey = salt;
    const Bytes garbage = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    wrongKey.insert(wrongKey.end(), garbage.begin(), garbage.end());
    Bytes shortSalt = {4, 1, 2, 3, 4};
    shortSalt.insert(shortSalt.end(), garbage.begin(), garbage.end());

    struct Case {
        const char* name;
        Bytes input;
        std::int32_t status;
        bool openSslErrors;
    };
    const Case cases[] = {
        {"no input", {}, CipherStatus::NoData, false},
        {"salt without ciphertext", salt, CipherStatus::NoData, false},
        {"salt of four bytes", shortSalt, CipherStatus::BadSaltLength, false},
        {"ciphertext not whole blocks", notWholeBlocks, CipherStatus::DecryptFailed, true},
        {"block that is no valid padding under this key", wrongKey, CipherStatus::DecryptFailed, true},
    };
    for (const auto& c : cases) {
        ERR_clear_error();
        StoredKeyContext d;
        membuff output = Buffer("stale");
        std::int32_t length = 99;
        EXPECT_EQ(d.context.decrypt(Buffer(c.input), static_cast<std::uint32_t>(c.input.size()), output, length),
                  c.status)
            << c.name;
        EXPECT_EQ(length, 0) << c.name;
        EXPECT_EQ(OpenSslErrorList().empty(), !c.openSslErrors) << c.name;
    }
}

TEST(CipherContext, DecryptRefusesLengthsPastTheData)
{
    StoredKeyContext d;
    membuff output;
    std::int32_t length = 0;
    Bytes saltPastData(12, 0);
    saltPastData[0] = 20;
    EXPECT_THROW(d.context.decrypt(Buffer(saltPastData), 12, output, length), InternalInconsistency);
    EXPECT_THROW(d.context.decrypt(Buffer("abc"), 4, output, length), InternalInconsistency);
}

TEST(CipherContext, DecryptsAnEmptyPlainText)
{
    const Bytes obscured = ObscurityTest::Obscured({});
    const Bytes input(obscured.begin() + 1, obscured.end());
    StoredKeyContext d;
    membuff output = Buffer("stale");
    std::int32_t length = 99;
    EXPECT_EQ(d.context.decrypt(Buffer(input), static_cast<std::uint32_t>(input.size()), output, length),
              CipherStatus::Success);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(output.size(), 0u);
}

}  // namespace
