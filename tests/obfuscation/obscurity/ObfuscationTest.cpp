#include "obfuscation/obscurity/Obfuscation.h"

#include <algorithm>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/err.h>

#include "ObscuredBytes.h"
#include "obfuscation/obscurity/ObscurityException.h"
#include "obfuscation/obscurity/SecureWipe.h"
#include "obfuscation/obscurity/SecurityException.h"

namespace {

using Obscurity::Obfuscation;
using Obscurity::ObscurityException;
using ObscurityTest::Bytes;

std::string Obscure(const std::wstring& password)
{
    std::string token;
    Obfuscation().obscure(password, token);
    return token;
}

std::wstring Reveal(const std::string& token)
{
    std::wstring password;
    Obfuscation().reveal(token, password);
    return password;
}

std::string RevealFailure(const std::string& token)
{
    std::wstring password = L"untouched";
    try {
        Obfuscation().reveal(token, password);
    } catch (const ObscurityException& error) {
        EXPECT_EQ(password, L"untouched") << "a failed reveal leaves the output alone";
        return error.what();
    }
    return "<no ObscurityException>";
}

// UTF-16LE bytes of ASCII text.
Bytes Utf16(const std::string& text)
{
    Bytes bytes;
    for (const char c : text) {
        bytes.push_back(static_cast<unsigned char>(c));
        bytes.push_back(0);
    }
    return bytes;
}

TEST(Obfuscation, TokenLengthPaddingAndPrefixFollowThePasswordLength)
{
    struct Case {
        std::wstring password;
        std::size_t length;
        std::size_t padding;
    };
    const Case cases[] = {
        {L"a", 24, 0},       {L"abc", 24, 0},      {L"abcd", 36, 1},
        {L"abcdefg", 36, 1}, {L"abcdefgh", 48, 2}, {L"abcdefghijk", 48, 2},
    };
    std::set<char> thirdCharacters;
    for (const auto& c : cases) {
        for (int round = 0; round < 8; ++round) {
            const std::string token = Obscure(c.password);
            ASSERT_EQ(token.size(), c.length) << token;
            EXPECT_EQ(std::count(token.begin(), token.end(), '='), static_cast<std::ptrdiff_t>(c.padding)) << token;
            EXPECT_TRUE(std::regex_match(token, std::regex("Bw[ghij][A-Za-z0-9+/]+=*"))) << token;
            thirdCharacters.insert(token[2]);
            // Independent check of the layout with OpenSSL's own decoder.
            const Bytes obscured = ObscurityTest::FromBase64(token);
            ASSERT_EQ(obscured.size(), 10 + 8 * (c.password.size() / 4 + 1));
            EXPECT_EQ(
                Bytes(obscured.begin() + 10, obscured.end()),
                ObscurityTest::Encrypt(Utf16(std::string(c.password.begin(), c.password.end())), obscured.data() + 2));
        }
    }
    EXPECT_GT(thirdCharacters.size(), 1u) << "the third character carries salt bits";
}

TEST(Obfuscation, EveryTokenOfAPasswordIsNewAndRevealsToIt)
{
    const std::wstring password = L"Winter2026!";
    const std::string first = Obscure(password);
    const std::string second = Obscure(password);
    EXPECT_NE(first, second);
    EXPECT_EQ(Reveal(first), password);
    EXPECT_EQ(Reveal(second), password);
}

TEST(Obfuscation, NonAsciiPasswordsRoundTrip)
{
    const std::wstring passwords[] = {
        L"p\u00E4\u00DFw\u00F6rd",  // Latin-1
        L"\u20AC\u0141\u4E2D\u6587\u0416",  // beyond Latin-1
        L"key \U0001F511 and \U00020000",  // beyond the basic plane: surrogate pairs
        std::wstring(L"nul\0inside", 10),
    };
    for (const auto& password : passwords)
        EXPECT_EQ(Reveal(Obscure(password)), password);
    // The plain bytes are UTF-16 code units: a character beyond U+FFFF takes two of them.
    EXPECT_EQ(Obscure(L"\U0001F511\U0001F511").size(), 36u);
}

TEST(Obfuscation, WhitespaceAndStrangersInsideATokenAreIgnored)
{
    const std::string token = Obscure(L"spaced out");
    std::string spread;
    for (std::size_t i = 0; i < token.size(); ++i)
        spread += token.substr(i, 1) + (i % 5 == 0 ? "\r\n" : i % 3 == 0 ? " \t" : "\xC3\xA9");
    EXPECT_EQ(Reveal(spread), L"spaced out");
}

TEST(Obfuscation, RefusesWhatIsNoToken)
{
    const Bytes valid = ObscurityTest::FromBase64(Obscure(L"valid"));
    Bytes notWholeBlocks = valid;
    notWholeBlocks.resize(valid.size() - 3);

    struct Case {
        const char* name;
        std::string token;
        std::string message;
    };
    const Case cases[] = {
        {"empty", "", "Obscure:Not enough data to perform decryption"},
        {"two characters", "Bw==", "Obscure:Not enough data to perform decryption"},
        {"first character not B", "Cw" + Obscure(L"x").substr(2), "Obscure:Invalid algorithm ident=11"},
        {"first byte 6", ObscurityTest::ToBase64({6, 8, 0, 0}), "Obscure:Invalid algorithm ident=6"},
        {"salt only", ObscurityTest::ToBase64(Bytes(valid.begin(), valid.begin() + 10)),
         "Obscure:Failed to reveal data:sts=3:OpenSSLErr="},
        {"empty plain text", ObscurityTest::ToBase64(ObscurityTest::Obscured({})), "Revealed name length is zero"},
    };
    for (const auto& c : cases) {
        ERR_clear_error();
        EXPECT_EQ(RevealFailure(c.token), c.message) << c.name;
    }
    const std::string failure = RevealFailure(ObscurityTest::ToBase64(notWholeBlocks));
    EXPECT_EQ(failure.rfind("Obscure:Failed to reveal data:sts=44:OpenSSLErr=[", 0), 0u) << failure;
}

TEST(Obfuscation, OddPlainLengthDropsTheLastByte)
{
    const Bytes plain = {'o', 0, 'd', 0, 'd'};
    EXPECT_EQ(Reveal(ObscurityTest::ToBase64(ObscurityTest::Obscured(plain))), L"od");
}

TEST(Obfuscation, EmptyPasswordFailsAndOutputsStayAsTheyWere)
{
    ERR_clear_error();
    std::string token = "previous";
    try {
        Obfuscation().obscure(std::wstring(), token);
        FAIL() << "no exception";
    } catch (const ObscurityException& error) {
        EXPECT_STREQ(error.what(), "Obscure:Failed to obscure data:sts=3:OpenSSLErr=");
    }
    EXPECT_EQ(token, "previous");

    std::wstring password = L"previous";
    EXPECT_THROW(Obfuscation().reveal(std::string("not a token"), password), ObscurityException);
    EXPECT_EQ(password, L"previous");
}

TEST(Obfuscation, InconsistentSaltLengthPassesARuntimeErrorHandler)
{
    Bytes obscured(13, 0);
    obscured[0] = 7;
    obscured[1] = 20;
    std::wstring password = L"previous";
    try {
        try {
            Obfuscation().reveal(ObscurityTest::ToBase64(obscured), password);
        } catch (const std::runtime_error& error) {
            FAIL() << "caught as a runtime error: " << error.what();
        }
        FAIL() << "no exception";
    } catch (const TolvarSecurity::InternalInconsistency& error) {
        EXPECT_NE(std::string(error.what()).find(":Internal system inconsistency.:524:OpenSSLError="),
                  std::string::npos);
    }
    EXPECT_EQ(password, L"previous");
}

// Every block the library frees, as it was just before it was freed.
std::vector<Bytes> released;

void Record(const unsigned char* data, std::size_t size)
{
    released.emplace_back(data, data + size);
}

bool Contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST(Obfuscation, NoSecretIsLeftInAFreedBlock)
{
    const Bytes key = ObscurityTest::StoredKey();
    const std::wstring password = L"correct horse battery staple";
    const Bytes plain = Utf16("correct horse battery staple");

    released.clear();
    TolvarSecurity::SetReleaseObserver(&Record);
    std::string token;
    std::wstring revealed;
    {
        Obfuscation obfuscation;
        obfuscation.obscure(password, token);
        obfuscation.reveal(token, revealed);
    }
    TolvarSecurity::SetReleaseObserver(nullptr);
    ASSERT_EQ(revealed, password);

    // The observer sees the freed blocks: the key pieces, the key, the plain text and the token bytes.
    ASSERT_GE(released.size(), 20u);
    EXPECT_TRUE(
        std::any_of(released.begin(), released.end(), [&](const Bytes& block) { return block.size() == key.size(); }));
    const Bytes obscured = ObscurityTest::FromBase64(token);
    EXPECT_TRUE(std::any_of(released.begin(), released.end(), [&](const Bytes& block) { return block == obscured; }))
        << "the observer really sees the blocks' contents";

    const ObscurityTest::KeyAndIv derived = ObscurityTest::DeriveKeyAndIv(obscured.data() + 2);
    for (const Bytes& block : released) {
        for (std::size_t at = 0; at + 8 <= key.size(); at += 4) {
            // The key in the clear, or under any one-byte mask.
            for (int mask = 0; mask < 256; ++mask) {
                Bytes window(key.begin() + static_cast<std::ptrdiff_t>(at),
                             key.begin() + static_cast<std::ptrdiff_t>(at) + 8);
                for (auto& b : window)
                    b ^= static_cast<unsigned char>(mask);
                ASSERT_FALSE(Contains(block, window)) << "key bytes " << at << " under mask " << mask;
            }
        }
        EXPECT_FALSE(Contains(block, Bytes(derived.key.begin(), derived.key.begin() + 8))) << "derived key";
        EXPECT_FALSE(Contains(block, Bytes(derived.key.begin() + 16, derived.key.end()))) << "derived key";
        EXPECT_FALSE(Contains(block, derived.iv)) << "derived IV";
        EXPECT_FALSE(Contains(block, Bytes(plain.begin(), plain.begin() + 8))) << "plain text";
    }
}

}  // namespace
