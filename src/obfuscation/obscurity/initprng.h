#pragma once

#include <cstdint>

#include "obfuscation/obscurity/membuff.h"

namespace TolvarSecurity {

// Makes sure the OpenSSL random generator is seeded for the scope of one draw,
// and refreshes the generator's state from the operating system when the scope ends.
class PrngGuard {
public:
    // Requires an already seeded generator (OpenSSL seeds itself from the
    // operating system on first use).
    PrngGuard();
    // Seeds from 1024 bytes of the operating system's random source; mode must be 0 or 1.
    explicit PrngGuard(std::int32_t mode);
    // Seeds from the caller's bytes.
    explicit PrngGuard(const membuff& seed);
    ~PrngGuard();

    PrngGuard(const PrngGuard&) = delete;
    PrngGuard& operator=(const PrngGuard&) = delete;
};

}  // namespace TolvarSecurity
