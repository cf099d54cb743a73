#include "obfuscation/obscurity/initprng.h"

#include <string>

#include <gtest/gtest.h>
#include <openssl/rand.h>

namespace {

using namespace TolvarSecurity;

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
