#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <openssl/evp.h>

// A SHA-256 digest fed piece by piece, so a file can be hashed while it is written.
class Sha256 {
public:
    Sha256();

    void Update(std::string_view bytes);
    // The digest in lower-case hexadecimal, as sha256sum prints it. Ends the hashing.
    std::string HexDigest();

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context;
};

// The line sha256sum writes for a file of this name, line end included.
std::string Sha256SumLine(const std::string& hexDigest, const std::string& fileName);
