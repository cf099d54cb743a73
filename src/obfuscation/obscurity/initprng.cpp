#include "obfuscation/obscurity/initprng.h"

#include <openssl/rand.h>

#include "obfuscation/obscurity/SecurityException.h"

namespace TolvarSecurity {

PrngGuard::PrngGuard()
{
    if (RAND_status() != 1)
        throw PRNGUninitialised(__FILE__, __LINE__);
}

PrngGuard::~PrngGuard()
{
    // OpenSSL 3 has no way to throw the generator's state away; reseeding its
    // primary generator from the operating system leaves nothing of the state
    // that produced the last salt to predict the next one.
    RAND_poll();
}

}  // namespace TolvarSecurity
