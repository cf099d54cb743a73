#include "obfuscation/obscurity/CObscurity.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "obfuscation/obscurity/KeyScramble.h"
#include "obfuscation/obscurity/ObscurityException.h"
#include "obfuscation/obscurity/OpenSslErrors.h"
#include "obfuscation/obscurity/cipher.h"

namespace Obscurity {

using TolvarSecurity::CipherContext;
using TolvarSecurity::membuff;
using TolvarSecurity::ScopedWipe;

namespace {

constexpr unsigned char kAlgorithmIdentifier = 7;

// Runs an action when the scope ends, however it ends.
template <typename Action>
class ScopeExit {
public:
    explicit ScopeExit(Action action) : action_(std::move(action)) {}
    ~ScopeExit() { action_(); }

    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Action action_;
};

std::string failure(const char* what, std::int32_t status)
{
    return std::string("Obscure:") + what + ":sts=" + std::to_string(status) +
           ":OpenSSLErr=" + TolvarSecurity::OpenSslErrorList();
}

}  // namespace

std::unique_ptr<membuff> CObscurity::buildKey()
{
    return assembleKey(storedKeyPieces());
}

void CObscurity::releaseKey(std::unique_ptr<membuff>& key) noexcept
{
    if (key) {
        key->wipe('x');
        key.reset();
    }
}

unsigned char* CObscurity::obscure(const unsigned char* data, unsigned int length, unsigned int* outputLength)
{
    if (!outputLength)
        throw ObscurityException("Obscure:Invalid parameters (null pointer)");
    std::unique_ptr<membuff> key = buildKey();
    const ScopeExit keyGuard([&key] { releaseKey(key); });

    membuff input(data, length);
    const ScopedWipe wipeInput(input);
    membuff output;
    std::int32_t encryptedLength = 0;
    CipherContext context(*key, key->size());
    if (const std::int32_t status = context.encrypt(input, length, output, encryptedLength); status != 0)
        throw ObscurityException(failure("Failed to obscure data", status));

    const auto total = static_cast<unsigned int>(encryptedLength) + 1;
    auto* result = new unsigned char[total];
    result[0] = kAlgorithmIdentifier;
    std::memcpy(result + 1, output.data(), total - 1);
    *outputLength = total;
    return result;
}

unsigned char* CObscurity::reveal(const unsigned char* data, unsigned int length, unsigned int* outputLength)
{
    if (length < 2)
        throw ObscurityException("Obscure:Not enough data to perform decryption");
    if (!data || !outputLength)
        throw ObscurityException("Obscure:Invalid parameters (null pointer)");
    std::unique_ptr<membuff> key = buildKey();
    const ScopeExit keyGuard([&key] { releaseKey(key); });

    if (data[0] != kAlgorithmIdentifier)
        throw ObscurityException("Obscure:Invalid algorithm ident=" + std::to_string(data[0]));

    const membuff input(data + 1, length - 1);
    membuff output;
    const ScopedWipe wipeOutput(output);
    std::int32_t plainLength = 0;
    CipherContext context(*key, key->size());
    if (const std::int32_t status = context.decrypt(input, length - 1, output, plainLength); status != 0)
        throw ObscurityException(failure("Failed to reveal data", status));

    auto* result = new unsigned char[static_cast<unsigned int>(plainLength)];
    if (plainLength > 0)
        std::memcpy(result, output.data(), static_cast<unsigned int>(plainLength));
    *outputLength = static_cast<unsigned int>(plainLength);
    return result;
}

}  // namespace Obscurity
