#include "obfuscation/obscurity/initprng.h"

#include <climits>

#include <openssl/rand.h>

#include "obfuscation/obscurity/SecurityException.h"
#include "platform/SystemRandom.h"

namespace TolvarSecurity {
namespace {

constexpr std::uint32_t kSystemSeedSize = 1024;

void SeedAndCheck(const membuff& seed)
{
    if (seed.size() > INT_MAX)
        throw UnproperInputData(__FILE__, __LINE__);
    RAND_seed(seed.data(), static_cast<int>(seed.size()));
    if (RAND_status() != 1)
        throw PRNGInitialisation(__FILE__, __LINE__);
}

}  // namespace

PrngGuard::PrngGuard()
{
    if (RAND_status() != 1)
        throw PRNGUninitialised(__FILE__, __LINE__);
}

PrngGuard::PrngGuard(std::int32_t mode)
{
    if (mode != 0 && mode != 1)
        throw UnproperInputData(__FILE__, __LINE__);
    membuff seed;
    seed.allocate(kSystemSeedSize, 1);
    const ScopedWipe wipeSeed(seed);
    if (!Platform::SystemRandomBytes(seed.data(), seed.size()))
        throw RandomSeedGeneration(__FILE__, __LINE__);
    SeedAndCheck(seed);
}

PrngGuard::PrngGuard(const membuff& seed)
{
    SeedAndCheck(seed);
}

PrngGuard::~PrngGuard()
{
    // OpenSSL 3 has no way to throw the generator's state away; reseeding its
    // primary generator from the operating system leaves nothing of the state
    // that produced the last salt to predict the next one.
    RAND_poll();
}

}  // namespace TolvarSecurity
