// Tokens handed out by earlier builds must keep revealing, and the program
// must keep making the very same tokens: the client-side setup reveals them with
// its own copy of the key. These tokens were printed by halvex-obscure; if
// one of the tests below fails, the key material, the way it is assembled or
// the key derivation has changed, and every token in use has stopped working.

// The fixed salt replaces OpenSSL's random method, an interface OpenSSL 3 still offers but marks as old.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <openssl/rand.h>

#include "ObscuredBytes.h"
#include "obfuscation/obscurity/Obfuscation.h"

namespace {

using ObscurityTest::Bytes;

struct KnownToken {
    const char* what;
    std::wstring password;
    std::string token;
};

const KnownToken kKnownTokens[] = {
    {"ASCII, three blocks", L"Winter2026!", "BwgK3GZpt3VVy/eRm7ICWMdSagAVBcMEZo2/cIA6eZXkmQ=="},
    {"one whole block and a padding block", L"abcd", "BwieV2i0x9LJScDZVZwHjXdci4AmlT80HNM="},
    {"Latin-1 and beyond", L"p\u00E4ssw\u00F6rd \u20AC\u4E2D", "Bwg4EXkWnszgSFxhW0Pg6jjJX59TnN5r7fASFJ5Y3Tpo4A=="},
    {"beyond the basic plane", L"key \U0001F511 x", "BwhkdwyUzC8EsvTYjIHAPAWZo4/x7bZP1AUqK8fJsypD8w=="},
    {"many blocks", L"correct horse battery staple",
     "BwhWNoL1TuX3k1uY1aL3oxb+EPwZVxhC5MtwVb/IKlAEvgHLRuHSM43bui/92kcHAe3In/UHfStn2KEKoyQfWGnoXNjHjJq9G5I="},
};

TEST(TokenContract, KnownTokensRevealToTheirPasswords)
{
    for (const KnownToken& known : kKnownTokens) {
        std::wstring password;
        try {
            Obscurity::Obfuscation().reveal(known.token, password);
        } catch (const std::exception& error) {
            ADD_FAILURE() << known.what << ": " << error.what();
            continue;
        }
        EXPECT_EQ(password, known.password) << known.what;
    }
}

// While it lives, OpenSSL's random bytes are the salt given, so obscuring is repeatable.
class FixedSalt {
public:
    explicit FixedSalt(const unsigned char* salt) : previous_(RAND_get_rand_method())
    {
        std::memcpy(salt_, salt, sizeof salt_);
        RAND_set_rand_method(&kMethod);
    }
    ~FixedSalt() { RAND_set_rand_method(previous_); }

    FixedSalt(const FixedSalt&) = delete;
    FixedSalt& operator=(const FixedSalt&) = delete;

private:
    static int Draw(unsigned char* out, int count)
    {
        for (int i = 0; i < count; ++i)
            out[i] = salt_[static_cast<std::size_t>(i) % sizeof salt_];
        return 1;
    }
    static int Seed(const void*, int) { return 1; }
    static int Add(const void*, int, double) { return 1; }
    static int Status() { return 1; }

    static inline unsigned char salt_[8] = {};
    static constexpr RAND_METHOD kMethod = {Seed, Draw, nullptr, Add, Draw, Status};
    const RAND_METHOD* previous_;
};

TEST(TokenContract, ObscuringUnderAKnownTokensSaltGivesThatToken)
{
    for (const KnownToken& known : kKnownTokens) {
        const Bytes obscured = ObscurityTest::FromBase64(known.token);
        ASSERT_GE(obscured.size(), 10u) << known.what;
        std::string token;
        {
            const FixedSalt salt(obscured.data() + 2);
            Obscurity::Obfuscation().obscure(known.password, token);
        }
        EXPECT_EQ(token, known.token) << known.what;
    }
}

}  // namespace
