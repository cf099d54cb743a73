#include "obfuscation/obscurity/initprng.h"

#include <gtest/gtest.h>
#include <openssl/rand.h>

#include "obfuscation/obscurity/SecurityException.h"

namespace {

using namespace TolvarSecurity;

TEST(PrngGuard, SeedsFromTheSystemOrTheCallerAndRefusesUnknownModes)
{
    EXPECT_NO_THROW(PrngGuard());
    EXPECT_NO_THROW(PrngGuard(0));
    EXPECT_NO_THROW(PrngGuard(1));
    EXPECT_NO_THROW(PrngGuard{membuff("caller's own seed bytes")});
    for (const std::int32_t mode : {-1, 2, 1024})
        EXPECT_THROW(PrngGuard{mode}, UnproperInputData) << mode;
}

TEST(PrngGuard, GeneratorStaysUsableAfterTheGuardEnds)
{
    unsigned char first[16];
    unsigned char second[16];
    {
        const PrngGuard guard;
        ASSERT_EQ(RAND_bytes(first, sizeof first), 1);
    }
    {
        const PrngGuard guard;
        ASSERT_EQ(RAND_bytes(second, sizeof second), 1);
    }
    EXPECT_NE(std::string(first, first + 16), std::string(second, second + 16));
}

}  // namespace
