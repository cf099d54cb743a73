#include "obfuscation/obscurity/cipher.h"

#include <climits>
#include <cstring>
#include <memory>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include "obfuscation/obscurity/SecurityException.h"
#include "obfuscation/obscurity/initprng.h"

namespace TolvarSecurity {
namespace {

// The stored key material is never held in the clear longer than one derivation.
constexpr unsigned char kPasswordMask = 0xC5;
constexpr std::uint32_t kSaltLength = 8;
// Room behind the plain text for the salt-length byte, the salt and a padding block, and then some.
constexpr std::uint32_t kEncryptOverhead = 73;

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

CipherCtx NewCipherCtx()
{
    CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!ctx)
        throw InsufficientMemory(__FILE__, __LINE__);
    return ctx;
}

// Masks and unmasks alike.
void ApplyMask(membuff& buffer)
{
    for (std::uint32_t i = 0; i < buffer.size(); ++i)
        buffer.data()[i] ^= kPasswordMask;
}

}  // namespace

CipherContext::CipherContext(membuff& key, std::uint32_t length) : cipher(EVP_des_ede3_cbc()), digest(EVP_md5())
{
    if (key.size() == 0 || length == 0)
        throw NoInputData(__FILE__, __LINE__);
    if (key.size() < length)
        throw UnproperInputData(__FILE__, __LINE__);
    password.assign(key.data(), length);
    ApplyMask(password);
    key.wipe();
    key.release();
}

CipherContext::~CipherContext()
{
    password.wipe();
}

CipherContext::DerivedKey::~DerivedKey()
{
    key.wipe();
    iv.wipe();
}

std::int32_t CipherContext::deriveKey(const unsigned char* salt, std::uint32_t saltLength, DerivedKey& derived) const
{
    if (saltLength != kSaltLength)
        return CipherStatus::BadSaltLength;
    // Larger than Triple-DES needs (24 and 8): room for any cipher's key and IV.
    derived.key.allocate(64, 1);
    derived.iv.allocate(16, 1);
    if (password.size() == 0)
        return CipherStatus::NoKeyMaterial;
    membuff plain(password);
    const ScopedWipe wipePlain(plain);
    ApplyMask(plain);
    if (EVP_BytesToKey(cipher, digest, salt, plain.data(), static_cast<int>(plain.size()), 1, derived.key.data(),
                       derived.iv.data()) == 0)
        return CipherStatus::KeyDerivationFailed;
    return CipherStatus::Success;
}

std::int32_t CipherContext::newSaltAndKey(membuff& salt, DerivedKey& derived) const
{
    salt.allocate(kSaltLength, 1);
    {
        const PrngGuard guard;
        if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
            return CipherStatus::RandomFailed;
    }
    return deriveKey(salt.data(), salt.size(), derived);
}

bool CipherContext::run(bool encrypting, const DerivedKey& derived, const unsigned char* in, std::uint32_t inLength,
                        unsigned char* out, int& outLength) const
{
    const CipherCtx ctx = NewCipherCtx();
    int updateLength = 0;
    int finalLength = 0;
    if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, derived.key.data(), derived.iv.data(), encrypting ? 1 : 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), out, &updateLength, in, static_cast<int>(inLength)) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out + updateLength, &finalLength) != 1)
        return false;
    outLength = updateLength + finalLength;
    return true;
}

std::int32_t CipherContext::encrypt(const membuff& input, std::uint32_t length, membuff& output,
                                    std::int32_t& outputLength)
{
    outputLength = 0;
    if (input.size() < length)
        throw InternalInconsistency(__FILE__, __LINE__);
    if (length == 0)
        return CipherStatus::NoData;
    // OpenSSL counts in int; the output must fit one as well.
    if (length > INT_MAX - kEncryptOverhead)
        throw UnproperInputData(__FILE__, __LINE__);

    output.allocate(length + kEncryptOverhead, 1);
    membuff salt;
    DerivedKey derived;
    if (const std::int32_t status = newSaltAndKey(salt, derived); status != CipherStatus::Success)
        return status;

    output.data()[0] = static_cast<unsigned char>(kSaltLength);
    std::memcpy(output.data() + 1, salt.data(), kSaltLength);
    int cipherLength = 0;
    if (!run(true, derived, input.data(), length, output.data() + 1 + kSaltLength, cipherLength))
        return CipherStatus::EncryptFailed;
    outputLength = static_cast<std::int32_t>(1 + kSaltLength) + cipherLength;
    return CipherStatus::Success;
}

std::int32_t CipherContext::decrypt(const membuff& input, std::uint32_t length, membuff& output,
                                    std::int32_t& outputLength)
{
    outputLength = 0;
    if (input.size() < length)
        throw InternalInconsistency(__FILE__, __LINE__);
    if (length == 0)
        return CipherStatus::NoData;
    const std::uint32_t saltLength = input.data()[0];
    if (length - 1 < saltLength)
        throw InternalInconsistency(__FILE__, __LINE__);
    const std::uint32_t cipherLength = length - 1 - saltLength;
    if (cipherLength == 0)
        return CipherStatus::NoData;
    if (cipherLength > INT_MAX - kEncryptOverhead)
        throw UnproperInputData(__FILE__, __LINE__);

    DerivedKey derived;
    if (const std::int32_t status = deriveKey(input.data() + 1, saltLength, derived); status != CipherStatus::Success)
        return status;

    // OpenSSL may write up to one block more than it is given before the final call sorts out the padding.
    membuff plain;
    plain.allocate(cipherLength + static_cast<std::uint32_t>(EVP_CIPHER_get_block_size(cipher)), 1);
    const ScopedWipe wipePlain(plain);
    int plainLength = 0;
    if (!run(false, derived, input.data() + 1 + saltLength, cipherLength, plain.data(), plainLength))
        return CipherStatus::DecryptFailed;

    output.assign(plain.data(), static_cast<std::uint32_t>(plainLength));
    outputLength = plainLength;
    return CipherStatus::Success;
}

}  // namespace TolvarSecurity
