#include "obfuscation/obscurity/Obfuscation.h"

#include <cstdint>
#include <limits>

#include "obfuscation/obscurity/Base64.h"
#include "obfuscation/obscurity/CObscurity.h"
#include "obfuscation/obscurity/ObscurityException.h"
#include "obfuscation/obscurity/SecureWipe.h"
#include "obfuscation/obscurity/SecurityException.h"
#include "obfuscation/obscurity/Utf16Le.h"

namespace Obscurity {

using TolvarSecurity::SecureWipe;

namespace {

// An array the implementation returned, released with delete[] on every path;
// plain text is overwritten first.
class ReturnedBytes {
public:
    ReturnedBytes(unsigned char* data, unsigned int size, bool secret) noexcept
        : data_(data),
          size_(size),
          secret_(secret)
    {}
    ~ReturnedBytes()
    {
        if (secret_)
            SecureWipe(data_, size_);
        TolvarSecurity::NotifyRelease(data_, size_);
        delete[] data_;
    }

    ReturnedBytes(const ReturnedBytes&) = delete;
    ReturnedBytes& operator=(const ReturnedBytes&) = delete;

    const unsigned char* data() const noexcept { return data_; }
    unsigned int size() const noexcept { return size_; }

private:
    unsigned char* data_;
    unsigned int size_;
    bool secret_;
};

unsigned int checkedSize(std::size_t size)
{
    if (size > std::numeric_limits<unsigned int>::max())
        throw TolvarSecurity::UnproperInputData(__FILE__, __LINE__);
    return static_cast<unsigned int>(size);
}

bool inTokenAlphabet(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=';
}

std::string encodeToken(IObscurity& implementation, const unsigned char* plain, unsigned int size)
{
    unsigned int obscuredSize = 0;
    unsigned char* const obscured = implementation.obscure(plain, size, &obscuredSize);
    const ReturnedBytes owned(obscured, obscuredSize, false);
    std::string token((std::size_t{obscuredSize} + 2) / 3 * 4, '\0');
    std::size_t length = token.size();
    if (!Base64Encode(owned.data(), owned.size(), token.data(), length))
        throw ObscurityException("Base64Encode returned false");
    token.resize(length);
    return token;
}

// Runs the decoded token through the implementation; never an empty result.
void revealToken(IObscurity& implementation, const std::string& token, std::wstring& password)
{
    std::string filtered;
    filtered.reserve(token.size());
    for (const char c : token)
        if (inTokenAlphabet(c))
            filtered.push_back(c);

    std::string decoded(filtered.size(), '\0');
    std::size_t decodedSize = decoded.size();
    if (!Base64Decode(filtered.data(), filtered.size(), reinterpret_cast<unsigned char*>(decoded.data()), decodedSize))
        throw ObscurityException("Base64Decode returned false");

    unsigned int plainSize = 0;
    unsigned char* const plain = implementation.reveal(reinterpret_cast<const unsigned char*>(decoded.data()),
                                                       checkedSize(decodedSize), &plainSize);
    const ReturnedBytes owned(plain, plainSize, true);
    if (owned.size() == 0)
        throw ObscurityException("Revealed name length is zero");
    std::wstring text = FromUtf16Le(owned.data(), owned.size());
    password.assign(text);
    SecureWipe(text);
}

}  // namespace

Obfuscation::Obfuscation() : implementation(std::make_unique<CObscurity>())
{}

Obfuscation::~Obfuscation() = default;

void Obfuscation::obscure(const std::wstring& password, std::string& token)
{
    TolvarSecurity::membuff plain = ToUtf16Le(password);
    const TolvarSecurity::ScopedWipe wipePlain(plain);
    token = encodeToken(*implementation, plain.data(), plain.size());
}

void Obfuscation::reveal(const std::string& token, std::wstring& password)
{
    revealToken(*implementation, token, password);
}

}  // namespace Obscurity
