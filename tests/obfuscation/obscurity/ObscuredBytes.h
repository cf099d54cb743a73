#pragma once

// Builds obscured bytes and tokens with OpenSSL directly, over the library's
// assembled key, so tests can reach the revealing side with data the library
// itself would never produce.

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "obfuscation/obscurity/KeyScramble.h"

namespace ObscurityTest {

using Bytes = std::vector<unsigned char>;

inline Bytes StoredKey()
{
    const auto key = Obscurity::assembleKey(Obscurity::storedKeyPieces());
    return Bytes(key->data(), key->data() + key->size());
}

struct KeyAndIv {
    Bytes key = Bytes(24);
    Bytes iv = Bytes(8);
};

inline KeyAndIv DeriveKeyAndIv(const unsigned char* salt)
{
    const Bytes material = StoredKey();
    KeyAndIv derived;
    if (EVP_BytesToKey(EVP_des_ede3_cbc(), EVP_md5(), salt, material.data(), static_cast<int>(material.size()), 1,
                       derived.key.data(), derived.iv.data()) == 0)
        throw std::runtime_error("EVP_BytesToKey failed");
    return derived;
}

// Triple-DES-CBC with PKCS#7 padding, or without padding when the plain bytes
// are already whole blocks and `pad` is false.
inline Bytes Encrypt(const Bytes& plain, const unsigned char* salt, bool pad = true)
{
    const KeyAndIv derived = DeriveKeyAndIv(salt);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(plain.size() + 8);
    int update = 0;
    int final = 0;
    const bool ok = EVP_EncryptInit_ex(ctx, EVP_des_ede3_cbc(), nullptr, derived.key.data(), derived.iv.data()) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0) == 1 &&
                    EVP_EncryptUpdate(ctx, out.data(), &update, plain.data(), static_cast<int>(plain.size())) == 1 &&
                    EVP_EncryptFinal_ex(ctx, out.data() + update, &final) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        throw std::runtime_error("test encryption failed");
    out.resize(static_cast<std::size_t>(update + final));
    return out;
}

// 7, 8, a fixed salt, then the ciphertext of `plain`.
inline Bytes Obscured(const Bytes& plain, bool pad = true)
{
    Bytes bytes = {7, 8, 1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes cipher = Encrypt(plain, bytes.data() + 2, pad);
    bytes.insert(bytes.end(), cipher.begin(), cipher.end());
    return bytes;
}

// Base64 by OpenSSL's own encoder, independent of the library's.
inline std::string ToBase64(const Bytes& bytes)
{
    std::string text((bytes.size() + 2) / 3 * 4 + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

inline Bytes FromBase64(const std::string& text)
{
    Bytes bytes(text.size() / 4 * 3 + 3);
    const int length = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0)
        throw std::runtime_error("not Base64: " + text);
    // EVP_DecodeBlock counts the "=" padding as zero bytes.
    const auto padding =
        static_cast<std::size_t>(std::count(text.end() - std::min<std::size_t>(2, text.size()), text.end(), '='));
    bytes.resize(static_cast<std::size_t>(length) - padding);
    return bytes;
}

}  // namespace ObscurityTest
