#include "packaging/Sha256.h"

#include <stdexcept>

namespace {

void Require(int result, const char* what)
{
    if (result != 1)
        throw std::runtime_error(what);
}

}  // namespace

Sha256::Sha256() : context(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
{
    if (!context)
        throw std::bad_alloc();
    Require(EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr), "SHA-256 cannot be started");
}

void Sha256::Update(std::string_view bytes)
{
    Require(EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()), "SHA-256 cannot take more bytes");
}

std::string Sha256::HexDigest()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    Require(EVP_DigestFinal_ex(context.get(), digest, &size), "SHA-256 cannot be finished");
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

std::string Sha256SumLine(const std::string& hexDigest, const std::string& fileName)
{
    // sha256sum marks a name holding a backslash or a line end with a leading backslash
    // and escapes those characters; any other name is written as it is.
    std::string escaped;
    bool marked = false;
    for (const char c : fileName) {
        if (c == '\\' || c == '\n' || c == '\r') {
            marked = true;
            escaped += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : "\\r";
        } else {
            escaped += c;
        }
    }
    return (marked ? "\\" : "") + hexDigest + "  " + escaped + "\n";
}
