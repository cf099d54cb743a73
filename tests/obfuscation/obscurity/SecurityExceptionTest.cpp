#include "obfuscation/obscurity/SecurityException.h"

#include <regex>
#include <stdexcept>
#include <string>
#include <utility>

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include "obfuscation/obscurity/cipher.h"

namespace {

using namespace TolvarSecurity;

TEST(SecurityException, MessageCarriesFileLineTextAndCode)
{
    ERR_clear_error();
    const NoInputData error("cipher.cpp", 174);
    EXPECT_STREQ(error.what(), "cipher.cpp:174:No input data.:510:OpenSSLError=");
    EXPECT_EQ(error.code(), 510);
}

template <typename Condition>
std::pair<std::string, std::int32_t> Raised()
{
    const Condition error("f.cpp", 12);
    return {error.what(), error.code()};
}

TEST(SecurityException, EveryConditionHasItsCodeAndText)
{
    ERR_clear_error();
    struct Case {
        std::pair<std::string, std::int32_t> raised;
        const char* text;
        std::int32_t code;
    };
    const Case cases[] = {
        {Raised<InsufficientMemory>(), "Dynamic memory allocation failed.", 500},
        {Raised<NoInputData>(), "No input data.", 510},
        {Raised<Win32GetCryptographicContext>(), "Creating Win32 cryptographic context failed.", 519},
        {Raised<RandomSeedGeneration>(), "Random seed generation failed.", 520},
        {Raised<PRNGInitialisation>(), "PRNG initialisation failed, probably mo enough random seed.", 521},
        {Raised<UnproperInputData>(), "Unproper input data.", 522},
        {Raised<InternalInconsistency>(), "Internal system inconsistency.", 524},
        {Raised<PRNGUninitialised>(), "OpenSSL PRNG is not initialised.", 525},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.raised.first, "f.cpp:12:" + std::string(c.text) + ":" + std::to_string(c.code) + ":OpenSSLError=");
        EXPECT_EQ(c.raised.second, c.code);
    }
}

TEST(SecurityException, DrainsTheOpenSslErrorQueueIntoItsMessage)
{
    ERR_clear_error();
    ERR_raise_data(ERR_LIB_EVP, EVP_R_BAD_DECRYPT, "context %d", 42);
    ERR_raise(ERR_LIB_EVP, EVP_R_WRONG_FINAL_BLOCK_LENGTH);

    const UnproperInputData error("here.cpp", 9);
    const std::string message = error.what();
    const std::regex entry(R"(\[error:[0-9A-F]+:[^\]]*:at=[^\]]*:\d+:data=[^\]]*:flags=\d+\])");
    const std::string prefix = "here.cpp:9:Unproper input data.:522:OpenSSLError=";
    ASSERT_EQ(message.substr(0, prefix.size()), prefix);
    const std::string list = message.substr(prefix.size());
    EXPECT_TRUE(std::regex_match(list, std::regex("(" + std::string(R"(\[error:[^\]]*\])") + "){2}"))) << list;
    EXPECT_NE(list.find("bad decrypt"), std::string::npos) << list;
    EXPECT_NE(list.find(":data=context 42:"), std::string::npos) << list;
    EXPECT_NE(list.find("wrong final block length"), std::string::npos) << list;
    EXPECT_TRUE(std::regex_search(list, entry)) << list;
    EXPECT_EQ(ERR_peek_error(), 0u) << "the queue is drained";
}

TEST(SecurityException, IsNoRuntimeErrorAndNamesTheRaisingSource)
{
    membuff empty;
    try {
        try {
            CipherContext context(empty, 1);
            FAIL() << "no exception";
        } catch (const std::runtime_error&) {
            FAIL() << "a runtime-error handler must not catch it";
        }
    } catch (const SecurityException& error) {
        EXPECT_TRUE(std::regex_match(
            error.what(), std::regex(R"(src/obfuscation/obscurity/cipher\.cpp:\d+:No input data\.:510:OpenSSLError=)")))
            << error.what();
    }
}

}  // namespace
