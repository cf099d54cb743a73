#include "obfuscation/obscurity/CObscurity.h"

#include <memory>
#include <regex>
#include <string>

#include <gtest/gtest.h>
#include <openssl/err.h>

#include "ObscuredBytes.h"
#include "obfuscation/obscurity/ObscurityException.h"
#include "obfuscation/obscurity/SecurityException.h"

namespace {

using Obscurity::CObscurity;
using Obscurity::ObscurityException;
using ObscurityTest::Bytes;

Bytes Obscure(const Bytes& plain)
{
    unsigned int length = 0;
    const std::unique_ptr<unsigned char[]> out(
        CObscurity().obscure(plain.data(), static_cast<unsigned int>(plain.size()), &length));
    return Bytes(out.get(), out.get() + length);
}

Bytes Reveal(const Bytes& obscured)
{
    unsigned int length = 0;
    const std::unique_ptr<unsigned char[]> out(
        CObscurity().reveal(obscured.data(), static_cast<unsigned int>(obscured.size()), &length));
    return Bytes(out.get(), out.get() + length);
}

std::string RevealFailure(const Bytes& obscured)
{
    try {
        Reveal(obscured);
    } catch (const ObscurityException& error) {
        return error.what();
    }
    return "<no ObscurityException>";
}

TEST(CObscurity, LayoutIsIdentifierSaltLengthSaltCiphertext)
{
    for (const std::size_t size : {1u, 15u, 16u}) {
        const Bytes plain(size, 'p');
        const Bytes obscured = Obscure(plain);
        ASSERT_EQ(obscured.size(), 10 + 8 * (size / 8 + 1)) << size;
        EXPECT_EQ(obscured[0], 7);
        EXPECT_EQ(obscured[1], 8);
        EXPECT_EQ(Bytes(obscured.begin() + 10, obscured.end()), ObscurityTest::Encrypt(plain, obscured.data() + 2));
        EXPECT_EQ(Reveal(obscured), plain);
    }
    EXPECT_EQ(Obscure(Bytes(16)).size(), 34u);
    EXPECT_EQ(Obscure(Bytes(15)).size(), 26u);
}

TEST(CObscurity, SameBytesObscureDifferentlyAndRevealAlike)
{
    const Bytes plain = {'s', 'a', 'm', 'e'};
    const Bytes first = Obscure(plain);
    const Bytes second = Obscure(plain);
    EXPECT_NE(first, second);
    EXPECT_EQ(Reveal(first), plain);
    EXPECT_EQ(Reveal(second), plain);
}

TEST(CObscurity, ObscuringNothingFailsWithStatusThree)
{
    ERR_clear_error();
    try {
        Obscure({});
        FAIL() << "no exception";
    } catch (const ObscurityException& error) {
        EXPECT_STREQ(error.what(), "Obscure:Failed to obscure data:sts=3:OpenSSLErr=");
    }
    unsigned char byte = 1;
    EXPECT_THROW(CObscurity().obscure(&byte, 1, nullptr), ObscurityException);
}

TEST(CObscurity, RevealRefusesMalformedInput)
{
    const Bytes valid = Obscure({'o', 'k'});
    Bytes wrongIdent = valid;
    wrongIdent[0] = 6;
    Bytes saltOfFour = {7, 4, 1, 2, 3, 4};
    saltOfFour.insert(saltOfFour.end(), valid.begin() + 10, valid.end());
    Bytes notWholeBlocks = valid;
    notWholeBlocks.pop_back();

    struct Case {
        const char* name;
        Bytes input;
        std::string message;
    };
    const Case cases[] = {
        {"nothing", {}, "Obscure:Not enough data to perform decryption"},
        {"identifier only", {7}, "Obscure:Not enough data to perform decryption"},
        {"wrong identifier", wrongIdent, "Obscure:Invalid algorithm ident=6"},
        {"salt without ciphertext", Bytes(valid.begin(), valid.begin() + 10),
         "Obscure:Failed to reveal data:sts=3:OpenSSLErr="},
        {"salt of four bytes", saltOfFour, "Obscure:Failed to reveal data:sts=39:OpenSSLErr="},
    };
    for (const auto& c : cases) {
        ERR_clear_error();
        EXPECT_EQ(RevealFailure(c.input), c.message) << c.name;
    }

    const std::string failure = RevealFailure(notWholeBlocks);
    EXPECT_TRUE(
        std::regex_match(failure, std::regex(R"(Obscure:Failed to reveal data:sts=44:OpenSSLErr=(\[[^\]]+\])+)")))
        << failure;
}

TEST(CObscurity, RevealChecksLengthBeforePointers)
{
    unsigned int length = 0;
    const unsigned char bytes[] = {7, 8, 0};
    struct Case {
        const unsigned char* data;
        unsigned int size;
        unsigned int* length;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, 0, &length, "Obscure:Not enough data to perform decryption"},
        {nullptr, 1, nullptr, "Obscure:Not enough data to perform decryption"},
        {nullptr, 3, &length, "Obscure:Invalid parameters (null pointer)"},
        {bytes, 3, nullptr, "Obscure:Invalid parameters (null pointer)"},
    };
    for (const auto& c : cases) {
        try {
            CObscurity().reveal(c.data, c.size, c.length);
            ADD_FAILURE() << "no exception for " << c.message;
        } catch (const ObscurityException& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

TEST(CObscurity, SaltLengthPastTheDataIsAnInconsistencyNotAnObscurityFailure)
{
    Bytes obscured(13, 0);
    obscured[0] = 7;
    obscured[1] = 20;
    EXPECT_THROW(Reveal(obscured), TolvarSecurity::InternalInconsistency);
}

TEST(CObscurity, RevealsAnEmptyPlainTextAsNoBytes)
{
    EXPECT_EQ(Reveal(ObscurityTest::Obscured({})), Bytes());
}

}  // namespace
