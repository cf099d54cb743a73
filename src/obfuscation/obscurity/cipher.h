#pragma once

#include <cstdint>

#include <openssl/types.h>

#include "obfuscation/obscurity/membuff.h"

namespace TolvarSecurity {

// Results of CipherContext::encrypt and decrypt: returned, not thrown.
namespace CipherStatus {
constexpr std::int32_t Success = 0;
constexpr std::int32_t NoData = 3;
constexpr std::int32_t NoKeyMaterial = 38;
constexpr std::int32_t BadSaltLength = 39;
constexpr std::int32_t KeyDerivationFailed = 40;
constexpr std::int32_t RandomFailed = 41;
constexpr std::int32_t EncryptFailed = 43;
constexpr std::int32_t DecryptFailed = 44;
}  // namespace CipherStatus

// Triple-DES-EDE3-CBC over one salted message. The key material is held
// masked while the context lives; key and IV come from EVP_BytesToKey (MD5,
// one iteration) over the salt and the unmasked key material.
//
// The encrypted form is: salt length (8), the salt, then the ciphertext with
// PKCS#7 padding.
class CipherContext {
public:
    // Takes the first length bytes of key and empties key (zeroed, then released).
    CipherContext(membuff& key, std::uint32_t length);
    ~CipherContext();

    CipherContext(const CipherContext&) = delete;
    CipherContext& operator=(const CipherContext&) = delete;

    // Encrypts the first length bytes of input under a fresh salt. output keeps
    // its allocated size; only the first outputLength bytes count.
    std::int32_t encrypt(const membuff& input, std::uint32_t length, membuff& output, std::int32_t& outputLength);
    // Decrypts the first length bytes of input; output holds exactly the plain bytes.
    std::int32_t decrypt(const membuff& input, std::uint32_t length, membuff& output, std::int32_t& outputLength);

private:
    // The key and IV of one message, wiped when they go away.
    struct DerivedKey {
        membuff key;
        membuff iv;
        ~DerivedKey();
    };

    std::int32_t deriveKey(const unsigned char* salt, std::uint32_t saltLength, DerivedKey& derived) const;
    std::int32_t newSaltAndKey(membuff& salt, DerivedKey& derived) const;
    // One pass of the cipher over inLength bytes; false when OpenSSL refuses.
    bool run(bool encrypting, const DerivedKey& derived, const unsigned char* in, std::uint32_t inLength,
             unsigned char* out, int& outLength) const;

    const EVP_CIPHER* cipher;
    const EVP_MD* digest;
    membuff password;
};

}  // namespace TolvarSecurity
