#pragma once

#include <memory>

#include "obfuscation/obscurity/IObscurity.h"
#include "obfuscation/obscurity/membuff.h"

namespace Obscurity {

// Obscured bytes: the algorithm identifier 7, then what CipherContext encrypt
// produces (salt length 8, the salt, the Triple-DES ciphertext). The key
// material is assembled for every call and wiped before the call returns.
class CObscurity : public IObscurity {
public:
    unsigned char* obscure(const unsigned char* data, unsigned int length, unsigned int* outputLength) override;
    unsigned char* reveal(const unsigned char* data, unsigned int length, unsigned int* outputLength) override;

private:
    static std::unique_ptr<TolvarSecurity::membuff> buildKey();
    static void releaseKey(std::unique_ptr<TolvarSecurity::membuff>& key) noexcept;
};

}  // namespace Obscurity
