#pragma once

namespace TolvarSecurity {

// Makes sure the OpenSSL random generator is seeded for the scope of one draw,
// and refreshes the generator's state from the operating system when the scope ends.
class PrngGuard {
public:
    // Requires an already seeded generator (OpenSSL seeds itself from the
    // operating system on first use).
    PrngGuard();
    ~PrngGuard();

    PrngGuard(const PrngGuard&) = delete;
    PrngGuard& operator=(const PrngGuard&) = delete;
};

}  // namespace TolvarSecurity
